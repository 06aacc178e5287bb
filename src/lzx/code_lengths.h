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
#include <cstdint>
#include <span>

#include "lzx/lzx_tables.h"

namespace tessaly::lzx {

struct CodeLengths {
  enum class Kind { kComplete, kEmpty, kInvalid };
  Kind kind = Kind::kInvalid;
  std::array<std::uint32_t, kMaxCodeBits + 1> count{};  // symbols of each length, 1 .. kMaxCodeBits
  int maxLength = 0;
};

CodeLengths MeasureCodeLengths(std::span<const std::uint8_t> lengths);

}  // namespace tessaly::lzx
