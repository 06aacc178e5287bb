// The low-level readers of the full-text index: base-128 integers, word entries, bits and scale-2 codes.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "search/fti_builder.h"
#include "search/full_text_index.h"

namespace tessaly {
namespace {

using test::MsbBitWriter;

std::uint32_t VarInt(const std::vector<std::uint8_t>& bytes, std::size_t& cursor, bool& ok) {
  std::uint32_t value = 0xDEADBEEF;
  ok = ReadVarInt(bytes, cursor, value);
  return value;
}

TEST(FullTextCodes, VarIntTakesTheLowGroupFirst) {
  bool ok = false;
  std::size_t cursor = 0;
  EXPECT_EQ(VarInt({0x05}, cursor, ok), 5u);
  EXPECT_TRUE(ok);
  EXPECT_EQ(cursor, 1u);

  cursor = 0;
  EXPECT_EQ(VarInt({0x7F, 0x55}, cursor, ok), 127u);
  EXPECT_EQ(cursor, 1u);

  // 0x81 0x01: 1 in the low seven bits, then 1 << 7.
  cursor = 0;
  EXPECT_EQ(VarInt({0x81, 0x01}, cursor, ok), 129u);
  EXPECT_EQ(cursor, 2u);

  cursor = 1;
  EXPECT_EQ(VarInt({0xAA, 0xB4, 0x85, 0x02, 0xFF}, cursor, ok), 0x34u | (0x05u << 7) | (0x02u << 14));
  EXPECT_EQ(cursor, 4u);
}

TEST(FullTextCodes, VarIntDropsGroupsAtBit32AndAbove) {
  bool ok = false;
  std::size_t cursor = 0;
  // Five full groups: the fifth lies at bit 28 and keeps its low four bits only.
  EXPECT_EQ(VarInt({0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, cursor, ok), 0xFFFFFFFFu);
  EXPECT_EQ(cursor, 5u);
  cursor = 0;
  EXPECT_EQ(VarInt({0x80, 0x80, 0x80, 0x80, 0x80, 0x81, 0x7F}, cursor, ok), 0u);
  EXPECT_TRUE(ok);
  EXPECT_EQ(cursor, 7u);
  cursor = 0;
  EXPECT_EQ(VarInt({0x83, 0x80, 0x80, 0x80, 0x90, 0x01}, cursor, ok), 3u);
  EXPECT_EQ(cursor, 6u);
}

TEST(FullTextCodes, VarIntThatRunsOutFailsWithoutMoving) {
  for (const std::vector<std::uint8_t>& bytes :
       {std::vector<std::uint8_t>{}, {0x80}, {0xFF, 0xFF}, {0x81, 0x82, 0x83, 0x84, 0x85, 0x86}}) {
    std::size_t cursor = 0;
    bool ok = true;
    VarInt(bytes, cursor, ok);
    EXPECT_FALSE(ok) << bytes.size();
    EXPECT_EQ(cursor, 0u);
  }
  std::size_t cursor = 3;
  bool ok = true;
  VarInt({0x01, 0x02}, cursor, ok);  // a cursor past the end
  EXPECT_FALSE(ok);
}

TEST(FullTextCodes, ReadBitCountsFromOneAtTheTopBit) {
  const std::vector<std::uint8_t> bytes{0xA5, 0x01};
  const int expected[] = {1, 0, 1, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1};
  for (std::uint64_t k = 1; k <= 16; ++k) EXPECT_EQ(ReadBit(bytes, k), expected[k - 1]) << k;
  EXPECT_EQ(ReadBit(bytes, 0), -1);
  EXPECT_EQ(ReadBit(bytes, 17), -1);
  EXPECT_EQ(ReadBit({}, 1), -1);
}

// Reads one code from the bits and checks where it ended.
void ExpectCode(const MsbBitWriter& bits, int root, std::uint32_t value, std::uint64_t end) {
  std::uint64_t position = 1;
  std::uint32_t read = 0;
  ASSERT_TRUE(ReadScaleRootCode(bits.Bytes(), position, root, read));
  EXPECT_EQ(read, value);
  EXPECT_EQ(position, end);
}

TEST(FullTextCodes, ScaleRootCodeForms) {
  // A 0 and r bits: those bits.
  MsbBitWriter plain;
  plain.Bits(0b0101, 4);
  ExpectCode(plain, 3, 5, 5);
  // 1, 0 and r bits: 2^r plus them.
  MsbBitWriter one;
  one.Bits(0b10101, 5);
  ExpectCode(one, 3, 8 + 5, 6);
  // 1, 1, 0 and r + 1 bits: 2^(r + 1) plus them.
  MsbBitWriter two;
  two.Bits(0b1101010, 7);
  ExpectCode(two, 3, 16 + 10, 8);
  // Root 0: a lone 0 is 0, "10" is 1, "110" and one bit is 2 or 3.
  MsbBitWriter zero;
  zero.Bits(0b0, 1);
  ExpectCode(zero, 0, 0, 2);
  MsbBitWriter unit;
  unit.Bits(0b10, 2);
  ExpectCode(unit, 0, 1, 3);
  MsbBitWriter three;
  three.Bits(0b1101, 4);
  ExpectCode(three, 0, 3, 5);
}

TEST(FullTextCodes, ScaleRootCodeStartsAnywhereAndChains) {
  MsbBitWriter bits;
  bits.Bits(0b111, 3);  // skipped
  for (std::uint32_t value : {0u, 1u, 2u, 7u, 8u, 100u, 65535u, 1u << 20}) bits.Code(value, 2);
  std::uint64_t position = 4;
  for (std::uint32_t value : {0u, 1u, 2u, 7u, 8u, 100u, 65535u, 1u << 20}) {
    std::uint32_t read = 0;
    ASSERT_TRUE(ReadScaleRootCode(bits.Bytes(), position, 2, read));
    EXPECT_EQ(read, value);
  }
  EXPECT_EQ(position, bits.BitCount() + 1);
}

TEST(FullTextCodes, ScaleRootCodeRoundTripsOverRoots) {
  for (int root = 0; root <= 8; ++root) {
    for (std::uint32_t value : {0u, 1u, 3u, 4u, 5u, 31u, 32u, 33u, 255u, 256u, 1000u, 123456u, 0x7FFFFFFFu,
                                0x80000000u, 0xFFFFFFFFu}) {
      MsbBitWriter bits;
      bits.Code(value, static_cast<unsigned>(root));
      std::uint64_t position = 1;
      std::uint32_t read = 0;
      ASSERT_TRUE(ReadScaleRootCode(bits.Bytes(), position, root, read)) << root << " " << value;
      EXPECT_EQ(read, value);
      EXPECT_EQ(position, bits.BitCount() + 1);
    }
  }
}

TEST(FullTextCodes, ScaleRootCodeStopsAtTheEndOfItsBytes) {
  // Only ones: the 0 never comes.
  std::uint64_t position = 1;
  std::uint32_t value = 0;
  EXPECT_FALSE(ReadScaleRootCode(std::vector<std::uint8_t>{0xFF, 0xFF}, position, 2, value));
  // A 0 and then fewer than r bits.
  MsbBitWriter shortBits;
  shortBits.Bits(0b0101, 4);
  position = 5;  // three bits left of eight: too few for root 4 after the 0
  EXPECT_FALSE(ReadScaleRootCode(shortBits.Bytes(), position, 4, value));
  position = 1;
  EXPECT_FALSE(ReadScaleRootCode({}, position, 0, value));
  position = 9;
  EXPECT_FALSE(ReadScaleRootCode(std::vector<std::uint8_t>{0x00}, position, 0, value));
  position = 1;
  EXPECT_FALSE(ReadScaleRootCode(std::vector<std::uint8_t>{0x00}, position, -1, value));
}

TEST(FullTextCodes, ScaleRootCodeRefusesValuesAbove32Bits) {
  // 32 ones, a 0 and enough bits: 2^(1 + 32 - 1) does not fit.
  MsbBitWriter big;
  big.Bits(0xFFFFFFFF, 32);
  big.Bit(0);
  big.Bits(0, 40);
  std::uint64_t position = 1;
  std::uint32_t value = 0;
  EXPECT_FALSE(ReadScaleRootCode(big.Bytes(), position, 1, value));
  // Root 32 with no leading ones is 32 plain bits, the largest value there is.
  MsbBitWriter wide;
  wide.Bit(0);
  wide.Bits(0xFFFFFFFF, 32);
  position = 1;
  ASSERT_TRUE(ReadScaleRootCode(wide.Bytes(), position, 32, value));
  EXPECT_EQ(value, 0xFFFFFFFFu);
  // Root 33 cannot be read at all.
  wide.Bits(0, 8);
  position = 1;
  EXPECT_FALSE(ReadScaleRootCode(wide.Bytes(), position, 33, value));
  // A long run of ones ends the read as soon as it passes 32.
  std::vector<std::uint8_t> ones(64, 0xFF);
  position = 1;
  EXPECT_FALSE(ReadScaleRootCode(ones, position, 0, value));
}

std::vector<std::uint8_t> EntryBytes() {
  return {4, 2, 'a', 'b', 'c', 1, 0x81, 0x01, 0x12, 0x34, 0x56, 0x78, 0xEE, 0xEE, 0x85, 0x01};
}

TEST(FullTextCodes, WordEntryFieldsInOrder) {
  std::vector<std::uint8_t> node{0xAA, 0xBB};
  const std::vector<std::uint8_t> entry = EntryBytes();
  node.insert(node.end(), entry.begin(), entry.end());
  node.push_back(0x99);
  std::size_t cursor = 2;
  WordEntry read;
  ASSERT_TRUE(ReadWordEntry(node, cursor, read));
  EXPECT_EQ(read.wordLength, 4);
  EXPECT_EQ(read.prefixLength, 2);
  ASSERT_EQ(read.characters.size(), 3u);
  EXPECT_EQ(read.characters.data(), node.data() + 4);  // in place
  EXPECT_EQ(read.flag, 1);
  EXPECT_EQ(read.documentCount, 129u);
  EXPECT_EQ(read.listOffset, 0x78563412u);
  EXPECT_EQ(read.listSize, 5u + (1u << 7));
  EXPECT_EQ(cursor, 2 + entry.size());
}

TEST(FullTextCodes, WordEntryWithNoNewCharacters) {
  const std::vector<std::uint8_t> node{1, 5, 0, 3, 0x10, 0, 0, 0, 0, 0, 7};
  std::size_t cursor = 0;
  WordEntry read;
  ASSERT_TRUE(ReadWordEntry(node, cursor, read));
  EXPECT_TRUE(read.characters.empty());
  EXPECT_EQ(read.prefixLength, 5);
  EXPECT_EQ(read.documentCount, 3u);
  EXPECT_EQ(read.listOffset, 0x10u);
  EXPECT_EQ(read.listSize, 7u);
  EXPECT_EQ(cursor, node.size());
}

TEST(FullTextCodes, WordEntryCutShortAnywhereFails) {
  const std::vector<std::uint8_t> entry = EntryBytes();
  for (std::size_t length = 0; length < entry.size(); ++length) {
    const std::vector<std::uint8_t> node(entry.begin(), entry.begin() + static_cast<std::ptrdiff_t>(length));
    std::size_t cursor = 0;
    WordEntry read;
    read.listOffset = 42;
    EXPECT_FALSE(ReadWordEntry(node, cursor, read)) << length;
    EXPECT_EQ(cursor, 0u);
    EXPECT_EQ(read.listOffset, 42u);  // untouched
  }
  // A word length of 0 has no room for its own "+ 1".
  std::vector<std::uint8_t> zero = entry;
  zero[0] = 0;
  std::size_t cursor = 0;
  WordEntry read;
  EXPECT_FALSE(ReadWordEntry(zero, cursor, read));
  // A word length that reaches past the node.
  std::vector<std::uint8_t> longer = entry;
  longer[0] = 200;
  EXPECT_FALSE(ReadWordEntry(longer, cursor, read));
}

}  // namespace
}  // namespace tessaly
