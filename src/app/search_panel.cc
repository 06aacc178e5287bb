// The Search panel: one-word full-text search over the book's index (the
// index loaded, and every search run, on a worker) and the topics it finds.
#include "app/reader.h"
#include "app/resources.h"
#include "app/utf8.h"
#include "base/pointer_array.h"
#include "book/book.h"
#include "helpdata/topic_table.h"
#include "search/full_text_index.h"

namespace tessaly::app {

void Reader::PrepareSearch() {
  searchPending_ = false;
  platform_.SetCursor(Cursor::kWait);
  ShowProgress(kSearchCreation, 0);

  const std::uint64_t generation = generation_;
  std::shared_ptr<const Book> book = book_;
  workers_.RunBookJob([this, generation, book] {
    std::optional<std::string> failure = FailureOf([&] { book->LoadFullTextIndex(); });
    Deliver(generation, [this, failure = std::move(failure)] {
      if (failure) {
        platform_.SetCursor(Cursor::kNormal);
        ShowBookError(*failure);
        HideProgress();
        return;
      }
      ShowProgress(kSearchCreation, 100);
      HideProgress();
      platform_.SetCursor(Cursor::kNormal);
    });
  });
}

// What a search hands back: the topics found, with their titles.
struct SearchLines {
  std::optional<std::string> failure;
  std::vector<ResultLine> lines;
  std::vector<std::int32_t> topics;
};

void Reader::RunSearch() {
  if (searching_) return;
  const std::string typed = CutToChars(platform_.EditText(Control::kSearchEdit), kMaxEditChars);
  // The index holds words in the book's code page.
  const std::string query =
      CutToBytes(platform_.Codec().FromUtf8(typed, book_->CodePage()).value_or(typed), kMaxQueryBytes);
  searching_ = true;

  const std::uint64_t generation = generation_;
  const TextCodec* codec = &platform_.Codec();
  std::shared_ptr<const Book> book = book_;
  workers_.RunBookJob([this, generation, codec, book, query] {
    auto found = std::make_shared<SearchLines>();
    PointerArray<SearchResult> results(0, 1);
    found->failure = FailureOf([&] { results = book->Search(query); });
    const TopicTable& topics = book->Topics();
    for (const SearchResult* result : results) {
      if (result == nullptr) continue;
      const auto topic = static_cast<std::int32_t>(result->topic);
      found->lines.push_back(
          ResultLine{DisplayText(*codec, topics.Title(topic), kMaxListTextChars, book->CodePage()), 0, {}});
      found->topics.push_back(topic);
    }
    Deliver(generation, [this, found] {
      searching_ = false;
      if (found->failure) {
        ShowBookError(*found->failure);
        return;
      }
      if (found->topics.empty()) {
        platform_.ShowMessage(kNoTopicsFound, kNoTopicsCaption, MessageIcon::kExclamation);
        return;
      }
      resultTopics_ = std::move(found->topics);
      platform_.ShowResults(found->lines);
      platform_.EnableControl(Control::kSearchDisplayButton, true);
    });
  });
}

void Reader::DisplaySearchResult() {
  const int line = platform_.ResultSelection();
  if (line < 0 || static_cast<std::size_t>(line) >= resultTopics_.size()) return;
  RevealPage();
  const std::int32_t topic = resultTopics_[static_cast<std::size_t>(line)];
  const std::optional<std::string_view> path = book_->Topics().Path(topic);
  if (path && !path->empty()) ShowTopic(std::string(*path));
}

}  // namespace tessaly::app
