#include "app/index_panel.h"

#include "app/book_jobs.h"
#include "app/book_session.h"
#include "app/book_tab.h"
#include "app/limits.h"
#include "app/platform.h"
#include "app/resources.h"
#include "app/utf8.h"
#include "base/text.h"
#include "book/book.h"

namespace tessaly::app {

namespace {

// True when `line` begins with `prefix`, ASCII letters compared without case.
bool StartsWithNoCase(std::string_view line, std::string_view prefix) {
  if (line.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (ToLowerAscii(line[i]) != ToLowerAscii(prefix[i])) return false;
  }
  return true;
}

}  // namespace

void IndexPanel::Prepare() {
  BookSession* session = tab_.Session();
  if (!pending_ || session == nullptr) return;
  pending_ = false;
  building_ = true;
  tab_.ShowProgress(kIndexCreation, 0);
  auto job = std::make_shared<KeywordIndexJob>(session->Cancel(), session->SharedBook(), tab_.Codec(),
                                               tab_.ProgressOf(kIndexCreation, session->Cancel()));
  tab_.Jobs().Submit<KeywordIndexJob>(std::move(job), [this](KeywordIndexJob& done) {
    building_ = false;
    tab_.HideProgress();
    if (done.Error()) {
      // The panel shows empty; the build is not tried again.
      tab_.ShowBookError(*done.Error());
      return;
    }
    lines_ = std::move(done.lines);
    entries_ = std::move(done.entries);
    view_.ShowKeywords(lines_);
    if (!lines_.empty()) view_.SelectKeyword(0);
  });
}

std::optional<int> IndexPanel::TypedLine() const {
  const std::string typed = CutToChars(view_.KeywordText(), kMaxEditChars);
  for (std::size_t line = 0; line < lines_.size(); ++line) {
    if (StartsWithNoCase(lines_[line], typed)) return static_cast<int>(line);
  }
  return std::nullopt;
}

void IndexPanel::OnTextChanged() {
  if (copyingToEdit_ || !tab_.Accepting()) return;
  if (const std::optional<int> line = TypedLine()) view_.ScrollKeywords(*line);
}

void IndexPanel::OnEnter() {
  if (!tab_.Accepting()) return;
  // Enter in the entry displays the keyword typed: the selected line when
  // the entry holds its text (it was chosen in the list), else the line that
  // typing brought to the top, else the selected one.
  const int selected = view_.KeywordSelection();
  const std::string typed = CutToChars(view_.KeywordText(), kMaxEditChars);
  const bool selectedTyped = selected >= 0 && static_cast<std::size_t>(selected) < lines_.size() &&
                             EqualNoCase(lines_[static_cast<std::size_t>(selected)], typed);
  if (const std::optional<int> line = TypedLine(); !selectedTyped && line && *line != selected)
    view_.SelectKeyword(*line);
  OnDisplay();
}

void IndexPanel::OnSelectionChanged() {
  if (!tab_.Accepting()) return;
  const int line = view_.KeywordSelection();
  if (line < 0 || static_cast<std::size_t>(line) >= lines_.size()) return;
  copyingToEdit_ = true;
  view_.SetKeywordText(lines_[static_cast<std::size_t>(line)]);
  copyingToEdit_ = false;
}

std::string IndexPanel::TargetName(const IndexEntry& entry, int target) const {
  const IndexTarget* found = entry.targets.Get(target);
  if (found == nullptr) return tab_.Text(entry.name, kMaxListTextChars);
  if (!found->name.empty()) return tab_.Text(found->name, kMaxListTextChars);
  const TopicTable& topics = tab_.Session()->GetBook().Topics();
  const std::int32_t topic = topics.FindByPath(found->local);
  if (topic >= 0) return tab_.Text(topics.Title(topic), kMaxListTextChars);
  return tab_.Text(entry.name, kMaxListTextChars);
}

void IndexPanel::OnDisplay() {
  if (!tab_.Accepting()) return;
  const int line = view_.KeywordSelection();
  if (line < 0 || static_cast<std::size_t>(line) >= entries_.size()) return;
  const IndexEntry& entry = *entries_[static_cast<std::size_t>(line)];
  const std::int32_t targets = entry.targets.Count();
  if (targets == 0) return;
  if (targets == 1) {
    ShowTarget(entry, 0);
    return;
  }
  // One pane: the box stands alone while it asks (the panel comes back when
  // it is cancelled). Beside the sidebar the panels stay.
  if (tab_.Host().CurrentLayout() == Layout::kSinglePane) tab_.View().ShowPanel(Panel::kNone);
  std::vector<std::string> names;
  for (std::int32_t k = 0; k < targets; ++k) names.push_back(TargetName(entry, k));
  // The box waits in the event loop: the tab may go meanwhile, which its
  // session's flag tells.
  const CancelFlag gone = tab_.Session()->Cancel();
  const int chosen = tab_.Host().Window().RunChoiceDialog(
      ChoiceDialog{kTopicsFoundTitle, kTopicsFoundPrompt, kTopicsFoundDisplay, kTopicsFoundCancel, names});
  if (gone->load()) return;
  if (chosen < 0 || chosen >= targets) {
    tab_.ShowPanel(Panel::kIndex);
    return;
  }
  ShowTarget(entry, chosen);
}

void IndexPanel::ShowTarget(const IndexEntry& entry, int target) {
  const IndexTarget* found = entry.targets.Get(target);
  if (found == nullptr) return;
  const std::string local = found->local;
  tab_.RevealPage();
  tab_.Page().ShowTopic(local);
}

}  // namespace tessaly::app
