// Constants of the LZX format (window sizes, position slots, tree sizes) and the abort signal shared by the
// LZX internals. A match symbol of the main tree is 256 + 8 * slot + length header; the position slot
// selects a base offset and a number of extra bits.
#pragma once

#include <array>
#include <cstdint>

#include "lzx/lzx_decoder.h"

namespace tessaly::lzx {

inline constexpr int kMinWindowBits = 15;
inline constexpr int kMaxWindowBits = 21;

inline constexpr int kLiteralCount = 256;
inline constexpr int kLengthHeaders = 8;     // per slot; header 7 means a length-tree symbol follows
inline constexpr int kLongLengthHeader = 7;
inline constexpr int kMinMatch = 2;
inline constexpr int kMaxPositionSlots = 50;  // for 2^21 windows
inline constexpr int kSlotTableSize = 51;

inline constexpr int kPretreeBits = 6;
inline constexpr int kPretreeSymbols = 20;
inline constexpr int kMainBits = 11;
inline constexpr int kMainSymbols = kLiteralCount + kLengthHeaders * kMaxPositionSlots;  // 656
inline constexpr int kLengthBits = 9;
inline constexpr int kLengthSymbols = 250;      // room in the table
inline constexpr int kLengthSymbolsSent = 249;  // lengths transmitted per block
inline constexpr int kAlignedBits = 7;
inline constexpr int kAlignedSymbols = 8;
inline constexpr int kPretreeLengthBits = 4;
inline constexpr int kAlignedLengthBits = 3;
inline constexpr int kMaxCodeBits = 16;

// ReadLengths runs are not cut at the end of their range; these spare length bytes absorb the overshoot
// (at most a run of 51 starting at the last position).
inline constexpr int kLengthSlack = 64;
inline constexpr int kLongestLengthRun = 20 + 31;
static_assert(kLongestLengthRun - 1 <= kLengthSlack);
// Aligned-tree codes always resolve in one lookup.
static_assert((1 << kAlignedLengthBits) - 1 <= kAlignedBits);

inline constexpr std::uint32_t kFrameSize = 32768;  // the bit stream realigns after every frame
inline constexpr std::uint8_t kE8Byte = 0xE8;
inline constexpr std::uint32_t kE8CallLimit = 32768;  // calls after a reset that get E8 translation
inline constexpr std::uint16_t kBlockVerbatim = 1;
inline constexpr std::uint16_t kBlockAligned = 2;
inline constexpr std::uint16_t kBlockUncompressed = 3;

constexpr std::array<std::uint8_t, kSlotTableSize> MakeExtraBits() {
  std::array<std::uint8_t, kSlotTableSize> bits{};
  for (int slot = 0; slot < kSlotTableSize; ++slot) {
    bits[slot] = slot < 4 ? 0 : slot < 36 ? static_cast<std::uint8_t>((slot - 2) / 2) : 17;
  }
  return bits;
}
inline constexpr std::array<std::uint8_t, kSlotTableSize> kExtraBits = MakeExtraBits();

constexpr std::array<std::uint32_t, kSlotTableSize> MakePositionBase() {
  std::array<std::uint32_t, kSlotTableSize> base{};
  for (int slot = 0; slot + 1 < kSlotTableSize; ++slot) base[slot + 1] = base[slot] + (1u << kExtraBits[slot]);
  return base;
}
inline constexpr std::array<std::uint32_t, kSlotTableSize> kPositionBase = MakePositionBase();

static_assert(kExtraBits[4] == 1 && kExtraBits[35] == 16 && kExtraBits[36] == 17);
static_assert(kPositionBase[4] == 4 && kPositionBase[11] == 48 && kPositionBase[36] == 262144);
static_assert(kPositionBase[38] == 524288 && kPositionBase[50] == 2097152);

// Position slots in use for a window of 2^windowBits bytes.
constexpr int PositionSlots(int windowBits) {
  return windowBits == 20 ? 42 : windowBits == 21 ? 50 : 2 * windowBits;
}
static_assert(PositionSlots(kMaxWindowBits) == kMaxPositionSlots);

// Thrown below LzxDecoder::Reset and LzxDecoder::Decompress by Fail and caught there; the entry point then
// returns the status.
struct Failure {
  LzxStatus status;
};

[[noreturn]] void Fail(LzxStatus status);

}  // namespace tessaly::lzx
