// Bit reader for LZX streams: 16-bit little-endian words, bits taken from bit 15 of a word down to bit 0.
//
// The buffer is 64 bits wide and refilled whole words at a time to 48..63 bits held, without a branch
// where 8 input bytes remain (FastBits), so that one refill covers a main symbol with its offset bits,
// or a main and a length symbol. Bits below the held ones are stream bits or zero. Everything observable is
// expressed through C, the number of bits consumed since the reader (re)started at byte `start`: the
// values read are those of the stream, with zero bytes delivered past the end of the input (nothing is
// ever fetched from outside it); frame realignment rounds C up to a multiple of 16; an uncompressed block
// continues at byte start + 2 * floor(C / 16) + 2; the input counts as overrun once
// start + 2 * ceil(C / 16) exceeds its length. These match a reader that fetches one word at a time only
// when it lacks bits.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace tessaly::lzx {

// Four stream words starting at p, the first one in the top 16 bits: each 32-bit half rotated by 16
// (no constant masks to keep in registers).
inline std::uint64_t LoadFourWords(const std::uint8_t* p) {
  std::uint32_t first, second;
  std::memcpy(&first, p, 4);
  std::memcpy(&second, p + 4, 4);
  if constexpr (std::endian::native == std::endian::little) {
    return std::uint64_t{std::rotl(first, 16)} << 32 | std::rotl(second, 16);
  } else {
    const auto swap = [](std::uint32_t x) { return ((x & 0x00FF00FFu) << 8) | ((x >> 8) & 0x00FF00FFu); };
    return std::uint64_t{swap(first)} << 32 | swap(second);
  }
}

// The same near or past the end of the input: missing bytes read as zero. Out of line, so that Refill
// stays small enough to inline.
[[gnu::noinline]] inline std::uint64_t LoadFourWordsAtEnd(const std::uint8_t* data, std::size_t size, std::size_t at) {
  std::uint64_t x = 0;
  for (int i = 0; i < 4; ++i) {
    const std::size_t lo = at + 2 * i;
    const std::uint64_t low = lo < size ? data[lo] : 0;
    const std::uint64_t high = lo + 1 < size ? data[lo + 1] : 0;
    x = (x << 16) | (high << 8) | low;
  }
  return x;
}

struct BitReader {
  // After Refill at least this many bits are held, and never more than 63.
  static constexpr int kGuaranteedBits = 48;

  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::size_t start = 0;  // byte where the reader (re)started
  std::size_t fetch = 0;  // next byte to fetch; may run past `size` (zero words are delivered there)
  std::uint64_t buffer = 0;  // next bit of the stream in bit 63; bits below the held ones are stream bits or 0
  int count = 0;             // bits held, 0..63

  explicit BitReader(std::span<const std::uint8_t> input) : data(input.data()), size(input.size()) {}

  void Restart(std::size_t byteOffset) {
    start = fetch = byteOffset;
    buffer = 0;
    count = 0;
  }

  // Tops the buffer up to 48 + (count % 16) bits held (never 64, so that shifts stay below 64) when it
  // holds fewer than 48. Near the end of the input the missing bytes read as zero.
  void Refill() {
    if (count >= kGuaranteedBits) return;
    const std::uint64_t words =
        size >= 8 && fetch <= size - 8 ? LoadFourWords(data + fetch) : LoadFourWordsAtEnd(data, size, fetch);
    Add(words);
  }

  // Takes in four words loaded at `fetch` (FastBits::Refill does the same).
  void Add(std::uint64_t words) {
    buffer |= words >> count;
    fetch += static_cast<std::size_t>(6 - ((count >> 3) & 6));  // 3 - count / 16 words
    count |= 48;                                                 // 48 + count % 16
  }

  // n from 1 to 32, and no more than held.
  std::uint32_t Peek(int n) const { return static_cast<std::uint32_t>(buffer >> (64 - n)); }
  void Remove(int n) {
    buffer <<= n;
    count -= n;
  }
  // n from 0 to 32 and no more than held; 0 bits peek as 0.
  std::uint32_t PeekUpTo32(int n) const { return static_cast<std::uint32_t>((buffer >> 1) >> (63 - n)); }
  // n from 0 to 32; 0 bits read as 0.
  std::uint32_t ReadBits(int n) {
    if (n == 0) return 0;
    Refill();
    const std::uint32_t value = Peek(n);
    Remove(n);
    return value;
  }

  std::uint64_t ConsumedBits() const { return 8 * static_cast<std::uint64_t>(fetch - start) - count; }

  // Frame end: skip to the next word boundary of the stream.
  void AlignToWord() { Remove(static_cast<int>((16 - ConsumedBits() % 16) % 16)); }

  // Where an uncompressed block's repeated offsets begin: after the current word, or after one whole
  // padding word when the header ended exactly on a word boundary.
  std::size_t UncompressedCursor() const { return start + 2 * static_cast<std::size_t>(ConsumedBits() / 16) + 2; }

  // Whether the bits consumed reach into a word that the input does not hold completely.
  bool Overrun() const { return start + 2 * static_cast<std::size_t>((ConsumedBits() + 15) / 16) > size; }
};

// The reader's hot part as a decoding loop keeps it in registers: no end checks, the caller knows that
// 8 bytes at `next` lie inside the input at every refill. Taken from a BitReader and handed back to it.
struct FastBits {
  std::uint64_t buffer;
  int count;
  const std::uint8_t* next;

  explicit FastBits(const BitReader& reader)
      : buffer(reader.buffer), count(reader.count), next(reader.data + reader.fetch) {}
  void HandBack(BitReader& reader) const {
    reader.buffer = buffer;
    reader.count = count;
    reader.fetch = static_cast<std::size_t>(next - reader.data);
  }

  void Refill() {
    buffer |= LoadFourWords(next) >> count;
    next += 6 - ((count >> 3) & 6);
    count |= 48;
  }
  void Remove(int n) {
    buffer <<= n;
    count -= n;
  }
  std::uint32_t PeekUpTo32(int n) const { return static_cast<std::uint32_t>((buffer >> 1) >> (63 - n)); }
};

}  // namespace tessaly::lzx
