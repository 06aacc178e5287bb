// Fuzz target: the LZX decoder alone.
//
// Input: byte 0 picks the window (15 + byte % 7 bits), bytes 1..3 the plain
// length (up to 1 MiB), byte 4 the number of calls the output is split into
// (1..4: the stream continues across calls, each call with its own slice of
// the input, as the book reader hands over one reset interval's blocks).
// The rest is the bit stream. A second decoder run after a Reset on the same
// object must not depend on what the first one left behind.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "lzx/lzx_decoder.h"

namespace {

constexpr std::size_t kPrefix = 5;
constexpr std::uint32_t kMaxOutput = 1u << 20;

tessaly::LzxStatus Run(tessaly::LzxDecoder& decoder, int windowBits, std::span<const std::uint8_t> stream,
                       std::uint32_t outputLength, unsigned calls, std::vector<std::uint8_t>& output) {
  tessaly::LzxStatus status = decoder.Reset(windowBits);
  if (status != tessaly::LzxStatus::Ok) return status;
  output.assign(outputLength, 0);
  const std::size_t inputStep = stream.size() / calls;
  const std::size_t outputStep = outputLength / calls;
  for (unsigned call = 0; call < calls; ++call) {
    const bool last = call + 1 == calls;
    const std::size_t inStart = call * inputStep;
    const std::size_t inLength = last ? stream.size() - inStart : inputStep;
    const std::size_t outStart = call * outputStep;
    const std::size_t outLength = last ? outputLength - outStart : outputStep;
    status = decoder.Decompress(stream.subspan(inStart, inLength),
                                std::span<std::uint8_t>(output).subspan(outStart, outLength));
    if (status != tessaly::LzxStatus::Ok) return status;
  }
  return status;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kPrefix) return 0;
  const int windowBits = 15 + data[0] % 7;
  const std::uint32_t outputLength =
      (static_cast<std::uint32_t>(data[1]) | static_cast<std::uint32_t>(data[2]) << 8 |
       static_cast<std::uint32_t>(data[3]) << 16) %
      (kMaxOutput + 1);
  const unsigned calls = 1 + data[4] % 4;
  const std::span<const std::uint8_t> stream(data + kPrefix, size - kPrefix);

  static tessaly::LzxDecoder decoder;  // reused, as a book reuses its decoder
  std::vector<std::uint8_t> first;
  const tessaly::LzxStatus status = Run(decoder, windowBits, stream, outputLength, calls, first);
  if (status == tessaly::LzxStatus::Ok) {
    // Decoding is a pure function of the stream once Reset: the same again.
    std::vector<std::uint8_t> second;
    if (Run(decoder, windowBits, stream, outputLength, calls, second) != tessaly::LzxStatus::Ok ||
        second != first) {
      __builtin_trap();
    }
  }
  return 0;
}
