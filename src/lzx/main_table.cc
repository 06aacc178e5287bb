#include "lzx/main_table.h"

#include <algorithm>
#include <cstring>

#include "lzx/code_lengths.h"

namespace tessaly::lzx {

namespace {

// The entry of each main symbol without its code length, for blocks with or without aligned symbols.
constexpr std::array<std::uint32_t, kMainSymbols> MakeMainEntries(bool alignedSymbols) {
  std::array<std::uint32_t, kMainSymbols> entries{};
  for (int symbol = 0; symbol < kMainSymbols; ++symbol) {
    if (symbol < kLiteralCount) {
      entries[symbol] = static_cast<std::uint32_t>(symbol) << 16;
      continue;
    }
    const int header = (symbol - kLiteralCount) % kLengthHeaders;
    const int slot = (symbol - kLiteralCount) / kLengthHeaders;
    int offsetBits = kExtraBits[slot];
    std::uint32_t entry = kMainMatch | static_cast<std::uint32_t>(header + kMinMatch) << kEntryMatchLengthShift |
                          static_cast<std::uint32_t>(slot) << 16;
    if (alignedSymbols && offsetBits >= 3) {
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

constexpr std::array<std::uint32_t, kMainSymbols> kVerbatimEntries = MakeMainEntries(false);
constexpr std::array<std::uint32_t, kMainSymbols> kAlignedEntries = MakeMainEntries(true);

constexpr std::array<std::uint32_t, kLengthSymbols> MakeLengthEntries() {
  std::array<std::uint32_t, kLengthSymbols> entries{};
  for (int symbol = 0; symbol < kLengthSymbols; ++symbol) entries[symbol] = static_cast<std::uint32_t>(symbol) << 16;
  return entries;
}
constexpr std::array<std::uint32_t, kLengthSymbols> kLengthEntries = MakeLengthEntries();

// A code and its offset bits fit the consume field.
static_assert(kMaxCodeBits + 17 <= static_cast<int>(kConsumeMask));
// The longest match fits the length field.
static_assert(kMinMatch + kLongLengthHeader + kLengthSymbols - 1 <= 0x1FF);

// Writes `count` (a power of two) copies of `value`.
inline void FillEntries(std::uint32_t* at, std::size_t count, std::uint32_t value) {
  if (count >= 4) {
    const std::uint32_t four[4] = {value, value, value, value};
    for (std::size_t i = 0; i < count; i += 4) std::memcpy(at + i, four, sizeof four);
  } else {
    for (std::size_t i = 0; i < count; ++i) at[i] = value;
  }
}

// Fills `entries` from code lengths: the entry of symbol s is symbolEntries[s] plus its code length.
// `fillDirect(at, spanBits, entry)` writes the 2^spanBits direct entries of a code that ends spanBits bits
// before the table's width. Returns false when the lengths form no valid code.
template <typename FillDirect>
bool BuildSubtableCode(std::span<const std::uint8_t> lengths, int tableBits, const std::uint32_t* symbolEntries,
                       std::span<std::uint32_t> entries, FillDirect fillDirect) {
  const std::size_t direct = std::size_t{1} << tableBits;
  const CodeLengths measured = MeasureCodeLengths(lengths);
  if (measured.kind == CodeLengths::Kind::kInvalid) return false;
  if (measured.kind == CodeLengths::Kind::kEmpty) {
    // Symbol 0, consuming nothing.
    std::fill_n(entries.begin(), direct, symbolEntries[0]);
    return true;
  }
  const std::array<std::uint32_t, kMaxCodeBits + 1>& lengthCount = measured.count;
  const int maxLength = measured.maxLength;

  // Symbols in canonical order: by code length, then by symbol.
  std::array<std::uint16_t, kMainSymbols> sorted;
  if (lengths.size() > sorted.size()) return false;
  std::array<std::uint32_t, kMaxCodeBits + 2> next{};
  for (int length = 1; length <= kMaxCodeBits; ++length) next[length + 1] = next[length] + lengthCount[length];
  ForEachNonzeroLength(lengths, [&](std::size_t symbol, int length) {
    if (length <= kMaxCodeBits) sorted[next[length]++] = static_cast<std::uint16_t>(symbol);
  });

  // Canonical codes of one length are consecutive, so the direct entries of the short codes fill the
  // table front to back.
  std::uint32_t* const table = entries.data();
  std::size_t at = 0;
  std::size_t i = 0;
  for (int length = 1; length <= std::min(maxLength, tableBits); ++length) {
    const std::size_t span = std::size_t{1} << (tableBits - length);
    for (std::uint32_t n = 0; n < lengthCount[length]; ++n, ++i, at += span) {
      fillDirect(table + at, tableBits - length, symbolEntries[sorted[i]] + static_cast<std::uint32_t>(length));
    }
  }
  if (maxLength <= tableBits) return true;

  // Long codes, in the same order. A new prefix (first tableBits bits) opens a subtable just wide enough
  // for the codes under it: the smallest width whose codes, taken in order, fill it.
  std::size_t code = at;  // the next code, as `length` bits
  int codeLength = tableBits;
  std::size_t prefix = direct;  // none yet
  std::size_t subtable = 0;
  int subtableBits = 0;
  std::size_t nextSubtable = direct;
  std::array<std::uint32_t, kMaxCodeBits + 1> remaining = lengthCount;  // long codes not yet placed
  for (int length = tableBits + 1; length <= maxLength; ++length) {
    for (std::uint32_t n = 0; n < lengthCount[length]; ++n, ++i, ++code) {
      code <<= length - codeLength;
      codeLength = length;
      const int below = length - tableBits;  // code bits after the prefix
      if ((code >> below) != prefix) {
        prefix = code >> below;
        subtableBits = below;
        std::int64_t left = std::int64_t{1} << subtableBits;
        while (tableBits + subtableBits < maxLength) {
          left -= remaining[static_cast<std::size_t>(tableBits + subtableBits)];
          if (left <= 0) break;
          ++subtableBits;
          left <<= 1;
        }
        // A complete code never needs more room than the table has; the check guards the invariant.
        if (nextSubtable + (std::size_t{1} << subtableBits) > entries.size()) return false;
        subtable = nextSubtable;
        nextSubtable += std::size_t{1} << subtableBits;
        table[prefix] = kSubtablePointer | static_cast<std::uint32_t>(subtable) << 16 |
                        static_cast<std::uint32_t>(subtableBits);
      }
      const int spanBits = subtableBits - below;
      const std::size_t first = (code & ((std::size_t{1} << below) - 1)) << spanBits;
      FillEntries(table + subtable + first, std::size_t{1} << spanBits,
                  symbolEntries[sorted[i]] + static_cast<std::uint32_t>(length));
      --remaining[length];
    }
  }
  return true;
}

}  // namespace

bool BuildLengthTable(std::span<const std::uint8_t, kLengthSymbols> lengths, LengthTable& table) {
  return BuildSubtableCode(lengths, kLengthBits, kLengthEntries.data(), table.entries,
                           [](std::uint32_t* at, int spanBits, std::uint32_t entry) {
                             FillEntries(at, std::size_t{1} << spanBits, entry);
                           });
}

bool BuildMainTable(std::span<const std::uint8_t, kMainSymbols> lengths, bool alignedSymbols,
                    const LengthTable& lengthTable, MainTable& table) {
  // A match whose length symbol follows: its direct entries look at the spanBits bits after the main code,
  // and take in the length code when they hold all of it. Canonical length codes of up to spanBits bits
  // come first, each over a run of 2^(spanBits - its length) entries; the longer ones follow, one entry each.
  const auto fillDirect = [&lengthTable](std::uint32_t* at, int spanBits, std::uint32_t entry) {
    const std::uint32_t count = 1u << spanBits;
    if (!(entry & kMainLengthFollows)) {
      FillEntries(at, count, entry);
      return;
    }
    const std::uint32_t folded = entry - kMainLengthFollows + static_cast<std::uint32_t>(EntryOffsetBits(entry));
    for (std::uint32_t j = 0; j < count;) {
      const std::uint32_t index =
          spanBits <= kLengthBits ? j << (kLengthBits - spanBits) : j >> (spanBits - kLengthBits);
      const std::uint32_t lengthEntry = lengthTable.entries[index];
      const int lengthBits = EntryConsume(lengthEntry);
      if ((lengthEntry & kSubtablePointer) || lengthBits > spanBits) {
        at[j++] = entry;
        continue;
      }
      const std::uint32_t run = 1u << (spanBits - lengthBits);
      FillEntries(at + j, run,
                  folded + (EntrySymbol(lengthEntry) << kEntryMatchLengthShift) + static_cast<std::uint32_t>(lengthBits));
      j += run;
    }
  };
  return BuildSubtableCode(lengths, kMainBits, alignedSymbols ? kAlignedEntries.data() : kVerbatimEntries.data(),
                           table.entries, fillDirect);
}

}  // namespace tessaly::lzx
