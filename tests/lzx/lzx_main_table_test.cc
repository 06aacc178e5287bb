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

// Random complete codes up to 16 bits (long ones through subtables), in both block types: every symbol
// resolves with its code length, and a short match's offset bits come out of the same consume.
TEST(LzxMainTable, EntriesResolveSymbolLengthAndOffsetBits) {
  std::mt19937 rng(4242);
  auto table = std::make_unique<MainTable>();
  for (int trial = 0; trial < 120; ++trial) {
    const bool aligned = trial % 2 == 1;
    std::vector<std::uint32_t> frequency(kMainSymbols, 0);
    const int used = 2 + static_cast<int>(rng() % 500);
    for (int i = 0; i < used; ++i) {
      frequency[rng() % kMainSymbols] = 1 + (rng() % 3 == 0 ? (1u << (rng() % 24)) : rng() % 50);
    }
    const std::vector<std::uint8_t> lengths = test::HuffmanLengths(frequency, 16);
    ASSERT_TRUE(BuildMainTable(Padded(lengths), aligned, *table)) << trial;
    std::vector<int> present;
    for (int s = 0; s < kMainSymbols; ++s) {
      if (lengths[static_cast<std::size_t>(s)] != 0) present.push_back(s);
    }

    const std::vector<std::uint32_t> codes = test::CanonicalCodes(lengths);
    std::vector<std::pair<int, std::uint32_t>> sent;  // symbol, offset bits value
    test::LzxBitWriter writer;
    for (int i = 0; i < 200; ++i) {
      const int symbol = present[rng() % present.size()];
      const Expected e = ExpectedFor(symbol, aligned);
      const std::uint32_t value = e.literal || e.lengthFollows ? 0 : rng() & ((1u << e.offsetBits) - 1);
      writer.WriteBits(codes[static_cast<std::size_t>(symbol)], lengths[static_cast<std::size_t>(symbol)]);
      if (!e.literal && !e.lengthFollows) writer.WriteBits(value, e.offsetBits);
      sent.emplace_back(symbol, value);
    }
    const std::vector<std::uint8_t> stream = writer.Finish();
    BitReader bits(stream);
    for (const auto& [symbol, value] : sent) {
      bits.Refill();
      const std::uint32_t entry = table->Lookup(bits.buffer);
      const Expected e = ExpectedFor(symbol, aligned);
      const int length = lengths[static_cast<std::size_t>(symbol)];
      ASSERT_EQ(IsLiteralEntry(entry), e.literal) << trial << " symbol " << symbol;
      if (e.literal) {
        ASSERT_EQ(EntryLiteral(entry), symbol);
        ASSERT_EQ(EntryConsume(entry), length);
      } else {
        ASSERT_EQ(EntrySlot(entry), e.slot) << symbol;
        ASSERT_EQ(EntryMatchLength(entry), e.matchLength) << symbol;
        ASSERT_EQ(EntryOffsetBits(entry), e.offsetBits) << symbol;
        ASSERT_EQ((entry & kMainAlignedFollows) != 0, e.alignedFollows) << symbol;
        ASSERT_EQ((entry & kMainLengthFollows) != 0, e.lengthFollows) << symbol;
        ASSERT_EQ(EntryConsume(entry), length + (e.lengthFollows ? 0 : e.offsetBits)) << symbol;
        if (!e.lengthFollows) {
          const auto got = static_cast<std::uint32_t>(bits.buffer >> (64 - EntryConsume(entry))) &
                           ((1u << e.offsetBits) - 1);
          ASSERT_EQ(got, value) << symbol;
        }
      }
      bits.Remove(EntryConsume(entry));
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
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(BuildMainTable(Padded(cases[i].first), false, *table), cases[i].second) << "case " << i;
  }
  // All zero: literal 0, consuming nothing, wherever the bits point.
  ASSERT_TRUE(BuildMainTable(Padded({}), true, *table));
  for (const std::uint64_t buffer : {0ull, ~0ull, 0x8000000000000000ull}) {
    EXPECT_EQ(table->Lookup(buffer), 0u);
  }
}

}  // namespace
}  // namespace tessaly::lzx
