#include "lzx/lzx_decoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory_resource>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "support/bit_writer.h"

namespace tessaly {
namespace {

using test::LzxBlockType;
using test::LzxItem;
using test::LzxStreamBuilder;
using test::LzxTrees;

struct Decoded {
  LzxStatus status;
  std::vector<std::uint8_t> output;
};

// Decodes with a fresh decoder; the input is copied to a buffer of its exact size so that the sanitizer
// sees any read past it.
Decoded DecodeFresh(const std::vector<std::uint8_t>& stream, int windowBits, std::size_t outputLength) {
  LzxDecoder decoder;
  EXPECT_EQ(decoder.Reset(windowBits), LzxStatus::Ok);
  const std::vector<std::uint8_t> input(stream);
  std::vector<std::uint8_t> output(outputLength);
  const LzxStatus status = decoder.Decompress(input, output);
  return {status, output};
}

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<LzxItem> Literals(const std::vector<std::uint8_t>& bytes) {
  std::vector<LzxItem> items;
  for (const std::uint8_t b : bytes) items.push_back(LzxItem::Literal(b));
  return items;
}

// Trees in which each listed main, length and aligned symbol has a code.
LzxTrees TreesFor(const std::vector<int>& mainSymbols, const std::vector<int>& lengthSymbols = {},
                  bool aligned = false) {
  std::vector<std::uint32_t> main(656, 0), length(249, 0), alignedFrequency(8, 1);
  for (const int s : mainSymbols) main[static_cast<std::size_t>(s)] = 1;
  for (const int s : lengthSymbols) length[static_cast<std::size_t>(s)] = 1;
  LzxTrees trees;
  trees.main = test::HuffmanLengths(main, 16);
  trees.length = test::HuffmanLengths(length, 16);
  if (aligned) trees.aligned = test::HuffmanLengths(alignedFrequency, 7);
  return trees;
}

TEST(LzxDecoder, VerbatimBlockWithLiteralsAndMatches) {
  const std::vector<LzxItem> items = {
      LzxItem::Literal('a'), LzxItem::Literal('b'), LzxItem::Literal('c'), LzxItem::Match(3, 7),
      LzxItem::Literal('d'), LzxItem::Match(1, 4),  LzxItem::Match(5, 30),  LzxItem::Match(11, 200),
      LzxItem::Match(3, 2),  LzxItem::Match(240, 3)};
  LzxStreamBuilder builder(16);
  builder.EncodeBlock(LzxBlockType::Verbatim, items);
  std::vector<std::uint8_t> expected;
  test::ApplyItems(items, expected);
  const Decoded d = DecodeFresh(builder.Finish(), 16, expected.size());
  ASSERT_EQ(d.status, LzxStatus::Ok);
  EXPECT_EQ(d.output, expected);
}

TEST(LzxDecoder, AlignedBlockWithEveryKindOfOffset) {
  const std::vector<std::uint8_t> text = test::GenerateHtmlText(40000, 7);
  std::vector<LzxItem> items = Literals(std::vector<std::uint8_t>(text.begin(), text.begin() + 30000));
  // Offsets with 1, 2, 3 and more extra bits, including the largest of a 2^16 window.
  for (const std::uint32_t offset : {2u, 3u, 5u, 9u, 13u, 29u, 100u, 1000u, 4097u, 20000u, 29999u}) {
    items.push_back(LzxItem::Match(offset, 5 + offset % 7));
    items.push_back(LzxItem::Literal('#'));
  }
  LzxStreamBuilder builder(16);
  builder.EncodeBlock(LzxBlockType::Aligned, items);
  std::vector<std::uint8_t> expected;
  test::ApplyItems(items, expected);
  const Decoded d = DecodeFresh(builder.Finish(), 16, expected.size());
  ASSERT_EQ(d.status, LzxStatus::Ok);
  EXPECT_EQ(d.output, expected);
}

TEST(LzxDecoder, UncompressedBlockCopiesBytesAndSetsRepeatedOffsets) {
  for (const std::size_t length : {10u, 11u}) {  // even: no padding; odd: one padding byte
    const std::vector<std::uint8_t> raw = Bytes(std::string("0123456789X").substr(0, length));
    LzxStreamBuilder builder(16);
    builder.UncompressedBlock(raw, {7, 8, 9});
    const std::vector<LzxItem> items = {LzxItem::Literal('x'), LzxItem::Match(7, 3), LzxItem::Match(9, 4)};
    builder.EncodeBlock(LzxBlockType::Verbatim, items);
    std::vector<std::uint8_t> expected = raw;
    test::ApplyItems(items, expected);
    const std::vector<std::uint8_t> stream = builder.Finish();

    LzxDecoder decoder;
    ASSERT_EQ(decoder.Reset(16), LzxStatus::Ok);
    std::vector<std::uint8_t> output(expected.size());
    ASSERT_EQ(decoder.Decompress(stream, output), LzxStatus::Ok) << length;
    EXPECT_EQ(output, expected) << length;
    const LzxDecoderState state = decoder.State();
    EXPECT_EQ(state.r0, 9u);  // 9 came from R2 by slot 2: swapped with R0 = 7
    EXPECT_EQ(state.r1, 8u);
    EXPECT_EQ(state.r2, 7u);
    EXPECT_TRUE(state.e8Started);
  }
}

TEST(LzxDecoder, OddUncompressedBlockIsFollowedByAPaddingByte) {
  const std::vector<std::uint8_t> raw = Bytes("odd block");  // 9 bytes
  LzxStreamBuilder builder(16);
  builder.UncompressedBlock(raw, {1, 1, 1});
  const std::size_t padAt = builder.bits().ByteSize();
  const std::vector<LzxItem> items = Literals(Bytes("after the padding"));
  builder.EncodeBlock(LzxBlockType::Verbatim, items);
  std::vector<std::uint8_t> expected = raw;
  test::ApplyItems(items, expected);
  std::vector<std::uint8_t> stream = builder.Finish();
  const Decoded d = DecodeFresh(stream, 16, expected.size());
  ASSERT_EQ(d.status, LzxStatus::Ok);
  EXPECT_EQ(d.output, expected);

  // Without the padding byte the next header is read from the wrong place.
  stream.erase(stream.begin() + static_cast<std::ptrdiff_t>(padAt));
  const Decoded unpadded = DecodeFresh(stream, 16, expected.size());
  EXPECT_TRUE(unpadded.status != LzxStatus::Ok || unpadded.output != expected);
}

// An odd-length uncompressed block that ends exactly at the window end is not padded: the stream starts
// afresh at that reset point.
TEST(LzxDecoder, OddUncompressedBlockAtTheWindowEndHasNoPadding) {
  LzxStreamBuilder builder(15);
  const std::vector<LzxItem> first = {LzxItem::Literal('q')};
  builder.EncodeBlock(LzxBlockType::Verbatim, first);
  std::vector<std::uint8_t> raw = test::GenerateHtmlText(32767, 3);
  builder.UncompressedBlock(raw, {1, 1, 1});
  ASSERT_EQ(builder.total(), 32768u);
  const std::size_t resetAt = builder.bits().ByteSize();
  ASSERT_EQ(resetAt % 2, 1u);  // the next bit stream starts on an odd byte
  const std::vector<LzxItem> after = {LzxItem::Literal('n'), LzxItem::Literal('e'), LzxItem::Literal('w'),
                                      LzxItem::Match(3, 9)};
  builder.EncodeBlock(LzxBlockType::Verbatim, after);
  std::vector<std::uint8_t> expected;
  test::ApplyItems(first, expected);
  expected.insert(expected.end(), raw.begin(), raw.end());
  test::ApplyItems(after, expected);
  std::vector<std::uint8_t> stream = builder.Finish();
  ASSERT_EQ(builder.resetOffsets().size(), 1u);
  EXPECT_EQ(builder.resetOffsets()[0], resetAt);

  const Decoded d = DecodeFresh(stream, 15, expected.size());
  ASSERT_EQ(d.status, LzxStatus::Ok);
  EXPECT_EQ(d.output, expected);

  // A decoder that skipped a padding byte here would lose the first byte of the new stream.
  stream.insert(stream.begin() + static_cast<std::ptrdiff_t>(resetAt), 0);
  const Decoded padded = DecodeFresh(stream, 15, expected.size());
  EXPECT_TRUE(padded.status != LzxStatus::Ok || padded.output != expected);
}

// An uncompressed header that ends exactly on a word boundary is followed by a whole padding word.
TEST(LzxDecoder, UncompressedHeaderOnAWordBoundarySkipsAWholeWord) {
  std::vector<std::uint32_t> frequency(656, 0);
  frequency['a'] = 1000;
  frequency['b'] = 1;
  frequency['c'] = 1;
  LzxTrees trees;
  trees.main = test::HuffmanLengths(frequency, 16);
  ASSERT_EQ(trees.main['a'], 1);
  for (const int misalign : {0, 5}) {
    // Find a literal count that puts the uncompressed header's last bit at (a word boundary + misalign).
    LzxStreamBuilder probe(16);
    probe.BeginBlock(LzxBlockType::Verbatim, 16, trees);  // the length field has a fixed width
    const auto afterHeader = static_cast<std::int64_t>(probe.bits().BitPosition()) + 27;  // type 3 + 24 bits
    const auto count = static_cast<std::uint32_t>(16 + ((misalign - afterHeader) % 16 + 16) % 16);
    LzxStreamBuilder builder(16);
    builder.BeginBlock(LzxBlockType::Verbatim, count, trees);
    for (std::uint32_t i = 0; i < count; ++i) builder.Literal('a');
    ASSERT_EQ((builder.bits().BitPosition() + 27) % 16, static_cast<std::uint64_t>(misalign));
    const std::vector<std::uint8_t> raw = Bytes("raw bytes!");
    builder.UncompressedBlock(raw, {2, 4, 6});
    const std::vector<LzxItem> tail = {LzxItem::Match(4, 3), LzxItem::Match(6, 3)};
    builder.EncodeBlock(LzxBlockType::Verbatim, tail);
    std::vector<std::uint8_t> expected(count, 'a');
    expected.insert(expected.end(), raw.begin(), raw.end());
    test::ApplyItems(tail, expected);

    LzxDecoder decoder;
    ASSERT_EQ(decoder.Reset(16), LzxStatus::Ok);
    std::vector<std::uint8_t> output(expected.size());
    ASSERT_EQ(decoder.Decompress(builder.Finish(), output), LzxStatus::Ok) << misalign;
    EXPECT_EQ(output, expected) << misalign;
    EXPECT_EQ(decoder.State().r0, 6u);  // slot 1 took 4 (R = 4, 2, 6), slot 2 took 6 (R = 6, 2, 4)
    EXPECT_EQ(decoder.State().r1, 2u);
    EXPECT_EQ(decoder.State().r2, 4u);
  }
}

// Slot 3 means offset 1 in verbatim and aligned blocks, and pushes it into R0.
TEST(LzxDecoder, SlotThreeIsOffsetOneInBothCodedBlockTypes) {
  for (const LzxBlockType type : {LzxBlockType::Verbatim, LzxBlockType::Aligned}) {
    LzxStreamBuilder builder(16);
    builder.UncompressedBlock(Bytes("abcdefgh"), {5, 6, 7});
    const int symbol = 256 + 3 * 8 + (4 - 2);  // slot 3, length 4
    builder.BeginBlock(type, 4, TreesFor({symbol}, {}, type == LzxBlockType::Aligned));
    builder.MatchSlot(3, 4);
    LzxDecoder decoder;
    ASSERT_EQ(decoder.Reset(16), LzxStatus::Ok);
    std::vector<std::uint8_t> output(12);
    ASSERT_EQ(decoder.Decompress(builder.Finish(), output), LzxStatus::Ok);
    EXPECT_EQ(output, Bytes("abcdefghhhhh"));
    EXPECT_EQ(decoder.State().r0, 1u);
    EXPECT_EQ(decoder.State().r1, 5u);
    EXPECT_EQ(decoder.State().r2, 6u);
  }
}

TEST(LzxDecoder, RepeatedOffsetSlotsSwapWithR0) {
  LzxStreamBuilder builder(16);
  builder.UncompressedBlock(Bytes("0123456789"), {3, 5, 7});
  const int slot1 = 256 + 8 + 1, slot2 = 256 + 16 + 1, slot0 = 256 + 0;
  builder.BeginBlock(LzxBlockType::Verbatim, 8, TreesFor({slot1, slot2, slot0}));
  builder.MatchSlot(1, 3);  // offset R1 = 5; R = 5, 3, 7
  builder.MatchSlot(2, 3);  // offset R2 = 7; R = 7, 3, 5
  builder.MatchSlot(0, 2);  // offset R0 = 7
  LzxDecoder decoder;
  ASSERT_EQ(decoder.Reset(16), LzxStatus::Ok);
  std::vector<std::uint8_t> output(18);
  ASSERT_EQ(decoder.Decompress(builder.Finish(), output), LzxStatus::Ok);
  std::vector<std::uint8_t> expected = Bytes("0123456789");
  const std::vector<LzxItem> items = {LzxItem::Match(5, 3), LzxItem::Match(7, 3), LzxItem::Match(7, 2)};
  test::ApplyItems(items, expected);
  EXPECT_EQ(output, expected);
  EXPECT_EQ(decoder.State().r0, 7u);
  EXPECT_EQ(decoder.State().r1, 3u);
  EXPECT_EQ(decoder.State().r2, 5u);
}

TEST(LzxDecoder, OffsetOneRepeatsOneByte) {
  // Through R0 = 1 (slot 0) and through slot 3.
  for (const bool viaSlotThree : {false, true}) {
    LzxStreamBuilder builder(16);
    const int symbol = 256 + (viaSlotThree ? 3 * 8 : 0) + 7;  // length header 7: length from the length tree
    builder.BeginBlock(LzxBlockType::Verbatim, 11, TreesFor({'z', symbol}, {1}));
    builder.Literal('z');
    builder.MatchSlot(viaSlotThree ? 3 : 0, 10);
    const Decoded d = DecodeFresh(builder.Finish(), 16, 11);
    ASSERT_EQ(d.status, LzxStatus::Ok);
    EXPECT_EQ(d.output, std::vector<std::uint8_t>(11, 'z'));
  }
}

// After the window has filled once, a match may reach back past the window start into the previous pass.
TEST(LzxDecoder, MatchBeforeTheWindowStartReadsTheWindowEnd) {
  const std::vector<std::uint8_t> text = test::GenerateHtmlText(32768, 11);
  LzxStreamBuilder builder(15);
  builder.EncodeBlock(LzxBlockType::Verbatim, Literals(text));
  const std::vector<LzxItem> after = {LzxItem::Literal('<'),  LzxItem::Literal('>'),   LzxItem::Match(100, 20),
                                      LzxItem::Match(32765, 40), LzxItem::Match(3, 6),  LzxItem::Match(30000, 257)};
  builder.EncodeBlock(LzxBlockType::Verbatim, after);
  std::vector<std::uint8_t> expected = text;
  test::ApplyItems(after, expected);
  const Decoded d = DecodeFresh(builder.Finish(), 15, expected.size());
  ASSERT_EQ(d.status, LzxStatus::Ok);
  EXPECT_EQ(d.output, expected);
}

TEST(LzxDecoder, MatchIntoDataNeverDecodedFails) {
  {
    // Offset 5 at position 1 of a fresh window.
    LzxStreamBuilder builder(16);
    builder.BeginBlock(LzxBlockType::Verbatim, 4, TreesFor({'a', 256 + 6 * 8 + 1}));  // slot 6: offsets 6..9
    builder.Literal('a');
    builder.MatchSlot(6, 3, 0);  // offset 6
    EXPECT_EQ(DecodeFresh(builder.Finish(), 16, 4).status, LzxStatus::BadData);
  }
  {
    // The same offset is fine once enough bytes exist.
    LzxStreamBuilder builder(16);
    builder.BeginBlock(LzxBlockType::Verbatim, 9, TreesFor({'a', 256 + 6 * 8 + 1}));
    for (int i = 0; i < 6; ++i) builder.Literal('a');
    builder.MatchSlot(6, 3, 0);
    EXPECT_EQ(DecodeFresh(builder.Finish(), 16, 9).status, LzxStatus::Ok);
  }
  // Repeated offsets set by an uncompressed block: 0, and more than the window size after a wrap.
  for (const std::uint32_t offset : {0u, 32769u, 40000u}) {
    LzxStreamBuilder builder(15);
    builder.EncodeBlock(LzxBlockType::Verbatim, Literals(test::GenerateHtmlText(32768, 5)));
    builder.UncompressedBlock(Bytes("xy"), {offset, 1, 1});
    builder.BeginBlock(LzxBlockType::Verbatim, 3, TreesFor({256 + 1}));
    builder.MatchSlot(0, 3);
    EXPECT_EQ(DecodeFresh(builder.Finish(), 15, 32768 + 5).status, LzxStatus::BadData) << offset;
  }
  {
    // Offset = window size after a wrap reads the previous pass at the same place.
    LzxStreamBuilder builder(15);
    const std::vector<std::uint8_t> text = test::GenerateHtmlText(32768, 5);
    builder.EncodeBlock(LzxBlockType::Verbatim, Literals(text));
    builder.UncompressedBlock(Bytes("xy"), {32768, 1, 1});
    builder.BeginBlock(LzxBlockType::Verbatim, 3, TreesFor({256 + 1}));
    builder.MatchSlot(0, 3);
    const Decoded d = DecodeFresh(builder.Finish(), 15, 32768 + 5);
    ASSERT_EQ(d.status, LzxStatus::Ok);
    EXPECT_EQ(std::vector<std::uint8_t>(d.output.end() - 3, d.output.end()),
              std::vector<std::uint8_t>(text.begin() + 2, text.begin() + 5));
  }
}

TEST(LzxDecoder, MatchPastTheRequestEndIsTrimmed) {
  const std::vector<LzxItem> items = {LzxItem::Literal('a'), LzxItem::Literal('b'), LzxItem::Literal('c'),
                                      LzxItem::Match(3, 20)};
  std::vector<std::uint8_t> expected;
  test::ApplyItems(items, expected);
  {
    // The request ends inside the block, in the middle of the match.
    LzxStreamBuilder builder(16);
    builder.EncodeBlock(LzxBlockType::Verbatim, items);
    const std::vector<std::uint8_t> stream = builder.Finish();
    for (const std::size_t length : {4u, 10u, 22u}) {
      LzxDecoder decoder;
      ASSERT_EQ(decoder.Reset(16), LzxStatus::Ok);
      std::vector<std::uint8_t> output(length);
      ASSERT_EQ(decoder.Decompress(stream, output), LzxStatus::Ok) << length;
      EXPECT_EQ(output, std::vector<std::uint8_t>(expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(length)));
      EXPECT_EQ(decoder.State().windowPosition, length);
    }
  }
  {
    // The block claims fewer bytes than its match produces (a section's last block) and the request ends
    // with the block.
    LzxStreamBuilder builder(16);
    builder.BeginBlock(LzxBlockType::Verbatim, 12, TreesFor({'a', 'b', 'c', 256 + 7}, {20 - 2 - 7}));
    builder.Literal('a');
    builder.Literal('b');
    builder.Literal('c');
    builder.MatchSlot(0, 20);  // R0 is 1 here: ccc...
    const Decoded d = DecodeFresh(builder.Finish(), 16, 12);
    ASSERT_EQ(d.status, LzxStatus::Ok);
    EXPECT_EQ(d.output, Bytes("abcccccccccc"));
  }
}

// A match that runs past the end of its block while the request goes on counts against the next block.
TEST(LzxDecoder, MatchOvershootCarriesIntoTheNextBlock) {
  const auto firstBlock = [](LzxStreamBuilder& builder) {
    builder.BeginBlock(LzxBlockType::Verbatim, 12, TreesFor({'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 256 + 3}));
    for (char c = '0'; c <= '9'; ++c) builder.Literal(static_cast<std::uint8_t>(c));
    builder.MatchSlot(0, 5);  // offset 1: five '9's, three past the block end
  };
  const std::vector<std::uint8_t> head = Bytes("012345678999999");
  {
    LzxStreamBuilder builder(16);
    firstBlock(builder);
    const std::vector<LzxItem> rest = Literals(Bytes("ABCDEFG"));
    builder.BeginBlock(LzxBlockType::Verbatim, 10, TreesFor({'A', 'B', 'C', 'D', 'E', 'F', 'G'}));
    for (const LzxItem& item : rest) builder.Literal(item.literal);
    LzxDecoder decoder;
    ASSERT_EQ(decoder.Reset(16), LzxStatus::Ok);
    std::vector<std::uint8_t> output(22);
    ASSERT_EQ(decoder.Decompress(builder.Finish(), output), LzxStatus::Ok);
    std::vector<std::uint8_t> expected = head;
    expected.insert(expected.end(), {'A', 'B', 'C', 'D', 'E', 'F', 'G'});
    EXPECT_EQ(output, expected);
    EXPECT_EQ(decoder.State().blockRemaining, 0u);
    EXPECT_EQ(decoder.State().windowPosition, 22u);
  }
  {
    // Into an uncompressed block: its first stored bytes stand for what the match already produced.
    LzxStreamBuilder builder(16);
    firstBlock(builder);
    builder.UncompressedBlock(Bytes("xyzABCDEFG"), {1, 1, 1});
    const Decoded d = DecodeFresh(builder.Finish(), 16, 22);
    ASSERT_EQ(d.status, LzxStatus::Ok);
    std::vector<std::uint8_t> expected = head;
    expected.insert(expected.end(), {'A', 'B', 'C', 'D', 'E', 'F', 'G'});
    EXPECT_EQ(d.output, expected);
  }
  {
    // An overshoot longer than the next block is corrupt.
    LzxStreamBuilder builder(16);
    firstBlock(builder);
    builder.BeginBlock(LzxBlockType::Verbatim, 2, TreesFor({'A', 'B'}));
    builder.Literal('A');
    builder.Literal('B');
    EXPECT_EQ(DecodeFresh(builder.Finish(), 16, 17).status, LzxStatus::BadData);
  }
}

// The overshoot of a request's last match is remembered for the next call.
TEST(LzxDecoder, MatchOvershootCarriesIntoTheNextCall) {
  const std::vector<std::uint8_t> text = test::GenerateHtmlText(32760, 13);
  std::vector<std::uint32_t> frequency(656, 0);
  for (const std::uint8_t b : text) ++frequency[b];
  frequency[256 + 8 * 14 + 6] = 1;  // slot 14 (offsets 126..189), length 8
  LzxTrees trees;
  trees.main = test::HuffmanLengths(frequency, 16);
  LzxStreamBuilder builder(16);
  builder.BeginBlock(LzxBlockType::Verbatim, 32765, trees);  // 3 bytes fewer than it produces
  for (const std::uint8_t b : text) builder.Literal(b);
  builder.Match(150, 8);  // ends on the frame end: the stream realigns, and the next call starts there
  const std::size_t secondCall = builder.bits().ByteSize();
  builder.BeginBlock(LzxBlockType::Verbatim, 10, TreesFor({'A', 'B', 'C', 'D', 'E', 'F', 'G'}));
  for (const char c : std::string("ABCDEFG")) builder.Literal(static_cast<std::uint8_t>(c));
  const std::vector<std::uint8_t> stream = builder.Finish();
  std::vector<LzxItem> items = Literals(text);
  items.push_back(LzxItem::Match(150, 8));
  std::vector<std::uint8_t> expected;
  test::ApplyItems(items, expected);

  LzxDecoder decoder;
  ASSERT_EQ(decoder.Reset(16), LzxStatus::Ok);
  std::vector<std::uint8_t> first(32768);
  ASSERT_EQ(decoder.Decompress(stream, first), LzxStatus::Ok);
  EXPECT_EQ(first, expected);
  const std::vector<std::uint8_t> rest(stream.begin() + static_cast<std::ptrdiff_t>(secondCall), stream.end());
  std::vector<std::uint8_t> second(7);
  ASSERT_EQ(decoder.Decompress(rest, second), LzxStatus::Ok);
  EXPECT_EQ(second, Bytes("ABCDEFG"));
  EXPECT_EQ(decoder.State().blockRemaining, 0u);
  EXPECT_EQ(decoder.State().windowPosition, 32775u);
}

TEST(LzxDecoder, MatchCrossingTheWindowEnd) {
  LzxStreamBuilder builder(15);
  const std::vector<std::uint8_t> text = test::GenerateHtmlText(32760, 9);
  std::vector<LzxItem> items = Literals(text);
  items.push_back(LzxItem::Match(1000, 10));  // ends 2 bytes past the window end
  // The block claims the bytes up to the window end only.
  std::vector<std::uint32_t> frequency(656, 0);
  for (const std::uint8_t b : text) ++frequency[b];
  frequency[256 + 8 * 19 + 7] = 1;  // slot 19 holds offset 1000
  LzxTrees trees;
  trees.main = test::HuffmanLengths(frequency, 16);
  trees.length = TreesFor({}, {10 - 2 - 7}).length;
  builder.BeginBlock(LzxBlockType::Verbatim, 32768, trees);
  for (const std::uint8_t b : text) builder.Literal(b);
  builder.Match(1000, 10);
  std::vector<std::uint8_t> stream = builder.Finish();
  // What follows is a fresh interval, as a decoder that stopped the match at the window end would expect.
  LzxStreamBuilder next(15);
  next.EncodeBlock(LzxBlockType::Verbatim, Literals(Bytes("more")));
  const std::vector<std::uint8_t> rest = next.Finish();
  stream.insert(stream.end(), rest.begin(), rest.end());
  std::vector<std::uint8_t> expected;
  test::ApplyItems(items, expected);
  expected.resize(32768);

  // The request ends at the window end: the match is trimmed there.
  const Decoded trimmed = DecodeFresh(stream, 15, 32768);
  ASSERT_EQ(trimmed.status, LzxStatus::Ok);
  EXPECT_EQ(trimmed.output, expected);
  // The request goes on: the rest of the match has nowhere to go.
  EXPECT_EQ(DecodeFresh(stream, 15, 32768 + 4).status, LzxStatus::BadData);
}

TEST(LzxDecoder, RunCrossingTheWindowEndIsBadFormat) {
  LzxStreamBuilder builder(15);
  builder.EncodeBlock(LzxBlockType::Verbatim, Literals(test::GenerateHtmlText(40000, 1)));
  EXPECT_EQ(DecodeFresh(builder.Finish(), 15, 40000).status, LzxStatus::BadFormat);
}

TEST(LzxDecoder, BlockTypesOtherThanOneToThreeAreBadData) {
  for (const int type : {0, 4, 5, 6, 7}) {
    LzxStreamBuilder builder(16);
    builder.HeaderBits(type, 100);
    const std::vector<std::uint8_t> stream = builder.Finish();
    LzxDecoder decoder;
    ASSERT_EQ(decoder.Reset(16), LzxStatus::Ok);
    std::vector<std::uint8_t> output(100);
    EXPECT_EQ(decoder.Decompress(stream, output), LzxStatus::BadData) << type;
    EXPECT_EQ(decoder.State().blockType, type);
  }
}

TEST(LzxDecoder, IncompleteMainTreeIsBadData) {
  LzxStreamBuilder builder(16);
  LzxTrees trees;
  trees.main.assign(256, 0);
  trees.main['a'] = 1;  // half the code space
  builder.BeginBlock(LzxBlockType::Verbatim, 1, trees);
  EXPECT_EQ(DecodeFresh(builder.Finish(), 16, 1).status, LzxStatus::BadData);
}

TEST(LzxDecoder, LongMainCodesDecode) {
  // Literal lengths 1..16 plus another 16: codes of 13 to 16 bits go through the overflow nodes.
  LzxTrees trees;
  trees.main.assign(256, 0);
  std::vector<std::uint8_t> plain;
  for (int l = 1; l <= 16; ++l) {
    trees.main[static_cast<std::size_t>('A' + l)] = static_cast<std::uint8_t>(l);
    plain.push_back(static_cast<std::uint8_t>('A' + l));
  }
  trees.main['a'] = 16;
  plain.push_back('a');
  plain.insert(plain.end(), plain.rbegin(), plain.rend());
  LzxStreamBuilder builder(16);
  builder.BeginBlock(LzxBlockType::Verbatim, static_cast<std::uint32_t>(plain.size()), trees);
  for (const std::uint8_t b : plain) builder.Literal(b);
  const Decoded d = DecodeFresh(builder.Finish(), 16, plain.size());
  ASSERT_EQ(d.status, LzxStatus::Ok);
  EXPECT_EQ(d.output, plain);
}

// Pretree operations that leave `count` positions at zero (when they were zero).
std::vector<test::LzxPretreeOp> ZeroOps(int count) {
  std::vector<test::LzxPretreeOp> ops;
  while (count >= 20) {
    const int run = std::min(count, 51);
    ops.push_back({18, static_cast<std::uint32_t>(run - 20), 0});
    count -= run;
  }
  if (count >= 4) {
    ops.push_back({17, static_cast<std::uint32_t>(count - 4), 0});
    count = 0;
  }
  for (; count > 0; --count) ops.push_back({0, 0, 0});
  return ops;
}

// A run of the length transmission that overshoots the main element count gives a code to a symbol
// beyond it, and that symbol decodes (here slot 30 of a 2^15 window, offset 32768 after a wrap).
TEST(LzxDecoder, LengthRunPastTheMainElementCountAddsSymbols) {
  const std::vector<std::uint8_t> text = test::GenerateHtmlText(32768, 17);
  LzxStreamBuilder builder(15);
  builder.EncodeBlock(LzxBlockType::Verbatim, Literals(text));
  std::vector<std::uint8_t> pretree(20, 4);
  for (int s = 12; s < 20; ++s) pretree[static_cast<std::size_t>(s)] = 5;
  LzxStreamBuilder::ExplicitLengths low{pretree, ZeroOps('a')};
  low.ops.push_back({16, 0, 0});  // 'a': 0 - 16 + 17 = 1
  const std::vector<test::LzxPretreeOp> rest = ZeroOps(255 - 'a');
  low.ops.insert(low.ops.end(), rest.begin(), rest.end());
  // Main elements end at 496; a repeated delta from 493 sets 493..496 to 3 (0 - 14 + 17).
  LzxStreamBuilder::ExplicitLengths high{pretree, ZeroOps(493 - 256)};
  high.ops.push_back({19, 0, 14});
  const LzxStreamBuilder::ExplicitLengths lengthTree{pretree, ZeroOps(249)};
  builder.BeginBlockExplicit(LzxBlockType::Verbatim, 3, {}, low, high, lengthTree);
  builder.Literal('a');
  builder.MatchSlot(30, 2, 2);  // offset 32766 + 2
  const Decoded d = DecodeFresh(builder.Finish(), 15, 32768 + 3);
  ASSERT_EQ(d.status, LzxStatus::Ok);
  EXPECT_EQ(std::vector<std::uint8_t>(d.output.end() - 3, d.output.end()),
            (std::vector<std::uint8_t>{'a', text[1], text[2]}));
}

TEST(LzxDecoder, ResetRejectsWindowBitsOutOfRangeAndChangesNothing) {
  LzxStreamBuilder builder(15);
  const std::vector<std::uint8_t> text = test::GenerateHtmlText(40000, 4);
  builder.EncodeBlock(LzxBlockType::Verbatim, Literals(std::vector<std::uint8_t>(text.begin(), text.begin() + 32768)));
  builder.EncodeBlock(LzxBlockType::Verbatim, Literals(std::vector<std::uint8_t>(text.begin() + 32768, text.end())));
  const std::vector<std::uint8_t> stream = builder.Finish();
  ASSERT_EQ(builder.resetOffsets().size(), 1u);

  LzxDecoder decoder;
  EXPECT_EQ(decoder.Reset(14), LzxStatus::BadFormat);
  std::vector<std::uint8_t> none;
  EXPECT_EQ(decoder.Decompress(stream, none), LzxStatus::NoMemory);  // still no window
  ASSERT_EQ(decoder.Reset(15), LzxStatus::Ok);
  std::vector<std::uint8_t> first(32768);
  ASSERT_EQ(decoder.Decompress(stream, first), LzxStatus::Ok);
  const LzxDecoderState before = decoder.State();
  EXPECT_EQ(before.windowPosition, 32768u);
  EXPECT_EQ(decoder.Reset(14), LzxStatus::BadFormat);
  EXPECT_EQ(decoder.Reset(22), LzxStatus::BadFormat);
  EXPECT_EQ(decoder.Reset(-1), LzxStatus::BadFormat);
  const LzxDecoderState after = decoder.State();
  EXPECT_EQ(after.windowSize, before.windowSize);
  EXPECT_EQ(after.windowPosition, before.windowPosition);
  EXPECT_EQ(after.callCount, before.callCount);
  EXPECT_EQ(after.blockType, before.blockType);
  EXPECT_EQ(after.blockRemaining, before.blockRemaining);
  EXPECT_EQ(after.headerRead, before.headerRead);
  // The stream goes on from the reset point as if nothing happened.
  const std::vector<std::uint8_t> rest(stream.begin() + static_cast<std::ptrdiff_t>(builder.resetOffsets()[0]), stream.end());
  std::vector<std::uint8_t> second(text.size() - 32768);
  ASSERT_EQ(decoder.Decompress(rest, second), LzxStatus::Ok);
  first.insert(first.end(), second.begin(), second.end());
  EXPECT_EQ(first, text);
}

TEST(LzxDecoder, ZeroOutputReadsNothing) {
  LzxDecoder decoder;
  ASSERT_EQ(decoder.Reset(16), LzxStatus::Ok);
  const std::vector<std::uint8_t> garbage = {0xFF, 0xFF, 0xFF, 0xFF};  // would be block type 7
  std::vector<std::uint8_t> output;
  EXPECT_EQ(decoder.Decompress(garbage, output), LzxStatus::Ok);
  EXPECT_EQ(decoder.Decompress({}, output), LzxStatus::Ok);
  const LzxDecoderState state = decoder.State();
  EXPECT_FALSE(state.headerRead);
  EXPECT_EQ(state.blockType, 0);
  EXPECT_EQ(state.windowPosition, 0u);
  EXPECT_EQ(state.callCount, 2u);
}

class FailingMemory : public std::pmr::memory_resource {
 public:
  bool fail = true;

 private:
  void* do_allocate(std::size_t bytes, std::size_t alignment) override {
    if (fail) throw std::bad_alloc();
    return std::pmr::new_delete_resource()->allocate(bytes, alignment);
  }
  void do_deallocate(void* p, std::size_t bytes, std::size_t alignment) override {
    std::pmr::new_delete_resource()->deallocate(p, bytes, alignment);
  }
  bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override { return this == &other; }
};

TEST(LzxDecoder, WindowAllocationFailureIsNoMemory) {
  FailingMemory memory;
  LzxDecoder decoder(&memory);
  EXPECT_EQ(decoder.Reset(16), LzxStatus::NoMemory);
  std::vector<std::uint8_t> output(4);
  EXPECT_EQ(decoder.Decompress({}, output), LzxStatus::NoMemory);
  memory.fail = false;
  ASSERT_EQ(decoder.Reset(15), LzxStatus::Ok);
  // A larger window is needed: the failure drops the old one, and decoding is refused.
  memory.fail = true;
  EXPECT_EQ(decoder.Reset(16), LzxStatus::NoMemory);
  EXPECT_EQ(decoder.Decompress({}, output), LzxStatus::NoMemory);
  memory.fail = false;
  ASSERT_EQ(decoder.Reset(16), LzxStatus::Ok);
  // A smaller window reuses the allocation: no allocation is attempted.
  memory.fail = true;
  EXPECT_EQ(decoder.Reset(15), LzxStatus::Ok);
  LzxStreamBuilder builder(15);
  builder.EncodeBlock(LzxBlockType::Verbatim, Literals(Bytes("tiny")));
  EXPECT_EQ(decoder.Decompress(builder.Finish(), output), LzxStatus::Ok);
  EXPECT_EQ(output, Bytes("tiny"));
}

// When the window fills, the next block header starts a fresh interval: E8 header, trees from zero,
// repeated offsets 1.
TEST(LzxDecoder, WindowFillResetsTreesRepeatedOffsetsAndE8Header) {
  const std::vector<std::uint8_t> text = test::GenerateHtmlText(65536 + 5000, 21);
  LzxStreamBuilder builder(16);
  // The first window in two blocks; the second one moves R0..R2 away from 1.
  builder.EncodeBlock(LzxBlockType::Verbatim, Literals(std::vector<std::uint8_t>(text.begin(), text.begin() + 30000)));
  std::vector<LzxItem> second = {LzxItem::Match(29000, 50), LzxItem::Match(777, 20), LzxItem::Match(12, 30)};
  std::vector<std::uint8_t> plain(text.begin(), text.begin() + 30000);
  test::ApplyItems(second, plain);
  const std::vector<LzxItem> fill = Literals(std::vector<std::uint8_t>(text.begin() + 30100, text.begin() + 30100 + 65536 - 30100));
  second.insert(second.end(), fill.begin(), fill.end());
  test::ApplyItems(fill, plain);
  builder.EncodeBlock(LzxBlockType::Aligned, second);
  ASSERT_EQ(builder.total(), 65536u);
  ASSERT_NE(builder.repeated()[0], 1u);

  builder.SetE8TranslationSize(12345678);
  // First thing after the reset: slot 0 with R0 = 1 copies the last byte of the previous window.
  builder.BeginBlock(LzxBlockType::Verbatim, 4 + 4, TreesFor({256 + 2, 'x', 'y', 'z', 'w'}));
  builder.MatchSlot(0, 4);
  for (const char c : std::string("xyzw")) builder.Literal(static_cast<std::uint8_t>(c));
  std::vector<std::uint8_t> expected = plain;
  expected.insert(expected.end(), 4, plain.back());
  expected.insert(expected.end(), {'x', 'y', 'z', 'w'});
  const std::vector<std::uint8_t> stream = builder.Finish();

  {
    // One call across the window end.
    LzxDecoder decoder;
    ASSERT_EQ(decoder.Reset(16), LzxStatus::Ok);
    std::vector<std::uint8_t> output(expected.size());
    ASSERT_EQ(decoder.Decompress(stream, output), LzxStatus::Ok);
    EXPECT_EQ(output, expected);
    EXPECT_EQ(decoder.State().e8TranslationSize, 12345678);
    EXPECT_EQ(decoder.State().r0, 1u);
    EXPECT_EQ(decoder.State().windowPosition, 8u);
  }
  {
    // A request that ends exactly at the window end, then one that starts at the reset point.
    LzxDecoder decoder;
    ASSERT_EQ(decoder.Reset(16), LzxStatus::Ok);
    std::vector<std::uint8_t> first(65536);
    ASSERT_EQ(decoder.Decompress(stream, first), LzxStatus::Ok);
    EXPECT_EQ(decoder.State().windowPosition, 65536u);
    EXPECT_EQ(decoder.State().e8TranslationSize, 0);
    ASSERT_EQ(builder.resetOffsets().size(), 1u);
    const std::vector<std::uint8_t> rest(stream.begin() + static_cast<std::ptrdiff_t>(builder.resetOffsets()[0]),
                                         stream.end());
    std::vector<std::uint8_t> second(8);
    ASSERT_EQ(decoder.Decompress(rest, second), LzxStatus::Ok);
    first.insert(first.end(), second.begin(), second.end());
    EXPECT_EQ(first, expected);
    EXPECT_EQ(decoder.State().e8TranslationSize, 12345678);
  }
}

// The bit stream realigns to a word when a literal or match ends exactly on a 32 KiB frame boundary, and
// only then.
TEST(LzxDecoder, RealignsAfterEachFrame) {
  const std::vector<std::uint8_t> text = test::GenerateHtmlText(50000, 31);
  for (const std::uint32_t before : {32768u, 32767u, 32766u, 32765u}) {
    // `before` literals, then a match of 3 that ends on the boundary (32765), steps over it (32766,
    // 32767) or follows it (32768).
    std::vector<LzxItem> items = Literals(std::vector<std::uint8_t>(text.begin(), text.begin() + before));
    items.push_back(LzxItem::Match(400, 3));
    const std::vector<LzxItem> tail = Literals(std::vector<std::uint8_t>(text.begin() + 40000, text.end()));
    items.insert(items.end(), tail.begin(), tail.end());
    LzxStreamBuilder builder(16);
    builder.EncodeBlock(LzxBlockType::Verbatim, items);
    std::vector<std::uint8_t> expected;
    test::ApplyItems(items, expected);
    const Decoded d = DecodeFresh(builder.Finish(), 16, expected.size());
    ASSERT_EQ(d.status, LzxStatus::Ok) << before;
    EXPECT_EQ(d.output, expected) << before;
  }
}

// Random parses over several frames, in both coded block types: literal runs, matches at every short
// offset (the copy cases: a repeated byte, patterns of 2 to 15 bytes, whole chunks) and far ones, lengths
// up to the longest, so that the fast loop, the careful loop near frame and input ends, and the move
// between them all run.
TEST(LzxDecoder, RandomParsesDecodeInEveryCopyCase) {
  std::mt19937 rng(99);
  for (const LzxBlockType type : {LzxBlockType::Verbatim, LzxBlockType::Aligned}) {
    std::vector<LzxItem> items;
    std::uint32_t total = 0;
    while (total < 100000) {
      const std::uint32_t pick = rng() % 10;
      if (pick < 5 || total < 300) {
        items.push_back(LzxItem::Literal(static_cast<std::uint8_t>("abcdefgh<>/ \n"[rng() % 13])));
        total += 1;
        continue;
      }
      const std::uint32_t offset = pick < 8 ? 1 + rng() % 40 : 1 + rng() % std::min(total, 60000u);
      const std::uint32_t length = rng() % 8 == 0 ? 2 + rng() % 256 : 2 + rng() % 40;
      items.push_back(LzxItem::Match(offset, length));
      total += length;
    }
    LzxStreamBuilder builder(17);
    builder.EncodeBlock(type, items);
    std::vector<std::uint8_t> expected;
    test::ApplyItems(items, expected);
    const Decoded d = DecodeFresh(builder.Finish(), 17, expected.size());
    ASSERT_EQ(d.status, LzxStatus::Ok) << static_cast<int>(type);
    EXPECT_EQ(d.output, expected) << static_cast<int>(type);
  }
}

}  // namespace
}  // namespace tessaly
