// Searching hand-built indexes: the query rules, decoding of document lists, one record per topic across the
// title and text entries of a word, and the order by title.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/book_error.h"
#include "base/pointer_array.h"
#include "base/text.h"
#include "base/topic_table.h"
#include "search/fti_builder.h"
#include "search/full_text_index.h"

namespace tessaly {
namespace {

using test::FtiBuilder;
using test::FtiDocument;
using test::TopicTableBytes;

using Pairs = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

Pairs Records(const PointerArray<SearchResult>& results) {
  Pairs out;
  for (const SearchResult* result : results) out.emplace_back(result->topic, result->locationCount);
  return out;
}

std::vector<std::uint32_t> Topics(const PointerArray<SearchResult>& results) {
  std::vector<std::uint32_t> out;
  for (const SearchResult* result : results) out.push_back(result->topic);
  return out;
}

// Topics 0..n-1 titled "t<number>", padded so that title order is topic order.
TopicTableBytes NumberedTopics(int count) {
  TopicTableBytes bytes;
  for (int i = 0; i < count; ++i) {
    std::string number = std::to_string(i);
    bytes.Add("t" + std::string(6 - number.size(), '0') + number, "p" + number + ".htm");
  }
  return bytes;
}

struct Fixture {
  FullTextIndex index;
  TopicTableBytes topicBytes = NumberedTopics(64);
  PointerArray<SearchResult> results{100, 10};

  explicit Fixture(const FtiBuilder& builder) { index.Load(builder.Build().data); }
  TopicTable Table() const {
    return TopicTable(topicBytes.topics, topicBytes.urltbl, topicBytes.urlstr, topicBytes.strings);
  }
  const PointerArray<SearchResult>& Search(std::string_view query) {
    index.Search(query, Table(), results);
    return results;
  }
};

FtiBuilder Zoo() {
  FtiBuilder builder;
  builder.Add("numbat", {5});
  builder.Add("quokka", {1, 2, 3});
  builder.Add("wombat", {2, 4});
  return builder;
}

TEST(FullTextSearch, QueryOf200BytesIsSearchedAnd201Raises) {
  FtiBuilder builder = Zoo();
  const std::string longest(200, 'k');
  builder.Add(longest, {7});
  std::sort(builder.words.begin(), builder.words.end(),
            [](const test::FtiWord& a, const test::FtiWord& b) { return a.word < b.word; });
  Fixture fixture(builder);
  EXPECT_EQ(Topics(fixture.Search(std::string(200, 'K'))), std::vector<std::uint32_t>{7});
  // A previous result is cleared even when the query is refused.
  fixture.Search("quokka");
  ASSERT_EQ(fixture.results.Count(), 3);
  try {
    fixture.Search(std::string(201, 'k'));
    FAIL() << "no error";
  } catch (const BookError& error) {
    EXPECT_EQ(error.Message(), "Word too big for search, max length 200.");
  }
  EXPECT_EQ(fixture.results.Count(), 0);
  // The query ends at a NUL, as a C string does.
  EXPECT_EQ(Topics(fixture.Search(std::string("quokka\0ignored", 14))),
            (std::vector<std::uint32_t>{1, 2, 3}));
  EXPECT_NO_THROW(fixture.Search(std::string(200, 'k') + std::string(1, '\0') + std::string(300, 'x')));
}

TEST(FullTextSearch, AsciiCapitalsFoldOthersDoNot) {
  FtiBuilder builder;
  builder.Add("caf\xc9", {9});  // stored with a Latin-1 capital
  builder.Add("caf\xe9", {8});
  builder.Add("quokka", {1, 2});
  Fixture fixture(builder);
  EXPECT_EQ(Topics(fixture.Search("QuOkKA")), (std::vector<std::uint32_t>{1, 2}));
  EXPECT_EQ(Topics(fixture.Search("CAF\xc9")), std::vector<std::uint32_t>{9});
  EXPECT_EQ(Topics(fixture.Search("CAF\xe9")), std::vector<std::uint32_t>{8});
  EXPECT_EQ(Topics(fixture.Search("caf")), std::vector<std::uint32_t>{});
}

TEST(FullTextSearch, QueryIsOneWordNotAPhraseOrPrefix) {
  Fixture fixture(Zoo());
  EXPECT_EQ(fixture.Search("quokka wombat").Count(), 0);
  EXPECT_EQ(fixture.Search(" quokka").Count(), 0);
  EXPECT_EQ(fixture.Search("quok").Count(), 0);
  EXPECT_EQ(fixture.Search("").Count(), 0);
}

TEST(FullTextSearch, TopicsAreRunningSumsOfTheSteps) {
  FtiBuilder builder;
  FtiDocument a{4, {1, 2}}, b{9, {7}}, c{30, {}};
  builder.Add("word", {}).documents = {a, b, c};
  Fixture fixture(builder);
  EXPECT_EQ(Records(fixture.Search("word")), (Pairs{{4, 2}, {9, 1}, {30, 0}}));
}

TEST(FullTextSearch, RecordsStartOnTheByteAfterTheLastCode) {
  // Roots 2, 1 and 1. Record 1: step 3 "011", one location "01", location 1 "01": seven bits, 0x6A.
  // Record 2: step 2 "010", no location "00": five bits, 0x40.
  FtiBuilder builder;
  builder.roots = {2, 1, 1};
  auto& word = builder.Add("word", {});
  word.list = std::vector<std::uint8_t>{0x6A, 0x40};
  word.documentCount = 2;
  Fixture fixture(builder);
  EXPECT_EQ(Records(fixture.Search("word")), (Pairs{{3, 1}, {5, 0}}));
}

TEST(FullTextSearch, ListEndOrDocumentCountEndsTheRecords) {
  FtiBuilder builder;
  builder.listPadding = 3;  // trailing zero bytes some compilers leave after a list
  auto& more = builder.Add("more", {1, 2});
  more.documentCount = 9;  // only two records are there; the padding reads as topic 2 + 0, 2 + 0, ...
  auto& fewer = builder.Add("zfewer", {1, 2, 3});
  fewer.documentCount = 2;
  Fixture fixture(builder);
  // The zero bytes decode as steps of 0 to topic 2 again: one record per topic stays.
  EXPECT_EQ(Topics(fixture.Search("more")), (std::vector<std::uint32_t>{1, 2}));
  EXPECT_EQ(Topics(fixture.Search("zfewer")), (std::vector<std::uint32_t>{1, 2}));
}

TEST(FullTextSearch, OrderedByTitleIgnoringCase) {
  TopicTableBytes topics;
  topics.Add("beta", "b.htm");
  topics.Add("Alpha", "a.htm");
  topics.Add("gamma", "g.htm");
  topics.Add("", "empty.htm");
  FtiBuilder builder;
  builder.Add("word", {0, 1, 2, 3, 70});
  FullTextIndex index;
  index.Load(builder.Build().data);
  PointerArray<SearchResult> results(100, 10);
  index.Search("word", TopicTable(topics.topics, topics.urltbl, topics.urlstr, topics.strings), results);
  // The empty title first, then Alpha, beta, gamma, and "Incorrect topic id" for a topic the table lacks.
  EXPECT_EQ(Topics(results), (std::vector<std::uint32_t>{3, 1, 0, 2, 70}));
}

TEST(FullTextSearch, SearchThatFindsNothingEmptiesTheResults) {
  Fixture fixture(Zoo());
  ASSERT_EQ(fixture.Search("wombat").Count(), 2);
  EXPECT_EQ(fixture.Search("dingo").Count(), 0);
  ASSERT_EQ(fixture.Search("wombat").Count(), 2);
  EXPECT_EQ(fixture.Search("WOMBATS").Count(), 0);
}

TEST(FullTextSearch, WithoutAnIndexNothingIsFound) {
  FullTextIndex index;
  PointerArray<SearchResult> results(100, 10);
  results.Add(std::make_unique<SearchResult>(SearchResult{1, 1}));
  index.Search("quokka", TopicTable(), results);
  EXPECT_EQ(results.Count(), 0);
  EXPECT_THROW(index.Search(std::string(201, 'a'), TopicTable(), results), BookError);
  index.Load({});
  index.Search("quokka", TopicTable(), results);
  EXPECT_EQ(results.Count(), 0);
}

TEST(FullTextSearch, TitleAndTextEntriesGiveEachTopicOnce) {
  for (bool titleFirst : {true, false}) {
    FtiBuilder builder;
    builder.Add("apple", {1});
    FtiDocument t2{2, {1}}, t5{5, {1}}, x2{2, {4, 4, 4}}, x3{3, {1, 1}}, x7{7, {1}};
    test::FtiWord title;
    title.word = "the";
    title.flag = 1;
    title.documents = {t2, t5};
    test::FtiWord text;
    text.word = "the";
    text.flag = 0;
    text.documents = {x2, x3, x7};
    builder.words.push_back(titleFirst ? title : text);
    builder.words.push_back(titleFirst ? text : title);
    builder.Add("zoo", {6});
    Fixture fixture(builder);
    EXPECT_EQ(Records(fixture.Search("the")), (Pairs{{2, 4}, {3, 2}, {5, 1}, {7, 1}})) << titleFirst;
  }
}

TEST(FullTextSearch, RepeatedTopicWithinAListIsMerged) {
  FtiBuilder builder;
  FtiDocument a{4, {1}}, again{4, {2, 3}}, b{6, {1}};
  builder.Add("word", {}).documents = {a, again, b};
  Fixture fixture(builder);
  EXPECT_EQ(Records(fixture.Search("word")), (Pairs{{4, 3}, {6, 1}}));
}

TEST(FullTextSearch, HugeLocationCountWithoutLocationsRaises) {
  // A record that claims 0xFFFFFFF0 locations, with two bytes behind it: a read that stops, not a long loop.
  FtiBuilder builder;
  builder.roots = {1, 1, 0};
  test::MsbBitWriter bits;
  bits.Code(3, 1);
  bits.Code(0xFFFFFFF0u, 1);
  bits.Bits(0, 16);
  auto& word = builder.Add("word", {});
  word.list = bits.Bytes();
  word.documentCount = 1;
  Fixture fixture(builder);
  EXPECT_THROW(fixture.Search("word"), BookError);
  EXPECT_EQ(fixture.results.Count(), 0);
}

TEST(FullTextSearch, DamagedListsRaiseAndLeaveNoResults) {
  FtiBuilder builder = Zoo();
  const test::FtiBuilt built = builder.Build();
  // quokka's list moved past the end of the object.
  std::vector<std::uint8_t> outside = built.data;
  const std::size_t entry = built.entryPositions[1];
  const std::size_t listField = entry + 2 + (outside[entry] - 1u) + 1 + 1;
  ASSERT_EQ(test::GetLE32(outside, listField), built.listOffsets[1]);
  test::PutLE32(outside, listField, static_cast<std::uint32_t>(outside.size()) - 1);
  std::vector<test::LiteralEntry> entries;
  ASSERT_TRUE(test::LiteralScan(built.data, entries));
  const std::string listSize = std::to_string(entries[1].listSize);
  FullTextIndex index;
  index.Load(outside);
  PointerArray<SearchResult> results(100, 10);
  try {
    index.Search("quokka", TopicTable(), results);
    FAIL() << "no error";
  } catch (const BookError& error) {
    EXPECT_EQ(error.Message(), "$FIftiMain is damaged: the document list at " +
                                   std::to_string(outside.size() - 1) + " (" + listSize +
                                   " bytes) lies outside the object (" + std::to_string(outside.size()) +
                                   " bytes).");
  }
  EXPECT_EQ(results.Count(), 0);
  index.Search("wombat", TopicTable(), results);
  EXPECT_EQ(Topics(results), (std::vector<std::uint32_t>{2, 4}));

  // A list of ones: the first code never ends inside it.
  FtiBuilder ones = Zoo();
  ones.words[1].list = std::vector<std::uint8_t>{0xFF, 0xFF};
  const test::FtiBuilt onesBuilt = ones.Build();
  index.Load(onesBuilt.data);
  try {
    index.Search("quokka", TopicTable(), results);
    FAIL() << "no error";
  } catch (const BookError& error) {
    EXPECT_EQ(error.Message(), "$FIftiMain is damaged: the document record at " +
                                   std::to_string(onesBuilt.listOffsets[1]) +
                                   " runs past the end of its list at " +
                                   std::to_string(onesBuilt.listOffsets[1]) + " (2 bytes).");
  }
}

// Many topics, few titles: ties under CompareNoCase keep ascending topic order.
TEST(FullTextSearch, LargeResultIsStableByTitle) {
  const char* titles[] = {"Delta", "alpha", "ALPHA", "beta",    "Beta",
                          "gamma", "Alpha", "delta", "epsilon", ""};
  constexpr int kTopics = 20000;
  TopicTableBytes topicBytes;
  std::uint32_t seed = 12345;
  std::vector<std::string> titleOf;
  for (int i = 0; i < kTopics; ++i) {
    seed = seed * 1103515245u + 12345u;
    titleOf.push_back(titles[(seed >> 16) % 10]);
    topicBytes.Add(titleOf.back(), "p.htm");
  }
  FtiBuilder builder;
  std::vector<std::uint32_t> all;
  for (std::uint32_t i = 0; i < kTopics; i += (i % 3 == 0 ? 1 : 2)) all.push_back(i);
  builder.Add("word", all);
  FullTextIndex index;
  index.Load(builder.Build().data);
  PointerArray<SearchResult> results(100, 10);
  index.Search("word",
               TopicTable(topicBytes.topics, topicBytes.urltbl, topicBytes.urlstr, topicBytes.strings),
               results);

  // Expected: grouped by lower-cased title in byte order, each group in topic order.
  std::map<std::string, std::vector<std::uint32_t>> groups;
  for (std::uint32_t topic : all) {
    std::string key = titleOf[topic];
    LowerCaseInPlace(key);
    groups[key].push_back(topic);
  }
  std::vector<std::uint32_t> expected;
  for (const auto& group : groups) expected.insert(expected.end(), group.second.begin(), group.second.end());
  EXPECT_EQ(Topics(results), expected);
  EXPECT_EQ(results.Capacity(), 100 + (static_cast<std::int32_t>(all.size()) - 100 + 9) / 10 * 10);
}

TEST(FullTextSearchCharacters, AWordOfSeveralCharactersIsFoundWhereTheyStandInARow) {
  // Three Shift-JIS characters indexed one at a time (locations are the steps
  // from the location before): in topic 1 they stand in a row twice (10..12
  // and 40..42), in topic 2 only apart, in topic 3 in a row in its title.
  const std::string a = "\x95\xb6", b = "\x8e\x9a", c = "\x97\xf1";
  FtiBuilder builder;
  builder.Add(b, {}).documents = {FtiDocument{1, {11, 30}}, FtiDocument{2, {5}}};
  builder.Add(b, {}, 1).documents = {FtiDocument{3, {1}}};
  builder.Add(c, {}).documents = {FtiDocument{1, {12, 30}}, FtiDocument{2, {9}}};
  builder.Add(c, {}, 1).documents = {FtiDocument{3, {2}}};
  builder.Add(a, {}).documents = {FtiDocument{1, {10, 30}}, FtiDocument{2, {1}}};
  builder.Add(a, {}, 1).documents = {FtiDocument{3, {0}}};
  std::stable_sort(builder.words.begin(), builder.words.end(),
                   [](const test::FtiWord& x, const test::FtiWord& y) { return x.word < y.word; });
  Fixture fixture(builder);
  const struct {
    std::string query;
    int codePage;
    Pairs found;
  } cases[] = {
      {a + b + c, 932, {{1, 2}, {3, 1}}},
      {b + c, 932, {{1, 2}, {3, 1}}},
      {c + a, 932, {}},               // both there, never in this order
      {a + b + c, 1252, {}},          // not a double-byte code page: looked up whole
      {a + b + "x", 932, {}},         // not every character a double-byte one
      {a, 932, {{1, 2}, {2, 1}, {3, 1}}},  // one character is an ordinary word
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query + " in " + std::to_string(c.codePage));
    fixture.index.Search(c.query, fixture.Table(), fixture.results, c.codePage);
    EXPECT_EQ(Records(fixture.results), c.found);
  }
}

}  // namespace
}  // namespace tessaly
