// LZX decompressor for the compressed content section of a CHM book.
//
// The input is an LZX bit stream (16-bit little-endian words read from the top bit down) that starts at a
// reset point. A stream is a sequence of blocks: verbatim (1), aligned offset (2) or uncompressed (3), each
// sending its own Huffman trees as deltas against the previous ones. The decoder keeps a sliding window of
// 2^windowBits bytes; every time the window fills, the next block header starts a fresh interval (trees,
// repeated offsets and the E8 header are reset). The output of each call can carry x86 CALL (0xE8)
// translation, undone here over the whole output of the call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <memory_resource>
#include <span>

namespace tessaly {

enum class LzxStatus : int { Ok = 0, BadFormat = 1, BadData = 2, NoMemory = 3 };

// A read-only view of the decoder's persistent state, for diagnostics and tests.
struct LzxDecoderState {
  std::uint32_t windowSize = 0;
  std::uint32_t windowPosition = 0;
  std::uint32_t r0 = 0, r1 = 0, r2 = 0;
  std::uint16_t blockType = 0;
  std::uint32_t blockLength = 0;
  std::uint32_t blockRemaining = 0;
  bool headerRead = false;
  std::uint32_t callCount = 0;
  std::int32_t e8TranslationSize = 0;
  std::int32_t e8Position = 0;
  bool e8Started = false;
};

class LzxDecoder {
 public:
  // Allocates the four Huffman tables; no window until the first Reset. Throws std::bad_alloc.
  LzxDecoder();
  // Same, with the window taken from `windowMemory` (which must outlive the decoder).
  explicit LzxDecoder(std::pmr::memory_resource* windowMemory);
  ~LzxDecoder();
  LzxDecoder(const LzxDecoder&) = delete;
  LzxDecoder& operator=(const LzxDecoder&) = delete;

  // Starts a new stream with a window of 2^windowBits bytes (15..21). Out of range: BadFormat, nothing
  // changed. A window that cannot be allocated: NoMemory, and the decoder has no window until a later
  // Reset succeeds. A window at least as large from an earlier Reset is reused. (The buffer holds two
  // window sizes: the current pass and the one before it.)
  LzxStatus Reset(int windowBits);

  // Decodes exactly output.size() plain bytes from `input`, continuing the stream where the previous call
  // stopped (the bit reader itself starts afresh at input[0]). On failure the output is undefined and the
  // decoder stays as the failure left it until the next Reset. Without a window (no successful Reset)
  // the call returns NoMemory. A match running past the end of the request is cut there; one running
  // past the end of its block while the request goes on counts against the next block.
  LzxStatus Decompress(std::span<const std::uint8_t> input, std::span<std::uint8_t> output);

  LzxDecoderState State() const;

 private:
  struct Tables;
  struct RunState;

  void DecompressOrFail(std::span<const std::uint8_t> input, std::span<std::uint8_t> output);
  void ReadBlockHeader(RunState& run);
  void DecodeCodedRun(RunState& run, std::uint32_t runEnd, std::uint32_t writeLimit, bool trimAllowed);
  void TranslateE8(std::span<std::uint8_t> output);
  void StartNextPass();
  void ReleaseWindow();

  std::pmr::memory_resource* windowMemory_;
  std::unique_ptr<Tables> tables_;
  // Two passes of the window, see BufferBytes; window position p of the current pass is at
  // window_[passBase_ + p].
  std::uint8_t* window_ = nullptr;
  std::uint32_t windowCapacity_ = 0;
  std::uint32_t passBase_ = 0;  // 0 until the window first fills after Reset, then the window size
  std::uint32_t windowSize_ = 0;
  std::uint32_t windowPosition_ = 0;
  std::uint32_t r0_ = 1, r1_ = 1, r2_ = 1;
  std::uint32_t mainElements_ = 0;
  bool headerRead_ = false;
  std::uint16_t blockType_ = 0;
  bool alignedSymbols_ = false;  // a coded block whose offsets end in aligned-tree symbols
  std::uint32_t blockLength_ = 0;
  std::uint32_t blockRemaining_ = 0;
  // Bytes that a match of the previous block already placed at the start of the next block.
  std::uint32_t carriedOvershoot_ = 0;
  std::uint32_t callCount_ = 0;
  std::int32_t e8TranslationSize_ = 0;
  std::uint32_t e8Position_ = 0;  // kept unsigned so that it wraps; seen as signed 32-bit
  bool e8Started_ = false;
};

}  // namespace tessaly
