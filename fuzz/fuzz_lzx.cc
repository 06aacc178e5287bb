// Fuzz target: the LZX decoder alone.
//
// Input: byte 0 picks the window (15 + byte % 7 bits), bytes 1..3 the plain
// length (up to 1 MiB), byte 4 the mode.
//
// Raw mode (byte 4 below 0x80): byte 4 gives the number of calls the output
// is split into (1..4: the stream continues across calls, each call with its
// own slice of the input, as the book reader hands over one reset interval's
// blocks). The rest is the bit stream. A second decoder run after a Reset on
// the same object must not depend on what the first one left behind.
//
// Built mode (byte 4 from 0x80): the plain length is a quarter of the above
// (up to 256 KiB, for speed), and the rest is a recipe from which a valid
// stream is written here, so that long runs reach the decoder's fast paths:
// verbatim and aligned blocks (with a uniform or a skewed aligned tree),
// trees with codes up to 16 bits, literal runs, matches that overlap
// themselves, repeated offsets, frame and window ends. The recipe is read
// cyclically, so a short input can describe a long stream. The output must be
// exactly the plain bytes the recipe stands for, in one call and in calls
// split at frame ends; then a few bits of the stream are flipped, and the
// decoder must fail cleanly or decode, the same way twice.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "lzx/lzx_decoder.h"

namespace {

constexpr std::size_t kPrefix = 5;
constexpr std::uint32_t kMaxOutput = 1u << 20;
constexpr std::uint32_t kFrame = 32768;

tessaly::LzxStatus Run(tessaly::LzxDecoder& decoder, int windowBits, std::span<const std::uint8_t> stream,
                       std::uint32_t outputLength, unsigned calls, std::vector<std::uint8_t>& output) {
  tessaly::LzxStatus status = decoder.Reset(windowBits);
  if (status != tessaly::LzxStatus::Ok) return status;
  output.assign(outputLength, 0);
  const std::size_t inputStep = stream.size() / calls;
  const std::size_t outputStep = outputLength / calls;
  for (unsigned call = 0; call < calls; ++call) {
    const bool last = call + 1 == calls;
    const std::size_t inStart = call * inputStep;
    const std::size_t inLength = last ? stream.size() - inStart : inputStep;
    const std::size_t outStart = call * outputStep;
    const std::size_t outLength = last ? outputLength - outStart : outputStep;
    status = decoder.Decompress(stream.subspan(inStart, inLength),
                                std::span<std::uint8_t>(output).subspan(outStart, outLength));
    if (status != tessaly::LzxStatus::Ok) return status;
  }
  return status;
}

// Reads the recipe cyclically; an empty recipe reads zeros.
class Recipe {
 public:
  explicit Recipe(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint32_t Byte() { return bytes_.empty() ? 0 : bytes_[at_++ % bytes_.size()]; }
  std::uint32_t Word() { return Byte() | Byte() << 8; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

// 16-bit little-endian words, each filled from its top bit down.
class BitWriter {
 public:
  void Put(std::uint32_t value, int count) {
    if (count == 0) return;
    pending_ = (pending_ << count) | (value & ((std::uint64_t{1} << count) - 1));
    pendingBits_ += count;
    while (pendingBits_ >= 16) {
      const auto word = static_cast<std::uint32_t>(pending_ >> (pendingBits_ - 16));
      bytes_.push_back(static_cast<std::uint8_t>(word));
      bytes_.push_back(static_cast<std::uint8_t>(word >> 8));
      pendingBits_ -= 16;
    }
  }
  void PadToWord() { Put(0, (16 - pendingBits_) % 16); }
  std::size_t Size() const { return bytes_.size(); }
  std::vector<std::uint8_t>& Bytes() { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::uint64_t pending_ = 0;
  int pendingBits_ = 0;
};

constexpr int PositionSlots(int windowBits) { return windowBits == 20 ? 42 : windowBits == 21 ? 50 : 2 * windowBits; }
constexpr int ExtraBits(int slot) { return slot < 4 ? 0 : slot < 36 ? (slot - 2) / 2 : 17; }

std::array<std::uint32_t, 51> PositionBase() {
  std::array<std::uint32_t, 51> base{};
  for (int slot = 0; slot < 50; ++slot) base[slot + 1] = base[slot] + (1u << ExtraBits(slot));
  return base;
}

// Complete code lengths for `count` symbols: the first `skew` of them (in an order rotated by `rotate`)
// get lengths 1, 2, ..., skew; the rest share what is left as evenly as possible.
std::vector<std::uint8_t> CompleteLengths(int count, int skew, int rotate) {
  std::vector<std::uint8_t> lengths(static_cast<std::size_t>(count));
  const int rest = count - skew;
  int depth = 0;
  while ((2 << depth) <= rest) ++depth;  // 2^depth <= rest < 2^(depth + 1)
  const int deeper = rest == (1 << depth) ? 0 : 2 * rest - (2 << depth);
  for (int i = 0; i < count; ++i) {
    const int rank = i < skew ? i : i - skew;
    const int length = i < skew ? rank + 1 : skew + depth + (rank < deeper ? 1 : 0);
    lengths[static_cast<std::size_t>((i + rotate) % count)] = static_cast<std::uint8_t>(length);
  }
  return lengths;
}

std::vector<std::uint32_t> CanonicalCodes(const std::vector<std::uint8_t>& lengths) {
  std::array<std::uint32_t, 18> count{}, next{};
  for (const std::uint8_t l : lengths) ++count[l];
  count[0] = 0;
  for (int l = 1; l < 18; ++l) next[l] = (next[l - 1] + count[l - 1]) << 1;
  std::vector<std::uint32_t> codes(lengths.size());
  for (std::size_t s = 0; s < lengths.size(); ++s) {
    if (lengths[s] != 0) codes[s] = next[lengths[s]]++;
  }
  return codes;
}

// Sends `lengths` over positions first..last-1 as deltas against `previous`, one pretree symbol each,
// with a fixed complete pretree (symbols 0..11: 4 bits, 12..19: 5 bits).
void SendLengths(BitWriter& bits, std::vector<std::uint8_t>& previous, const std::vector<std::uint8_t>& lengths,
                 int first, int last) {
  std::vector<std::uint8_t> pretree(20, 4);
  for (int s = 12; s < 20; ++s) pretree[static_cast<std::size_t>(s)] = 5;
  for (const std::uint8_t l : pretree) bits.Put(l, 4);
  const std::vector<std::uint32_t> codes = CanonicalCodes(pretree);
  for (int x = first; x < last; ++x) {
    const auto at = static_cast<std::size_t>(x);
    const int z = (previous[at] - lengths[at] + 17) % 17;
    bits.Put(codes[static_cast<std::size_t>(z)], pretree[static_cast<std::size_t>(z)]);
    previous[at] = lengths[at];
  }
}

struct Built {
  std::vector<std::uint8_t> stream;
  std::vector<std::uint8_t> plain;
  std::vector<std::pair<std::uint32_t, std::size_t>> frameEnds;  // plain and stream offsets
};

// Writes a valid stream of `length` plain bytes from the recipe, with the plain bytes it stands for.
Built BuildStream(Recipe& recipe, int windowBits, std::uint32_t length) {
  const std::uint32_t windowSize = 1u << windowBits;
  const int mainElements = 256 + 8 * PositionSlots(windowBits);
  const std::array<std::uint32_t, 51> base = PositionBase();
  const std::uint32_t slotOffsetLimit = base[static_cast<std::size_t>(PositionSlots(windowBits))] - 3;
  Built built;
  BitWriter bits;
  std::vector<std::uint8_t> mainPrevious, lengthPrevious;
  std::uint32_t r0 = 1, r1 = 1, r2 = 1;
  std::uint32_t position = windowSize;  // window position; a full window starts a new interval
  while (built.plain.size() < length) {
    if (position == windowSize) {
      position = 0;
      mainPrevious.assign(656, 0);
      lengthPrevious.assign(249, 0);
      r0 = r1 = r2 = 1;
      bits.Put(0, 1);  // no E8 translation
    }
    const std::uint32_t pick = recipe.Byte();
    const bool aligned = (pick & 3) != 0;
    // At most about 64 blocks per stream, whatever the recipe: each one sends its trees.
    const std::uint32_t blockLength = std::min({std::max(1 + recipe.Word() * (1 + (pick >> 6)) * 4, length / 64),
                                                static_cast<std::uint32_t>(length - built.plain.size()),
                                                windowSize - position});
    bits.Put(aligned ? 2 : 1, 3);
    bits.Put(blockLength >> 8, 16);
    bits.Put(blockLength & 255, 8);
    std::vector<std::uint8_t> alignedLengths =
        (pick & 3) == 1 ? std::vector<std::uint8_t>(8, 3) : CompleteLengths(8, 1 + pick % 3, static_cast<int>(pick));
    if (aligned) {
      for (const std::uint8_t l : alignedLengths) bits.Put(l, 3);
    }
    const std::vector<std::uint8_t> mainLengths =
        CompleteLengths(mainElements, static_cast<int>((pick >> 2) % 7), static_cast<int>(recipe.Word()));
    const std::vector<std::uint8_t> lengthLengths =
        CompleteLengths(249, static_cast<int>((pick >> 4) % 9), static_cast<int>(recipe.Byte()));
    SendLengths(bits, mainPrevious, mainLengths, 0, 256);
    SendLengths(bits, mainPrevious, mainLengths, 256, mainElements);
    SendLengths(bits, lengthPrevious, lengthLengths, 0, 249);
    const std::vector<std::uint32_t> mainCodes = CanonicalCodes(mainLengths);
    const std::vector<std::uint32_t> lengthCodes = CanonicalCodes(lengthLengths);
    const std::vector<std::uint32_t> alignedCodes = CanonicalCodes(alignedLengths);
    const auto putMain = [&](int symbol) {
      bits.Put(mainCodes[static_cast<std::size_t>(symbol)], mainLengths[static_cast<std::size_t>(symbol)]);
    };

    const std::uint32_t blockEnd = position + blockLength;
    while (position < blockEnd) {
      const std::uint32_t kind = recipe.Byte();
      const std::uint32_t history = built.plain.size() >= windowSize ? windowSize : position;
      std::uint32_t matchLength = 2 + (kind & 0x80 ? recipe.Byte() : recipe.Byte() % 24);
      matchLength = std::min(matchLength, blockEnd - position);
      if (kind % 8 < 4 || matchLength < 2 || history == 0) {
        const auto literal = static_cast<std::uint8_t>(kind % 8 == 0 ? 'a' + kind % 5 : recipe.Byte());
        putMain(literal);
        built.plain.push_back(literal);
        ++position;
      } else {
        int slot;
        std::uint32_t offset;
        if (kind % 8 == 4 && std::max({r0, r1, r2}) <= history) {
          slot = static_cast<int>((kind >> 3) % 3);
          offset = slot == 0 ? r0 : slot == 1 ? r1 : r2;
          if (slot == 1) std::swap(r0, r1);
          if (slot == 2) std::swap(r0, r2);
        } else {
          // Offsets of 1 to 16 overlap the match itself; the others reach anywhere into the history.
          const std::uint32_t limit = std::min(history, slotOffsetLimit);
          offset = kind % 8 == 5 ? 1 + (kind >> 3) % std::min(limit, 16u) : 1 + recipe.Word() * 37 % limit;
          slot = 3;
          while (base[static_cast<std::size_t>(slot + 1)] <= offset + 2) ++slot;
          r2 = r1;
          r1 = r0;
          r0 = offset;
        }
        const int header = static_cast<int>(std::min(matchLength - 2, 7u));
        putMain(256 + 8 * slot + header);
        if (header == 7) {
          const auto symbol = static_cast<std::size_t>(matchLength - 9);
          bits.Put(lengthCodes[symbol], lengthLengths[symbol]);
        }
        if (slot >= 3) {
          const int extra = ExtraBits(slot);
          const std::uint32_t value = offset + 2 - base[static_cast<std::size_t>(slot)];
          if (aligned && extra >= 3) {
            bits.Put(value >> 3, extra - 3);
            bits.Put(alignedCodes[value & 7], alignedLengths[value & 7]);
          } else {
            bits.Put(value, extra);
          }
        }
        for (std::uint32_t i = 0; i < matchLength; ++i) built.plain.push_back(built.plain[built.plain.size() - offset]);
        position += matchLength;
      }
      if (position % kFrame == 0) {
        bits.PadToWord();
        built.frameEnds.emplace_back(static_cast<std::uint32_t>(built.plain.size()), bits.Size());
      }
    }
  }
  bits.PadToWord();
  built.stream = std::move(bits.Bytes());
  return built;
}

// Decodes `built` in calls that end at the chosen frame ends; the output must be the plain bytes.
void CheckBuilt(tessaly::LzxDecoder& decoder, int windowBits, const Built& built, std::uint32_t split) {
  if (decoder.Reset(windowBits) != tessaly::LzxStatus::Ok) __builtin_trap();
  std::vector<std::uint8_t> output(built.plain.size());
  std::uint32_t plainAt = 0;
  std::size_t streamAt = 0;
  for (std::size_t i = 0; i <= built.frameEnds.size(); ++i) {
    const bool last = i == built.frameEnds.size();
    if (!last && (split >> (i % 32) & 1) == 0) continue;
    const std::uint32_t plainEnd = last ? static_cast<std::uint32_t>(built.plain.size()) : built.frameEnds[i].first;
    const std::size_t streamEnd = last ? built.stream.size() : built.frameEnds[i].second;
    if (plainEnd == plainAt && !last) continue;
    // An exact copy of the slice, so that the sanitizer sees any read past it.
    const std::vector<std::uint8_t> input(built.stream.begin() + static_cast<std::ptrdiff_t>(streamAt),
                                          built.stream.begin() + static_cast<std::ptrdiff_t>(streamEnd));
    const std::span<std::uint8_t> out = std::span<std::uint8_t>(output).subspan(plainAt, plainEnd - plainAt);
    if (decoder.Decompress(input, out) != tessaly::LzxStatus::Ok) __builtin_trap();
    plainAt = plainEnd;
    streamAt = streamEnd;
  }
  if (output != built.plain) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kPrefix) return 0;
  const int windowBits = 15 + data[0] % 7;
  std::uint32_t outputLength =
      (static_cast<std::uint32_t>(data[1]) | static_cast<std::uint32_t>(data[2]) << 8 |
       static_cast<std::uint32_t>(data[3]) << 16) %
      (kMaxOutput + 1);
  const std::span<const std::uint8_t> rest(data + kPrefix, size - kPrefix);
  static tessaly::LzxDecoder decoder;  // reused, as a book reuses its decoder

  std::vector<std::uint8_t> stream(rest.begin(), rest.end());
  unsigned calls = 1 + data[4] % 4;
  if (data[4] >= 0x80) {
    Recipe recipe(rest);
    outputLength /= 4;
    Built built = BuildStream(recipe, windowBits, outputLength);
    CheckBuilt(decoder, windowBits, built, 0);
    CheckBuilt(decoder, windowBits, built, recipe.Word() | recipe.Word() << 16);
    // Then a few flipped bits: any outcome but a fault, the same twice.
    stream = std::move(built.stream);
    calls = 1;
    for (std::uint32_t flips = recipe.Byte() % 4; flips > 0 && !stream.empty(); --flips) {
      const std::size_t at = (recipe.Word() | recipe.Word() << 16) % stream.size();
      stream[at] = static_cast<std::uint8_t>(stream[at] ^ (1u << recipe.Byte() % 8));
    }
  }

  std::vector<std::uint8_t> first;
  const tessaly::LzxStatus status = Run(decoder, windowBits, stream, outputLength, calls, first);
  if (status == tessaly::LzxStatus::Ok) {
    // Decoding is a pure function of the stream once Reset: the same again.
    std::vector<std::uint8_t> second;
    if (Run(decoder, windowBits, stream, outputLength, calls, second) != tessaly::LzxStatus::Ok ||
        second != first) {
      __builtin_trap();
    }
  }
  return 0;
}
