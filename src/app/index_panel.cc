// The Index panel: the book's keywords in a list that scrolls as the user
// types (built on a worker the first time the panel shows), and "Topics
// Found" for keywords with several targets.
#include <algorithm>
#include <vector>

#include "app/reader.h"
#include "app/resources.h"
#include "app/utf8.h"
#include "base/pointer_array.h"
#include "base/text.h"
#include "book/book.h"
#include "helpdata/sitemap_depth.h"
#include "helpdata/keyword_index.h"
#include "helpdata/topic_table.h"

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

// What the index job hands back.
struct IndexLines {
  std::optional<std::string> failure;
  std::vector<std::string> lines;
  std::vector<const IndexEntry*> entries;
};

void Reader::FillIndexList() {
  indexPending_ = false;
  indexBuilding_ = true;
  ShowProgress(kIndexCreation, 0);
  platform_.SetCursor(Cursor::kWait);

  const std::uint64_t generation = generation_;
  const TextCodec* codec = &platform_.Codec();
  std::shared_ptr<const Book> book = book_;
  workers_.RunBookJob([this, generation, codec, book] {
    auto result = std::make_shared<IndexLines>();
    result->failure = FailureOf([&] { book->BuildKeywordIndex(); });
    if (!result->failure) {
      Deliver(generation, [this] { ShowProgress(kIndexCreation, 10); });
      const int codePage = book->CodePage();
      const auto add = [&](const IndexEntry& entry, int depth) {
        // The indentation does not count against the name's characters: a
        // deep entry still shows its name.
        std::string line(2 * static_cast<std::size_t>(ShownDepth(depth)), ' ');
        line += DisplayText(*codec, entry.name, kMaxListTextChars, codePage);
        result->lines.push_back(std::move(line));
        result->entries.push_back(&entry);
      };
      const IndexEntry& root = book->KeywordIndex();
      const std::int64_t count = root.children.Count();
      int shown = -1;
      for (std::int32_t i = 0; i < root.children.Count(); ++i) {
        if (const IndexEntry* keyword = root.children.Get(i)) {
          add(*keyword, 0);
          ForEachIndexEntry(*keyword, [&](const IndexEntry& entry, int depth) { add(entry, depth + 1); });
        }
        const int value = static_cast<int>(i * 90 / count + 10);
        if (value % 10 == 0 && value != shown) {
          shown = value;
          Deliver(generation, [this, value] { ShowProgress(kIndexCreation, value); });
        }
      }
    }
    Deliver(generation, [this, result] {
      indexBuilding_ = false;
      if (result->failure) {
        // The panel shows empty; the build is not tried again.
        platform_.SetCursor(Cursor::kNormal);
        ShowBookError(*result->failure);
        HideProgress();
        return;
      }
      indexLines_ = std::move(result->lines);
      indexEntries_ = std::move(result->entries);
      platform_.ShowKeywords(indexLines_);
      if (!indexLines_.empty()) platform_.SelectKeyword(0);
      HideProgress();
      platform_.SetCursor(Cursor::kNormal);
    });
  });
}

std::optional<int> Reader::TypedIndexLine() const {
  const std::string typed = CutToChars(platform_.EditText(Control::kIndexEdit), kMaxEditChars);
  for (std::size_t line = 0; line < indexLines_.size(); ++line) {
    if (StartsWithNoCase(indexLines_[line], typed)) return static_cast<int>(line);
  }
  return std::nullopt;
}

void Reader::OnIndexEditChanged() {
  if (copyingToEdit_) return;
  if (const std::optional<int> line = TypedIndexLine()) platform_.ScrollKeywords(*line);
}

void Reader::DisplayTypedKeyword() {
  // Enter in the entry displays the keyword typed: the selected line when
  // the entry holds its text (it was chosen in the list), else the line that
  // typing brought to the top, else the selected one.
  const int selected = platform_.KeywordSelection();
  const std::string typed = CutToChars(platform_.EditText(Control::kIndexEdit), kMaxEditChars);
  const bool selectedTyped = selected >= 0 && static_cast<std::size_t>(selected) < indexLines_.size() &&
                             EqualNoCase(indexLines_[static_cast<std::size_t>(selected)], typed);
  if (const std::optional<int> line = TypedIndexLine(); !selectedTyped && line && *line != selected)
    platform_.SelectKeyword(*line);
  DisplayKeyword();
}

void Reader::OnIndexSelectionChanged() {
  const int line = platform_.KeywordSelection();
  if (line < 0 || static_cast<std::size_t>(line) >= indexLines_.size()) return;
  copyingToEdit_ = true;
  platform_.SetEditText(Control::kIndexEdit, indexLines_[static_cast<std::size_t>(line)]);
  copyingToEdit_ = false;
}

std::string Reader::TargetName(const IndexEntry& entry, int target) const {
  const IndexTarget* found = entry.targets.Get(target);
  if (found == nullptr) return DisplayText(entry.name, kMaxListTextChars);
  if (!found->name.empty()) return DisplayText(found->name, kMaxListTextChars);
  const TopicTable& topics = book_->Topics();
  const std::int32_t topic = topics.FindByPath(found->local);
  if (topic >= 0) return DisplayText(topics.Title(topic), kMaxListTextChars);
  return DisplayText(entry.name, kMaxListTextChars);
}

void Reader::DisplayKeyword() {
  const int line = platform_.KeywordSelection();
  if (line < 0 || static_cast<std::size_t>(line) >= indexEntries_.size()) return;
  const IndexEntry& entry = *indexEntries_[static_cast<std::size_t>(line)];
  const std::int32_t targets = entry.targets.Count();
  if (targets == 0) return;
  if (targets == 1) {
    ShowTarget(entry, 0);
    return;
  }
  topicsFoundEntry_ = &entry;
  // One pane: the box stands alone while it asks (the panel comes back when
  // it is cancelled). Beside the sidebar the panels stay.
  if (layout_ == Layout::kSinglePane) platform_.ShowPanel(Panel::kNone);
  std::vector<std::string> lines;
  for (std::int32_t k = 0; k < targets; ++k) lines.push_back(TargetName(entry, k));
  const std::uint64_t generation = generation_;
  const int chosen = platform_.RunChoiceDialog(
      ChoiceDialog{kTopicsFoundTitle, kTopicsFoundPrompt, kTopicsFoundDisplay, kTopicsFoundCancel, lines});
  // The box waits in the event loop: the book may have gone meanwhile.
  if (generation != generation_ || closed_) return;
  if (chosen < 0 || chosen >= targets) {
    ShowPanel(Panel::kIndex);
    return;
  }
  ShowTarget(entry, chosen);
}

void Reader::ShowTarget(const IndexEntry& entry, int target) {
  const IndexTarget* found = entry.targets.Get(target);
  if (found == nullptr) return;
  const std::string local = found->local;
  RevealPage();
  ShowTopic(local);
}

}  // namespace tessaly::app
