#include "lzx/huffman_table.h"

#include <algorithm>
#include <cstring>

#include "lzx/code_lengths.h"

namespace tessaly::lzx {

void Fail(LzxStatus status) { throw Failure{status}; }

namespace {

constexpr std::uint16_t Leaf(std::size_t symbol, int length) {
  return static_cast<std::uint16_t>((length << kEntryLengthShift) | symbol);
}

// Fills a run of entries whose length is a power of two, several at a time when it can.
inline void FillEntries(std::uint16_t* at, std::size_t count, std::uint16_t value) {
  const std::uint64_t four = value * 0x0001000100010001ull;
  if (count >= 8) {
    const std::uint64_t eight[2] = {four, four};
    for (std::size_t i = 0; i < count; i += 8) std::memcpy(at + i, eight, sizeof eight);
  } else if (count == 4) {
    std::memcpy(at, &four, sizeof four);
  } else {
    for (std::size_t i = 0; i < count; ++i) at[i] = value;
  }
}

}  // namespace

bool BuildDecodeTable(std::span<const std::uint8_t> lengths, int tableBits, std::span<std::uint16_t> entries) {
  const std::size_t direct = std::size_t{1} << tableBits;
  const CodeLengths measured = MeasureCodeLengths(lengths);
  if (measured.kind == CodeLengths::Kind::kInvalid) return false;
  if (measured.kind == CodeLengths::Kind::kEmpty) {
    // Symbol 0 without consuming bits.
    std::fill_n(entries.begin(), direct, std::uint16_t{0});
    return true;
  }
  const std::array<std::uint32_t, kMaxCodeBits + 1>& lengthCount = measured.count;
  // Short codes fill the front of the direct table in canonical order; the rest holds the roots of the
  // overflow nodes, which start out empty.
  std::size_t shortEnd = 0;
  for (int length = 1; length <= std::min(tableBits, kMaxCodeBits); ++length) {
    shortEnd += std::size_t{lengthCount[length]} << (tableBits - length);
  }
  std::fill(entries.begin() + static_cast<std::ptrdiff_t>(shortEnd), entries.begin() + static_cast<std::ptrdiff_t>(direct),
            std::uint16_t{0});

  // First canonical code of each length.
  std::array<std::uint32_t, kMaxCodeBits + 1> nextCode{};
  std::uint32_t code = 0;
  for (int length = 1; length <= kMaxCodeBits; ++length) {
    code = (code + (length > 1 ? lengthCount[length - 1] : 0)) << 1;
    nextCode[length] = code;
  }

  std::size_t nextNode = direct;
  for (std::size_t symbol = 0; symbol < lengths.size(); ++symbol) {
    const int length = lengths[symbol];
    if (length == 0 || length > kMaxCodeBits) continue;
    const std::uint32_t symbolCode = nextCode[length]++;
    if (length <= tableBits) {
      const std::size_t first = std::size_t{symbolCode} << (tableBits - length);
      FillEntries(entries.data() + first, std::size_t{1} << (tableBits - length), Leaf(symbol, length));
      continue;
    }
    std::size_t at = symbolCode >> (length - tableBits);
    for (int bit = length - tableBits - 1; bit >= 0; --bit) {
      if (!(entries[at] & kNodeFlag)) {
        // A complete code needs at most one node pair per long code; more would mean a broken invariant.
        if (nextNode + 2 > entries.size()) return false;
        entries[nextNode] = entries[nextNode + 1] = 0;
        entries[at] = static_cast<std::uint16_t>(kNodeFlag | nextNode);
        nextNode += 2;
      }
      at = (entries[at] & kNodeIndexMask) + ((symbolCode >> bit) & 1);
    }
    entries[at] = Leaf(symbol, length);
  }
  return true;
}

std::uint16_t WalkOverflow(std::span<const std::uint16_t> entries, std::uint16_t entry, std::uint64_t buffer,
                           int tableBits) {
  for (int bit = 63 - tableBits; bit >= 64 - kMaxCodeBits; --bit) {
    entry = entries[(entry & kNodeIndexMask) + ((buffer >> bit) & 1)];
    if (!(entry & kNodeFlag)) return entry;
  }
  Fail(LzxStatus::BadData);  // the code does not end within 16 bits
}

void ReadLengths(BitReader& bits, Pretree& pretree, std::span<std::uint8_t> lengths, int first, int last) {
  for (int x = 0; x < kPretreeSymbols; ++x) {
    pretree.lengths[x] = static_cast<std::uint8_t>(bits.ReadBits(kPretreeLengthBits));
  }
  pretree.Build();
  const std::size_t end = lengths.size();
  // Deltas are taken modulo 17; stored values keep their low 8 bits (they may be lengths no code uses).
  const auto delta = [](int previous, int change) {
    int value = previous - change;
    if (value < 0) value += 17;
    return static_cast<std::uint8_t>(value);
  };
  std::size_t x = static_cast<std::size_t>(first);
  while (x < static_cast<std::size_t>(last)) {
    const int z = pretree.Decode(bits);
    if (z < 17) {  // the common case: one delta
      lengths[x] = delta(lengths[x], z);
      ++x;
      continue;
    }
    std::size_t run;
    std::uint8_t value = 0;
    if (z == 17) {
      run = bits.ReadBits(4) + 4;
    } else if (z == 18) {
      run = bits.ReadBits(5) + 20;
    } else {
      run = bits.ReadBits(1) + 4;
      value = delta(lengths[x], pretree.Decode(bits));
    }
    std::fill(lengths.begin() + x, lengths.begin() + std::min(x + run, end), value);
    x += run;
  }
}

}  // namespace tessaly::lzx
