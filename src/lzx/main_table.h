// Decoding tables of the LZX main and length trees: one 32-bit load per symbol gives everything the
// decoder acts on, for most matches the length-tree symbol included.
//
// Codes of up to kBits bits resolve in the direct part of a table. A longer code's first kBits bits select
// a subtable pointer whose subtable is indexed by the next bits, as many as the longest code under that
// prefix needs; subtable entries hold the full code length. Validity is that of BuildDecodeTable: an
// over-subscribed code, or an incomplete one that is not all zero, is refused; all zero decodes symbol 0
// and consumes nothing; lengths above 16 take no part.
//
// Every entry holds in bits 0-5 the bits to consume. A subtable pointer has bit 15 set, its first entry in
// bits 16-29 and its index width in bits 0-5. A length-tree entry holds the symbol in bits 16-23.
//
// The main table is built for one block, knowing its type and its length tree. A literal entry holds the
// byte in bits 16-23. A match entry (main symbol 256 + 8 * slot + header) has bit 31 set (so that one sign
// test tells literals apart) and holds the position slot in bits 16-21, the match length in bits 22-30, in
// bits 8-12 the number of offset bits read straight from the stream (all extra bits of the slot; in aligned
// blocks 3 fewer when the slot has 3 or more, which an aligned symbol then supplies: bit 13 says so).
// Header 7 says that a length-tree symbol follows the main code. Where the direct entry's bits after the
// main code hold that whole length code, it is folded in: the entry holds the full match length and
// consumes both codes. Otherwise bit 14 says that the length symbol still follows, and the length field
// holds the length before it (9). Without bit 14 the bits to consume are the codes plus the offset bits:
// one shift then takes the match, and the offset bits are cut from the buffer as it was before the shift.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "lzx/lzx_tables.h"

namespace tessaly::lzx {

inline constexpr std::uint32_t kMainMatch = 1u << 31;
inline constexpr std::uint32_t kSubtablePointer = 1u << 15;
inline constexpr std::uint32_t kMainAlignedFollows = 3u << 6;  // the aligned shift, 3
inline constexpr std::uint32_t kMainLengthFollows = 1u << 14;
inline constexpr std::uint32_t kConsumeMask = 0x3F;
inline constexpr int kEntryMatchLengthShift = 22;

inline bool IsLiteralEntry(std::uint32_t entry) { return static_cast<std::int32_t>(entry) >= 0; }
inline std::uint8_t EntryLiteral(std::uint32_t entry) { return static_cast<std::uint8_t>(entry >> 16); }
inline int EntryConsume(std::uint32_t entry) { return static_cast<int>(entry & kConsumeMask); }
inline int EntryOffsetBits(std::uint32_t entry) { return static_cast<int>((entry >> 8) & 31); }
inline std::uint32_t EntrySlot(std::uint32_t entry) { return (entry >> 16) & 63; }
inline std::uint32_t EntryMatchLength(std::uint32_t entry) { return (entry >> kEntryMatchLengthShift) & 0x1FF; }
inline std::uint32_t EntrySymbol(std::uint32_t entry) { return (entry >> 16) & 0xFF; }
// 3 when an aligned symbol supplies the offset's low 3 bits, else 0.
inline int EntryAlignedShift(std::uint32_t entry) { return static_cast<int>((entry >> 6) & 3); }

template <int kBits, int kSymbols>
struct SubtableCode {
  static constexpr int kTableBits = kBits;
  static constexpr int kDirectEntries = 1 << kBits;
  // A subtable of 2^k entries holds at least k + 1 codes, so the codes longer than kBits need no more
  // than this (k is at most 16 - kBits).
  static constexpr int kLongestSubtable = kMaxCodeBits - kBits;
  static constexpr int kSubtableRoom =
      (kSymbols * (1 << kLongestSubtable) + kLongestSubtable) / (kLongestSubtable + 1);
  static_assert(kDirectEntries + kSubtableRoom <= 0x3FFF, "subtable starts fit 14 bits");
  std::array<std::uint32_t, kDirectEntries + kSubtableRoom> entries{};

  // The entry for the code at the top of `buffer` (at least 16 bits valid there).
  std::uint32_t Lookup(std::uint64_t buffer) const {
    std::uint32_t entry = entries[buffer >> (64 - kBits)];
    if (entry & kSubtablePointer) [[unlikely]] {
      entry = entries[((entry >> 16) & 0x3FFF) + ((buffer << kBits) >> (64 - (entry & kConsumeMask)))];
    }
    return entry;
  }
};

struct MainTable : SubtableCode<kMainBits, kMainSymbols> {};
struct LengthTable : SubtableCode<kLengthBits, kLengthSymbols> {};

// Fills `table` from the code lengths of the kLengthSymbols length symbols. Returns false when the lengths
// form no valid code.
bool BuildLengthTable(std::span<const std::uint8_t, kLengthSymbols> lengths, LengthTable& table);

// Fills `table` from the code lengths of the kMainSymbols main symbols for a block whose offsets end in
// aligned symbols, or not, folding in the codes of `lengthTable` (already built for the block). Returns
// false when the lengths form no valid code.
bool BuildMainTable(std::span<const std::uint8_t, kMainSymbols> lengths, bool alignedSymbols,
                    const LengthTable& lengthTable, MainTable& table);

}  // namespace tessaly::lzx
