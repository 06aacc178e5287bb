// The full-text index of whole books: books compiled here with chmcmd from known pages, books built byte by
// byte, and every book of the shared corpus, each checked against a plain reading of its index.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/book_error.h"
#include "base/pointer_array.h"
#include "base/text.h"
#include "book/book.h"
#include "search/fti_builder.h"
#include "search/full_text_index.h"
#include "support/book_builder.h"
#include "support/chm_builder.h"

namespace tessaly {
namespace {

using test::LiteralEntry;

std::vector<std::string> ResultPaths(const Book& book, const PointerArray<SearchResult>& results) {
  std::vector<std::string> paths;
  for (const SearchResult* result : results) {
    const std::optional<std::string_view> path = book.Topics().Path(static_cast<std::int32_t>(result->topic));
    paths.push_back(path ? std::string(*path) : "<none>");
  }
  return paths;
}

std::vector<std::string> Search(Book& book, const std::string& word) {
  return ResultPaths(book, book.Search(word));
}

// Topic -> summed locations over the run of entries holding the word, read the plain way from the index's
// bytes.
std::map<std::uint32_t, std::uint32_t> LiteralTopics(const ObjectBuffer& data,
                                                     const std::vector<LiteralEntry>& entries,
                                                     const std::string& word) {
  std::map<std::uint32_t, std::uint32_t> topics;
  auto at =
      std::find_if(entries.begin(), entries.end(), [&](const LiteralEntry& e) { return e.word == word; });
  for (; at != entries.end() && at->word == word; ++at) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> records;
    EXPECT_TRUE(test::LiteralDecodeList(data, *at, test::LiteralRoots(data), records)) << word;
    for (const auto& [topic, count] : records) topics[topic] += count;
  }
  return topics;
}

// The results are ordered by title under CompareNoCase, equal titles by topic number.
void ExpectReaderOrder(const Book& book, const PointerArray<SearchResult>& results) {
  const SearchResult* previous = nullptr;
  for (const SearchResult* result : results) {
    if (previous != nullptr) {
      const int order = CompareNoCase(book.Topics().Title(static_cast<std::int32_t>(previous->topic)),
                                      book.Topics().Title(static_cast<std::int32_t>(result->topic)));
      EXPECT_LE(order, 0);
      if (order == 0) {
        EXPECT_LT(previous->topic, result->topic);
      }
    }
    previous = result;
  }
}

TEST(BookFullText, BasicBookFindsWordsInTheirPages) {
  Book book;
  book.Open(test::TestBook("basic"));
  book.LoadFullTextIndex();
  EXPECT_EQ(Search(book, "giraffe"),
            (std::vector<std::string>{"chapter2/My Page.htm", "chapter2/right.htm"}));
  EXPECT_EQ(Search(book, "Aardvark"), std::vector<std::string>{"index.htm"});
  // chmcmd leaves out the text of a page whose body tag carries attributes, as details.htm's does: its
  // "Zebra stripes" never reached the index.
  EXPECT_EQ(Search(book, "zebra"), std::vector<std::string>{"chapter1/intro.htm"});
  EXPECT_TRUE(Search(book, "stripes").empty());
  EXPECT_EQ(Search(book, "the"),
            (std::vector<std::string>{"chapter1/intro.htm", "chapter2/My Page.htm", "index.htm"}));
  EXPECT_TRUE(Search(book, "zebra crossing").empty());
}

// The search book: quokka in the titles of c and e and the text of a, b, c and d.
TEST(BookFullText, SearchBookListsEveryTopicOnceInTitleOrder) {
  Book book;
  book.Open(test::TestBook("search"));
  book.LoadFullTextIndex();
  FullTextIndex index;
  index.Read(book);
  const ObjectBuffer data = book.ReadObject("$FIftiMain");
  std::vector<WordEntry> entries;
  index.FindWordEntries("quokka", entries);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_NE(entries[0].flag, entries[1].flag);

  // b "Alpha" and d "alpha" tie and keep topic order; then beta, Quokka facts, Quokka gallery.
  const std::vector<std::string> quokka{"b.htm", "d.htm", "a.htm", "c.htm", "e.htm"};
  EXPECT_EQ(Search(book, "quokka"), quokka);
  EXPECT_EQ(Search(book, "QUOKKA"), quokka);
  ExpectReaderOrder(book, book.Search("QUOKKA"));
  EXPECT_EQ(Search(book, "numbat"), (std::vector<std::string>{"c.htm", "e.htm"}));
  EXPECT_EQ(Search(book, "wombat"), (std::vector<std::string>{"a.htm", "f.htm"}));
  EXPECT_EQ(Search(book, "gallery"), std::vector<std::string>{"e.htm"});
  EXPECT_TRUE(Search(book, "quokka wombat").empty());
  EXPECT_TRUE(Search(book, "quokk").empty());

  // c.htm holds quokka in its title and twice in its text: its locations are those of both entries.
  std::vector<LiteralEntry> literal;
  ASSERT_TRUE(test::LiteralScan(data, literal));
  const auto topics = LiteralTopics(data, literal, "quokka");
  const PointerArray<SearchResult> results = book.Search("quokka");
  ASSERT_EQ(static_cast<std::size_t>(results.Count()), topics.size());
  for (const SearchResult* result : results) {
    EXPECT_EQ(result->locationCount, topics.at(result->topic)) << result->topic;
  }
  const std::int32_t c = book.Topics().FindByPath("c.htm");
  std::vector<SearchResult> titleOnly, textOnly;
  index.DecodeDocumentList(entries[0].flag == 1 ? entries[0] : entries[1], titleOnly);
  index.DecodeDocumentList(entries[0].flag == 1 ? entries[1] : entries[0], textOnly);
  auto countIn = [c](const std::vector<SearchResult>& list) {
    for (const SearchResult& r : list)
      if (r.topic == static_cast<std::uint32_t>(c)) return r.locationCount;
    return 0u;
  };
  EXPECT_GT(countIn(titleOnly), 0u);
  EXPECT_GT(countIn(textOnly), 0u);
  EXPECT_EQ(topics.at(static_cast<std::uint32_t>(c)), countIn(titleOnly) + countIn(textOnly));
}

TEST(BookFullText, WordInFiveThousandTopics) {
  Book book;
  book.Open(test::TestBook("bigsearch"));
  book.LoadFullTextIndex();
  FullTextIndex index;
  index.Read(book);
  std::vector<WordEntry> entries;
  index.FindWordEntries("zebra", entries);
  ASSERT_EQ(entries.size(), 2u);  // "Zebra notes" titles, and every page's text

  const PointerArray<SearchResult> results = book.Search("zebra");
  ASSERT_EQ(results.Count(), 5000);
  ExpectReaderOrder(book, results);
  std::set<std::string> paths;
  for (const std::string& path : ResultPaths(book, results)) paths.insert(path);
  ASSERT_EQ(paths.size(), 5000u);
  for (int i = 0; i < 5000; i += 499) {
    char name[32];
    std::snprintf(name, sizeof name, "pages/t%04d.htm", i);
    EXPECT_EQ(paths.count(name), 1u) << name;
  }
  // The title entry lists exactly the pages titled "Zebra notes".
  std::vector<SearchResult> titled;
  index.DecodeDocumentList(entries[0].flag == 1 ? entries[0] : entries[1], titled);
  std::set<std::uint32_t> titledTopics, zebraTitles;
  for (const SearchResult& r : titled) titledTopics.insert(r.topic);
  for (const SearchResult* r : results) {
    if (book.Topics().Title(static_cast<std::int32_t>(r->topic)) == "Zebra notes")
      zebraTitles.insert(r->topic);
  }
  EXPECT_GE(zebraTitles.size(), 500u);
  EXPECT_EQ(titledTopics, zebraTitles);
}

TEST(BookFullText, BookWithoutIndexObject) {
  test::BookBuilder builder;
  builder.AddFile("/index.htm", "<html><body>hello</body></html>");
  test::TempFile file(builder.Build());
  Book book;
  book.OpenStorage(file.Path());
  try {
    book.LoadFullTextIndex();
    FAIL() << "no error";
  } catch (const BookError& error) {
    EXPECT_EQ(error.Message(), "No $FIftiMain file in CHM.");
  }
  EXPECT_FALSE(book.FullTextIndexEmpty());
  EXPECT_EQ(book.Search("hello").Count(), 0);
  EXPECT_THROW(book.Search(std::string(201, 'x')), BookError);
}

TEST(BookFullText, BookWithEmptyOrBuiltIndexObject) {
  test::BookBuilder empty;
  empty.AddFile("/index.htm", "<html><body>hello</body></html>");
  empty.AddFile("/$FIftiMain", std::vector<std::uint8_t>{});
  test::TempFile emptyFile(empty.Build());
  Book book;
  book.OpenStorage(emptyFile.Path());
  book.LoadFullTextIndex();
  EXPECT_TRUE(book.FullTextIndexEmpty());
  EXPECT_EQ(book.Search("the").Count(), 0);

  // An index built here, stored compressed, read back through the book.
  test::FtiBuilder fti;
  fti.Add("hello", {0, 2});
  fti.Add("world", {1});
  test::BookBuilder built;
  built.AddFile("/$FIftiMain", fti.Build().data);
  test::TempFile builtFile(built.Build());
  book.OpenStorage(builtFile.Path());
  book.LoadFullTextIndex();
  const PointerArray<SearchResult> hello = book.Search("Hello");
  ASSERT_EQ(hello.Count(), 2);  // no topic table: both titled "Incorrect topic id"
  EXPECT_EQ(hello.Get(0)->topic, 0u);
  EXPECT_EQ(hello.Get(1)->topic, 2u);

  // A damaged object leaves the book without an index.
  std::vector<std::uint8_t> damaged = fti.Build().data;
  test::PutLE32(damaged, 46, 3);
  test::BookBuilder bad;
  bad.AddFile("/$FIftiMain", damaged);
  test::TempFile badFile(bad.Build());
  book.OpenStorage(badFile.Path());
  EXPECT_THROW(book.LoadFullTextIndex(), BookError);
  EXPECT_FALSE(book.FullTextIndexEmpty());
}

// Loading and searching damaged copies of a real index: a BookError or an answer, nothing else.
void ExerciseDamaged(const std::vector<std::uint8_t>& original, std::size_t stride,
                     const TopicTable& topics) {
  const std::vector<std::string> words{"the", "and", "giraffe", "zebra", "introduction", "zzz"};
  PointerArray<SearchResult> results(100, 10);
  auto exercise = [&](std::vector<std::uint8_t> data) {
    FullTextIndex index;
    try {
      index.Load(std::move(data));
      for (const std::string& word : words) {
        try {
          index.Search(word, topics, results);
        } catch (const BookError&) {
          EXPECT_EQ(results.Count(), 0);
        }
      }
    } catch (const BookError&) {
      EXPECT_TRUE(index.Empty());
    }
  };
  for (std::size_t length = 0; length < original.size(); length += stride) {
    exercise(
        std::vector<std::uint8_t>(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(length)));
  }
  for (std::size_t at = 0; at < original.size(); at += (at < 64 ? 1 : stride)) {
    for (std::uint8_t value : {std::uint8_t{0}, std::uint8_t{0xFF}, std::uint8_t{0x7F}}) {
      std::vector<std::uint8_t> data = original;
      data[at] = value;
      exercise(std::move(data));
    }
  }
}

TEST(BookFullText, DamagedCopiesOfARealIndexAreSafe) {
  Book book;
  book.Open(test::TestBook("basic"));
  ExerciseDamaged(book.ReadObject("$FIftiMain"), 1, book.Topics());
}

TEST(Corpus, DamagedCopiesOfALargerIndexAreSafe) {
  const std::string path = std::string(TESSALY_CORPUS) + "/files/cyberfox1-dfendx-english.chm";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "corpus book absent";
  Book book;
  book.Open(path);
  ExerciseDamaged(book.ReadObject("$FIftiMain"), 397, book.Topics());
}

// The example: "the" in the titles of 4 topics and the text of 149.
TEST(Corpus, WordInTitlesAndTextIsListedOnce) {
  const std::string path = std::string(TESSALY_CORPUS) + "/files/cyberfox1-dfendx-english.chm";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "corpus book absent";
  Book book;
  book.Open(path);
  book.LoadFullTextIndex();
  const ObjectBuffer data = book.ReadObject("$FIftiMain");
  std::vector<LiteralEntry> literal;
  ASSERT_TRUE(test::LiteralScan(data, literal));
  auto first =
      std::find_if(literal.begin(), literal.end(), [](const LiteralEntry& e) { return e.word == "the"; });
  ASSERT_NE(first, literal.end());
  ASSERT_NE(first + 1, literal.end());
  ASSERT_EQ((first + 1)->word, "the");
  EXPECT_EQ(first->flag, 1);
  EXPECT_EQ(first->documentCount, 4u);
  EXPECT_EQ((first + 1)->flag, 0);
  EXPECT_EQ((first + 1)->documentCount, 149u);

  const auto topics = LiteralTopics(data, literal, "the");
  EXPECT_GE(topics.size(), 149u);
  const PointerArray<SearchResult> results = book.Search("the");
  ASSERT_EQ(static_cast<std::size_t>(results.Count()), topics.size());
  for (const SearchResult* result : results) {
    ASSERT_EQ(topics.count(result->topic), 1u);
    EXPECT_EQ(result->locationCount, topics.at(result->topic));
  }
  ExpectReaderOrder(book, results);
}

TEST(Corpus, LookupsEqualThePlainScanAndCommonWordsSearch) {
  const auto files = test::CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "corpus folder ../shared/corpus is absent";
  int withIndex = 0;
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    Book book;
    book.Open(path);
    if (!book.HasObject("$FIftiMain")) {
      EXPECT_THROW(book.LoadFullTextIndex(), BookError);
      continue;
    }
    book.LoadFullTextIndex();
    FullTextIndex index;
    index.Read(book);
    const ObjectBuffer data = book.ReadObject("$FIftiMain");
    if (data.empty()) {
      EXPECT_TRUE(index.Empty());
      EXPECT_EQ(book.Search("the").Count(), 0);
      continue;
    }
    ++withIndex;
    std::vector<LiteralEntry> literal;
    ASSERT_TRUE(test::LiteralScan(data, literal));

    // Every word: the entry the plain scan meets first. Each word with a character added: nothing.
    std::map<std::string, const LiteralEntry*> firstOf;
    for (const LiteralEntry& entry : literal) firstOf.emplace(entry.word, &entry);
    std::vector<WordEntry> entries;
    for (const auto& [word, entry] : firstOf) {
      index.FindWordEntries(word, entries);
      ASSERT_FALSE(entries.empty()) << word;
      const WordEntry& found = entries.front();
      EXPECT_EQ(found.flag, entry->flag);
      EXPECT_EQ(found.listOffset, entry->listOffset);
      EXPECT_EQ(found.listSize, entry->listSize);
      EXPECT_EQ(found.documentCount, entry->documentCount);
      for (const char* tail : {"~", "\x01", "a"}) {
        if (firstOf.count(word + tail) == 0) {
          index.FindWordEntries(word + tail, entries);
          EXPECT_TRUE(entries.empty()) << word + tail;
        }
      }
    }

    for (const char* word : {"the", "and", "a", "to"}) {
      PointerArray<SearchResult> results(0, 1);
      ASSERT_NO_THROW(results = book.Search(word)) << word;
      const auto topics = LiteralTopics(data, literal, word);
      ASSERT_EQ(static_cast<std::size_t>(results.Count()), topics.size()) << word;
      for (const SearchResult* result : results) {
        ASSERT_EQ(topics.count(result->topic), 1u) << word;
        EXPECT_EQ(result->locationCount, topics.at(result->topic));
      }
      ExpectReaderOrder(book, results);
    }
  }
  EXPECT_GT(withIndex, 10);
}

TEST(BookFullText, ChineseAndJapaneseWordsAreFoundByTheirCharacters) {
  // The books' own indexes hold these words a character at a time.
  const struct {
    const char* book;
    std::string word;  // in the book's code page
    std::size_t atLeast;
  } cases[] = {
      {"aki426-gaucheofflinehelp-gauche-refman-ja.chm", "\x95\xb6\x8e\x9a\x97\xf1", 100},  // 文字列, 932
      {"xwxbug-autoit-cn-adfs3.chm", "\xba\xaf\xca\xfd", 1},                              // 函数, 936
  };
  int read = 0;
  for (const auto& c : cases) {
    const std::string path = std::string(TESSALY_CORPUS) + "/files/" + c.book;
    if (!std::filesystem::exists(path)) continue;
    SCOPED_TRACE(c.book);
    Book book;
    book.Open(path);
    book.LoadFullTextIndex();
    EXPECT_GE(book.Search(c.word).Count(), static_cast<std::int32_t>(c.atLeast));
    ++read;
  }
  if (read == 0) GTEST_SKIP() << "the corpus is not beside the sources";
}

}  // namespace
}  // namespace tessaly
