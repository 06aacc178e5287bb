// The Search panel. A query of one word is answered by the book's own
// full-text index when the book has one and it holds the word; any other
// query (several words, a phrase, a prefix, an exclusion), a word the book's
// index lacks, and every query in a book without an index are answered from
// the text of the pages, and the panel says so. The page-text index is
// opened, or built and kept in the platform's folder, on a worker the first
// time it is needed; searches run on workers too. Opening a result found in
// the page text marks the words it was found by in its page.
#include <mutex>

#include "app/page_text_search.h"
#include "app/reader.h"
#include "app/resources.h"
#include "app/utf8.h"
#include "base/book_error.h"
#include "base/pointer_array.h"
#include "book/book.h"
#include "helpdata/topic_table.h"
#include "search/full_text_index.h"
#include "textindex/index_cache.h"
#include "textindex/query_parser.h"
#include "textindex/text_index.h"

namespace tessaly::app {

// What a search hands back to the interface thread.
struct SearchLines {
  std::optional<std::string> failure;
  bool pageText = false;  // answered from the text of the pages
  std::vector<ResultLine> lines;
  std::vector<std::string> paths;  // book text
  std::vector<std::string> words;  // to mark in a result's page
};

namespace {

// Characters of a snippet kept before the first word found.
constexpr std::size_t kSnippetLead = 24;

// A snippet on one line: every run of spaces, tabs and line ends is one
// space, and it starts a few words before the first word found, so that
// the word shows within the sidebar's width (the line is cut at its end).
std::string OneLine(std::string_view text) {
  const std::size_t mark = text.find(kMarkOpen);
  if (mark != std::string_view::npos && CountChars(text.substr(0, mark)) > kSnippetLead) {
    std::size_t start = mark;
    for (std::size_t chars = 0; start > 0 && chars < kSnippetLead; --start) {
      if ((static_cast<unsigned char>(text[start - 1]) & 0xC0) != 0x80) ++chars;
    }
    // From a word's start where there is one near.
    const std::size_t space = text.find(' ', start);
    if (space != std::string_view::npos && space < mark) start = space + 1;
    return "\xE2\x80\xA6" + OneLine(text.substr(start));
  }
  std::string line;
  bool space = false;
  for (const char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      space = !line.empty();
      continue;
    }
    if (space) line += ' ';
    space = false;
    line += c;
  }
  return line;
}

}  // namespace

void Reader::OpenPageTextIndex(PageTextSearch& search, const Book& book, const TextCodec& codec,
                               const std::optional<std::filesystem::path>& folder, std::uint64_t generation) {
  if (search.index) return;
  int shown = -1;
  textindex::BuildControl control;
  control.cancel = &search.cancel;
  control.progress = [&](int percent) {
    // The bar moves in steps of ten.
    if (percent == shown || percent % 10 != 0) return;
    shown = percent;
    Deliver(generation, [this, percent] { ShowProgress(kPageTextCreation, percent); });
  };
  const auto hide = [&] {
    if (shown >= 0) Deliver(generation, [this] { HideProgress(); });
  };
  try {
    search.index = textindex::IndexCache(folder).Open(book, codec, control).index;
  } catch (...) {
    hide();
    throw;
  }
  hide();
}

void Reader::PrepareSearch() {
  searchPending_ = false;
  // A book without an index of its own is searched in its page text: the
  // index of that is made ready while the reader types.
  if (!ownSearchIndex_) {
    OpenPageText();
    return;
  }
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

void Reader::OpenPageText() {
  if (pageTextBuilding_ || !pageText_) return;
  pageTextBuilding_ = true;
  const std::uint64_t generation = generation_;
  const TextCodec* codec = &platform_.Codec();
  std::shared_ptr<const Book> book = book_;
  std::shared_ptr<PageTextSearch> search = pageText_;
  std::optional<std::filesystem::path> folder = platform_.PageTextFolder();
  workers_.RunBookJob([this, generation, codec, book, search, folder] {
    std::optional<std::string> failure;
    {
      const std::lock_guard<std::mutex> lock(search->mutex);
      failure = FailureOf([&] { OpenPageTextIndex(*search, *book, *codec, folder, generation); });
    }
    Deliver(generation, [this, failure = std::move(failure)] {
      pageTextBuilding_ = false;
      if (failure) platform_.ShowMessage(std::string(kPageTextFailed) + *failure, kBookErrorCaption, MessageIcon::kError);
    });
  });
}

void Reader::StopPageText() {
  if (pageText_) pageText_->cancel = true;
  pageText_.reset();
}

void Reader::RunSearch() {
  if (searching_ || !book_ || !pageText_) return;
  const std::string typed = CutToChars(platform_.EditText(Control::kSearchEdit), kMaxEditChars);
  textindex::ParsedQuery query;
  try {
    query = textindex::ParseQuery(typed);
  } catch (const textindex::QueryError&) {
    // Only operators, only punctuation: nothing can be found, as the panel
    // says of any search without results.
    ShowNoTopics();
    return;
  }
  // The book's index holds words in the book's code page.
  std::optional<std::string> ownWord;
  if (ownSearchIndex_ && query.singleWord) {
    const std::string& word = *query.singleWord;
    ownWord = CutToBytes(platform_.Codec().FromUtf8(word, book_->CodePage()).value_or(word), kMaxQueryBytes);
  }
  searching_ = true;

  const std::uint64_t generation = generation_;
  const TextCodec* codec = &platform_.Codec();
  std::shared_ptr<const Book> book = book_;
  std::shared_ptr<PageTextSearch> search = pageText_;
  std::optional<std::filesystem::path> folder = platform_.PageTextFolder();
  workers_.RunBookJob([this, generation, codec, book, search, folder, ownWord, query = std::move(query)] {
    auto found = std::make_shared<SearchLines>();
    const int codePage = book->CodePage();
    if (ownWord) {
      PointerArray<SearchResult> results(0, 1);
      found->failure = FailureOf([&] { results = book->Search(*ownWord); });
      const TopicTable& topics = book->Topics();
      for (const SearchResult* result : results) {
        if (result == nullptr) continue;
        const auto topic = static_cast<std::int32_t>(result->topic);
        found->lines.push_back(
            ResultLine{DisplayText(*codec, topics.Title(topic), kMaxListTextChars, codePage), 0, {}});
        // A topic without a path is listed, and opens nothing.
        found->paths.emplace_back(topics.Path(topic).value_or(std::string_view()));
      }
      if (found->failure) {
        Deliver(generation, [this, found] { ShowSearchLines(found); });
        return;
      }
    }
    // The text of the pages answers what the book's index cannot, and
    // replaces a weak answer of it: the one that finds more pages is shown.
    auto text = std::make_shared<SearchLines>();
    text->pageText = true;
    text->words = query.terms;
    const std::lock_guard<std::mutex> lock(search->mutex);
    std::vector<textindex::TextHit> hits;
    text->failure = FailureOf([&] {
      OpenPageTextIndex(*search, *book, *codec, folder, generation);
      textindex::SearchOptions options;
      options.markOpen = kMarkOpen;
      options.markClose = kMarkClose;
      hits = search->index->Search(query, options);
    });
    for (textindex::TextHit& hit : hits) {
      text->lines.push_back(ResultLine{CutToChars(hit.title, kMaxListTextChars), hit.hits, OneLine(hit.snippet)});
      text->paths.push_back(codec->FromUtf8(hit.path, codePage).value_or(hit.path));
    }
    const bool ownIsBetter = !found->lines.empty() && (text->failure || text->lines.size() <= found->lines.size());
    if (!ownIsBetter) found = text;
    Deliver(generation, [this, found] { ShowSearchLines(found); });
  });
}

void Reader::ShowNoTopics() {
  resultPaths_.clear();
  resultWords_.clear();
  platform_.ShowResults({}, kNoTopicsFound);
  platform_.EnableControl(Control::kSearchDisplayButton, false);
}

void Reader::ShowSearchLines(const std::shared_ptr<SearchLines>& found) {
  searching_ = false;
  if (found->failure) {
    if (found->pageText) {
      platform_.ShowMessage(std::string(kPageTextFailed) + *found->failure, kBookErrorCaption, MessageIcon::kError);
    } else {
      ShowBookError(*found->failure);
    }
    return;
  }
  if (found->lines.empty()) {
    ShowNoTopics();
    return;
  }
  resultPaths_ = std::move(found->paths);
  resultWords_ = std::move(found->words);
  platform_.ShowResults(found->lines, found->pageText ? FormatText(kPageTextNote, found->lines.size()) : "");
  platform_.EnableControl(Control::kSearchDisplayButton, true);
}

void Reader::DisplaySearchResult() {
  const int line = platform_.ResultSelection();
  if (line < 0 || static_cast<std::size_t>(line) >= resultPaths_.size()) return;
  const std::string& path = resultPaths_[static_cast<std::size_t>(line)];
  RevealPage();
  if (path.empty()) return;
  wordsToMark_ = resultWords_;
  if (ShowTopic(path)) return;
  // Nothing loads when the result is the page on screen: its words are
  // marked where they are.
  if (!busy_ && !wordsToMark_.empty()) platform_.MarkWords(wordsToMark_);
  wordsToMark_.clear();
}

}  // namespace tessaly::app
