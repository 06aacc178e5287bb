#include "lzx/code_lengths.h"

namespace tessaly::lzx {

CodeLengths MeasureCodeLengths(std::span<const std::uint8_t> lengths) {
  CodeLengths code;
  bool anyLength = false;
  ForEachNonzeroLength(lengths, [&](std::size_t, int length) {
    anyLength = true;
    if (length <= kMaxCodeBits) ++code.count[length];
  });
  // Code space used, in units of 2^-kMaxCodeBits of the whole.
  std::uint32_t used = 0;
  for (int length = 1; length <= kMaxCodeBits; ++length) {
    used += code.count[length] << (kMaxCodeBits - length);
    if (code.count[length] != 0) code.maxLength = length;
  }
  constexpr std::uint32_t kFull = 1u << kMaxCodeBits;
  code.kind = used == kFull                 ? CodeLengths::Kind::kComplete
              : used < kFull && !anyLength ? CodeLengths::Kind::kEmpty
                                           : CodeLengths::Kind::kInvalid;
  return code;
}

}  // namespace tessaly::lzx
