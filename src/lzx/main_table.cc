#include "lzx/main_table.h"

#include <algorithm>
#include <cstring>

namespace tessaly::lzx {

namespace {

// The entry of each main symbol without its code length, for verbatim or for aligned blocks.
constexpr std::array<std::uint32_t, kMainSymbols> MakeSymbolEntries(bool aligned) {
  std::array<std::uint32_t, kMainSymbols> entries{};
  for (int symbol = 0; symbol < kMainSymbols; ++symbol) {
    if (symbol < kLiteralCount) {
      entries[symbol] = static_cast<std::uint32_t>(symbol) << 16;
      continue;
    }
    const int header = (symbol - kLiteralCount) % kLengthHeaders;
    const int slot = (symbol - kLiteralCount) / kLengthHeaders;
    int offsetBits = kExtraBits[slot];
    std::uint32_t entry = kMainMatch | static_cast<std::uint32_t>(header + kMinMatch) << 24 |
                          static_cast<std::uint32_t>(slot) << 16;
    if (aligned && offsetBits >= 3) {
      offsetBits -= 3;
      entry |= kMainAlignedFollows;
    }
    entry |= static_cast<std::uint32_t>(offsetBits) << 8;
    if (header == kLongLengthHeader) {
      entry |= kMainLengthFollows;
    } else {
      entry += static_cast<std::uint32_t>(offsetBits);
    }
    entries[symbol] = entry;
  }
  return entries;
}

constexpr std::array<std::uint32_t, kMainSymbols> kVerbatimEntries = MakeSymbolEntries(false);
constexpr std::array<std::uint32_t, kMainSymbols> kAlignedEntries = MakeSymbolEntries(true);

// 16 + 17 bits at most: the consume field holds it.
static_assert(kMaxCodeBits + 17 <= static_cast<int>(kMainConsumeMask));
static_assert(MainTable::kDirectEntries + MainTable::kSubtableRoom <= 0x3FFF, "subtable starts fit 14 bits");

// Writes `count` (a power of two) copies of `value`.
inline void FillEntries(std::uint32_t* at, std::size_t count, std::uint32_t value) {
  if (count >= 4) {
    const std::uint32_t four[4] = {value, value, value, value};
    for (std::size_t i = 0; i < count; i += 4) std::memcpy(at + i, four, sizeof four);
  } else {
    for (std::size_t i = 0; i < count; ++i) at[i] = value;
  }
}

}  // namespace

bool BuildMainTable(std::span<const std::uint8_t, kMainSymbols> lengths, bool aligned, MainTable& table) {
  const std::array<std::uint32_t, kMainSymbols>& symbolEntries = aligned ? kAlignedEntries : kVerbatimEntries;
  std::uint32_t* const entries = table.entries.data();
  std::array<std::uint32_t, kMaxCodeBits + 1> lengthCount{};
  bool anyLength = false;
  for (const std::uint8_t length : lengths) {
    anyLength |= length != 0;
    if (length <= kMaxCodeBits) ++lengthCount[length];
  }
  // Code space used, in units of 2^-16 of the whole.
  std::uint32_t used = 0;
  int maxLength = 0;
  for (int length = 1; length <= kMaxCodeBits; ++length) {
    used += lengthCount[length] << (kMaxCodeBits - length);
    if (lengthCount[length] != 0) maxLength = length;
  }
  constexpr std::uint32_t kFull = 1u << kMaxCodeBits;
  if (used > kFull) return false;  // over-subscribed
  if (used < kFull) {
    // Incomplete; all zero is the empty code: literal 0, consuming nothing (entry 0).
    std::fill_n(entries, MainTable::kDirectEntries, std::uint32_t{0});
    return !anyLength;
  }

  // Symbols in canonical order: by code length, then by symbol.
  std::array<std::uint16_t, kMainSymbols> sorted;
  std::array<std::uint32_t, kMaxCodeBits + 2> next{};
  for (int length = 1; length <= kMaxCodeBits; ++length) next[length + 1] = next[length] + lengthCount[length];
  for (int symbol = 0; symbol < kMainSymbols; ++symbol) {
    const int length = lengths[symbol];
    if (length != 0 && length <= kMaxCodeBits) sorted[next[length]++] = static_cast<std::uint16_t>(symbol);
  }

  // Canonical codes of one length are consecutive, so the direct entries of the short codes fill the
  // table front to back.
  std::size_t at = 0;
  std::size_t i = 0;
  for (int length = 1; length <= std::min(maxLength, kMainBits); ++length) {
    const std::size_t span = std::size_t{1} << (kMainBits - length);
    for (std::uint32_t n = 0; n < lengthCount[length]; ++n, ++i, at += span) {
      const std::uint16_t symbol = sorted[i];
      FillEntries(entries + at, span, symbolEntries[symbol] + static_cast<std::uint32_t>(length));
    }
  }
  if (maxLength <= kMainBits) return true;

  // Long codes, in the same order, as positions in a table of maxLength bits: the first kMainBits bits
  // pick the subtable pointer, the rest the entry within.
  const int subtableBits = maxLength - kMainBits;
  const std::size_t subtableSize = std::size_t{1} << subtableBits;
  std::size_t code = at << subtableBits;
  std::size_t subtableStart = 0;
  std::size_t nextSubtable = MainTable::kDirectEntries;
  for (int length = kMainBits + 1; length <= maxLength; ++length) {
    const std::size_t span = std::size_t{1} << (maxLength - length);
    for (std::uint32_t n = 0; n < lengthCount[length]; ++n, ++i, code += span) {
      if ((code & (subtableSize - 1)) == 0) {
        // A complete code never needs more room than kSubtableRoom; the check guards the invariant.
        if (nextSubtable + subtableSize > table.entries.size()) return false;
        subtableStart = nextSubtable;
        nextSubtable += subtableSize;
        entries[code >> subtableBits] = kMainMatch | kMainSubtable | static_cast<std::uint32_t>(subtableStart) << 8 |
                                        static_cast<std::uint32_t>(subtableBits);
      }
      const std::uint16_t symbol = sorted[i];
      FillEntries(entries + subtableStart + (code & (subtableSize - 1)), span,
                  symbolEntries[symbol] + static_cast<std::uint32_t>(length));
    }
  }
  return true;
}

}  // namespace tessaly::lzx
