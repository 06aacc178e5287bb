// LZX decoding: design.
//
// Time goes into the coded (verbatim and aligned) blocks; everything else (block headers, tree
// transmission, uncompressed blocks, E8 translation) runs once per block or per call and is kept simple.
//
// Tables. The main tree decodes through MainTable (main_table.h): one 32-bit load gives a literal, or a
// match's length, position slot and number of offset bits, and how many bits to consume. The main table
// is built after the block's length table and takes in its codes: where a long match's main code and its
// length code together fit the direct bits, the entry holds the full match length and consumes both, so
// most matches need no length-tree lookup. For such a match the consume count covers the codes and the
// offset bits together, so one shift passes the whole match and the offset bits are cut from the buffer
// as it was before. Only a length code that did not fit goes through the length table, which has the same
// layout; codes longer than a table's direct bits go through one subtable lookup. The tables are rebuilt
// per block for its type: in an aligned block whose aligned codes are all 3 bits long (symbol i has code
// i) the aligned symbol is just the low 3 offset bits, and the block is decoded as a verbatim one;
// otherwise the entries of the slots concerned say that an aligned symbol follows 3 fewer offset bits,
// and the other slots look into a table of zeros instead of branching. The repeated offsets are selected
// without branches too: which slot comes next is as unpredictable as the data.
//
// Bits. The bit reader (bit_reader.h) keeps a 64-bit buffer, next stream bit on top, refilled whole
// 16-bit words at a time to 48..63 counted bits. Right after a refill all 64 buffer bits are stream bits,
// which lets the next symbol's entry be looked up before the refill that its decoding needs: table loads
// and refills overlap instead of following each other.
//
// Two loops, one safety-check path. Output goes into the window; decoding stops at every 32 KiB frame end
// (where the stream realigns when a symbol ends exactly there), at the end of the block and at the end
// of the request. Within such a segment the fast loop runs while one iteration (up to three literals, or
// up to two literals and a match of up to 257 bytes) can neither reach the segment end nor read within
// 32 bytes of the input end: it refills without a branch, copies matches in 16- or 8-byte chunks without
// trimming (they may write up to 15 bytes past their end, always inside the buffer), and checks only that
// a match source lies inside the decoded history. The careful loop finishes each segment one symbol at a
// time: refills that deliver zeros past the input end (a stream cut short fails after the run, from the
// bits consumed), matches trimmed at the write limit. Both loops decode matches through the same code.
//
// Hot state (bit buffer, bit count, input and output pointers, repeated offsets) lives in locals; the
// decoder object holds it only between runs.
//
// Instruction sets. Every symbol costs several shifts by a count read from a table entry; on x86-64 those are
// single flag-free instructions only with BMI2. The symbol loops are therefore compiled twice, plainly and
// for BMI2, from one source (DecodeSymbols, always inlined), and each coded run takes the BMI2 variant when
// the processor has it (libdeflate's decompressor chooses the same way).

#include "lzx/lzx_decoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <utility>

#include "lzx/bit_reader.h"
#include "lzx/huffman_table.h"
#include "lzx/lzx_tables.h"
#include "lzx/main_table.h"

namespace tessaly {

using lzx::Fail;

// What a match that runs past the end of its run does when the request goes on (the run ended its block):
// with true its overshoot counts against the next block (that block's remaining count shrinks by it, and
// for an uncompressed block as many of its stored bytes are skipped); with false the call fails with
// BadData. A match running past the end of the request is trimmed to it either way.
inline constexpr bool kCarryMatchOvershoot = true;

// The window buffer holds two passes of the window: the current one in the second half and the previous
// one right before it, so that every match source lies before its destination in one straight run of
// bytes. (The first pass after Reset uses the first half.) Slack after the end takes match copies that
// write whole words past the match end.
inline constexpr std::size_t kWindowSlack = 16;
static_assert(kWindowSlack >= 15, "match copies write up to 15 bytes past the match end");
constexpr std::size_t BufferBytes(std::uint32_t windowSize) { return 2 * std::size_t{windowSize} + kWindowSlack; }

// The fast loop's margins. One iteration writes at most two literals and a match (up to 257 bytes, whose
// copy may write 15 bytes past its end), and refills at most three times (each moving up to 6 bytes on
// and reading 8); one more refill comes before the first iteration.
inline constexpr std::uint32_t kMaxMatch = 257;
inline constexpr std::uint32_t kFastOutputMargin = 2 + kMaxMatch + 16;
inline constexpr std::size_t kFastInputMargin = 4 * 6 + 8;

struct LzxDecoder::Tables {
  lzx::Pretree pretree;
  std::array<std::uint8_t, lzx::kMainSymbols + lzx::kLengthSlack> mainLengths{};
  lzx::MainTable main;
  std::array<std::uint8_t, lzx::kLengthSymbols + lzx::kLengthSlack> lengthLengths{};
  lzx::LengthTable length;
  lzx::AlignedTree aligned;
};

// Working state of one Decompress call.
struct LzxDecoder::RunState {
  explicit RunState(std::span<const std::uint8_t> input) : bits(input) {}
  lzx::BitReader bits;
  std::size_t byteCursor = 0;  // input position inside an uncompressed block
  std::uint32_t position = 0;  // window position
  std::uint32_t r0 = 1, r1 = 1, r2 = 1;
};

namespace {

inline std::uint64_t Load8(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}
inline void Store8(std::uint8_t* p, std::uint64_t v) { std::memcpy(p, &v, 8); }

// Per position slot: base offset - 2 (the offset of slot s >= 3 is this plus its offset bits).
constexpr std::array<std::uint32_t, lzx::kSlotTableSize> MakeOffsetBase() {
  std::array<std::uint32_t, lzx::kSlotTableSize> base{};
  for (int slot = 0; slot < lzx::kSlotTableSize; ++slot) base[slot] = lzx::kPositionBase[slot] - 2;
  return base;
}
constexpr std::array<std::uint32_t, lzx::kSlotTableSize> kOffsetBase = MakeOffsetBase();

// Masks of the low n bits, n from 0 to 31 (a load where a computed mask would tie up the shift register).
constexpr std::array<std::uint32_t, 32> MakeLowBits() {
  std::array<std::uint32_t, 32> masks{};
  for (int n = 0; n < 32; ++n) masks[n] = (1u << n) - 1;
  return masks;
}
constexpr std::array<std::uint32_t, 32> kLowBits = MakeLowBits();

// Per position slot, which of {R0, R1, R2, the new offset} become the match offset (bits 0-1), R1 (bits
// 2-3) and R2 (bits 4-5).
constexpr std::uint32_t OffsetPicks(std::uint32_t offset, std::uint32_t r1, std::uint32_t r2) {
  return offset | r1 << 2 | r2 << 4;
}
constexpr std::array<std::uint8_t, lzx::kSlotTableSize> MakeOffsetPicks() {
  std::array<std::uint8_t, lzx::kSlotTableSize> picks{};
  picks[0] = OffsetPicks(0, 1, 2);
  picks[1] = OffsetPicks(1, 0, 2);
  picks[2] = OffsetPicks(2, 1, 0);
  for (int slot = 3; slot < lzx::kSlotTableSize; ++slot) picks[slot] = OffsetPicks(3, 0, 1);
  return picks;
}
constexpr std::array<std::uint8_t, lzx::kSlotTableSize> kOffsetPicks = MakeOffsetPicks();

// What an aligned-tree lookup gives for a slot without an aligned symbol: nothing to consume, nothing to add.
constexpr std::array<std::uint16_t, 1 << lzx::kAlignedBits> kNoAlignedSymbol{};
static_assert(kOffsetBase[3] == 1, "slot 3 is offset 1");

inline void Copy16(std::uint8_t* dst, const std::uint8_t* src) {
  std::uint8_t chunk[16];
  std::memcpy(chunk, src, 16);
  std::memcpy(dst, chunk, 16);
}

// Copies a match whose source lies before its destination (offset = dst - src >= 1), with the result of
// copying one byte at a time (an overlapping source repeats its pattern). Whole 16- or 8-byte chunks are
// written when the offset allows, up to 15 bytes past the match end: nothing that lies there is read
// before later symbols overwrite it, and the window buffer has slack after its end.
inline void CopyMatch(std::uint8_t* dst, std::uint32_t offset, std::uint32_t length) {
  const std::uint8_t* src = dst - offset;
  std::uint8_t* const end = dst + length;
  if (offset >= 16) [[likely]] {
    do {
      Copy16(dst, src);
      dst += 16;
      src += 16;
    } while (dst < end);
  } else if (offset >= 8) {
    do {
      Store8(dst, Load8(src));
      dst += 8;
      src += 8;
    } while (dst < end);
  } else if (offset == 1) {
    const std::uint64_t repeated = src[0] * 0x0101010101010101ull;
    do {
      Store8(dst, repeated);
      dst += 8;
    } while (dst < end);
  } else {
    while (dst < end) *dst++ = *src++;
  }
}

inline std::int32_t ReadLe32(const std::uint8_t* p) {
  const std::uint32_t v = static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                          static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
  return static_cast<std::int32_t>(v);
}

inline void WriteLe32(std::uint8_t* p, std::int32_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

}  // namespace

LzxDecoder::LzxDecoder() : LzxDecoder(std::pmr::new_delete_resource()) {}

LzxDecoder::LzxDecoder(std::pmr::memory_resource* windowMemory)
    : windowMemory_(windowMemory), tables_(std::make_unique<Tables>()) {}

LzxDecoder::~LzxDecoder() { ReleaseWindow(); }

void LzxDecoder::ReleaseWindow() {
  if (window_ != nullptr) windowMemory_->deallocate(window_, BufferBytes(windowCapacity_), 1);
  window_ = nullptr;
  windowCapacity_ = 0;
}

LzxStatus LzxDecoder::Reset(int windowBits) {
  if (windowBits < lzx::kMinWindowBits || windowBits > lzx::kMaxWindowBits) return LzxStatus::BadFormat;
  const std::uint32_t size = 1u << windowBits;
  if (window_ == nullptr || windowCapacity_ < size) {
    ReleaseWindow();
    try {
      window_ = static_cast<std::uint8_t*>(windowMemory_->allocate(BufferBytes(size), 1));
    } catch (const std::bad_alloc&) {
      return LzxStatus::NoMemory;
    }
    windowCapacity_ = size;
  }
  windowSize_ = size;
  mainElements_ = lzx::kLiteralCount + lzx::kLengthHeaders * lzx::PositionSlots(windowBits);
  r0_ = r1_ = r2_ = 1;
  callCount_ = 0;
  headerRead_ = false;
  blockRemaining_ = 0;
  e8Position_ = 0;
  e8Started_ = false;
  windowPosition_ = 0;
  passBase_ = 0;
  blockType_ = 0;
  alignedSymbols_ = false;
  blockLength_ = 0;
  carriedOvershoot_ = 0;
  std::fill_n(tables_->mainLengths.begin(), lzx::kMainSymbols, std::uint8_t{0});
  std::fill_n(tables_->lengthLengths.begin(), lzx::kLengthSymbols, std::uint8_t{0});
  return LzxStatus::Ok;
}

LzxDecoderState LzxDecoder::State() const {
  LzxDecoderState state;
  state.windowSize = windowSize_;
  state.windowPosition = windowPosition_;
  state.r0 = r0_;
  state.r1 = r1_;
  state.r2 = r2_;
  state.blockType = blockType_;
  state.blockLength = blockLength_;
  state.blockRemaining = blockRemaining_;
  state.headerRead = headerRead_;
  state.callCount = callCount_;
  state.e8TranslationSize = e8TranslationSize_;
  state.e8Position = static_cast<std::int32_t>(e8Position_);
  state.e8Started = e8Started_;
  return state;
}

LzxStatus LzxDecoder::Decompress(std::span<const std::uint8_t> input, std::span<std::uint8_t> output) {
  if (window_ == nullptr) return LzxStatus::NoMemory;
  try {
    DecompressOrFail(input, output);
  } catch (const lzx::Failure& failure) {
    return failure.status;
  }
  return LzxStatus::Ok;
}

void LzxDecoder::DecompressOrFail(std::span<const std::uint8_t> input, std::span<std::uint8_t> output) {
  RunState run(input);
  run.position = windowPosition_;
  run.r0 = r0_;
  run.r1 = r1_;
  run.r2 = r2_;
  std::size_t togo = output.size();
  std::size_t produced = 0;

  while (togo > 0) {
    if (blockRemaining_ == 0) ReadBlockHeader(run);
    // Inside an uncompressed block the byte cursor never passes the input end (every use is checked).
    if (blockType_ != lzx::kBlockUncompressed && run.bits.Overrun()) Fail(LzxStatus::BadData);
    if (blockRemaining_ == 0) continue;  // an empty block

    const auto length = static_cast<std::uint32_t>(std::min<std::size_t>(blockRemaining_, togo));
    togo -= length;
    blockRemaining_ -= length;
    if (run.position == windowSize_) StartNextPass();
    const std::uint32_t start = run.position & (windowSize_ - 1);
    if (start + length > windowSize_) Fail(LzxStatus::BadFormat);  // a run never crosses the window end
    const std::uint32_t runEnd = start + length;
    run.position = start;
    std::uint8_t* const window = window_ + passBase_;

    if (blockType_ == lzx::kBlockUncompressed) {
      if (length > input.size() - run.byteCursor) Fail(LzxStatus::BadData);
      std::memcpy(window + start, input.data() + run.byteCursor, length);
      run.byteCursor += length;
      run.position = runEnd;
    } else {
      // Matches may write up to the end of the request, but never past the window end; one that runs past
      // the request end is trimmed to it.
      const std::uint64_t requestEnd = std::uint64_t{runEnd} + togo;
      const std::uint32_t writeLimit =
          kCarryMatchOvershoot ? static_cast<std::uint32_t>(std::min<std::uint64_t>(requestEnd, windowSize_))
                               : runEnd;
      const bool trimAllowed = writeLimit == requestEnd;
      DecodeCodedRun(run, runEnd, writeLimit, trimAllowed);
    }

    const std::uint32_t placed = run.position - start;
    std::memcpy(output.data() + produced, window + start, placed);
    produced += placed;
    // A match that ran past the end of its block: those bytes count against the next block.
    carriedOvershoot_ = placed - length;
    togo -= carriedOvershoot_;
  }
  // The checks before each run do not cover the last one: a stream cut short inside it must not pass.
  if (blockType_ != lzx::kBlockUncompressed && run.bits.Overrun()) Fail(LzxStatus::BadData);

  windowPosition_ = run.position;
  r0_ = run.r0;
  r1_ = run.r1;
  r2_ = run.r2;
  TranslateE8(output);
}

void LzxDecoder::StartNextPass() {
  if (passBase_ == 0) {
    passBase_ = windowSize_;
  } else {
    std::memmove(window_, window_ + windowSize_, windowSize_);
  }
}

void LzxDecoder::ReadBlockHeader(RunState& run) {
  const bool windowFull = run.position == windowSize_;
  if (blockType_ == lzx::kBlockUncompressed) {
    // An odd-length uncompressed block is padded to a word, except at the window end: the stream starts
    // afresh there.
    if ((blockLength_ & 1) && !windowFull) ++run.byteCursor;
    run.bits.Restart(run.byteCursor);
  }
  if (windowFull) {
    headerRead_ = false;
    std::fill_n(tables_->mainLengths.begin(), lzx::kMainSymbols, std::uint8_t{0});
    std::fill_n(tables_->lengthLengths.begin(), lzx::kLengthSymbols, std::uint8_t{0});
    run.r0 = run.r1 = run.r2 = 1;
  }
  lzx::BitReader& bits = run.bits;
  if (!headerRead_) {
    if (bits.ReadBits(1)) {
      const std::uint32_t high = bits.ReadBits(16);
      const std::uint32_t low = bits.ReadBits(16);
      e8TranslationSize_ = static_cast<std::int32_t>(high << 16 | low);
    } else {
      e8TranslationSize_ = 0;
    }
    headerRead_ = true;
  }
  blockType_ = static_cast<std::uint16_t>(bits.ReadBits(3));
  const std::uint32_t high = bits.ReadBits(16);
  blockLength_ = high << 8 | bits.ReadBits(8);
  blockRemaining_ = blockLength_;

  switch (blockType_) {
    case lzx::kBlockAligned: {
      bool allThree = true;
      for (int i = 0; i < lzx::kAlignedSymbols; ++i) {
        tables_->aligned.lengths[i] = static_cast<std::uint8_t>(bits.ReadBits(lzx::kAlignedLengthBits));
        allThree &= tables_->aligned.lengths[i] == 3;
      }
      tables_->aligned.Build();
      // With every aligned code 3 bits long, symbol i has code i: the aligned symbol is the next three
      // bits, and the block decodes exactly as a verbatim one.
      alignedSymbols_ = !allThree;
      [[fallthrough]];
    }
    case lzx::kBlockVerbatim: {
      Tables& t = *tables_;
      const std::span<std::uint8_t> mainLengths(t.mainLengths);
      lzx::ReadLengths(bits, t.pretree, mainLengths, 0, lzx::kLiteralCount);
      lzx::ReadLengths(bits, t.pretree, mainLengths, lzx::kLiteralCount, static_cast<int>(mainElements_));
      if (blockType_ == lzx::kBlockVerbatim) alignedSymbols_ = false;
      lzx::ReadLengths(bits, t.pretree, t.lengthLengths, 0, lzx::kLengthSymbolsSent);
      // The main table takes in the length codes, so the length table comes first.
      if (!lzx::BuildLengthTable(std::span(t.lengthLengths).first<lzx::kLengthSymbols>(), t.length) ||
          !lzx::BuildMainTable(mainLengths.first<lzx::kMainSymbols>(), alignedSymbols_, t.length, t.main)) {
        Fail(LzxStatus::BadData);
      }
      if (t.mainLengths[lzx::kE8Byte] != 0) e8Started_ = true;
      break;
    }
    case lzx::kBlockUncompressed: {
      e8Started_ = true;
      run.byteCursor = bits.UncompressedCursor();
      const std::span<const std::uint8_t> input(bits.data, bits.size);
      if (run.byteCursor > input.size() || input.size() - run.byteCursor < 12) Fail(LzxStatus::BadData);
      run.r0 = static_cast<std::uint32_t>(ReadLe32(input.data() + run.byteCursor));
      run.r1 = static_cast<std::uint32_t>(ReadLe32(input.data() + run.byteCursor + 4));
      run.r2 = static_cast<std::uint32_t>(ReadLe32(input.data() + run.byteCursor + 8));
      run.byteCursor += 12;
      break;
    }
    default:
      Fail(LzxStatus::BadData);
  }

  if (carriedOvershoot_ > 0) {
    // The block's first bytes are already in the window; an uncompressed block still stores them.
    if (carriedOvershoot_ > blockRemaining_) Fail(LzxStatus::BadData);
    blockRemaining_ -= carriedOvershoot_;
    if (blockType_ == lzx::kBlockUncompressed) {
      if (carriedOvershoot_ > bits.size - run.byteCursor) Fail(LzxStatus::BadData);
      run.byteCursor += carriedOvershoot_;
    }
    carriedOvershoot_ = 0;
  }
}

namespace {

[[noreturn, gnu::noinline]] void FailBadData() { Fail(LzxStatus::BadData); }

// A coded run's state while its symbols are decoded (see DecodeCodedRun).
struct CodedRun {
  const lzx::MainTable& mainTable;
  const lzx::LengthTable& lengthTable;
  const lzx::AlignedTree& alignedTree;
  std::uint8_t* window;  // the current pass
  std::uint32_t windowSize;
  bool historyFull;  // the previous pass lies before `window`
  std::uint32_t runEnd;
  std::uint32_t writeLimit;
  bool trimAllowed;
  lzx::BitReader bits;
  std::uint32_t position;
  std::uint32_t repeated[3];
};

// Decodes window positions run.position .. run.runEnd. Inlined into each instruction-set variant below.
template <bool kAligned>
[[gnu::always_inline]] inline void DecodeSymbols(CodedRun& run) {
  const lzx::MainTable& mainTable = run.mainTable;
  const lzx::LengthTable& lengthTable = run.lengthTable;
  const lzx::AlignedTree& alignedTree = run.alignedTree;
  std::uint8_t* const window = run.window;
  const std::uint32_t windowSize = run.windowSize;
  const bool historyFull = run.historyFull;
  const std::uint32_t runEnd = run.runEnd;
  const std::uint32_t writeLimit = run.writeLimit;
  const bool trimAllowed = run.trimAllowed;
  lzx::BitReader bits = run.bits;
  std::uint32_t position = run.position;
  // The repeated offsets R0, R1, R2, and room for a new offset: a match picks from these four by index.
  std::uint32_t repeated[4] = {run.repeated[0], run.repeated[1], run.repeated[2], 0};

  // Reads the rest of a match whose main entry is `entry` (its code still at the top of the buffer, with
  // at least 48 bits held) from `b` (the fast loop's FastBits or the careful loop's BitReader) and returns
  // its offset, not yet checked; `length` receives its length.
  const auto decodeMatch = [&](auto& b, std::uint32_t entry, std::uint32_t& length) __attribute__((always_inline)) {
    length = lzx::EntryMatchLength(entry);
    const int offsetBits = lzx::EntryOffsetBits(entry);
    std::uint32_t value;
    if (entry & lzx::kMainLengthFollows) [[unlikely]] {
      // A length code that did not fit the main entry.
      b.Remove(lzx::EntryConsume(entry));
      const std::uint32_t lengthEntry = lengthTable.Lookup(b.buffer);
      b.Remove(lzx::EntryConsume(lengthEntry));
      length += lzx::EntrySymbol(lengthEntry);
      // Main and length codes took up to 32 bits; offset bits and an aligned symbol need up to 21 more.
      b.Refill();
      value = b.PeekUpTo32(offsetBits);
      b.Remove(offsetBits);
    } else {
      // The offset bits went with the codes: cut them from the buffer as it was.
      const std::uint64_t saved = b.buffer;
      b.Remove(lzx::EntryConsume(entry));
      value = static_cast<std::uint32_t>(saved >> (64 - lzx::EntryConsume(entry))) & kLowBits[offsetBits];
    }
    if constexpr (kAligned) {
      // Slots with 3 or more extra bits end with an aligned symbol (never longer than the table width).
      // The entries of other slots look into a table of zeros, which consumes nothing: no branch.
      const std::uint16_t* const aligned =
          entry & lzx::kMainAlignedFollows ? alignedTree.entries.data() : kNoAlignedSymbol.data();
      const std::uint32_t alignedEntry = aligned[b.buffer >> (64 - lzx::kAlignedBits)];
      b.Remove(static_cast<int>(alignedEntry >> lzx::kEntryLengthShift));
      value = (value << lzx::EntryAlignedShift(entry)) + (alignedEntry & lzx::kEntrySymbolMask);
    }
    // Slots 0 to 2 repeat R0, R1 (swapped with R0) or R2 (swapped with R0); the others push a new offset.
    // Picked from a small array without branches: which slot comes is as hard to predict as the data.
    const std::uint32_t slot = lzx::EntrySlot(entry);
    const std::uint32_t fresh = kOffsetBase[slot] + value;  // slot 3 is offset 1 through its base
    const std::uint32_t picks = kOffsetPicks[slot];
    repeated[3] = fresh;
    const std::uint32_t offset = repeated[picks & 3];
    const std::uint32_t r1 = repeated[(picks >> 2) & 3];
    const std::uint32_t r2 = repeated[picks >> 4];
    repeated[0] = offset;
    repeated[1] = r1;
    repeated[2] = r2;
    return offset;
  };
  // A match reaching before the window start is good only into the previous pass, which lies right
  // before it in the buffer: offset 0, or more than the window size, or reaching before Reset is corrupt.
  const auto checkFarOffset = [&](std::uint32_t offset) {
    if (offset == 0 || offset > windowSize || !historyFull) FailBadData();
  };

  while (position < runEnd) {
    // Decode up to the next frame end; the stream realigns when a literal or match ends exactly there.
    const std::uint32_t frameEnd = (position & ~(lzx::kFrameSize - 1)) + lzx::kFrameSize;
    const std::uint32_t segmentEnd = std::min(runEnd, frameEnd);

    // The fast loop, while an iteration can neither reach the segment end nor read near the input end.
    // After a refill all 64 bits of the buffer are stream bits (the count only says which words are
    // paid for), so the next symbol's entry is looked up as soon as the current one is consumed, before
    // the refill that must come before it is consumed in turn: table loads and refills overlap.
    if (segmentEnd > kFastOutputMargin && bits.size > kFastInputMargin && position < segmentEnd - kFastOutputMargin &&
        bits.fetch <= bits.size - kFastInputMargin) {
      std::uint8_t* out = window + position;
      std::uint8_t* const outFastEnd = window + (segmentEnd - kFastOutputMargin);
      const std::uint8_t* const inFastEnd = bits.data + (bits.size - kFastInputMargin);
      lzx::FastBits fast(bits);
      fast.Refill();
      std::uint32_t entry = mainTable.Lookup(fast.buffer);
      do {
        fast.Refill();
        if (lzx::IsLiteralEntry(entry)) {
          // Up to three literals on one refill (each code at most 16 bits).
          fast.Remove(lzx::EntryConsume(entry));
          *out++ = lzx::EntryLiteral(entry);
          entry = mainTable.Lookup(fast.buffer);
          if (lzx::IsLiteralEntry(entry)) {
            fast.Remove(lzx::EntryConsume(entry));
            *out++ = lzx::EntryLiteral(entry);
            entry = mainTable.Lookup(fast.buffer);
            if (lzx::IsLiteralEntry(entry)) {
              fast.Remove(lzx::EntryConsume(entry));
              *out++ = lzx::EntryLiteral(entry);
              entry = mainTable.Lookup(fast.buffer);
              continue;
            }
          }
          fast.Refill();  // leaves the top bits, and so `entry`, as they are
        }
        std::uint32_t length;
        const std::uint32_t offset = decodeMatch(fast, entry, length);
        entry = mainTable.Lookup(fast.buffer);
        if (offset - 1 >= static_cast<std::size_t>(out - window)) [[unlikely]] checkFarOffset(offset);
        CopyMatch(out, offset, length);
        out += length;
      } while (out < outFastEnd && fast.next <= inFastEnd);
      fast.HandBack(bits);
      position = static_cast<std::uint32_t>(out - window);
    }

    // The careful loop: refills that check the input end, matches trimmed at the write limit.
    while (position < segmentEnd) {
      bits.Refill();
      const std::uint32_t entry = mainTable.Lookup(bits.buffer);
      if (lzx::IsLiteralEntry(entry)) {
        bits.Remove(lzx::EntryConsume(entry));
        window[position++] = lzx::EntryLiteral(entry);
        continue;
      }
      std::uint32_t length;
      const std::uint32_t offset = decodeMatch(bits, entry, length);
      std::uint32_t end = position + length;
      if (end > writeLimit) [[unlikely]] {
        if (!trimAllowed) Fail(LzxStatus::BadData);  // would cross the window end, or policy forbids
        end = writeLimit;
        length = end - position;
      }
      if (offset - 1 >= position) [[unlikely]] checkFarOffset(offset);
      CopyMatch(window + position, offset, length);
      position = end;
    }
    if ((position & (lzx::kFrameSize - 1)) == 0) bits.AlignToWord();
  }

  run.bits = bits;
  run.position = position;
  std::copy_n(repeated, 3, run.repeated);
}

template <bool kAligned>
void DecodeSymbolsPortable(CodedRun& run) {
  DecodeSymbols<kAligned>(run);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// The same compiled for processors with BMI2, whose shifts by a register count are single flag-free
// instructions: the decoder's bit buffer shifts by a variable count several times per symbol.
template <bool kAligned>
[[gnu::target("bmi2")]] void DecodeSymbolsBmi2(CodedRun& run) {
  DecodeSymbols<kAligned>(run);
}

bool HasBmi2() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("bmi2") != 0;
  }();
  return has;
}

template <bool kAligned>
void DecodeSymbolsFastest(CodedRun& run) {
  if (HasBmi2()) {
    DecodeSymbolsBmi2<kAligned>(run);
  } else {
    DecodeSymbolsPortable<kAligned>(run);
  }
}
#else
template <bool kAligned>
void DecodeSymbolsFastest(CodedRun& run) {
  DecodeSymbolsPortable<kAligned>(run);
}
#endif

}  // namespace

void LzxDecoder::DecodeCodedRun(RunState& run, std::uint32_t runEnd, std::uint32_t writeLimit, bool trimAllowed) {
  CodedRun coded{tables_->main, tables_->length,     tables_->aligned, window_ + passBase_,
                 windowSize_,   passBase_ != 0,      runEnd,           writeLimit,
                 trimAllowed,   run.bits,            run.position,     {run.r0, run.r1, run.r2}};
  if (alignedSymbols_) {
    DecodeSymbolsFastest<true>(coded);
  } else {
    DecodeSymbolsFastest<false>(coded);
  }
  run.bits = coded.bits;
  run.position = coded.position;
  run.r0 = coded.repeated[0];
  run.r1 = coded.repeated[1];
  run.r2 = coded.repeated[2];
}


void LzxDecoder::TranslateE8(std::span<std::uint8_t> output) {
  const bool active = callCount_ < lzx::kE8CallLimit && e8TranslationSize_ != 0;
  ++callCount_;
  if (!active) return;
  const std::size_t n = output.size();
  const std::uint32_t first = e8Position_;
  e8Position_ += static_cast<std::uint32_t>(n);
  if (n <= 10 || !e8Started_) return;  // calls of 6 bytes or fewer never translate; the last 10 bytes never do
  std::uint8_t* const data = output.data();
  const std::size_t scanEnd = n - 10;
  std::size_t p = 0;
  while (p < scanEnd) {
    const void* hit = std::memchr(data + p, lzx::kE8Byte, scanEnd - p);
    if (hit == nullptr) break;
    p = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - data);
    // The position of this byte in translation space.
    const auto cur = static_cast<std::int32_t>(first + static_cast<std::uint32_t>(p));
    const std::int32_t absolute = ReadLe32(data + p + 1);
    if (std::int64_t{absolute} >= -std::int64_t{cur} && absolute < e8TranslationSize_) {
      const std::uint32_t relative = absolute >= 0
                                         ? static_cast<std::uint32_t>(absolute) - static_cast<std::uint32_t>(cur)
                                         : static_cast<std::uint32_t>(absolute) +
                                               static_cast<std::uint32_t>(e8TranslationSize_);
      WriteLe32(data + p + 1, static_cast<std::int32_t>(relative));
    }
    p += 5;
  }
}

}  // namespace tessaly
