#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "lzx/lzx_decoder.h"
#include "support/bit_writer.h"

namespace tessaly {
namespace {

using test::LzxBlockType;
using test::LzxItem;
using test::LzxStreamBuilder;

LzxStatus DecodeInto(LzxDecoder& decoder, std::span<const std::uint8_t> stream, std::vector<std::uint8_t>& output) {
  const std::vector<std::uint8_t> input(stream.begin(), stream.end());  // exact size: reads past it are caught
  return decoder.Decompress(input, output);
}

TEST(LzxStream, CompressedTextRoundTripsForEveryWindowSize) {
  for (int windowBits = 15; windowBits <= 21; ++windowBits) {
    const std::size_t window = std::size_t{1} << windowBits;
    // Two windows and a bit for the small ones; part of one window for the large ones.
    const std::size_t size = windowBits <= 17 ? 2 * window + 3000 : 300000;
    const std::vector<std::uint8_t> plain = test::GenerateHtmlText(size, static_cast<std::uint32_t>(windowBits));
    for (const LzxBlockType type : {LzxBlockType::Verbatim, LzxBlockType::Aligned}) {
      test::LzxCompressOptions options;
      options.windowBits = windowBits;
      options.blockType = type;
      options.blockSize = windowBits == 16 ? 5000 : 32768;
      const test::LzxCompressed compressed = test::CompressLzx(plain, options);
      EXPECT_LT(compressed.stream.size(), plain.size() / 2);

      LzxDecoder decoder;
      ASSERT_EQ(decoder.Reset(windowBits), LzxStatus::Ok);
      std::vector<std::uint8_t> output(plain.size());
      ASSERT_EQ(DecodeInto(decoder, compressed.stream, output), LzxStatus::Ok) << windowBits;
      ASSERT_EQ(output, plain) << windowBits;

      // Every reset point can be entered with a fresh decoder, as the section reader does.
      for (std::size_t i = 0; i < compressed.resetOffsets.size(); ++i) {
        const std::size_t from = (i + 1) * window;
        const std::size_t length = std::min(window, plain.size() - from);
        ASSERT_EQ(decoder.Reset(windowBits), LzxStatus::Ok);
        std::vector<std::uint8_t> part(length);
        const auto input = std::span<const std::uint8_t>(compressed.stream).subspan(compressed.resetOffsets[i]);
        ASSERT_EQ(DecodeInto(decoder, input, part), LzxStatus::Ok) << windowBits << " reset point " << i;
        ASSERT_TRUE(std::equal(part.begin(), part.end(), plain.begin() + static_cast<std::ptrdiff_t>(from)));
      }
    }
  }
}

// A stream with every kind of block, window fills between them and E8 translation on.
struct MixedStream {
  std::vector<std::uint8_t> stream;
  std::vector<std::uint8_t> expected;
};

MixedStream MakeMixedStream(bool small) {
  std::mt19937 rng(2024);
  LzxStreamBuilder builder(15);
  builder.SetE8TranslationSize(20000);
  std::vector<std::uint8_t> plain;
  const std::vector<std::uint8_t> text = test::GenerateHtmlText(200000, 77);
  std::size_t used = 0;
  const auto parse = [&](std::size_t n) {
    // Literals and matches into what this window already holds.
    std::vector<LzxItem> items;
    const std::size_t windowStart = plain.size() - plain.size() % 32768;
    std::size_t produced = 0;
    while (produced < n) {
      const std::size_t here = plain.size() + produced - windowStart;
      const std::size_t left = n - produced;
      if (here > 300 && left >= 3 && rng() % 3 == 0) {
        const auto length = static_cast<std::uint32_t>(std::min<std::size_t>(left, 2 + rng() % 60));
        // The largest offset a 2^15 window can code is 32765.
        const auto offset = static_cast<std::uint32_t>(1 + rng() % std::min<std::size_t>(here - 1, 32765));
        items.push_back(LzxItem::Match(offset, length));
        produced += length;
      } else {
        items.push_back(LzxItem::Literal(text[used++ % text.size()]));
        ++produced;
      }
    }
    return items;
  };
  const auto coded = [&](LzxBlockType type, std::size_t n) {
    const std::vector<LzxItem> items = parse(n);
    builder.EncodeBlock(type, items);
    test::ApplyItems(items, plain);
  };
  const auto raw = [&](std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (auto& b : bytes) b = rng() % 4 == 0 ? 0xE8 : static_cast<std::uint8_t>(rng());
    const auto r = [&] { return static_cast<std::uint32_t>(1 + rng() % 100); };
    const std::uint32_t r0 = r(), r1 = r(), r2 = r();
    builder.UncompressedBlock(bytes, {r0, r1, r2});
    plain.insert(plain.end(), bytes.begin(), bytes.end());
  };
  if (small) {
    coded(LzxBlockType::Verbatim, 1500);
    raw(333);  // odd: padded
    coded(LzxBlockType::Aligned, 2000);
    raw(100);  // even
    coded(LzxBlockType::Verbatim, 800);
    raw(7);
  } else {
    coded(LzxBlockType::Verbatim, 5000);
    raw(333);
    coded(LzxBlockType::Aligned, 9000);
    raw(1000);
    coded(LzxBlockType::Verbatim, 32768 - 15333 - 1);
    raw(1);                               // odd, ends at the window end: not padded
    coded(LzxBlockType::Aligned, 32768);  // a whole window in one block
    coded(LzxBlockType::Verbatim, 700);
    raw(99);
    coded(LzxBlockType::Verbatim, 3000);
  }
  MixedStream mixed;
  mixed.stream = builder.Finish();
  mixed.expected = plain;
  // One call: translate the whole output once.
  std::vector<std::uint8_t>& out = mixed.expected;
  std::int32_t cur = 0;
  for (std::size_t p = 0; p + 10 < out.size();) {
    if (out[p] != 0xE8) {
      ++p;
      ++cur;
      continue;
    }
    const auto a = static_cast<std::int32_t>(out[p + 1] | out[p + 2] << 8 | out[p + 3] << 16 |
                                             static_cast<std::uint32_t>(out[p + 4]) << 24);
    if (a >= -cur && a < 20000) {
      const std::int32_t v = a >= 0 ? a - cur : a + 20000;
      for (int i = 0; i < 4; ++i) out[p + 1 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i));
    }
    p += 5;
    cur += 5;
  }
  return mixed;
}

TEST(LzxStream, MixedBlocksRoundTrip) {
  const MixedStream mixed = MakeMixedStream(false);
  LzxDecoder decoder;
  ASSERT_EQ(decoder.Reset(15), LzxStatus::Ok);
  std::vector<std::uint8_t> output(mixed.expected.size());
  ASSERT_EQ(DecodeInto(decoder, mixed.stream, output), LzxStatus::Ok);
  EXPECT_EQ(output, mixed.expected);
}

// Prefixes of a valid stream decode either to the right bytes or to BadData.
void CheckTruncations(const MixedStream& mixed, std::size_t stride) {
  LzxDecoder decoder;
  std::vector<std::uint8_t> output(mixed.expected.size());
  int accepted = 0;
  for (std::size_t length = 0; length < mixed.stream.size(); ++length) {
    if (length % stride != 0 && length + 64 < mixed.stream.size()) continue;
    ASSERT_EQ(decoder.Reset(15), LzxStatus::Ok);
    const LzxStatus status = DecodeInto(decoder, std::span<const std::uint8_t>(mixed.stream).first(length), output);
    if (status == LzxStatus::Ok) {
      ++accepted;
      ASSERT_EQ(output, mixed.expected) << "prefix of " << length << " bytes";
    } else {
      ASSERT_EQ(status, LzxStatus::BadData) << "prefix of " << length << " bytes";
    }
  }
  EXPECT_LE(accepted, 1);  // at most a final padding byte may go
}

TEST(LzxStream, EveryTruncationFailsCleanlyOrDecodesCorrectly) { CheckTruncations(MakeMixedStream(true), 1); }

TEST(LzxStream, TruncationsAcrossWindowFills) { CheckTruncations(MakeMixedStream(false), 29); }

// Corrupt streams may fail in any way but must not touch memory outside the buffers.
TEST(LzxStream, CorruptStreamsNeverMisbehave) {
  const MixedStream mixed = MakeMixedStream(false);
  std::mt19937 rng(5);
  LzxDecoder decoder;
  int failed = 0;
  for (int trial = 0; trial < 400; ++trial) {
    std::vector<std::uint8_t> stream = mixed.stream;
    const int flips = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < flips; ++i) stream[rng() % stream.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
    ASSERT_EQ(decoder.Reset(15), LzxStatus::Ok);
    std::vector<std::uint8_t> output(trial % 2 == 0 ? mixed.expected.size() : rng() % mixed.expected.size());
    failed += DecodeInto(decoder, stream, output) != LzxStatus::Ok ? 1 : 0;
  }
  EXPECT_GT(failed, 0);
  for (int trial = 0; trial < 400; ++trial) {
    std::vector<std::uint8_t> garbage(rng() % 3000);
    for (auto& b : garbage) b = static_cast<std::uint8_t>(rng());
    if (!garbage.empty() && trial % 2 == 0) garbage[0] = static_cast<std::uint8_t>((garbage[0] & 0x1F) | 0x20);
    const int windowBits = 15 + static_cast<int>(rng() % 7);
    ASSERT_EQ(decoder.Reset(windowBits), LzxStatus::Ok);
    std::vector<std::uint8_t> output(rng() % 100000);
    const LzxStatus status = DecodeInto(decoder, garbage, output);
    EXPECT_TRUE(status == LzxStatus::Ok || status == LzxStatus::BadData || status == LzxStatus::BadFormat);
  }
}

}  // namespace
}  // namespace tessaly
