// Search across the books of the library: the WORD: book filter, ranking
// across books, the books' own keywords first, and keyword lookup.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <set>
#include <thread>

#include "library/book_filter.h"
#include "library_books.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;
using library::LibraryHit;

TEST(LibrarySearch, ALeadingWordAndColonFiltersBooksOnlyWhenItIsPlainlyAFilter) {
  // Books of the library match "autoit", "python" and "std"; nothing else.
  const auto matches = [](std::string_view word) { return word == "autoit" || word == "python" || word == "std"; };
  const struct {
    const char* typed;
    const char* filter;
    const char* query;
  } cases[] = {
      {"autoit:数组", "autoit", "数组"},
      {"  python: string split ", "python", "string split"},
      {"std::vector", "", "std::vector"},          // a scope, not a filter
      {"std:vector", "std", "vector"},
      {"C:", "", "C:"},                            // a drive
      {"C:\\Windows", "", "C:\\Windows"},
      {"http://example.org/a", "", "http://example.org/a"},
      {"python:", "", "python:"},                  // nothing to find after it
      {"10:30", "", "10:30"},                      // a time
      {"ruby:string", "", "ruby:string"},          // no such book: the query as typed
      {"\"python:x\"", "", "\"python:x\""},        // inside a phrase
      {"-python:x", "", "-python:x"},
      {"python string:x", "", "python string:x"},  // the colon is not after the first word
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    const library::BookFilter split = library::SplitBookFilter(c.typed, matches);
    EXPECT_EQ(split.word, c.filter);
    EXPECT_EQ(split.query, c.query);
  }
}

// Three books: a page titled by a rare word in the last one by title, a
// page that mentions it once in the first, and the book's own keyword for a
// word that titles another book's page.
class LibrarySearchBooks : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path folder = scratch_.Books();
    std::vector<std::pair<std::string, std::string>> filler;
    for (int i = 0; i < 40; ++i) {
      filler.push_back({"f" + std::to_string(i) + ".htm", test::Page("Filler " + std::to_string(i), "widgets and gears")});
    }
    test::SmallBook mentions{"Aardvark Guide", filler, {{"gearbox", "gears.htm"}, {"gearbox", "more.htm"}}};
    mentions.pages.push_back({"mention.htm", test::Page("Setup", "Install it, then the zorblax may run.")});
    mentions.pages.push_back({"gears.htm", test::Page("Gears", "gears of the gearbox")});
    mentions.pages.push_back({"more.htm", test::Page("More gears", "the gearbox again")});
    test::SmallBook titled{"Zebra Manual", filler, {{"Frobnicate", "tools.htm"}, {"gearbox", "gb.htm#top"}}};
    titled.pages.push_back({"zorblax.htm", test::Page("Zorblax", "The reference of it.")});
    titled.pages.push_back({"tools.htm", test::Page("Tools", "frobnicate things with care")});
    titled.pages.push_back({"gb.htm", test::Page("Gearbox", "gearbox")});
    titled.pages.push_back({"frob.htm", test::Page("Frobnicate frobnicate", "frobnicate frobnicate frobnicate")});
    test::WriteBytes(folder / "aardvark.chm", test::MakeBook(mentions));
    test::WriteBytes(folder / "zebra.chm", test::MakeBook(titled));
    library_.Add(folder, scratch_.Converter());
    const library::IndexSummary summary = library_.IndexPending(scratch_.Converter());
    ASSERT_EQ(summary.built, 2u);
  }

  library::LibraryResults Search(const std::string& query) { return library_.OpenSearch().Search(query); }

  test::ScratchLibrary scratch_;
  library::Library library_ = scratch_.Open();
};

TEST_F(LibrarySearchBooks, ARareWordInATitleRanksAboveAMentionInAnotherBook) {
  const library::LibraryResults found = Search("zorblax");
  ASSERT_EQ(found.pages.size(), 2u);
  EXPECT_EQ(found.pages[0].bookTitle, "Zebra Manual");
  EXPECT_EQ(found.pages[0].path, "zorblax.htm");
  EXPECT_EQ(found.pages[1].bookTitle, "Aardvark Guide");
  EXPECT_EQ(found.pages[1].hits, 1);
  EXPECT_NE(found.pages[1].snippet.find("[zorblax]"), std::string::npos);
}

TEST_F(LibrarySearchBooks, ABookFilterKeepsToTheBooksItNames) {
  const struct {
    const char* query;
    const char* filter;
    std::vector<std::string> books;
  } cases[] = {
      {"zebra:zorblax", "zebra", {"Zebra Manual"}},
      {"AARDVARK: zorblax", "AARDVARK", {"Aardvark Guide"}},
      {"guide:zorblax", "guide", {"Aardvark Guide"}},  // a word of the title
      {"zorblax", "", {"Zebra Manual", "Aardvark Guide"}},
      {"okapi:zorblax", "", {}},  // no such book: "okapi" is searched for too
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    const library::LibraryResults found = Search(c.query);
    EXPECT_EQ(found.bookFilter, c.filter);
    std::vector<std::string> books;
    for (const LibraryHit& hit : found.pages) books.push_back(hit.bookTitle);
    EXPECT_EQ(books, c.books);
  }
}

TEST_F(LibrarySearchBooks, PagesThatABooksKeywordNamesComeFirst) {
  // "frob.htm" holds the word five times over, in its title too; the book's
  // own index names "tools.htm" for it.
  const library::LibraryResults found = Search("frobnicate");
  ASSERT_GE(found.pages.size(), 2u);
  EXPECT_EQ(found.pages[0].path, "tools.htm");
  EXPECT_TRUE(found.pages[0].keyword);
  EXPECT_EQ(found.pages[1].path, "frob.htm");
  EXPECT_FALSE(found.pages[1].keyword);
}

TEST_F(LibrarySearchBooks, LookupFindsOneTopicSeveralOrNone) {
  const struct {
    const char* word;
    const char* book;
    std::vector<std::string> pages;  // book title, then path
  } cases[] = {
      {"frobnicate", "", {"Zebra Manual tools.htm"}},
      {"  FROBNICATE ", "", {"Zebra Manual tools.htm"}},
      {"gearbox", "", {"Aardvark Guide gears.htm", "Aardvark Guide more.htm", "Zebra Manual gb.htm#top"}},
      {"gearbox", "zebra", {"Zebra Manual gb.htm#top"}},
      {"gearbox", "okapi", {}},
      {"zorblax", "", {}},  // in the text, but no keyword
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.word) + " in " + c.book);
    std::vector<std::string> pages;
    for (const library::Topic& topic : library_.Lookup(c.word, c.book)) pages.push_back(topic.bookTitle + " " + topic.path);
    EXPECT_EQ(pages, c.pages);
  }
  // A book named by its path.
  const std::string zebra = (scratch_.Books() / "zebra.chm").string();
  ASSERT_EQ(library_.Lookup("gearbox", zebra).size(), 1u);
  EXPECT_EQ(library_.Lookup("gearbox", zebra)[0].book, zebra);
}

TEST_F(LibrarySearchBooks, ADamagedIndexIsReportedAndIndexedAgain) {
  for (const auto& entry : fs::directory_iterator(scratch_.Indexes())) {
    if (entry.path().extension() == ".sqlite") {
      std::vector<std::uint8_t> bytes = test::ReadFileBytes(entry.path().string());
      for (std::size_t i = 4096; i < bytes.size(); ++i) bytes[i] ^= 0x5A;
      test::WriteBytes(entry.path(), bytes);
    }
  }
  // One search kept throughout, as the window keeps it.
  const library::LibrarySearch search = library_.OpenSearch();
  EXPECT_EQ(search.Search("zorblax").problems.size(), 2u);
  const library::IndexSummary again = library_.IndexPending(scratch_.Converter());
  EXPECT_EQ(again.built, 2u);
  const library::LibraryResults found = search.Search("zorblax");
  EXPECT_TRUE(found.problems.empty());
  EXPECT_EQ(found.pages.size(), 2u);
}

TEST_F(LibrarySearchBooks, AKeptSearchFollowsBooksChangedAddedAndRemoved) {
  const library::LibrarySearch search = library_.OpenSearch();
  const auto books = [&](const char* query) {
    std::vector<std::string> titles;
    for (const LibraryHit& hit : search.Search(query).pages) titles.push_back(hit.bookTitle + " " + hit.path);
    std::sort(titles.begin(), titles.end());
    return titles;
  };
  using Titles = std::vector<std::string>;
  ASSERT_EQ(books("zorblax"), (Titles{"Aardvark Guide mention.htm", "Zebra Manual zorblax.htm"}));

  // The zebra book is rewritten on disk, and a third book comes.
  test::SmallBook rewritten{"Zebra Manual", {{"quagga.htm", test::Page("Quagga", "Striped, no zorb here.")}}, {}};
  rewritten.pages.push_back({"other.htm", test::Page("Other", "nothing of note")});
  test::WriteBytes(scratch_.Books() / "zebra.chm", test::MakeBook(rewritten));
  test::WriteBytes(scratch_.Books() / "okapi.chm",
                   test::MakeBook({"Okapi Notes", {{"o.htm", test::Page("Okapi", "a zorblax seen")}}, {}}));
  library_.Rescan(scratch_.Converter());
  library_.IndexPending(scratch_.Converter());
  EXPECT_EQ(books("zorblax"), (Titles{"Aardvark Guide mention.htm", "Okapi Notes o.htm"}));
  EXPECT_EQ(books("quagga"), (Titles{"Zebra Manual quagga.htm"}));
  EXPECT_EQ(search.BookCount(), 3u);

  // A book taken out of the library is no longer searched.
  ASSERT_TRUE(library_.Remove(scratch_.Books() / "aardvark.chm"));
  EXPECT_EQ(books("zorblax"), (Titles{"Okapi Notes o.htm"}));
  EXPECT_EQ(search.BookCount(), 2u);
}

// More books than indexes are kept open, under a limit of open files that
// cannot hold them all at once: every book is still searched, query after
// query.
TEST(LibrarySearch, MoreBooksThanIndexesKeptOpenAreAllSearched) {
  const unsigned workers = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t count = library::LibrarySearch::kMaxOpenIndexes + workers + 24;
  test::ScratchLibrary scratch;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string n = std::to_string(i);
    test::WriteBytes(scratch.Books() / ("b" + n + ".chm"),
                     test::MakeBook({"Book " + n, {{"p.htm", test::Page("Page " + n, "a zorblax numbered " + n)}}, {}}));
  }
  library::Library library = scratch.Open();
  library.Add(scratch.Books(), scratch.Converter());
  ASSERT_EQ(library.IndexPending(scratch.Converter()).built, count);
  const library::LibrarySearch search = library.OpenSearch();

  std::size_t open = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++open;
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit lowered = saved;
  lowered.rlim_cur = open + library::LibrarySearch::kMaxOpenIndexes + workers + 8;
  ASSERT_LT(lowered.rlim_cur, open + count);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
  textindex::SearchOptions all;
  all.limit = static_cast<int>(2 * count);
  std::vector<library::LibraryResults> found;
  for (int query = 0; query < 3; ++query) found.push_back(search.Search("zorblax", all));
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
  for (const library::LibraryResults& results : found) {
    EXPECT_TRUE(results.problems.empty()) << results.problems.front();
    std::set<std::string> books;
    for (const LibraryHit& hit : results.pages) {
      if (hit.hits == 1) books.insert(hit.bookTitle);
    }
    EXPECT_EQ(books.size(), count);
  }
}

}  // namespace
}  // namespace tessaly
