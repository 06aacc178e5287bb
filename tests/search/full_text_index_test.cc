// Loading hand-built full-text indexes, locating their leaves and looking words up, checked against the
// plain lookup (every leaf in order) wherever that one can run.
#include "search/full_text_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <cstdint>
#include <string>
#include <vector>

#include "base/book_error.h"
#include "base/pointer_array.h"
#include "base/topic_table.h"
#include "search/fti_builder.h"

namespace tessaly {
namespace {

using test::FtiBuilder;
using test::FtiBuilt;
using test::LiteralEntry;
using test::LiteralFindWord;
using test::LiteralScan;

std::string LoadError(std::vector<std::uint8_t> data) {
  FullTextIndex index;
  try {
    index.Load(std::move(data));
  } catch (const BookError& error) {
    EXPECT_TRUE(index.Empty());
    return error.Message();
  }
  return "";
}

// The first entry of the word, as a search meets it.
bool FindWord(const FullTextIndex& index, std::string_view word, WordEntry& out) {
  std::vector<WordEntry> entries;
  index.FindWordEntries(word, entries);
  if (entries.empty()) return false;
  out = entries.front();
  return true;
}

// The lookup gives the same entry as the plain lookup in the index's bytes,
// found or not (every entry has a document list of its own).
void ExpectSameAsLiteral(const FullTextIndex& index, std::span<const std::uint8_t> data, std::string_view word) {
  const std::optional<LiteralEntry> literal = LiteralFindWord(data, word);
  WordEntry entry;
  const bool found = FindWord(index, word, entry);
  ASSERT_EQ(found, literal.has_value()) << word;
  if (!found) return;
  EXPECT_EQ(entry.flag, literal->flag) << word;
  EXPECT_EQ(entry.documentCount, literal->documentCount);
  EXPECT_EQ(entry.listOffset, literal->listOffset);
  EXPECT_EQ(entry.listSize, literal->listSize);
}

FtiBuilder Animals() {
  FtiBuilder builder;
  for (const char* word : {"aardvark", "aardwolf", "ant", "anteater", "antelope", "bat", "bear", "beaver",
                           "bee", "beetle", "bison", "cat", "cattle", "caterpillar", "zebra"}) {
    builder.Add(word, {1, 3});
  }
  std::sort(builder.words.begin(), builder.words.end(),
            [](const test::FtiWord& a, const test::FtiWord& b) { return a.word < b.word; });
  return builder;
}

TEST(FullTextIndex, EmptyObjectIsAnIndexWithoutWords) {
  FullTextIndex index;
  index.Load({});
  EXPECT_TRUE(index.Empty());
  WordEntry entry;
  EXPECT_FALSE(FindWord(index, "the", entry));
  EXPECT_FALSE(FindWord(index, "", entry));
}

TEST(FullTextIndex, HeaderWithoutLeavesFindsNothing) {
  FtiBuilder builder;
  FtiBuilt built = builder.Build();
  ASSERT_EQ(test::GetLE32(built.data, 16), 0u);
  // Whatever the other fields say.
  test::PutLE32(built.data, 8, 0xFFFFFFF0);
  test::PutLE32(built.data, 46, 0);
  FullTextIndex index;
  index.Load(built.data);
  EXPECT_TRUE(index.Empty());
  WordEntry entry;
  EXPECT_FALSE(FindWord(index, "aardvark", entry));
}

TEST(FullTextIndex, ShortHeaderIsRefused) {
  EXPECT_EQ(LoadError(std::vector<std::uint8_t>(49, 0)),
            "$FIftiMain is damaged: 49 bytes, too short for its 50-byte header.");
  EXPECT_EQ(LoadError(std::vector<std::uint8_t>(1, 0)),
            "$FIftiMain is damaged: 1 bytes, too short for its 50-byte header.");
  EXPECT_EQ(LoadError(std::vector<std::uint8_t>(50, 0)), "");  // 0 leaves
}

TEST(FullTextIndex, OneLeafIsFoundFromTheRootAndDepth) {
  FtiBuilder builder = Animals();
  const FtiBuilt built = builder.Build();
  ASSERT_EQ(built.leaves.size(), 1u);
  ASSERT_EQ(built.depth, 1);
  FullTextIndex index;
  index.Load(built.data);
  EXPECT_FALSE(index.Empty());
  for (std::size_t i = 0; i < builder.words.size(); ++i) {
    WordEntry entry;
    ASSERT_TRUE(FindWord(index, builder.words[i].word, entry)) << builder.words[i].word;
    EXPECT_EQ(entry.listOffset, built.listOffsets[i]);
    EXPECT_EQ(entry.documentCount, 2u);
    ExpectSameAsLiteral(index, built.data, builder.words[i].word);
    // The header's roots read the list: topics 1 and 3.
    std::vector<SearchResult> documents;
    index.DecodeDocumentList(entry, documents);
    ASSERT_EQ(documents.size(), 2u);
    EXPECT_EQ(documents[0].topic, 1u);
    EXPECT_EQ(documents[1].topic, 3u);
  }
}

TEST(FullTextIndex, MissingWordsAreNotFound) {
  FtiBuilder builder = Animals();
  builder.nodeLength = 96;
  const FtiBuilt built = builder.Build();
  ASSERT_GT(built.leaves.size(), 2u);
  FullTextIndex index;
  index.Load(built.data);
  for (const char* word : {"", "a", "aardvar", "aardvarks", "an", "ante", "bb", "beetles", "cats", "dog",
                           "zebr", "zebras", "zzz", "\xff", "Zebra", "ANT"}) {
    WordEntry entry;
    EXPECT_FALSE(FindWord(index, word, entry)) << word;
    ExpectSameAsLiteral(index, built.data, word);
  }
}

TEST(FullTextIndex, PrefixesAreTakenOverAcrossLeaves) {
  FtiBuilder builder;
  for (const char* word : {"inter", "interact", "interaction", "interactive", "interface", "interfaces",
                           "internal", "internally", "international", "internet", "interval", "intervals",
                           "into", "intro", "introduction"}) {
    builder.Add(word, {2});
  }
  builder.nodeLength = 64;
  const FtiBuilt built = builder.Build();
  ASSERT_GT(built.leaves.size(), 3u);
  // The test is only worth its name if some leaf starts with a taken-over prefix.
  std::size_t carried = 0;
  for (std::uint32_t leaf : built.leaves) carried += built.data[leaf + 8 + 1] > 0 ? 1 : 0;
  ASSERT_GT(carried, 0u);

  FullTextIndex index;
  index.Load(built.data);
  for (std::size_t i = 0; i < builder.words.size(); ++i) {
    WordEntry entry;
    ASSERT_TRUE(FindWord(index, builder.words[i].word, entry)) << builder.words[i].word;
    EXPECT_EQ(entry.listOffset, built.listOffsets[i]);
    ExpectSameAsLiteral(index, built.data, builder.words[i].word);
    ExpectSameAsLiteral(index, built.data, builder.words[i].word + "x");
    ExpectSameAsLiteral(index, built.data, builder.words[i].word.substr(0, builder.words[i].word.size() - 1));
  }
}

TEST(FullTextIndex, ComparisonIsExactAndCaseSensitive) {
  FtiBuilder builder;
  builder.Add("Hello", {1});
  builder.Add("apple", {2});
  builder.Add("caf\xe9", {3});
  builder.Add("hello", {4});
  FullTextIndex index;
  index.Load(builder.Build().data);
  WordEntry entry;
  ASSERT_TRUE(FindWord(index, "Hello", entry));
  EXPECT_EQ(entry.listOffset, builder.Build().listOffsets[0]);
  ASSERT_TRUE(FindWord(index, "hello", entry));
  EXPECT_EQ(entry.listOffset, builder.Build().listOffsets[3]);
  EXPECT_TRUE(FindWord(index, "caf\xe9", entry));
  EXPECT_FALSE(FindWord(index, "caf\xc9", entry));
  EXPECT_FALSE(FindWord(index, "HELLO", entry));
  EXPECT_FALSE(FindWord(index, "Apple", entry));
}

// Deterministic pseudo-random numbers for shuffled inputs.
std::uint32_t NextRandom(std::uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

TEST(FullTextIndex, UnsortedIndexIsScannedInLeafOrder) {
  FtiBuilder builder;
  std::uint32_t seed = 7;
  std::vector<std::string> words;
  for (int i = 0; i < 120; ++i) words.push_back("w" + std::to_string(NextRandom(seed) % 60));
  for (std::size_t i = 0; i < words.size(); ++i) {
    builder.Add(words[i], {static_cast<std::uint32_t>(i)}, static_cast<std::uint8_t>(i % 2));
  }
  builder.nodeLength = 80;
  const FtiBuilt built = builder.Build();
  FullTextIndex index;
  index.Load(built.data);
  for (int n = 0; n < 70; ++n) ExpectSameAsLiteral(index, built.data, "w" + std::to_string(n));
  // The first occurrence wins.
  WordEntry entry;
  ASSERT_TRUE(FindWord(index, words[5], entry));
  const auto first = std::find(words.begin(), words.end(), words[5]) - words.begin();
  EXPECT_EQ(entry.listOffset, built.listOffsets[static_cast<std::size_t>(first)]);
}

TEST(FullTextIndex, SortedLookupEqualsThePlainScanOnManyLeaves) {
  FtiBuilder builder;
  std::vector<std::string> words;
  std::uint32_t seed = 99;
  for (int i = 0; i < 1500; ++i) {
    std::string word;
    const std::uint32_t length = 1 + NextRandom(seed) % 9;
    for (std::uint32_t k = 0; k < length; ++k) word += static_cast<char>('a' + NextRandom(seed) % 5);
    words.push_back(word);
  }
  std::sort(words.begin(), words.end());
  for (std::size_t i = 0; i < words.size(); ++i) {
    builder.Add(words[i], {static_cast<std::uint32_t>(i)}, i % 3 == 0 ? 1 : 0);  // duplicates stay in a row
  }
  builder.nodeLength = 200;
  const FtiBuilt built = builder.Build();
  ASSERT_GT(built.leaves.size(), 50u);
  ASSERT_EQ(built.depth, 2);
  FullTextIndex index;
  index.Load(built.data);
  std::vector<LiteralEntry> all;
  ASSERT_TRUE(LiteralScan(built.data, all));
  ASSERT_EQ(all.size(), words.size());
  for (std::size_t i = 0; i < words.size(); i += 7) {
    ExpectSameAsLiteral(index, built.data, words[i]);
    ExpectSameAsLiteral(index, built.data, words[i] + "a");
    ExpectSameAsLiteral(index, built.data, words[i] + "f");
    ExpectSameAsLiteral(index, built.data, words[i].substr(1));
  }
  ExpectSameAsLiteral(index, built.data, words.front());
  ExpectSameAsLiteral(index, built.data, words.back());
}

TEST(FullTextIndex, RepeatedWordAcrossALeafBoundaryGivesEveryEntry) {
  FtiBuilder builder;
  builder.Add("apple", {1});
  builder.Add("dup", {2}, 1);
  builder.Add("dup", {3}, 0);
  builder.Add("dup", {4}, 0);
  builder.Add("zoo", {5});
  builder.wordsPerLeaf = 2;
  const FtiBuilt built = builder.Build();
  ASSERT_EQ(built.leaves.size(), 3u);
  FullTextIndex index;
  index.Load(built.data);
  std::vector<WordEntry> entries;
  index.FindWordEntries("dup", entries);
  ASSERT_EQ(entries.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i)
    EXPECT_EQ(entries[i].listOffset, built.listOffsets[1 + i]);
  EXPECT_EQ(entries[0].flag, 1);
  index.FindWordEntries("apple", entries);
  ASSERT_EQ(entries.size(), 1u);
  index.FindWordEntries("nothing", entries);
  EXPECT_TRUE(entries.empty());
}

// Twelve words in leaves of two, with index nodes of three entries: a tree of depth 3.
FtiBuilder DeepTree() {
  FtiBuilder builder;
  for (const char* word :
       {"alpha", "beta", "chi", "delta", "epsilon", "eta", "gamma", "iota", "kappa", "lambda", "mu", "nu"}) {
    builder.Add(word, {4, 8});
  }
  builder.wordsPerLeaf = 2;
  builder.entriesPerIndexNode = 3;
  return builder;
}

// Every leaf found: each word at its own entry, its list read.
void ExpectEveryWordAtItsEntry(const FtiBuilder& builder, const FtiBuilt& built, const FullTextIndex& index) {
  for (std::size_t i = 0; i < builder.words.size(); ++i) {
    WordEntry entry;
    ASSERT_TRUE(FindWord(index, builder.words[i].word, entry)) << builder.words[i].word;
    EXPECT_EQ(entry.listOffset, built.listOffsets[i]);
    std::vector<SearchResult> documents;
    index.DecodeDocumentList(entry, documents);
    EXPECT_EQ(documents.size(), builder.words[i].documents.size()) << builder.words[i].word;
  }
}

TEST(FullTextIndex, DeepTreeWithIndexNodesBetweenLeaves) {
  FtiBuilder builder = DeepTree();
  builder.interleaveIndexNodes = true;
  const FtiBuilt built = builder.Build();
  ASSERT_EQ(built.depth, 3);
  ASSERT_EQ(built.leaves.size(), 6u);
  // The layout rule finds the last leaf but steps from it onto an index node.
  std::vector<LiteralEntry> literal;
  bool ruleHolds = LiteralScan(built.data, literal) && literal.size() == builder.words.size();
  for (std::size_t i = 0; ruleHolds && i < literal.size(); ++i)
    ruleHolds = literal[i].word == builder.words[i].word;
  EXPECT_FALSE(ruleHolds);
  FullTextIndex index;
  index.Load(built.data);
  ExpectEveryWordAtItsEntry(builder, built, index);
}

TEST(FullTextIndex, DeepTreeWithIndexNodesAfterLeaves) {
  FtiBuilder builder = DeepTree();
  const FtiBuilt built = builder.Build();
  ASSERT_EQ(built.depth, 3);
  FullTextIndex index;
  index.Load(built.data);
  ExpectEveryWordAtItsEntry(builder, built, index);
}

TEST(FullTextIndex, LayoutRuleWithoutLinksBetweenLeaves) {
  FtiBuilder builder = Animals();
  builder.wordsPerLeaf = 4;
  FtiBuilt built = builder.Build();
  ASSERT_EQ(built.depth, 2);
  for (std::uint32_t leaf : built.leaves) test::PutLE32(built.data, leaf, 0);
  FullTextIndex index;
  index.Load(built.data);
  ExpectEveryWordAtItsEntry(builder, built, index);
  for (const auto& word : builder.words) ExpectSameAsLiteral(index, built.data, word.word);
}

TEST(FullTextIndex, LinksAloneFindTheLeavesWhenTheLayoutRuleFails) {
  FtiBuilder builder = Animals();
  builder.wordsPerLeaf = 4;
  FtiBuilt built = builder.Build();
  // A leaf's first list moved elsewhere: the rule puts the leaf before it on the wrong bytes.
  const std::size_t firstOfSecondLeaf = built.entryPositions[4];
  const std::size_t listField = firstOfSecondLeaf + 2 + (built.data[firstOfSecondLeaf] - 1u) + 1 + 1;
  ASSERT_EQ(test::GetLE32(built.data, listField), built.listOffsets[4]);
  test::PutLE32(built.data, listField, 3);
  FullTextIndex index;
  index.Load(built.data);
  built.listOffsets[4] = 3;
  for (std::size_t i = 0; i < builder.words.size(); ++i) {
    WordEntry entry;
    ASSERT_TRUE(FindWord(index, builder.words[i].word, entry)) << builder.words[i].word;
    EXPECT_EQ(entry.listOffset, built.listOffsets[i]);
  }
}

TEST(FullTextIndex, WordsLongerThanTheBufferNeverMatchButLendTheirPrefix) {
  const std::string w203(203, 'm');
  const std::string w204 = std::string(203, 'n') + "x";
  const std::string w250(250, 'p');
  const std::string w400 = w250 + std::string(150, 'q');  // 250 taken over, 150 new
  const std::string after = std::string(150, 'p') + "r";  // takes 150 over from the 400-character word
  FtiBuilder builder;
  builder.Add("a", {1});
  builder.Add(w203, {2});
  builder.Add(w204, {3});
  builder.Add(w250, {4});
  builder.Add(w400, {5});
  builder.Add(after, {6});
  builder.Add("zz", {7});
  std::sort(builder.words.begin(), builder.words.end(),
            [](const test::FtiWord& a, const test::FtiWord& b) { return a.word < b.word; });
  const FtiBuilt built = builder.Build();
  FullTextIndex index;
  index.Load(built.data);
  WordEntry entry;
  EXPECT_TRUE(FindWord(index, w203, entry));
  EXPECT_FALSE(FindWord(index, w204, entry));
  EXPECT_FALSE(FindWord(index, w204.substr(0, 203), entry));
  EXPECT_FALSE(FindWord(index, w250, entry));
  EXPECT_FALSE(FindWord(index, w250.substr(0, 203), entry));
  EXPECT_FALSE(FindWord(index, w400, entry));
  ASSERT_TRUE(FindWord(index, after, entry));
  EXPECT_EQ(entry.prefixLength, 150);
  EXPECT_TRUE(FindWord(index, "zz", entry));
  EXPECT_TRUE(FindWord(index, "a", entry));
}

// A leaf node's used part, free space and first entry, for damaging them.
struct LeafFields {
  std::size_t node;
  std::size_t freeSpace;
  std::size_t firstEntry;
};
LeafFields FirstLeaf(const FtiBuilt& built) {
  return {built.leaves[0], built.leaves[0] + 6, built.leaves[0] + 8};
}

TEST(FullTextIndex, DamagedHeaderFieldsAreNamed) {
  FtiBuilder builder = Animals();
  builder.wordsPerLeaf = 5;
  const FtiBuilt built = builder.Build();
  const std::size_t size = built.data.size();

  for (std::uint32_t length : {0u, 7u, static_cast<std::uint32_t>(size) + 1, 0xFFFFFFFFu}) {
    std::vector<std::uint8_t> data = built.data;
    test::PutLE32(data, 46, length);
    EXPECT_EQ(LoadError(data), "$FIftiMain is damaged: node length " + std::to_string(length) +
                                   " does not fit an object of " + std::to_string(size) + " bytes.");
  }
  std::vector<std::uint8_t> many = built.data;
  test::PutLE32(many, 16, 1000000);
  EXPECT_EQ(LoadError(many),
            "$FIftiMain is damaged: 1000000 leaf nodes of 4096 bytes do not fit an object of " +
                std::to_string(size) + " bytes.");
  // Neither the layout rule nor the tree leads to the leaves.
  std::vector<std::uint8_t> lost = built.data;
  test::PutLE32(lost, 8, 0xFFFFFFF0);
  EXPECT_EQ(LoadError(lost),
            "$FIftiMain is damaged: its 3 leaf nodes cannot be located (root at 4294967280, depth 2).");
  std::vector<std::uint8_t> shallow = built.data;
  test::PutLE16(shallow, 24, 0xFFFF);  // depth -1
  EXPECT_NE(LoadError(shallow).find("cannot be located"), std::string::npos);
}

TEST(FullTextIndex, DamagedLeafNodesAreNamed) {
  FtiBuilder builder = Animals();
  const FtiBuilt built = builder.Build();
  const LeafFields leaf = FirstLeaf(built);
  const std::string at = std::to_string(leaf.firstEntry);

  for (std::uint16_t freeSpace : {std::uint16_t{0xFFFF}, std::uint16_t{4089}, std::uint16_t{0x8000}}) {
    std::vector<std::uint8_t> data = built.data;
    test::PutLE16(data, leaf.freeSpace, freeSpace);
    EXPECT_EQ(LoadError(data), "$FIftiMain is damaged: leaf node 0 at " + std::to_string(leaf.node) +
                                   " gives " + std::to_string(static_cast<std::int16_t>(freeSpace)) +
                                   " bytes of free space in a 4096-byte node.");
  }
  std::vector<std::uint8_t> zero = built.data;
  zero[leaf.firstEntry] = 0;
  EXPECT_EQ(LoadError(zero), "$FIftiMain is damaged: the word entry at " + at + " has word length 0.");

  std::vector<std::uint8_t> prefix = built.data;
  prefix[leaf.firstEntry + 1] = 3;  // the first word has nothing to take over
  EXPECT_EQ(LoadError(prefix),
            "$FIftiMain is damaged: the word entry at " + at + " keeps 3 characters of a 0-character word.");

  // The used part claims the whole node, and the zeros after the entries read as entries of length 0.
  std::vector<std::uint8_t> full = built.data;
  test::PutLE16(full, leaf.freeSpace, 0);
  EXPECT_NE(LoadError(full).find("has word length 0"), std::string::npos);

  // The last entry of a small leaf claims more characters than the node holds.
  FtiBuilder small = Animals();
  small.nodeLength = 96;
  const FtiBuilt smallBuilt = small.Build();
  const std::size_t first = smallBuilt.leaves[0];
  std::size_t last = 0;
  for (std::size_t position : smallBuilt.entryPositions) {
    if (position >= first && position < first + 96) last = std::max(last, position);
  }
  std::vector<std::uint8_t> past = smallBuilt.data;
  past[last] = 0xFF;
  EXPECT_EQ(LoadError(past), "$FIftiMain is damaged: the word entry at " + std::to_string(last) +
                                 " runs past the end of its leaf node at " + std::to_string(first) + ".");
}

TEST(FullTextIndex, FailedLoadForgetsTheEarlierIndex) {
  FullTextIndex index;
  index.Load(Animals().Build().data);
  WordEntry entry;
  ASSERT_TRUE(FindWord(index, "bat", entry));
  EXPECT_THROW(index.Load(std::vector<std::uint8_t>(10, 0)), BookError);
  EXPECT_TRUE(index.Empty());
  EXPECT_FALSE(FindWord(index, "bat", entry));
  index.Load(Animals().Build().data);
  EXPECT_TRUE(FindWord(index, "bat", entry));
}

// Loading and searching whatever the bytes say: a BookError or an answer, never a read outside the data.
void Exercise(std::vector<std::uint8_t> data, const std::vector<std::string>& words) {
  FullTextIndex index;
  try {
    index.Load(std::move(data));
  } catch (const BookError&) {
    return;
  }
  const TopicTable topics;
  PointerArray<SearchResult> results(100, 10);
  for (const std::string& word : words) {
    try {
      index.Search(word, topics, results);
    } catch (const BookError&) {
      EXPECT_EQ(results.Count(), 0);
    }
  }
}

TEST(FullTextIndex, EveryTruncationAndByteDamageIsSafe) {
  FtiBuilder builder = Animals();
  builder.nodeLength = 96;
  builder.wordsPerLeaf = 3;
  builder.listPadding = 1;
  const FtiBuilt built = builder.Build();
  ASSERT_GT(built.leaves.size(), 3u);
  const std::vector<std::string> words{"aardvark", "bee", "cattle", "zebra", "dog"};
  for (std::size_t length = 0; length < built.data.size(); ++length) {
    Exercise(std::vector<std::uint8_t>(built.data.begin(),
                                       built.data.begin() + static_cast<std::ptrdiff_t>(length)),
             words);
  }
  for (std::size_t at = 0; at < built.data.size(); ++at) {
    if (at >= 50 && at < 1024) continue;  // unread header bytes
    for (std::uint8_t change :
         {std::uint8_t{0x00}, std::uint8_t{0xFF}, std::uint8_t{0x80}, std::uint8_t{0x01}}) {
      std::vector<std::uint8_t> data = built.data;
      data[at] = change == 0x01 ? static_cast<std::uint8_t>(data[at] + 1) : change;
      Exercise(std::move(data), words);
    }
  }
}

}  // namespace
}  // namespace tessaly
