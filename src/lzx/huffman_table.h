// Canonical Huffman decoding tables for the pretree and the aligned tree (the main and length trees have
// their own, see main_table.h), and ReadLengths, the pretree-coded transmission of code lengths.
//
// Codes are canonical: ordered by length, then by symbol, read most significant bit first. A code of up to
// tableBits bits resolves with one lookup in the direct part of the table; a longer one continues through
// overflow nodes, one entry per further bit (codes are at most 16 bits). Lengths above 16 take no part in
// the code. A code whose lengths are all zero is accepted: it decodes symbol 0 and consumes no bits.
//
// Entry layout (16 bits): a leaf holds the symbol in bits 0-9 and its code length in bits 10-14; a node has
// bit 15 set and holds in bits 0-14 the index of its two children (next bit 0, next bit 1).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "lzx/bit_reader.h"
#include "lzx/lzx_tables.h"

namespace tessaly::lzx {

inline constexpr std::uint16_t kNodeFlag = 0x8000;
inline constexpr int kEntryLengthShift = 10;
inline constexpr std::uint16_t kEntrySymbolMask = 0x3FF;
inline constexpr std::uint16_t kNodeIndexMask = 0x7FFF;

// Fills `entries` (2^tableBits direct entries, then room for the overflow nodes) from `lengths`.
// Returns false when the lengths form no valid code: over-subscribed, or incomplete but not all zero.
bool BuildDecodeTable(std::span<const std::uint8_t> lengths, int tableBits, std::span<std::uint16_t> entries);

// Follows the overflow nodes below a direct entry; `buffer` holds the code in its top bits.
std::uint16_t WalkOverflow(std::span<const std::uint16_t> entries, std::uint16_t entry, std::uint64_t buffer,
                           int tableBits);

template <int kTableBits, int kSymbols>
struct HuffmanTable {
  static constexpr int kTableBitsValue = kTableBits;
  static constexpr int kSymbolCount = kSymbols;
  static constexpr int kDirectEntries = 1 << kTableBits;
  static constexpr int kEntryCount = kDirectEntries + 2 * kSymbols;
  static constexpr int kLengthCount = kSymbols + kLengthSlack;
  static_assert(kSymbols <= kEntrySymbolMask + 1, "symbols must fit an entry");
  static_assert(kEntryCount <= kNodeIndexMask + 1, "node indices must fit an entry");
  static_assert(kTableBits >= 1 && kTableBits <= kMaxCodeBits);

  std::array<std::uint8_t, kLengthCount> lengths{};
  std::array<std::uint16_t, kEntryCount> entries{};

  // Rebuilds the entries from lengths[0 .. kSymbols - 1]; fails with BadData on an invalid code.
  void Build() {
    if (!BuildDecodeTable(std::span<const std::uint8_t>(lengths.data(), kSymbols), kTableBits, entries)) {
      Fail(LzxStatus::BadData);
    }
  }

  // The direct entry for the next bits (a leaf, or the root of overflow nodes).
  std::uint16_t Lookup(const BitReader& bits) const { return entries[bits.buffer >> (64 - kTableBits)]; }

  // Decodes one symbol; at least 16 bits must be held.
  [[gnu::always_inline]] int DecodeHeld(BitReader& bits) const {
    std::uint16_t entry = entries[bits.buffer >> (64 - kTableBits)];
    if (entry & kNodeFlag) [[unlikely]] {
      entry = WalkOverflow(entries, entry, bits.buffer, kTableBits);
    }
    bits.Remove(entry >> kEntryLengthShift);
    return entry & kEntrySymbolMask;
  }

  [[gnu::always_inline]] int Decode(BitReader& bits) const {
    bits.Refill();
    return DecodeHeld(bits);
  }
};

using Pretree = HuffmanTable<kPretreeBits, kPretreeSymbols>;
using AlignedTree = HuffmanTable<kAlignedBits, kAlignedSymbols>;

static_assert(Pretree::kEntryCount == 104 && AlignedTree::kEntryCount == 144);
static_assert(Pretree::kLengthCount == 84);

// Reads code lengths for positions first .. last - 1 of `lengths`, each sent as a delta against the value
// already there (runs of zeros and repeated deltas are coded by pretree symbols 17, 18, 19). Runs may write
// past last, into the spare bytes. Sends its own pretree first.
void ReadLengths(BitReader& bits, Pretree& pretree, std::span<std::uint8_t> lengths, int first, int last);

}  // namespace tessaly::lzx
