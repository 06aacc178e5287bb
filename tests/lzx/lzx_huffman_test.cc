#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "lzx/bit_reader.h"
#include "lzx/huffman_table.h"
#include "support/bit_writer.h"

namespace tessaly::lzx {
namespace {

// The generic table with 12 direct bits (as the length tree) over as many symbols as the main tree.
using WideTree = HuffmanTable<12, kMainSymbols>;

template <typename Table>
LzxStatus BuildStatus(Table& table) {
  try {
    table.Build();
  } catch (const Failure& failure) {
    return failure.status;
  }
  return LzxStatus::Ok;
}

template <typename Table>
void SetLengths(Table& table, const std::vector<std::uint8_t>& lengths) {
  table.lengths.fill(0);
  std::copy(lengths.begin(), lengths.end(), table.lengths.begin());
}

// Writes `symbols` with the canonical code of `lengths`, decodes them with `table` and checks each symbol
// and the exact number of bits it took.
template <typename Table>
void ExpectRoundTrip(const Table& table, const std::vector<std::uint8_t>& lengths, const std::vector<int>& symbols) {
  const std::vector<std::uint32_t> codes = test::CanonicalCodes(lengths);
  test::LzxBitWriter writer;
  for (const int s : symbols) writer.WriteBits(codes[static_cast<std::size_t>(s)], lengths[static_cast<std::size_t>(s)]);
  const std::vector<std::uint8_t> stream = writer.Finish();
  BitReader bits(stream);
  std::uint64_t consumed = 0;
  for (std::size_t i = 0; i < symbols.size(); ++i) {
    ASSERT_EQ(table.Decode(bits), symbols[i]) << "symbol #" << i;
    consumed += lengths[static_cast<std::size_t>(symbols[i])];
    ASSERT_EQ(bits.ConsumedBits(), consumed) << "symbol #" << i;
  }
}

TEST(LzxHuffman, AllZeroCodeDecodesSymbolZeroAndConsumesNothing) {
  auto table = std::make_unique<WideTree>();
  ASSERT_EQ(BuildStatus(*table), LzxStatus::Ok);
  const std::vector<std::uint8_t> stream = {0xFF, 0xFF, 0x12, 0x34};
  BitReader bits(stream);
  EXPECT_EQ(table->Decode(bits), 0);
  EXPECT_EQ(table->Decode(bits), 0);
  EXPECT_EQ(bits.ConsumedBits(), 0u);
}

TEST(LzxHuffman, CompleteShortCodeFillsTheDirectTableExactly) {
  auto table = std::make_unique<WideTree>();
  std::vector<std::uint8_t> lengths(256, 8);  // 256 codes of 8 bits
  SetLengths(*table, lengths);
  ASSERT_EQ(BuildStatus(*table), LzxStatus::Ok);
  for (int i = 0; i < WideTree::kDirectEntries; ++i) {
    const std::uint16_t entry = table->entries[static_cast<std::size_t>(i)];
    ASSERT_FALSE(entry & kNodeFlag) << i;
    ASSERT_EQ(entry >> kEntryLengthShift, 8) << i;
    ASSERT_EQ(entry & kEntrySymbolMask, i >> 4) << i;  // canonical: symbol s owns entries 16s .. 16s + 15
  }
  ExpectRoundTrip(*table, lengths, {0, 255, 17, 128, 3, 3, 200});

  // Mixed lengths up to the table width: 1, 2, ..., 11, 12, 12.
  std::vector<std::uint8_t> mixed;
  for (int l = 1; l <= 12; ++l) mixed.push_back(static_cast<std::uint8_t>(l));
  mixed.push_back(12);
  SetLengths(*table, mixed);
  ASSERT_EQ(BuildStatus(*table), LzxStatus::Ok);
  for (int i = 0; i < WideTree::kDirectEntries; ++i) ASSERT_FALSE(table->entries[static_cast<std::size_t>(i)] & kNodeFlag);
  ExpectRoundTrip(*table, mixed, {0, 12, 11, 1, 5, 0, 0, 7});
}

TEST(LzxHuffman, IncompleteCodesFail) {
  auto table = std::make_unique<WideTree>();
  SetLengths(*table, {1});  // one symbol of length 1: half the code space
  EXPECT_EQ(BuildStatus(*table), LzxStatus::BadData);
  SetLengths(*table, {0, 0, 2, 2, 2});  // three quarters
  EXPECT_EQ(BuildStatus(*table), LzxStatus::BadData);
  // A complete code of long codes missing one 16-bit code.
  std::vector<std::uint8_t> lengths;
  for (int l = 1; l <= 16; ++l) lengths.push_back(static_cast<std::uint8_t>(l));
  SetLengths(*table, lengths);
  EXPECT_EQ(BuildStatus(*table), LzxStatus::BadData);
  // Only a length that no code uses: not empty, so incomplete.
  SetLengths(*table, {0, 0, 17});
  EXPECT_EQ(BuildStatus(*table), LzxStatus::BadData);

  auto pretree = std::make_unique<Pretree>();
  SetLengths(*pretree, {1});
  EXPECT_EQ(BuildStatus(*pretree), LzxStatus::BadData);
}

TEST(LzxHuffman, OverSubscribedCodesFail) {
  auto table = std::make_unique<WideTree>();
  SetLengths(*table, {1, 1, 1});
  EXPECT_EQ(BuildStatus(*table), LzxStatus::BadData);
  // Complete with long codes, plus one more 16-bit code.
  std::vector<std::uint8_t> lengths;
  for (int l = 1; l <= 16; ++l) lengths.push_back(static_cast<std::uint8_t>(l));
  lengths.push_back(16);
  lengths.push_back(16);
  SetLengths(*table, lengths);
  EXPECT_EQ(BuildStatus(*table), LzxStatus::BadData);
  auto aligned = std::make_unique<AlignedTree>();
  SetLengths(*aligned, {2, 2, 2, 2, 3});
  EXPECT_EQ(BuildStatus(*aligned), LzxStatus::BadData);
}

TEST(LzxHuffman, LongCodesDecodeThroughOverflowNodes) {
  // Lengths 1..16 and a second 16: codes of 13 to 16 bits lie beyond the 12-bit direct table.
  std::vector<std::uint8_t> lengths(300, 0);
  std::vector<int> symbols;
  for (int l = 1; l <= 16; ++l) {
    lengths[static_cast<std::size_t>(l * 17)] = static_cast<std::uint8_t>(l);
    symbols.push_back(l * 17);
  }
  lengths[299] = 16;
  symbols.push_back(299);
  auto table = std::make_unique<WideTree>();
  SetLengths(*table, lengths);
  ASSERT_EQ(BuildStatus(*table), LzxStatus::Ok);
  int nodes = 0;
  for (int i = 0; i < WideTree::kDirectEntries; ++i) nodes += (table->entries[static_cast<std::size_t>(i)] & kNodeFlag) ? 1 : 0;
  EXPECT_EQ(nodes, 1);  // all long codes share the prefix 111111111111
  std::vector<int> sequence = symbols;
  sequence.insert(sequence.end(), symbols.rbegin(), symbols.rend());
  ExpectRoundTrip(*table, lengths, sequence);

  // The pretree has a 6-bit table and codes of up to 15 bits.
  std::vector<std::uint8_t> pre(20, 0);
  std::vector<int> preSymbols;
  for (int l = 1; l <= 15; ++l) {
    pre[static_cast<std::size_t>(l)] = static_cast<std::uint8_t>(l);
    preSymbols.push_back(l);
  }
  pre[19] = 15;
  preSymbols.push_back(19);
  auto pretree = std::make_unique<Pretree>();
  SetLengths(*pretree, pre);
  ASSERT_EQ(BuildStatus(*pretree), LzxStatus::Ok);
  ExpectRoundTrip(*pretree, pre, preSymbols);
}

TEST(LzxHuffman, RandomCompleteCodesRoundTrip) {
  std::mt19937 rng(777);
  for (int trial = 0; trial < 200; ++trial) {
    // Skewed frequencies give codes up to the 16-bit limit.
    const int used = 2 + static_cast<int>(rng() % 400);
    std::vector<std::uint32_t> frequency(kMainSymbols, 0);
    std::vector<int> present;
    for (int i = 0; i < used; ++i) {
      const int s = static_cast<int>(rng() % kMainSymbols);
      frequency[static_cast<std::size_t>(s)] = 1 + (rng() % 3 == 0 ? (1u << (rng() % 24)) : rng() % 50);
    }
    const std::vector<std::uint8_t> lengths = test::HuffmanLengths(frequency, 16);
    for (int s = 0; s < kMainSymbols; ++s) {
      if (lengths[static_cast<std::size_t>(s)] != 0) present.push_back(s);
    }
    auto table = std::make_unique<WideTree>();
    SetLengths(*table, lengths);
    ASSERT_EQ(BuildStatus(*table), LzxStatus::Ok) << trial;
    std::vector<int> sequence;
    for (int i = 0; i < 300; ++i) sequence.push_back(present[rng() % present.size()]);
    ExpectRoundTrip(*table, lengths, sequence);
  }
}

TEST(LzxHuffman, LengthsAboveSixteenTakeNoPartInACompleteCode) {
  auto table = std::make_unique<HuffmanTable<12, 250>>();
  SetLengths(*table, {1, 2, 2, 255, 17});
  ASSERT_EQ(BuildStatus(*table), LzxStatus::Ok);
  ExpectRoundTrip(*table, {1, 2, 2, 255, 17}, {0, 1, 2, 2, 0});
}

// A complete pretree over all 20 symbols: 0..11 get 4 bits, 12..19 get 5.
std::vector<std::uint8_t> FullPretree() {
  std::vector<std::uint8_t> lengths(20, 4);
  for (int s = 12; s < 20; ++s) lengths[static_cast<std::size_t>(s)] = 5;
  return lengths;
}

void RunReadLengths(std::span<std::uint8_t> lengths, int first, int last, const std::vector<test::LzxPretreeOp>& ops) {
  test::LzxBitWriter writer;
  test::WriteLengthOps(writer, FullPretree(), ops);
  writer.WriteBits(0xABCD, 16);  // what follows must stay unread
  const std::vector<std::uint8_t> stream = writer.Finish();
  BitReader bits(stream);
  auto pretree = std::make_unique<Pretree>();
  ReadLengths(bits, *pretree, lengths, first, last);
  EXPECT_EQ(bits.ReadBits(16), 0xABCDu);
}

TEST(LzxReadLengths, DeltasAreTakenModuloSeventeen) {
  auto table = std::make_unique<WideTree>();
  auto& lengths = table->lengths;
  lengths[0] = 5;
  lengths[1] = 0;
  lengths[2] = 16;
  lengths[3] = 3;
  RunReadLengths(lengths, 0, 4, {{2, 0, 0}, {13, 0, 0}, {0, 0, 0}, {16, 0, 0}});
  EXPECT_EQ(lengths[0], 3);   // 5 - 2
  EXPECT_EQ(lengths[1], 4);   // 0 - 13 + 17
  EXPECT_EQ(lengths[2], 16);  // unchanged
  EXPECT_EQ(lengths[3], 4);   // 3 - 16 + 17
}

TEST(LzxReadLengths, ZeroRunsOvershootTheRangeIntoTheSpareBytes) {
  auto table = std::make_unique<WideTree>();
  auto& lengths = table->lengths;
  std::fill(lengths.begin(), lengths.end(), 9);
  // Positions 0..7: seven deltas, then at the last position a run of 19 zeros (17, extra 15).
  std::vector<test::LzxPretreeOp> ops(7, {1, 0, 0});
  ops.push_back({17, 15, 0});
  RunReadLengths(lengths, 0, 8, ops);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(lengths[static_cast<std::size_t>(i)], 8) << i;
  for (int i = 7; i < 26; ++i) EXPECT_EQ(lengths[static_cast<std::size_t>(i)], 0) << i;
  EXPECT_EQ(lengths[26], 9);

  // The longest run (18, extra 31: 51 zeros) at the last main-tree position reaches 50 bytes past it.
  std::fill(lengths.begin(), lengths.end(), 7);
  std::vector<test::LzxPretreeOp> tail(399, {0, 0, 0});  // positions 256..654 unchanged
  tail.push_back({18, 31, 0});
  RunReadLengths(lengths, 256, kMainSymbols, tail);
  EXPECT_EQ(lengths[654], 7);
  for (int i = 655; i < 706; ++i) EXPECT_EQ(lengths[static_cast<std::size_t>(i)], 0) << i;
  for (std::size_t i = 706; i < lengths.size(); ++i) EXPECT_EQ(lengths[i], 7) << i;
}

TEST(LzxReadLengths, RepeatedDeltaUsesTheSameRule) {
  auto table = std::make_unique<HuffmanTable<12, 250>>();
  auto& lengths = table->lengths;
  std::fill(lengths.begin(), lengths.end(), 0);
  for (int i = 0; i < 4; ++i) lengths[static_cast<std::size_t>(i)] = 3;
  lengths[9] = 4;
  RunReadLengths(lengths, 0, 14,
                 {
                     {19, 0, 5},   // 4 positions from lengths[0] = 3: 3 - 5 + 17 = 15
                     {19, 1, 18},  // 5 positions from lengths[4] = 0: 0 - 18 + 17 = -1, kept as 255
                     {19, 0, 17},  // 4 positions from lengths[9] = 4: 4 - 17 + 17 = 4
                     {19, 0, 19},  // 4 positions (two past the range) from lengths[13] = 0: 254
                 });
  for (int i = 0; i < 4; ++i) EXPECT_EQ(lengths[static_cast<std::size_t>(i)], 15) << i;
  for (int i = 4; i < 9; ++i) EXPECT_EQ(lengths[static_cast<std::size_t>(i)], 255) << i;
  for (int i = 9; i < 13; ++i) EXPECT_EQ(lengths[static_cast<std::size_t>(i)], 4) << i;
  for (int i = 13; i < 17; ++i) EXPECT_EQ(lengths[static_cast<std::size_t>(i)], 254) << i;
  EXPECT_EQ(lengths[17], 0);
}

TEST(LzxReadLengths, BadPretreeFails) {
  test::LzxBitWriter writer;
  for (int i = 0; i < 20; ++i) writer.WriteBits(1, 4);  // twenty codes of 1 bit
  const std::vector<std::uint8_t> stream = writer.Finish();
  BitReader bits(stream);
  auto pretree = std::make_unique<Pretree>();
  auto table = std::make_unique<WideTree>();
  try {
    ReadLengths(bits, *pretree, table->lengths, 0, 256);
    FAIL() << "over-subscribed pretree accepted";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.status, LzxStatus::BadData);
  }
}

}  // namespace
}  // namespace tessaly::lzx
