// Decoding table of the LZX main tree: one 32-bit load per symbol gives everything the decoder acts on.
//
// The table is built for one block, knowing its type. A literal entry holds the byte and its code length.
// A match entry (main symbol 256 + 8 * slot + header) holds the match length before any length-tree
// symbol (header + 2), the position slot, the number of offset bits read straight from the stream
// (all extra bits of the slot; in aligned blocks 3 fewer when the slot has 3 or more, which an aligned
// symbol then supplies) and the bits to consume at once: the code length, plus those offset bits when no
// length-tree symbol comes between them (header below 7). One shift then takes the code and the offset
// bits, and the offset bits are cut from the buffer as it was before the shift.
//
// Codes of up to kMainBits bits resolve in the direct part. A longer code's first kMainBits bits select a
// subtable pointer; the next (longest code length - kMainBits) bits index the subtable, whose entries
// hold the full code length. Validity is that of BuildDecodeTable: an over-subscribed code, or an
// incomplete one that is not all zero, is refused; all zero decodes literal 0 and consumes nothing;
// lengths above 16 take no part.
//
// Entry layout:
//   bit 31       match (a subtable pointer has it too, so that one sign test tells literals apart)
//   bit 30       subtable pointer: bits 8-21 its first entry, bits 0-5 its index width in bits
//   bits 0-5     bits to consume now
//   literal:     bits 16-23 the byte
//   match:       bits 8-12 offset bits from the stream, bit 13 an aligned symbol follows them, bit 14 a
//                length-tree symbol follows the code (offset bits not in bits 0-5), bits 16-21 the slot,
//                bits 24-27 header + 2
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "lzx/lzx_tables.h"

namespace tessaly::lzx {

inline constexpr std::uint32_t kMainMatch = 1u << 31;
inline constexpr std::uint32_t kMainSubtable = 1u << 30;
inline constexpr std::uint32_t kMainAlignedFollows = 1u << 13;
inline constexpr std::uint32_t kMainLengthFollows = 1u << 14;
inline constexpr std::uint32_t kMainConsumeMask = 0x3F;

inline bool IsLiteralEntry(std::uint32_t entry) { return static_cast<std::int32_t>(entry) >= 0; }
inline std::uint8_t EntryLiteral(std::uint32_t entry) { return static_cast<std::uint8_t>(entry >> 16); }
inline int EntryConsume(std::uint32_t entry) { return static_cast<int>(entry & kMainConsumeMask); }
inline int EntryOffsetBits(std::uint32_t entry) { return static_cast<int>((entry >> 8) & 31); }
inline std::uint32_t EntrySlot(std::uint32_t entry) { return (entry >> 16) & 63; }
inline std::uint32_t EntryMatchLength(std::uint32_t entry) { return (entry >> 24) & 15; }

struct MainTable {
  static constexpr int kDirectEntries = 1 << kMainBits;
  // Every subtable pointer covers at least two long codes, and a subtable has at most 2^(16 - kMainBits)
  // entries.
  static constexpr int kSubtableRoom = (kMainSymbols / 2) << (kMaxCodeBits - kMainBits);
  std::array<std::uint32_t, kDirectEntries + kSubtableRoom> entries{};

  // The entry for the code at the top of `buffer` (at least 16 bits valid there).
  std::uint32_t Lookup(std::uint64_t buffer) const {
    std::uint32_t entry = entries[buffer >> (64 - kMainBits)];
    if (entry & kMainSubtable) [[unlikely]] {
      entry = entries[((entry >> 8) & 0x3FFF) + ((buffer << kMainBits) >> (64 - (entry & kMainConsumeMask)))];
    }
    return entry;
  }
};

// Fills `table` from the code lengths of the kMainSymbols main symbols for a block of the given type.
// Returns false when the lengths form no valid code.
bool BuildMainTable(std::span<const std::uint8_t, kMainSymbols> lengths, bool aligned, MainTable& table);

}  // namespace tessaly::lzx
