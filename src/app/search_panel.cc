// The Search panel: one-word full-text search over the book's index and
// the topics it finds.

#include "app/reader.h"
#include "app/resources.h"
#include "app/utf8.h"
#include "app/work_scope.h"
#include "base/pointer_array.h"
#include "book/book.h"
#include "helpdata/topic_table.h"
#include "search/full_text_index.h"

namespace tessaly::app {

namespace {

Rect Place(int x, int y, int width, int height) { return Rect{x, y, x + width, y + height}; }

}  // namespace

void Reader::CreateSearchPanel() {
  Create(Control::kSearchLabel, kKeywordPrompt);
  Create(Control::kSearchEdit, "");
  Create(Control::kListTopicsButton, kListTopicsButton);
  Create(Control::kResultsLabel, kResultsPrompt);
  Create(Control::kResultsList, "");
  Create(Control::kSearchDisplayButton, kDisplayButton);
  resultTopics_.clear();
  LayoutSearchPanel();
  platform_.EnableControl(Control::kListTopicsButton, false);
  platform_.EnableControl(Control::kSearchDisplayButton, false);
}

void Reader::LayoutSearchPanel() {
  const Size topics = platform_.MeasureText(Control::kListTopicsButton, kListTopicsMeasure);
  const Size display = platform_.MeasureText(Control::kSearchDisplayButton, kDisplayMeasure);
  const int left = panelRect_.left;
  const int right = panelRect_.right;
  const int width = right - left;
  int y = panelRect_.top;
  platform_.MoveControl(Control::kSearchLabel, Place(left, y, width, topics.height));
  y += topics.height + 4;
  platform_.MoveControl(Control::kSearchEdit, Place(left, y, width, topics.height + 6));
  y += topics.height + 6 + 4;
  platform_.MoveControl(Control::kListTopicsButton,
                        Place(right - (topics.width + 10), y, topics.width + 10, topics.height + 6));
  y += topics.height + 6 + 4;
  platform_.MoveControl(Control::kResultsLabel, Place(left, y, width, topics.height));
  y += topics.height + 4;
  const int listHeight = panelRect_.bottom - (y + display.height + 10);
  platform_.MoveControl(Control::kResultsList, Place(left, y, width, listHeight));
  y += listHeight + 4;
  platform_.MoveControl(Control::kSearchDisplayButton,
                        Place(right - (display.width + 10), y, display.width + 10, display.height + 6));
}

void Reader::PrepareSearch() {
  const WorkScope work(*this);
  searchPending_ = false;
  platform_.PaintNow();
  platform_.SetCursor(Cursor::kWait);
  ShowProgress(kSearchCreation);

  if (const std::optional<std::string> failure = FailureOf([&] { currentBook_->LoadFullTextIndex(); })) {
    platform_.SetCursor(Cursor::kNormal);
    ShowBookError(*failure);
    HideProgress();
    return;
  }
  SetProgress(100);
  HideProgress();
  platform_.SetCursor(Cursor::kNormal);
}

void Reader::RunSearch() {
  const WorkScope work(*this);
  const std::string typed = CutToChars(platform_.EditText(Control::kSearchEdit), kMaxEditChars);
  // The index holds words in the book's code page.
  const std::string query =
      CutToBytes(platform_.Codec().FromUtf8(typed, currentBook_->CodePage()).value_or(typed), kMaxQueryBytes);

  PointerArray<SearchResult> results(0, 1);
  if (const std::optional<std::string> failure = FailureOf([&] { results = currentBook_->Search(query); })) {
    ShowBookError(*failure);
    return;
  }

  if (results.Count() == 0) {
    platform_.ShowMessage(kNoTopicsFound, kNoTopicsCaption, MessageIcon::kExclamation);
    return;
  }
  platform_.ListClear(Control::kResultsList);
  resultTopics_.clear();
  platform_.EnableControl(Control::kSearchDisplayButton, true);
  const TopicTable& topics = currentBook_->Topics();
  for (const SearchResult* result : results) {
    if (result == nullptr) continue;
    const auto topic = static_cast<std::int32_t>(result->topic);
    platform_.ListAppend(Control::kResultsList, DisplayText(topics.Title(topic), kMaxListTextChars));
    resultTopics_.push_back(topic);
  }
}

void Reader::DisplaySearchResult() {
  const int line = platform_.ListSelection(Control::kResultsList);
  if (line < 0 || static_cast<std::size_t>(line) >= resultTopics_.size()) return;
  HidePanels();
  ShowPanel(kCmdHtml);
  const std::int32_t topic = resultTopics_[static_cast<std::size_t>(line)];
  const std::optional<std::string_view> path = currentBook_->Topics().Path(topic);
  if (path && !path->empty()) ShowTopic(std::string(*path));
}

}  // namespace tessaly::app
