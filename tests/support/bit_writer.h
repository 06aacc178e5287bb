// Test support: writing LZX streams.
//
// LzxBitWriter emits the raw bit stream (16-bit little-endian words, each filled from bit 15 down) and the
// byte-aligned parts of uncompressed blocks. LzxStreamBuilder sits on top of it and mirrors the state a
// decoder keeps (window position, repeated offsets, previous code lengths, E8 header), so that tests can
// write verbatim, aligned and uncompressed blocks with given trees, literals and matches; it also offers a
// small greedy compressor for round trips and benchmarks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tessaly::test {

class LzxBitWriter {
 public:
  // Appends the low `count` bits of `value` (0..32), most significant first.
  void WriteBits(std::uint32_t value, int count);
  // Zero bits up to the next word boundary (none when on one).
  void PadToWord();
  // Ends the bit stream the way an uncompressed block header does: the rest of the current word is
  // padding, or a whole zero word when the stream is exactly on a word boundary. Bytes may follow.
  void EndBitsForBytes();
  // Raw bytes; only between EndBitsForBytes and the next WriteBits. The bit stream restarts after them.
  void WriteBytes(std::span<const std::uint8_t> bytes);
  void WriteByte(std::uint8_t byte);
  void WriteLe32(std::uint32_t value);

  // Bits written since the bit stream (re)started.
  std::uint64_t BitPosition() const { return bitsSinceStart_; }
  // Bytes complete so far (a partly filled word is not included).
  std::size_t ByteSize() const { return bytes_.size(); }
  // The stream so far, padded to a word.
  std::vector<std::uint8_t> Finish();

 private:
  std::vector<std::uint8_t> bytes_;
  std::uint32_t word_ = 0;
  int wordBits_ = 0;
  std::uint64_t bitsSinceStart_ = 0;
};

enum class LzxBlockType { Verbatim = 1, Aligned = 2, Uncompressed = 3 };

// One element of an LZ parse: a literal (length 0) or a match.
struct LzxItem {
  std::uint8_t literal = 0;
  std::uint32_t length = 0;
  std::uint32_t offset = 0;
  static LzxItem Literal(std::uint8_t byte) { return {byte, 0, 0}; }
  static LzxItem Match(std::uint32_t offset, std::uint32_t length) { return {0, length, offset}; }
};

// Code lengths of a block's trees. Missing entries count as zero.
struct LzxTrees {
  std::vector<std::uint8_t> main;     // up to 656 entries
  std::vector<std::uint8_t> length;   // up to 249 entries are sent
  std::vector<std::uint8_t> aligned;  // 8 entries, aligned blocks only
};

// A pretree operation of the length transmission: symbol 0..16 (a delta), 17 / 18 (a run of zeros,
// `extra` = run - 4 or run - 20) or 19 (a run of `extra` + 4 positions with the delta `second`).
struct LzxPretreeOp {
  int symbol = 0;
  std::uint32_t extra = 0;
  int second = 0;
};

// Canonical codes (most significant bit first) for the given lengths; codes of length 0 are unused.
std::vector<std::uint32_t> CanonicalCodes(std::span<const std::uint8_t> lengths);

// Writes 20 pretree lengths (4 bits each) and then the operations, coded with that pretree.
void WriteLengthOps(LzxBitWriter& bits, std::span<const std::uint8_t> pretree, std::span<const LzxPretreeOp> ops);

// Length-limited Huffman code lengths for the frequencies; a complete code whenever any frequency is
// non-zero (a lone used symbol gets a partner), all zero otherwise.
std::vector<std::uint8_t> HuffmanLengths(std::span<const std::uint32_t> frequencies, int maxLength);

class LzxStreamBuilder {
 public:
  explicit LzxStreamBuilder(int windowBits);

  LzxBitWriter& bits() { return bits_; }
  std::uint32_t windowSize() const { return windowSize_; }
  // Plain bytes produced so far.
  std::uint64_t total() const { return total_; }
  std::array<std::uint32_t, 3> repeated() const { return {r0_, r1_, r2_}; }

  // The E8 translation size announced by the next E8 header (at the first block and after each window fill).
  void SetE8TranslationSize(std::uint32_t size) { e8Size_ = size; }

  // Block header with trees (verbatim or aligned); the lengths go out as deltas against the decoder's.
  void BeginBlock(LzxBlockType type, std::uint32_t length, const LzxTrees& trees);
  // As BeginBlock, but the trees' lengths go out through explicit pretree operations: main positions
  // 0..255, main 256..mainElements-1 and length 0..248, each with its own pretree lengths. The builder's
  // copy of the lengths follows the operations, overshoot included.
  struct ExplicitLengths {
    std::vector<std::uint8_t> pretree;  // 20 entries
    std::vector<LzxPretreeOp> ops;
  };
  void BeginBlockExplicit(LzxBlockType type, std::uint32_t length, std::span<const std::uint8_t> aligned,
                          const ExplicitLengths& mainLow, const ExplicitLengths& mainHigh,
                          const ExplicitLengths& lengthTree);
  // A complete uncompressed block: header, R0..R2, the bytes. The padding byte after an odd length is
  // written at the next block header (none at the window end).
  void UncompressedBlock(std::span<const std::uint8_t> data, std::array<std::uint32_t, 3> repeated);
  // Only the header bits of a block (E8 header first when due), for hand-made broken streams.
  void HeaderBits(int type, std::uint32_t length);

  void Literal(std::uint8_t byte);
  // Uses slot 0..2 when the offset is R0..R2, the proper slot otherwise.
  void Match(std::uint32_t offset, std::uint32_t length);
  // A match with an explicit slot; `extraValue` is what the offset bits carry (slots 4 and up).
  void MatchSlot(int slot, std::uint32_t length, std::uint32_t extraValue = 0);

  // A verbatim or aligned block holding `items`, with trees computed from their frequencies.
  void EncodeBlock(LzxBlockType type, std::span<const LzxItem> items);

  std::vector<std::uint8_t> Finish();

  // Byte offsets in the stream where each window fill's reset point begins.
  const std::vector<std::size_t>& resetOffsets() const { return resetOffsets_; }

 private:
  struct MatchSymbols {
    int main = 0;
    int length = -1;
    int slot = 0;
    std::uint32_t extraValue = 0;
  };
  MatchSymbols PlanMatch(std::uint32_t offset, std::uint32_t length, std::uint32_t& r0, std::uint32_t& r1,
                         std::uint32_t& r2) const;
  void StartHeader();
  void WriteLengthsAuto(std::vector<std::uint8_t>& previous, std::span<const std::uint8_t> wanted, int first,
                        int last);
  void WriteLengthsExplicit(std::vector<std::uint8_t>& previous, const ExplicitLengths& lengths, int first,
                            int last);
  void SetCodes();
  void WriteMatch(const MatchSymbols& m);
  void AfterSymbol();

  LzxBitWriter bits_;
  int windowBits_;
  std::uint32_t windowSize_;
  int mainElements_;
  std::uint64_t total_ = 0;
  std::uint32_t r0_ = 1, r1_ = 1, r2_ = 1;
  std::uint32_t e8Size_ = 0;
  bool headerWritten_ = false;
  bool pendingPad_ = false;
  LzxBlockType type_ = LzxBlockType::Verbatim;
  std::vector<std::uint8_t> mainLengths_, lengthLengths_, alignedLengths_;
  std::vector<std::uint32_t> mainCodes_, lengthCodes_, alignedCodes_;
  std::vector<std::size_t> resetOffsets_;
};

struct LzxCompressOptions {
  int windowBits = 16;
  std::uint32_t blockSize = 32768;
  LzxBlockType blockType = LzxBlockType::Verbatim;
  std::uint32_t e8TranslationSize = 0;
  int maxChain = 32;
};

struct LzxCompressed {
  std::vector<std::uint8_t> stream;
  std::vector<std::size_t> resetOffsets;  // stream offset of every window-size chunk after the first
};

// A small greedy compressor: every window-size chunk is parsed on its own (matches never reach into an
// earlier chunk), as at the reset points of a CHM section. Blocks never let a match cross their end.
// Applies no E8 preprocessing: with a translation size set, the caller's data must already be translated.
LzxCompressed CompressLzx(std::span<const std::uint8_t> plain, const LzxCompressOptions& options);

// Deterministic HTML-like text (tags, attributes, words of a small vocabulary, entities), `size` bytes.
std::vector<std::uint8_t> GenerateHtmlText(std::size_t size, std::uint32_t seed);

// The plain bytes an LZ parse stands for, appended to `plain` (matches copy byte by byte).
void ApplyItems(std::span<const LzxItem> items, std::vector<std::uint8_t>& plain);

}  // namespace tessaly::test
