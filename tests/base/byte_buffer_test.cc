#include "base/byte_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessaly {
namespace {

std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t seed) {
  std::vector<std::uint8_t> bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
  return bytes;
}

bool AllZero(const std::uint8_t* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (p[i] != 0) return false;
  }
  return true;
}

TEST(ByteBufferTest, StartsZeroedAndEmpty) {
  ByteBuffer buffer(200, 50);
  EXPECT_EQ(buffer.Length(), 0u);
  EXPECT_EQ(buffer.Capacity(), 200u);
  EXPECT_EQ(buffer.GrowBy(), 50u);
  EXPECT_TRUE(AllZero(buffer.Data(), 200));
}

TEST(ByteBufferTest, PageBufferGrowsByWholeSteps) {
  ByteBuffer buffer(500, 100);
  const auto first = Pattern(450, 1);
  const auto second = Pattern(120, 99);
  buffer.Append(first.data(), first.size());
  EXPECT_EQ(buffer.Capacity(), 500u);
  buffer.Append(second.data(), second.size());
  EXPECT_EQ(buffer.Capacity(), 600u);
  EXPECT_EQ(buffer.Length(), 570u);
  EXPECT_EQ(std::memcmp(buffer.Data(), first.data(), 450), 0);
  EXPECT_EQ(std::memcmp(buffer.Data() + 450, second.data(), 120), 0);
}

TEST(ByteBufferTest, ExtendTakesSeveralStepsInOneGo) {
  ByteBuffer buffer(10, 4);
  buffer.Extend(25);  // 10 -> 14 -> 18 -> 22 -> 26
  EXPECT_EQ(buffer.Capacity(), 26u);
  EXPECT_EQ(buffer.Length(), 25u);
  buffer.Extend(1);  // exactly fills
  EXPECT_EQ(buffer.Capacity(), 26u);
  buffer.Extend(0);
  EXPECT_EQ(buffer.Capacity(), 26u);
  buffer.Extend(1);
  EXPECT_EQ(buffer.Capacity(), 30u);
  EXPECT_EQ(buffer.Length(), 27u);
}

TEST(ByteBufferTest, ExtendZeroesReusedBytesAfterCutBack) {
  ByteBuffer buffer(16, 8);
  const auto bytes = Pattern(12, 0x80);
  buffer.Append(bytes.data(), bytes.size());
  buffer.SetLength(2);
  buffer.Extend(6);
  EXPECT_EQ(buffer.Length(), 8u);
  EXPECT_EQ(buffer.Data()[0], bytes[0]);
  EXPECT_EQ(buffer.Data()[1], bytes[1]);
  EXPECT_TRUE(AllZero(buffer.Data() + 2, 6));
  EXPECT_EQ(buffer.Data()[8], bytes[8]);  // beyond the used part: untouched, not promised zero
}

TEST(ByteBufferTest, SetLengthOnlyBelowCapacity) {
  ByteBuffer buffer(8, 8);
  buffer.Append("abcdef", 6);
  buffer.SetLength(8);  // at capacity
  EXPECT_EQ(buffer.Length(), 6u);
  buffer.SetLength(9);
  EXPECT_EQ(buffer.Length(), 6u);
  buffer.SetLength(-1);
  EXPECT_EQ(buffer.Length(), 6u);
  buffer.SetLength(7);  // forward over bytes already there, no zeroing
  EXPECT_EQ(buffer.Length(), 7u);
  buffer.SetLength(0);
  EXPECT_EQ(buffer.Length(), 0u);
  EXPECT_EQ(std::memcmp(buffer.Data(), "abcdef", 6), 0);
  EXPECT_EQ(buffer.Capacity(), 8u);
}

TEST(ByteBufferTest, ResetZeroesTheWholeCapacity) {
  ByteBuffer buffer(4, 4);
  const auto bytes = Pattern(11, 3);
  buffer.Append(bytes.data(), bytes.size());
  buffer.SetLength(2);
  buffer.Reset();
  EXPECT_EQ(buffer.Length(), 0u);
  EXPECT_EQ(buffer.Capacity(), 12u);
  EXPECT_TRUE(AllZero(buffer.Data(), 12));
}

TEST(ByteBufferTest, AppendStringAddsTheNul) {
  ByteBuffer buffer(200, 50);
  buffer.Append("zz", 2);
  buffer.AppendString("abc");
  EXPECT_EQ(buffer.Length(), 6u);
  buffer.SetLength(5);
  EXPECT_EQ(buffer.View(), std::string_view("zzabc"));
  EXPECT_EQ(buffer.Data()[5], 0);  // the NUL is still in place
  buffer.AppendString("");
  EXPECT_EQ(buffer.Length(), 6u);
  EXPECT_EQ(buffer.Data()[5], 0);
  // A text ends at its first NUL.
  buffer.AppendString(std::string_view("de\0fg", 5));
  EXPECT_EQ(buffer.Length(), 9u);
  EXPECT_EQ(buffer.StringAt(6), "de");
}

TEST(ByteBufferTest, AppendStringThatNeedsGrowthKeepsItsNul) {
  ByteBuffer buffer(3, 2);
  buffer.AppendString("abc");  // 4 bytes: one step
  EXPECT_EQ(buffer.Capacity(), 5u);
  EXPECT_EQ(buffer.Length(), 4u);
  EXPECT_EQ(buffer.StringAt(0), "abc");
  EXPECT_EQ(buffer.Data()[3], 0);
}

TEST(ByteBufferTest, StringListCutBackAndReplaceTail) {
  ByteBuffer history(200, 50);
  const std::vector<std::string> pages = {"index.htm", "a/b.htm", "c.htm"};
  std::vector<std::size_t> offsets;
  for (const auto& page : pages) {
    offsets.push_back(history.Length());
    history.AppendString(page);
  }
  for (std::size_t i = 0; i < pages.size(); ++i) EXPECT_EQ(history.StringAt(offsets[i]), pages[i]);
  history.SetLength(static_cast<std::int64_t>(offsets[1]));
  history.AppendString("x.htm");
  EXPECT_EQ(history.StringAt(offsets[0]), "index.htm");
  EXPECT_EQ(history.StringAt(offsets[1]), "x.htm");
  EXPECT_EQ(history.Length(), offsets[1] + 6);
  EXPECT_EQ(history.StringAt(history.Length()), "");
  EXPECT_EQ(history.StringAt(1000), "");
}

TEST(ByteBufferTest, StringAtStopsAtLengthWithoutNul) {
  ByteBuffer buffer(10, 10);
  buffer.Append("abcdef", 6);
  buffer.SetLength(4);
  EXPECT_EQ(buffer.StringAt(1), "bcd");
}

TEST(ByteBufferTest, ManyStringsAcrossGrowth) {
  ByteBuffer list(200, 50);
  std::vector<std::size_t> offsets;
  for (int i = 0; i < 500; ++i) {
    offsets.push_back(list.Length());
    list.AppendString("page" + std::to_string(i) + ".htm");
  }
  EXPECT_EQ((list.Capacity() - 200) % 50, 0u);
  EXPECT_LT(list.Capacity() - list.Length(), 50u);  // never more than one step too many
  for (int i = 0; i < 500; ++i) ASSERT_EQ(list.StringAt(offsets[i]), "page" + std::to_string(i) + ".htm");
}

TEST(ByteBufferTest, AppendingItsOwnBytesSurvivesGrowthAndZeroing) {
  ByteBuffer list(8, 4);
  list.AppendString("abcdef");  // 7 bytes
  list.AppendString(list.StringAt(0));  // grows while the source is inside
  EXPECT_EQ(list.Length(), 14u);
  EXPECT_EQ(list.StringAt(7), "abcdef");

  // A string of the part just cut off, appended again: Extend must not wipe
  // it before it is copied.
  ByteBuffer cut(64, 8);
  cut.AppendString("first");
  cut.AppendString("second");
  const std::string_view second = cut.StringAt(6);
  cut.SetLength(6);
  cut.AppendString(second);
  EXPECT_EQ(cut.StringAt(6), "second");

  ByteBuffer raw(4, 4);
  raw.Append("wxyz", 4);
  raw.Append(raw.Data() + 1, 3);
  EXPECT_EQ(raw.View(), "wxyzxyz");
}

TEST(ByteBufferTest, NoStepMeansNoGrowth) {
  ByteBuffer buffer(4, 0);
  buffer.Append("abcd", 4);
  EXPECT_THROW(buffer.Append("e", 1), std::length_error);
  EXPECT_THROW(buffer.AppendString(""), std::length_error);
  EXPECT_EQ(buffer.Length(), 4u);
  EXPECT_EQ(buffer.Capacity(), 4u);
  EXPECT_EQ(buffer.View(), "abcd");
}

TEST(ByteBufferTest, ZeroCapacityAndMoves) {
  ByteBuffer a(0, 3);
  EXPECT_EQ(a.Capacity(), 0u);
  a.SetLength(0);  // 0 is not below capacity 0
  a.AppendString("hi");
  EXPECT_EQ(a.Capacity(), 3u);
  ByteBuffer b(std::move(a));
  EXPECT_EQ(b.StringAt(0), "hi");
  EXPECT_EQ(a.Capacity(), 0u);  // NOLINT(bugprone-use-after-move): moved-from state is defined
  EXPECT_EQ(a.Length(), 0u);
  a.Append("xyz", 3);
  EXPECT_EQ(a.View(), "xyz");
  b = std::move(a);
  EXPECT_EQ(b.View(), "xyz");
}

}  // namespace
}  // namespace tessaly
