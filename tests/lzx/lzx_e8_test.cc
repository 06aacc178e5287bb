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

// E8 translation of one call's output, written out plainly.
struct ReferenceE8 {
  std::int32_t size = 0;
  bool started = true;
  std::int32_t position = 0;
  std::uint32_t calls = 0;

  void Apply(std::vector<std::uint8_t>& out) {
    const bool active = calls < 32768 && size != 0;
    ++calls;
    if (!active) return;
    const auto n = static_cast<std::int32_t>(out.size());
    if (n <= 6 || !started) {
      position += n;
      return;
    }
    std::int32_t cur = position;
    position += n;
    std::int32_t p = 0;
    while (p < n - 10) {
      if (out[static_cast<std::size_t>(p)] != 0xE8) {
        ++cur;
        ++p;
        continue;
      }
      std::uint8_t* at = &out[static_cast<std::size_t>(p) + 1];
      const auto a = static_cast<std::int32_t>(at[0] | at[1] << 8 | at[2] << 16 | static_cast<std::uint32_t>(at[3]) << 24);
      if (a >= -cur && a < size) {
        const std::int32_t v = a >= 0 ? a - cur : a + size;
        for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i));
      }
      p += 5;
      cur += 5;
    }
  }
};

void PutLe32(std::vector<std::uint8_t>& out, std::int32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) >> (8 * i)));
}

// One uncompressed block holding `raw`, with the given translation size. Returns the stream and where the
// block's bytes begin in it.
std::vector<std::uint8_t> UncompressedStream(const std::vector<std::uint8_t>& raw, std::uint32_t translationSize,
                                             std::size_t* dataStart) {
  LzxStreamBuilder builder(16);
  builder.SetE8TranslationSize(translationSize);
  builder.UncompressedBlock(raw, {1, 1, 1});
  *dataStart = builder.bits().ByteSize() - raw.size();
  return builder.Finish();
}

// Decodes `raw` from its uncompressed block in calls of the given sizes; each call gets the input from
// where the previous one stopped.
std::vector<std::vector<std::uint8_t>> DecodeInCalls(LzxDecoder& decoder, const std::vector<std::uint8_t>& raw,
                                                     std::uint32_t translationSize,
                                                     const std::vector<std::size_t>& callSizes) {
  std::size_t dataStart = 0;
  const std::vector<std::uint8_t> stream = UncompressedStream(raw, translationSize, &dataStart);
  std::vector<std::vector<std::uint8_t>> outputs;
  std::size_t done = 0;
  for (std::size_t i = 0; i < callSizes.size(); ++i) {
    std::vector<std::uint8_t> output(callSizes[i]);
    const std::span<const std::uint8_t> input =
        i == 0 ? std::span<const std::uint8_t>(stream) : std::span<const std::uint8_t>(stream).subspan(dataStart + done);
    EXPECT_EQ(decoder.Decompress(input, output), LzxStatus::Ok) << "call " << i;
    done += callSizes[i];
    outputs.push_back(output);
  }
  return outputs;
}

std::vector<std::uint8_t> CallWithTwoE8s() {
  // 20 bytes: an E8 at 4 (translated) and one at 10 (inside the last 10 bytes: left alone).
  std::vector<std::uint8_t> raw = {0, 0, 0, 0, 0xE8};
  PutLe32(raw, 100);
  raw.push_back(0);
  raw.push_back(0xE8);
  PutLe32(raw, 100);
  raw.resize(20, 0);
  return raw;
}

TEST(LzxE8, TranslationSizeZeroNeverAlters) {
  const std::vector<std::uint8_t> raw = CallWithTwoE8s();
  LzxDecoder decoder;
  ASSERT_EQ(decoder.Reset(16), LzxStatus::Ok);
  const auto outputs = DecodeInCalls(decoder, raw, 0, {20});
  EXPECT_EQ(outputs[0], raw);
  EXPECT_EQ(decoder.State().e8Position, 0);
}

TEST(LzxE8, ShortCallsOnlyMoveThePosition) {
  std::vector<std::uint8_t> raw = {0xE8};
  PutLe32(raw, 3);
  raw.push_back(0xE8);
  PutLe32(raw, 3);
  raw.resize(40, 0);
  LzxDecoder decoder;
  ASSERT_EQ(decoder.Reset(16), LzxStatus::Ok);
  const auto outputs = DecodeInCalls(decoder, raw, 1000, {6, 10, 1});
  EXPECT_EQ(outputs[0], std::vector<std::uint8_t>(raw.begin(), raw.begin() + 6));
  EXPECT_EQ(outputs[1], std::vector<std::uint8_t>(raw.begin() + 6, raw.begin() + 16));
  EXPECT_EQ(decoder.State().e8Position, 17);
  EXPECT_EQ(decoder.State().callCount, 3u);
}

TEST(LzxE8, LastTenBytesAreNeverTranslated) {
  const std::vector<std::uint8_t> raw = CallWithTwoE8s();
  LzxDecoder decoder;
  ASSERT_EQ(decoder.Reset(16), LzxStatus::Ok);
  const auto outputs = DecodeInCalls(decoder, raw, 1000, {20});
  std::vector<std::uint8_t> expected = raw;
  expected[5] = 96;  // 100 - 4
  EXPECT_EQ(outputs[0], expected);
  EXPECT_EQ(decoder.State().e8Position, 20);
}

TEST(LzxE8, TranslatesRelativeToTheBytePosition) {
  std::vector<std::uint8_t> raw(7, 0x90);  // the second call starts at translation position 7
  const std::int32_t size = 5000;
  const std::int32_t values[] = {100, 4999, 5000, -1, -12, -13, -20, 0};
  for (const std::int32_t a : values) {
    raw.push_back(0xE8);
    PutLe32(raw, a);
  }
  raw.resize(raw.size() + 10, 0x90);
  LzxDecoder decoder;
  ASSERT_EQ(decoder.Reset(16), LzxStatus::Ok);
  const auto outputs = DecodeInCalls(decoder, raw, size, {7, raw.size() - 7});
  const std::vector<std::uint8_t>& out = outputs[1];
  const auto valueAt = [&](std::size_t i) {
    const std::size_t p = 1 + 5 * i;
    return static_cast<std::int32_t>(out[p] | out[p + 1] << 8 | out[p + 2] << 16 |
                                     static_cast<std::uint32_t>(out[p + 3]) << 24);
  };
  // The E8 of value i sits at translation position 7 + 5i.
  EXPECT_EQ(valueAt(0), 100 - 7);
  EXPECT_EQ(valueAt(1), 4999 - 12);
  EXPECT_EQ(valueAt(2), 5000);            // not below the translation size: unchanged
  EXPECT_EQ(valueAt(3), -1 + size);       // negative but not below -position (-22)
  EXPECT_EQ(valueAt(4), -12 + size);      // -12 >= -27
  EXPECT_EQ(valueAt(5), -13 + size);      // -13 >= -32
  EXPECT_EQ(valueAt(6), -20 + size);      // -20 >= -37
  EXPECT_EQ(valueAt(7), 0 - 42);
  // Below -position: unchanged.
  std::vector<std::uint8_t> early = {0xE8};
  PutLe32(early, -1);
  early.resize(16, 0);
  LzxDecoder fresh;
  ASSERT_EQ(fresh.Reset(16), LzxStatus::Ok);
  EXPECT_EQ(DecodeInCalls(fresh, early, size, {16})[0], early);
}

TEST(LzxE8, RandomCallsMatchTheReference) {
  std::mt19937 rng(99);
  for (int trial = 0; trial < 40; ++trial) {
    std::vector<std::uint8_t> raw;
    while (raw.size() < 6000) {
      if (rng() % 5 == 0) {
        raw.push_back(0xE8);
        PutLe32(raw, static_cast<std::int32_t>(rng() % 16000) - 8000);
      } else {
        raw.push_back(rng() % 7 == 0 ? 0xE8 : static_cast<std::uint8_t>(rng()));
      }
    }
    std::vector<std::size_t> calls;
    std::size_t total = 0;
    while (total < raw.size()) {
      std::size_t n = std::min<std::size_t>(raw.size() - total, rng() % 3 == 0 ? rng() % 12 : rng() % 900);
      if (calls.empty() && n == 0) n = 1;  // the first call reads the block header
      calls.push_back(n);
      total += n;
    }
    const std::uint32_t size = trial % 4 == 0 ? 0 : 1000 + rng() % 9000;
    LzxDecoder decoder;
    ASSERT_EQ(decoder.Reset(16), LzxStatus::Ok);
    const auto outputs = DecodeInCalls(decoder, raw, size, calls);
    ReferenceE8 reference;
    reference.size = static_cast<std::int32_t>(size);
    std::size_t at = 0;
    for (std::size_t i = 0; i < calls.size(); ++i) {
      std::vector<std::uint8_t> expected(raw.begin() + static_cast<std::ptrdiff_t>(at),
                                         raw.begin() + static_cast<std::ptrdiff_t>(at + calls[i]));
      reference.Apply(expected);
      ASSERT_EQ(outputs[i], expected) << "trial " << trial << " call " << i;
      at += calls[i];
    }
    EXPECT_EQ(decoder.State().e8Position, reference.position);
  }
}

TEST(LzxE8, StopsAfter32768Calls) {
  std::vector<std::uint8_t> raw = {0, 0, 0, 0xE8};
  PutLe32(raw, 50);
  raw.resize(16, 0);
  for (const std::uint32_t emptyCalls : {32767u, 32768u}) {
    LzxDecoder decoder;
    ASSERT_EQ(decoder.Reset(16), LzxStatus::Ok);
    std::size_t dataStart = 0;
    const std::vector<std::uint8_t> stream = UncompressedStream(raw, 1000, &dataStart);
    std::vector<std::uint8_t> none;
    for (std::uint32_t i = 0; i < emptyCalls; ++i) ASSERT_EQ(decoder.Decompress(stream, none), LzxStatus::Ok);
    std::vector<std::uint8_t> output(raw.size());
    ASSERT_EQ(decoder.Decompress(stream, output), LzxStatus::Ok);
    const bool translated = emptyCalls < 32768;
    EXPECT_EQ(output[4], translated ? 50 - 3 : 50) << emptyCalls;
    EXPECT_EQ(decoder.State().e8Position, translated ? 16 : 0) << emptyCalls;
    EXPECT_EQ(decoder.State().callCount, emptyCalls + 1);
  }
}

TEST(LzxE8, CodedBlocksStartTranslationOnlyWithAnE8Literal) {
  for (const bool withE8 : {false, true}) {
    LzxStreamBuilder builder(16);
    builder.SetE8TranslationSize(100000);
    std::vector<LzxItem> items;
    for (int i = 0; i < 30; ++i) items.push_back(LzxItem::Literal(static_cast<std::uint8_t>('a' + i % 20)));
    if (withE8) {
      items[3] = LzxItem::Literal(0xE8);
      for (int i = 4; i < 8; ++i) items[static_cast<std::size_t>(i)] = LzxItem::Literal(0);
      items[4] = LzxItem::Literal(40);
    }
    builder.EncodeBlock(LzxBlockType::Verbatim, items);
    LzxDecoder decoder;
    ASSERT_EQ(decoder.Reset(16), LzxStatus::Ok);
    std::vector<std::uint8_t> output(30);
    ASSERT_EQ(decoder.Decompress(builder.Finish(), output), LzxStatus::Ok);
    EXPECT_EQ(decoder.State().e8Started, withE8);
    EXPECT_EQ(decoder.State().e8Position, 30);
    if (withE8) {
      EXPECT_EQ(output[4], 40 - 3);
    }
  }
}

}  // namespace
}  // namespace tessaly
