#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "lzx/bit_reader.h"
#include "support/bit_writer.h"

namespace tessaly::lzx {
namespace {

// The reader as the format describes it: a 32-bit buffer filled one word at a time, only when a caller
// asks for more bits than it holds; zero bytes past the end of the input.
class LazyReader {
 public:
  LazyReader(std::span<const std::uint8_t> input, std::size_t start) : input_(input), cursor_(start) {}

  void Ensure(int n) {
    while (count_ < n) {
      buffer_ |= Word(cursor_) << (16 - count_);
      count_ += 16;
      cursor_ += 2;
    }
  }
  std::uint32_t Peek(int n) const { return n == 0 ? 0 : buffer_ >> (32 - n); }
  void Remove(int n) {
    buffer_ = n >= 32 ? 0 : buffer_ << n;
    count_ -= n;
  }
  std::uint32_t ReadBits(int n) {
    Ensure(n);
    const std::uint32_t v = Peek(n);
    Remove(n);
    return v;
  }
  void Realign() { Remove(count_ >= 16 ? count_ - 16 : count_); }
  // Where an uncompressed block's data starts.
  std::size_t UncompressedCursor() {
    Ensure(16);
    return count_ > 16 ? cursor_ - 2 : cursor_;
  }
  // The input check made before every run.
  bool CheckFails() const {
    const std::size_t end = input_.size();
    return cursor_ > end && (cursor_ > end + 2 || count_ < 16);
  }
  int count() const { return count_; }

 private:
  std::uint32_t Word(std::size_t at) const {
    const std::uint32_t low = at < input_.size() ? input_[at] : 0;
    const std::uint32_t high = at + 1 < input_.size() ? input_[at + 1] : 0;
    return low | high << 8;
  }
  std::span<const std::uint8_t> input_;
  std::size_t cursor_;
  std::uint32_t buffer_ = 0;
  int count_ = 0;
};

// Random operation sequences on random inputs: every value read, every realignment, every uncompressed
// cursor and every input check must agree with the word-at-a-time reader.
TEST(LzxBitReader, MatchesWordAtATimeReaderOnRandomStreams) {
  std::mt19937 rng(12345);
  for (int trial = 0; trial < 3000; ++trial) {
    const std::size_t size = rng() % 48;
    std::vector<std::uint8_t> input(size);
    for (auto& b : input) b = static_cast<std::uint8_t>(rng());
    const std::size_t start = size == 0 ? 0 : rng() % (size + 3);  // odd starts and starts past the end too
    LazyReader lazy(input, start);
    BitReader greedy(input);
    greedy.Restart(start);
    for (int step = 0; step < 40; ++step) {
      const int op = static_cast<int>(rng() % 10);
      if (op < 5) {
        const int n = static_cast<int>(rng() % 18);
        ASSERT_EQ(lazy.ReadBits(n), greedy.ReadBits(n)) << "trial " << trial << " step " << step;
      } else if (op < 7) {
        // Peek up to 16 bits, then remove no more than were peeked (as Huffman decoding does).
        const int n = 1 + static_cast<int>(rng() % 16);
        const int k = static_cast<int>(rng() % (n + 1));
        lazy.Ensure(n);
        greedy.Refill();
        ASSERT_EQ(lazy.Peek(n), greedy.Peek(n)) << "trial " << trial << " step " << step;
        lazy.Remove(k);
        greedy.Remove(k);
      } else if (op == 7) {
        lazy.Realign();
        greedy.AlignToWord();
      } else if (op == 8) {
        LazyReader copy = lazy;
        ASSERT_EQ(copy.UncompressedCursor(), greedy.UncompressedCursor()) << "trial " << trial;
      } else {
        const std::size_t restart = rng() % (size + 4);
        lazy = LazyReader(input, restart);
        greedy.Restart(restart);
      }
      ASSERT_LE(lazy.count(), 31);
      ASSERT_EQ(lazy.CheckFails(), greedy.Overrun()) << "trial " << trial << " step " << step;
    }
  }
}

TEST(LzxBitReader, ReadsWordsMostSignificantBitFirst) {
  // Words 0x8421 and 0xF00F, stored little-endian.
  const std::vector<std::uint8_t> input = {0x21, 0x84, 0x0F, 0xF0};
  BitReader bits(input);
  EXPECT_EQ(bits.ReadBits(1), 1u);
  EXPECT_EQ(bits.ReadBits(4), 0u);
  EXPECT_EQ(bits.ReadBits(3), 4u);  // 0x84 = 1 0000 100
  EXPECT_EQ(bits.ReadBits(8), 0x21u);
  EXPECT_EQ(bits.ReadBits(0), 0u);
  EXPECT_EQ(bits.ConsumedBits(), 16u);
  EXPECT_EQ(bits.ReadBits(16), 0xF00Fu);
  EXPECT_FALSE(bits.Overrun());
  EXPECT_EQ(bits.ReadBits(1), 0u);  // past the end: zero bits
  EXPECT_TRUE(bits.Overrun());
}

TEST(LzxBitReader, SeventeenBitsFromAnEmptyBufferSpanTwoWords) {
  test::LzxBitWriter writer;
  writer.WriteBits(0x1ABCD, 17);
  writer.WriteBits(0x5555, 15);
  const std::vector<std::uint8_t> input = writer.Finish();
  ASSERT_EQ(input.size(), 4u);
  BitReader bits(input);
  EXPECT_EQ(bits.ReadBits(17), 0x1ABCDu);
  EXPECT_EQ(bits.ConsumedBits(), 17u);
  EXPECT_EQ(bits.ReadBits(15), 0x5555u);
  EXPECT_FALSE(bits.Overrun());
}

TEST(LzxBitReader, RealignmentAndUncompressedCursorAtWordBoundaries) {
  const std::vector<std::uint8_t> input(16, 0xFF);
  BitReader bits(input);
  bits.AlignToWord();  // nothing consumed: stays
  EXPECT_EQ(bits.ConsumedBits(), 0u);
  EXPECT_EQ(bits.UncompressedCursor(), 2u);  // on a boundary: a whole padding word
  bits.ReadBits(3);
  EXPECT_EQ(bits.UncompressedCursor(), 2u);
  bits.AlignToWord();
  EXPECT_EQ(bits.ConsumedBits(), 16u);
  EXPECT_EQ(bits.UncompressedCursor(), 4u);
  bits.Restart(5);  // an odd restart point (after an uncompressed block without padding)
  EXPECT_EQ(bits.ReadBits(16), 0xFFFFu);
  EXPECT_EQ(bits.UncompressedCursor(), 9u);
}

TEST(LzxBitReader, OverrunCountsOnlyConsumedBits) {
  const std::vector<std::uint8_t> input(6, 0);
  BitReader bits(input);
  bits.ReadBits(17);
  bits.ReadBits(17);
  bits.ReadBits(14);  // exactly 48 bits = the whole input, although more words were fetched
  EXPECT_FALSE(bits.Overrun());
  bits.ReadBits(1);
  EXPECT_TRUE(bits.Overrun());
  // A half word at the end (odd length) is not enough for bits of that word.
  const std::vector<std::uint8_t> odd(3, 0);
  BitReader half(odd);
  half.ReadBits(16);
  EXPECT_FALSE(half.Overrun());
  half.ReadBits(1);
  EXPECT_TRUE(half.Overrun());
  // A start past the end overruns at once.
  BitReader past(odd);
  past.Restart(4);
  EXPECT_TRUE(past.Overrun());
}

}  // namespace
}  // namespace tessaly::lzx
