#include "lzx/main_table.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "lzx/bit_reader.h"
#include "lzx/huffman_table.h"
#include "support/bit_writer.h"

namespace tessaly::lzx {
namespace {

std::array<std::uint8_t, kMainSymbols> Padded(const std::vector<std::uint8_t>& lengths) {
  std::array<std::uint8_t, kMainSymbols> padded{};
  std::copy(lengths.begin(), lengths.end(), padded.begin());
  return padded;
}

// What the table must say about a main symbol in a block of the given type.
struct Expected {
  bool literal;
  std::uint32_t slot, matchLength;
  int offsetBits;
  bool alignedFollows, lengthFollows;
};
Expected ExpectedFor(int symbol, bool aligned) {
  if (symbol < kLiteralCount) return {true, 0, 0, 0, false, false};
  const int header = (symbol - kLiteralCount) % 8;
  const int slot = (symbol - kLiteralCount) / 8;
  const int extra = kExtraBits[static_cast<std::size_t>(slot)];
  const bool alignedFollows = aligned && extra >= 3;
  return {false, static_cast<std::uint32_t>(slot), static_cast<std::uint32_t>(header + 2),
          alignedFollows ? extra - 3 : extra, alignedFollows, header == 7};
}

// Random complete main and length codes up to 16 bits (long ones through subtables), in both block types:
// every main symbol resolves with its code length, a short match's offset bits come out of the same
// consume, and a long match either takes in its length code (full length, both codes consumed, offset
// bits cut from the end of the consume) or says that the length symbol still follows.
TEST(LzxMainTable, EntriesResolveSymbolLengthAndOffsetBits) {
  std::mt19937 rng(4242);
  auto table = std::make_unique<MainTable>();
  auto lengthTable = std::make_unique<LengthTable>();
  for (int trial = 0; trial < 120; ++trial) {
    const bool aligned = trial % 2 == 1;
    std::vector<std::uint32_t> frequency(kMainSymbols, 0);
    const int used = 2 + static_cast<int>(rng() % 500);
    for (int i = 0; i < used; ++i) {
      frequency[rng() % kMainSymbols] = 1 + (rng() % 3 == 0 ? (1u << (rng() % 24)) : rng() % 50);
    }
    const std::vector<std::uint8_t> lengths = test::HuffmanLengths(frequency, 16);
    std::vector<std::uint32_t> lengthFrequency(kLengthSymbols, 0);
    // Every fifth trial has an empty length code: it decodes symbol 0 from no bits.
    const int lengthUsed = trial % 5 == 4 ? 0 : 2 + static_cast<int>(rng() % (trial % 3 == 0 ? 200 : 8));
    for (int i = 0; i < lengthUsed; ++i) lengthFrequency[rng() % kLengthSymbols] = 1 + (1u << (rng() % 20));
    const std::vector<std::uint8_t> lengthLengths = test::HuffmanLengths(lengthFrequency, 16);
    std::array<std::uint8_t, kLengthSymbols> lengthPadded{};
    std::copy(lengthLengths.begin(), lengthLengths.end(), lengthPadded.begin());
    ASSERT_TRUE(BuildLengthTable(lengthPadded, *lengthTable)) << trial;
    ASSERT_TRUE(BuildMainTable(Padded(lengths), aligned, *lengthTable, *table)) << trial;
    std::vector<int> present, lengthPresent;
    for (int s = 0; s < kMainSymbols; ++s) {
      if (lengths[static_cast<std::size_t>(s)] != 0) present.push_back(s);
    }
    for (int s = 0; s < kLengthSymbols; ++s) {
      if (lengthLengths[static_cast<std::size_t>(s)] != 0) lengthPresent.push_back(s);
    }

    const std::vector<std::uint32_t> codes = test::CanonicalCodes(lengths);
    const std::vector<std::uint32_t> lengthCodes = test::CanonicalCodes(lengthLengths);
    struct Sent {
      int symbol, lengthSymbol;
      std::uint32_t value;  // offset bits
    };
    std::vector<Sent> sent;
    test::LzxBitWriter writer;
    for (int i = 0; i < 200; ++i) {
      const int symbol = present[rng() % present.size()];
      const Expected e = ExpectedFor(symbol, aligned);
      const int lengthSymbol =
          e.lengthFollows && !lengthPresent.empty() ? lengthPresent[rng() % lengthPresent.size()] : 0;
      const std::uint32_t value = e.literal ? 0 : rng() & ((1u << e.offsetBits) - 1);
      writer.WriteBits(codes[static_cast<std::size_t>(symbol)], lengths[static_cast<std::size_t>(symbol)]);
      if (e.lengthFollows) {
        writer.WriteBits(lengthCodes[static_cast<std::size_t>(lengthSymbol)],
                         lengthLengths[static_cast<std::size_t>(lengthSymbol)]);
      }
      if (!e.literal) writer.WriteBits(value, e.offsetBits);
      sent.push_back({symbol, lengthSymbol, value});
    }
    const std::vector<std::uint8_t> stream = writer.Finish();
    BitReader bits(stream);
    for (const auto& [symbol, lengthSymbol, value] : sent) {
      bits.Refill();
      const std::uint32_t entry = table->Lookup(bits.buffer);
      const Expected e = ExpectedFor(symbol, aligned);
      const int length = lengths[static_cast<std::size_t>(symbol)];
      ASSERT_EQ(IsLiteralEntry(entry), e.literal) << trial << " symbol " << symbol;
      if (e.literal) {
        ASSERT_EQ(EntryLiteral(entry), symbol);
        ASSERT_EQ(EntryConsume(entry), length);
        bits.Remove(length);
        continue;
      }
      ASSERT_EQ(EntrySlot(entry), e.slot) << symbol;
      ASSERT_EQ(EntryOffsetBits(entry), e.offsetBits) << symbol;
      ASSERT_EQ((entry & kMainAlignedFollows) != 0, e.alignedFollows) << symbol;
      const int lengthCodeBits = e.lengthFollows ? lengthLengths[static_cast<std::size_t>(lengthSymbol)] : 0;
      if (entry & kMainLengthFollows) {
        ASSERT_TRUE(e.lengthFollows) << symbol;
        ASSERT_EQ(EntryMatchLength(entry), e.matchLength) << symbol;
        ASSERT_EQ(EntryConsume(entry), length) << symbol;
        bits.Remove(length);
        const std::uint32_t lengthEntry = lengthTable->Lookup(bits.buffer);
        ASSERT_EQ(static_cast<int>(EntrySymbol(lengthEntry)), lengthSymbol) << symbol;
        ASSERT_EQ(EntryConsume(lengthEntry), lengthCodeBits) << symbol;
        bits.Remove(lengthCodeBits);
        bits.Refill();
        ASSERT_EQ(bits.PeekUpTo32(e.offsetBits), value) << symbol;
        bits.Remove(e.offsetBits);
      } else {
        ASSERT_EQ(EntryMatchLength(entry), e.matchLength + static_cast<std::uint32_t>(lengthSymbol)) << symbol;
        ASSERT_EQ(EntryConsume(entry), length + lengthCodeBits + e.offsetBits) << symbol;
        const auto got = static_cast<std::uint32_t>(bits.buffer >> (64 - EntryConsume(entry))) &
                         ((1u << e.offsetBits) - 1);
        ASSERT_EQ(got, value) << symbol;
        bits.Remove(EntryConsume(entry));
      }
    }
  }
}

// Complete codes and the empty code are taken; over-subscribed and
// incomplete ones are refused.
TEST(LzxMainTable, AcceptsCompleteAndEmptyCodesOnly) {
  std::vector<std::uint8_t> full9(512, 9);      // complete, all within the direct part
  std::vector<std::uint8_t> oversubscribed(513, 9);
  std::vector<std::uint8_t> incomplete(511, 9);
  std::vector<std::uint8_t> long16 = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 16};
  std::vector<std::uint8_t> above16 = {1, 2, 2, 200, 17};  // lengths above 16 take no part
  const std::vector<std::pair<std::vector<std::uint8_t>, bool>> cases = {
      {{}, true},           {full9, true}, {oversubscribed, false}, {incomplete, false},      {long16, true},
      {above16, true},      {{1}, false},  {{1, 1, 1}, false},      {{0, 0, 2, 2, 1}, true},
  };
  auto table = std::make_unique<MainTable>();
  auto lengthTable = std::make_unique<LengthTable>();
  ASSERT_TRUE(BuildLengthTable(std::array<std::uint8_t, kLengthSymbols>{}, *lengthTable));
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(BuildMainTable(Padded(cases[i].first), false, *lengthTable, *table), cases[i].second) << "case " << i;
  }
  // All zero: literal 0, consuming nothing, wherever the bits point.
  ASSERT_TRUE(BuildMainTable(Padded({}), true, *lengthTable, *table));
  for (const std::uint64_t buffer : {0ull, ~0ull, 0x8000000000000000ull}) {
    EXPECT_EQ(table->Lookup(buffer), 0u);
  }
}

}  // namespace
}  // namespace tessaly::lzx
