// The Index panel: the book's keywords in a list that scrolls as the user
// types, and "Topics Found" for keywords with several targets.
#include <algorithm>
#include <vector>

#include "app/reader.h"
#include "app/resources.h"
#include "app/utf8.h"
#include "app/work_scope.h"
#include "base/pointer_array.h"
#include "base/text.h"
#include "book/book.h"
#include "helpdata/keyword_index.h"
#include "helpdata/topic_table.h"

namespace tessaly::app {

namespace {

// A control's place from its left, top, width and height.
Rect Place(int x, int y, int width, int height) { return Rect{x, y, x + width, y + height}; }

// Indentation stops where no line could show more of it.
constexpr int kMaxIndentDepth = 50;

// True when `line` begins with `prefix`, ASCII letters compared without case.
bool StartsWithNoCase(std::string_view line, std::string_view prefix) {
  if (line.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (ToLowerAscii(line[i]) != ToLowerAscii(prefix[i])) return false;
  }
  return true;
}

}  // namespace

void Reader::CreateIndexPanel() {
  Create(Control::kIndexLabel, kKeywordPrompt);
  Create(Control::kIndexEdit, "");
  Create(Control::kIndexList, "");
  Create(Control::kIndexDisplayButton, kDisplayButton);
  indexLines_.clear();
  indexEntries_.clear();
  LayoutIndexPanel();
}

void Reader::LayoutIndexPanel() {
  const Size measure = platform_.MeasureText(Control::kIndexDisplayButton, kDisplayMeasure);
  const int w = measure.width;
  const int h = measure.height;
  const int left = panelRect_.left;
  const int width = panelRect_.right - left;
  const int y0 = panelRect_.top;
  const int y1 = y0 + h + 4;
  const int y2 = y1 + h + 6 + 4;
  const int listHeight = panelRect_.bottom - (y2 + h + 10);
  platform_.MoveControl(Control::kIndexLabel, Place(left, y0, width, h));
  platform_.MoveControl(Control::kIndexEdit, Place(left, y1, width, h + 6));
  platform_.MoveControl(Control::kIndexList, Place(left, y2, width, listHeight));
  platform_.MoveControl(Control::kIndexDisplayButton,
                        Place(panelRect_.right - (w + 10), y2 + listHeight + 4, w + 10, h + 6));
}

void Reader::FillIndexList() {
  const WorkScope work(*this);
  indexPending_ = false;
  platform_.PaintNow();
  ShowProgress(kIndexCreation);
  platform_.SetCursor(Cursor::kWait);

  if (const std::optional<std::string> failure = FailureOf([&] { currentBook_->BuildKeywordIndex(); })) {
    // The panel is shown empty by the command; the build is not tried again.
    platform_.SetCursor(Cursor::kNormal);
    ShowBookError(*failure);
    HideProgress();
    return;
  }
  SetProgress(10);

  const IndexEntry& root = currentBook_->KeywordIndex();
  const std::int64_t count = root.children.Count();
  for (std::int32_t i = 0; i < root.children.Count(); ++i) {
    const IndexEntry* keyword = root.children.Get(i);
    if (keyword != nullptr) {
      AddIndexEntry(*keyword, 0);
      ForEachIndexEntry(*keyword,
                        [this](const IndexEntry& entry, int depth) { AddIndexEntry(entry, depth + 1); });
    }
    SetProgress(static_cast<int>(i * 90 / count + 10));
  }

  if (!indexLines_.empty()) platform_.ListSelect(Control::kIndexList, 0);
  HideProgress();
  platform_.SetCursor(Cursor::kNormal);
}

void Reader::AddIndexEntry(const IndexEntry& entry, int depth) {
  std::string line(static_cast<std::size_t>(2 * std::min(depth, kMaxIndentDepth)), ' ');
  line += entry.name.substr(0, entry.name.find('\0'));
  std::string text = DisplayText(line, kMaxListTextChars);
  platform_.ListAppend(Control::kIndexList, text);
  indexLines_.push_back(std::move(text));
  indexEntries_.push_back(&entry);
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
  if (const std::optional<int> line = TypedIndexLine()) platform_.ListScrollToTop(Control::kIndexList, *line);
}

void Reader::DisplayTypedKeyword() {
  // Enter in the entry displays the keyword typed: the selected line when
  // the entry holds its text (it was chosen in the list), else the line that
  // typing brought to the top, else the selected one.
  const int selected = platform_.ListSelection(Control::kIndexList);
  const std::string typed = CutToChars(platform_.EditText(Control::kIndexEdit), kMaxEditChars);
  const bool selectedTyped = selected >= 0 && static_cast<std::size_t>(selected) < indexLines_.size() &&
                             EqualNoCase(indexLines_[static_cast<std::size_t>(selected)], typed);
  if (const std::optional<int> line = TypedIndexLine(); !selectedTyped && line && *line != selected)
    platform_.ListSelect(Control::kIndexList, *line);
  DisplayKeyword();
}

void Reader::OnIndexSelectionChanged() {
  const int line = platform_.ListSelection(Control::kIndexList);
  if (line < 0 || static_cast<std::size_t>(line) >= indexLines_.size()) return;
  copyingToEdit_ = true;
  platform_.SetEditText(Control::kIndexEdit, indexLines_[static_cast<std::size_t>(line)]);
  copyingToEdit_ = false;
}

std::string Reader::TargetName(const IndexEntry& entry, int target) const {
  const IndexTarget* found = entry.targets.Get(target);
  if (found == nullptr) return DisplayText(entry.name, kMaxListTextChars);
  if (!found->name.empty()) return DisplayText(found->name, kMaxListTextChars);
  const TopicTable& topics = currentBook_->Topics();
  const std::int32_t topic = topics.FindByPath(found->local);
  if (topic >= 0) return DisplayText(topics.Title(topic), kMaxListTextChars);
  return DisplayText(entry.name, kMaxListTextChars);
}

void Reader::DisplayKeyword() {
  const int line = platform_.ListSelection(Control::kIndexList);
  if (line < 0 || static_cast<std::size_t>(line) >= indexEntries_.size()) return;
  const IndexEntry& entry = *indexEntries_[static_cast<std::size_t>(line)];
  const std::int32_t targets = entry.targets.Count();
  if (targets == 0) return;
  if (targets == 1) {
    ShowTarget(entry, 0);
    return;
  }
  topicsFoundEntry_ = &entry;
  HidePanels();
  std::vector<std::string> lines;
  for (std::int32_t k = 0; k < targets; ++k) lines.push_back(TargetName(entry, k));
  const int chosen = platform_.RunChoiceDialog(
      ChoiceDialog{kTopicsFoundTitle, kTopicsFoundPrompt, kTopicsFoundDisplay, kTopicsFoundCancel, lines});
  if (chosen < 0 || chosen >= targets) {
    ShowPanel(kCmdIndex);
    return;
  }
  ShowTarget(entry, chosen);
}

void Reader::ShowTarget(const IndexEntry& entry, int target) {
  const IndexTarget* found = entry.targets.Get(target);
  if (found == nullptr) return;
  const std::string local = found->local;
  HidePanels();
  ShowPanel(kCmdHtml);
  ShowTopic(local);
}

}  // namespace tessaly::app
