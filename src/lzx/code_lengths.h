// What a list of code lengths makes: how many symbols have each length, the
// longest, and whether the lengths form a code the decoder can take. Both
// table builders (huffman_table.h, main_table.h) start from this.
//
// A complete code fills the code space exactly. Lengths that are all zero
// are the empty code: it decodes symbol 0 and consumes no bits. Anything
// else (over-subscribed, or incomplete but not empty) is no code. Lengths
// above kMaxCodeBits take no part.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "lzx/lzx_tables.h"

namespace tessaly::lzx {

struct CodeLengths {
  enum class Kind { kComplete, kEmpty, kInvalid };
  Kind kind = Kind::kInvalid;
  std::array<std::uint32_t, kMaxCodeBits + 1> count{};  // symbols of each length, 1 .. kMaxCodeBits (count[0] unused)
  int maxLength = 0;
};

CodeLengths MeasureCodeLengths(std::span<const std::uint8_t> lengths);

// Calls visit(symbol, length) for every symbol of nonzero length, in symbol order. A block uses few of the
// main tree's symbols, so eight zero lengths at a time are passed over with one load.
template <typename Visit>
inline void ForEachNonzeroLength(std::span<const std::uint8_t> lengths, Visit visit) {
  const std::size_t n = lengths.size();
  std::size_t group = 0;
  for (; n - group >= 8; group += 8) {
    std::uint64_t eight;
    std::memcpy(&eight, lengths.data() + group, 8);
    if (eight == 0) continue;
    for (std::size_t symbol = group; symbol < group + 8; ++symbol) {
      if (lengths[symbol] != 0) visit(symbol, int{lengths[symbol]});
    }
  }
  for (std::size_t symbol = group; symbol < n; ++symbol) {
    if (lengths[symbol] != 0) visit(symbol, int{lengths[symbol]});
  }
}

}  // namespace tessaly::lzx
