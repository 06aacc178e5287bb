#include "support/bit_writer.h"

#include <algorithm>
#include <functional>
#include <queue>
#include <random>
#include <string>
#include <stdexcept>
#include <utility>

namespace tessaly::test {

namespace {

constexpr int kMainSymbols = 656;
constexpr int kLengthSymbols = 250;
constexpr int kLengthSent = 249;
constexpr int kSpare = 64;
constexpr std::uint32_t kFrame = 32768;

// Extra offset bits and base of each position slot, built the way the format describes them: slots 0..3
// carry no bits, then two slots per bit count up to 16, then 17 bits for the rest.
struct SlotTables {
  std::array<int, 51> extra{};
  std::array<std::uint32_t, 52> base{};
  SlotTables() {
    for (int slot = 0; slot < 51; ++slot) {
      extra[slot] = slot < 4 ? 0 : std::min(17, (slot - 2) >> 1);
      base[slot + 1] = base[slot] + (std::uint32_t{1} << extra[slot]);
    }
  }
};
const SlotTables& Slots() {
  static const SlotTables tables;
  return tables;
}

int SlotsFor(int windowBits) { return windowBits == 20 ? 42 : windowBits == 21 ? 50 : 2 * windowBits; }

void WriteCode(LzxBitWriter& bits, const std::vector<std::uint8_t>& lengths, const std::vector<std::uint32_t>& codes,
               int symbol) {
  const int length = lengths.at(static_cast<std::size_t>(symbol));
  if (length == 0 || length > 16) throw std::logic_error("symbol without a code: " + std::to_string(symbol));
  bits.WriteBits(codes[static_cast<std::size_t>(symbol)], length);
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------
// LzxBitWriter

void LzxBitWriter::WriteBits(std::uint32_t value, int count) {
  for (int i = count - 1; i >= 0; --i) {
    word_ = (word_ << 1) | ((value >> i) & 1);
    ++bitsSinceStart_;
    if (++wordBits_ == 16) {
      bytes_.push_back(static_cast<std::uint8_t>(word_ & 0xFF));
      bytes_.push_back(static_cast<std::uint8_t>(word_ >> 8));
      word_ = 0;
      wordBits_ = 0;
    }
  }
}

void LzxBitWriter::PadToWord() {
  if (wordBits_ != 0) WriteBits(0, 16 - wordBits_);
}

void LzxBitWriter::EndBitsForBytes() {
  if (wordBits_ != 0) {
    PadToWord();
  } else {
    WriteBits(0, 16);
  }
}

void LzxBitWriter::WriteBytes(std::span<const std::uint8_t> bytes) {
  if (wordBits_ != 0) throw std::logic_error("raw bytes inside a word");
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  bitsSinceStart_ = 0;
}

void LzxBitWriter::WriteByte(std::uint8_t byte) { WriteBytes(std::span<const std::uint8_t>(&byte, 1)); }

void LzxBitWriter::WriteLe32(std::uint32_t value) {
  const std::uint8_t le[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                              static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
  WriteBytes(le);
}

std::vector<std::uint8_t> LzxBitWriter::Finish() {
  PadToWord();
  return bytes_;
}

// ---------------------------------------------------------------------------------------------------------
// Codes

std::vector<std::uint32_t> CanonicalCodes(std::span<const std::uint8_t> lengths) {
  std::array<std::uint32_t, 17> count{};
  for (const std::uint8_t length : lengths) {
    if (length >= 1 && length <= 16) ++count[length];
  }
  std::array<std::uint32_t, 17> next{};
  std::uint32_t code = 0;
  for (int length = 1; length <= 16; ++length) {
    next[length] = code;
    code = (code + count[length]) << 1;
  }
  std::vector<std::uint32_t> codes(lengths.size(), 0);
  for (std::size_t s = 0; s < lengths.size(); ++s) {
    if (lengths[s] >= 1 && lengths[s] <= 16) codes[s] = next[lengths[s]]++;
  }
  return codes;
}

std::vector<std::uint8_t> HuffmanLengths(std::span<const std::uint32_t> frequencies, int maxLength) {
  const std::size_t n = frequencies.size();
  std::vector<std::uint64_t> weight(frequencies.begin(), frequencies.end());
  std::vector<std::size_t> used;
  for (std::size_t s = 0; s < n; ++s) {
    if (weight[s] > 0) used.push_back(s);
  }
  std::vector<std::uint8_t> lengths(n, 0);
  if (used.empty()) return lengths;
  if (used.size() == 1) {
    const std::size_t partner = used[0] == 0 ? 1 : 0;
    weight[partner] = 1;
    used.push_back(partner);
    std::sort(used.begin(), used.end());
  }

  // Plain Huffman: depths of the leaves.
  std::vector<int> parent(2 * used.size(), -1);
  using Node = std::pair<std::uint64_t, int>;
  std::priority_queue<Node, std::vector<Node>, std::greater<Node>> queue;
  for (std::size_t i = 0; i < used.size(); ++i) queue.push({weight[used[i]], static_cast<int>(i)});
  int nextId = static_cast<int>(used.size());
  while (queue.size() > 1) {
    const Node a = queue.top();
    queue.pop();
    const Node b = queue.top();
    queue.pop();
    parent[static_cast<std::size_t>(a.second)] = nextId;
    parent[static_cast<std::size_t>(b.second)] = nextId;
    queue.push({a.first + b.first, nextId++});
  }
  std::vector<int> depthCount(used.size() + 1, 0);
  int deepest = 0;
  for (std::size_t i = 0; i < used.size(); ++i) {
    int depth = 0;
    for (int at = static_cast<int>(i); parent[static_cast<std::size_t>(at)] != -1; at = parent[static_cast<std::size_t>(at)]) ++depth;
    ++depthCount[static_cast<std::size_t>(depth)];
    deepest = std::max(deepest, depth);
  }
  // Limit the depth, keeping the code complete (move pairs of deep leaves up, as JPEG does).
  for (int i = deepest; i > maxLength; --i) {
    while (depthCount[static_cast<std::size_t>(i)] > 0) {
      int j = i - 2;
      while (depthCount[static_cast<std::size_t>(j)] == 0) --j;
      depthCount[static_cast<std::size_t>(i)] -= 2;
      depthCount[static_cast<std::size_t>(i - 1)] += 1;
      depthCount[static_cast<std::size_t>(j + 1)] += 2;
      depthCount[static_cast<std::size_t>(j)] -= 1;
    }
  }
  // Most frequent symbols get the shortest codes.
  std::stable_sort(used.begin(), used.end(), [&](std::size_t a, std::size_t b) { return weight[a] > weight[b]; });
  std::size_t next = 0;
  for (int length = 1; length <= std::min(deepest, maxLength); ++length) {
    for (int k = 0; k < depthCount[static_cast<std::size_t>(length)]; ++k) {
      lengths[used[next++]] = static_cast<std::uint8_t>(length);
    }
  }
  return lengths;
}

// ---------------------------------------------------------------------------------------------------------
// LzxStreamBuilder

LzxStreamBuilder::LzxStreamBuilder(int windowBits)
    : windowBits_(windowBits),
      windowSize_(std::uint32_t{1} << windowBits),
      mainElements_(256 + 8 * SlotsFor(windowBits)),
      mainLengths_(kMainSymbols + kSpare, 0),
      lengthLengths_(kLengthSymbols + kSpare, 0),
      alignedLengths_(8, 0) {}

void LzxStreamBuilder::StartHeader() {
  const bool windowFull = total_ > 0 && total_ % windowSize_ == 0;
  if (pendingPad_) {
    if (!windowFull) bits_.WriteByte(0);
    pendingPad_ = false;
  }
  if (windowFull) {
    if (resetOffsets_.empty() || resetOffsets_.size() < total_ / windowSize_) {
      resetOffsets_.push_back(bits_.ByteSize());
    }
    std::fill(mainLengths_.begin(), mainLengths_.begin() + kMainSymbols, 0);
    std::fill(lengthLengths_.begin(), lengthLengths_.begin() + kLengthSymbols, 0);
    r0_ = r1_ = r2_ = 1;
    headerWritten_ = false;
  }
  if (!headerWritten_) {
    if (e8Size_ != 0) {
      bits_.WriteBits(1, 1);
      bits_.WriteBits(e8Size_ >> 16, 16);
      bits_.WriteBits(e8Size_ & 0xFFFF, 16);
    } else {
      bits_.WriteBits(0, 1);
    }
    headerWritten_ = true;
  }
}

void LzxStreamBuilder::HeaderBits(int type, std::uint32_t length) {
  StartHeader();
  bits_.WriteBits(static_cast<std::uint32_t>(type), 3);
  bits_.WriteBits(length >> 8, 16);
  bits_.WriteBits(length & 0xFF, 8);
  if (type >= 1 && type <= 3) type_ = static_cast<LzxBlockType>(type);
}

void LzxStreamBuilder::WriteLengthsAuto(std::vector<std::uint8_t>& previous, std::span<const std::uint8_t> wanted,
                                        int first, int last) {
  ExplicitLengths plan;
  int x = first;
  while (x < last) {
    int zeros = 0;
    while (x + zeros < last && wanted[static_cast<std::size_t>(x + zeros)] == 0) ++zeros;
    if (zeros >= 20) {
      const int run = std::min(zeros, 51);
      plan.ops.push_back({18, static_cast<std::uint32_t>(run - 20), 0});
      x += run;
    } else if (zeros >= 4) {
      plan.ops.push_back({17, static_cast<std::uint32_t>(zeros - 4), 0});
      x += zeros;
    } else {
      const int delta = (previous[static_cast<std::size_t>(x)] - wanted[static_cast<std::size_t>(x)] + 17) % 17;
      plan.ops.push_back({delta, 0, 0});
      ++x;
    }
  }
  std::vector<std::uint32_t> frequency(20, 0);
  for (const LzxPretreeOp& op : plan.ops) ++frequency[static_cast<std::size_t>(op.symbol)];
  plan.pretree = HuffmanLengths(frequency, 15);
  WriteLengthsExplicit(previous, plan, first, last);
}

void WriteLengthOps(LzxBitWriter& bits, std::span<const std::uint8_t> pretreeLengths,
                    std::span<const LzxPretreeOp> ops) {
  std::vector<std::uint8_t> pretree(pretreeLengths.begin(), pretreeLengths.end());
  pretree.resize(20, 0);
  for (const std::uint8_t length : pretree) bits.WriteBits(length, 4);
  const std::vector<std::uint32_t> codes = CanonicalCodes(pretree);
  for (const LzxPretreeOp& op : ops) {
    WriteCode(bits, pretree, codes, op.symbol);
    if (op.symbol == 17) {
      bits.WriteBits(op.extra, 4);
    } else if (op.symbol == 18) {
      bits.WriteBits(op.extra, 5);
    } else if (op.symbol == 19) {
      bits.WriteBits(op.extra, 1);
      WriteCode(bits, pretree, codes, op.second);
    }
  }
}

void LzxStreamBuilder::WriteLengthsExplicit(std::vector<std::uint8_t>& previous, const ExplicitLengths& lengths,
                                            int first, int last) {
  WriteLengthOps(bits_, lengths.pretree, lengths.ops);
  const auto delta = [](int before, int change) {
    int v = before - change;
    if (v < 0) v += 17;
    return static_cast<std::uint8_t>(v);
  };
  std::size_t x = static_cast<std::size_t>(first);
  for (const LzxPretreeOp& op : lengths.ops) {
    if (x >= static_cast<std::size_t>(last)) throw std::logic_error("pretree operations past the range");
    std::size_t run = 1;
    std::uint8_t value = 0;
    if (op.symbol == 17) {
      run = op.extra + 4;
    } else if (op.symbol == 18) {
      run = op.extra + 20;
    } else if (op.symbol == 19) {
      run = op.extra + 4;
      value = delta(previous[x], op.second);
    } else {
      value = delta(previous[x], op.symbol);
    }
    for (std::size_t i = 0; i < run && x + i < previous.size(); ++i) previous[x + i] = value;
    x += run;
  }
  if (x < static_cast<std::size_t>(last)) throw std::logic_error("pretree operations end early");
}

void LzxStreamBuilder::SetCodes() {
  mainCodes_ = CanonicalCodes(std::span<const std::uint8_t>(mainLengths_.data(), kMainSymbols));
  lengthCodes_ = CanonicalCodes(std::span<const std::uint8_t>(lengthLengths_.data(), kLengthSymbols));
  alignedCodes_ = CanonicalCodes(alignedLengths_);
}

void LzxStreamBuilder::BeginBlock(LzxBlockType type, std::uint32_t length, const LzxTrees& trees) {
  HeaderBits(static_cast<int>(type), length);
  if (type == LzxBlockType::Aligned) {
    alignedLengths_.assign(8, 0);
    std::copy_n(trees.aligned.begin(), std::min<std::size_t>(8, trees.aligned.size()), alignedLengths_.begin());
    for (const std::uint8_t l : alignedLengths_) bits_.WriteBits(l, 3);
  }
  std::vector<std::uint8_t> main(trees.main);
  main.resize(kMainSymbols, 0);
  std::vector<std::uint8_t> lengthTree(trees.length);
  lengthTree.resize(kLengthSymbols, 0);
  WriteLengthsAuto(mainLengths_, main, 0, 256);
  WriteLengthsAuto(mainLengths_, main, 256, mainElements_);
  WriteLengthsAuto(lengthLengths_, lengthTree, 0, kLengthSent);
  SetCodes();
}

void LzxStreamBuilder::BeginBlockExplicit(LzxBlockType type, std::uint32_t length,
                                          std::span<const std::uint8_t> aligned, const ExplicitLengths& mainLow,
                                          const ExplicitLengths& mainHigh, const ExplicitLengths& lengthTree) {
  HeaderBits(static_cast<int>(type), length);
  if (type == LzxBlockType::Aligned) {
    alignedLengths_.assign(8, 0);
    std::copy_n(aligned.begin(), std::min<std::size_t>(8, aligned.size()), alignedLengths_.begin());
    for (const std::uint8_t l : alignedLengths_) bits_.WriteBits(l, 3);
  }
  WriteLengthsExplicit(mainLengths_, mainLow, 0, 256);
  WriteLengthsExplicit(mainLengths_, mainHigh, 256, mainElements_);
  WriteLengthsExplicit(lengthLengths_, lengthTree, 0, kLengthSent);
  SetCodes();
}

void LzxStreamBuilder::UncompressedBlock(std::span<const std::uint8_t> data, std::array<std::uint32_t, 3> repeated) {
  HeaderBits(3, static_cast<std::uint32_t>(data.size()));
  bits_.EndBitsForBytes();
  for (const std::uint32_t r : repeated) bits_.WriteLe32(r);
  bits_.WriteBytes(data);
  r0_ = repeated[0];
  r1_ = repeated[1];
  r2_ = repeated[2];
  total_ += data.size();
  pendingPad_ = (data.size() & 1) != 0;
}

void LzxStreamBuilder::AfterSymbol() {
  if (total_ % kFrame == 0) bits_.PadToWord();
}

void LzxStreamBuilder::Literal(std::uint8_t byte) {
  WriteCode(bits_, mainLengths_, mainCodes_, byte);
  ++total_;
  AfterSymbol();
}

LzxStreamBuilder::MatchSymbols LzxStreamBuilder::PlanMatch(std::uint32_t offset, std::uint32_t length,
                                                           std::uint32_t& r0, std::uint32_t& r1,
                                                           std::uint32_t& r2) const {
  MatchSymbols m;
  if (offset == r0) {
    m.slot = 0;
  } else if (offset == r1) {
    m.slot = 1;
    std::swap(r0, r1);
  } else if (offset == r2) {
    m.slot = 2;
    std::swap(r0, r2);
  } else {
    const SlotTables& t = Slots();
    const std::uint32_t formatted = offset + 2;
    int slot = 3;
    while (slot + 1 < 51 && t.base[static_cast<std::size_t>(slot + 1)] <= formatted) ++slot;
    m.slot = slot;
    m.extraValue = formatted - t.base[static_cast<std::size_t>(slot)];
    r2 = r1;
    r1 = r0;
    r0 = offset;
  }
  if (length < 2 || length > 2 + 7 + 249) throw std::logic_error("match length out of range");
  const std::uint32_t header = std::min<std::uint32_t>(length - 2, 7);
  m.main = 256 + 8 * m.slot + static_cast<int>(header);
  m.length = header == 7 ? static_cast<int>(length - 2 - 7) : -1;
  return m;
}

void LzxStreamBuilder::WriteMatch(const MatchSymbols& m) {
  WriteCode(bits_, mainLengths_, mainCodes_, m.main);
  if (m.length >= 0) WriteCode(bits_, lengthLengths_, lengthCodes_, m.length);
  if (m.slot < 4) return;
  const int extra = Slots().extra[static_cast<std::size_t>(m.slot)];
  if (type_ == LzxBlockType::Aligned && extra >= 3) {
    if (extra > 3) bits_.WriteBits(m.extraValue >> 3, extra - 3);
    WriteCode(bits_, alignedLengths_, alignedCodes_, static_cast<int>(m.extraValue & 7));
  } else {
    bits_.WriteBits(m.extraValue, extra);
  }
}

void LzxStreamBuilder::Match(std::uint32_t offset, std::uint32_t length) {
  WriteMatch(PlanMatch(offset, length, r0_, r1_, r2_));
  total_ += length;
  AfterSymbol();
}

void LzxStreamBuilder::MatchSlot(int slot, std::uint32_t length, std::uint32_t extraValue) {
  MatchSymbols m;
  m.slot = slot;
  m.extraValue = extraValue;
  const std::uint32_t header = std::min<std::uint32_t>(length - 2, 7);
  m.main = 256 + 8 * slot + static_cast<int>(header);
  m.length = header == 7 ? static_cast<int>(length - 2 - 7) : -1;
  if (slot == 1) {
    std::swap(r0_, r1_);
  } else if (slot == 2) {
    std::swap(r0_, r2_);
  } else if (slot >= 3) {
    const std::uint32_t offset = slot == 3 ? 1 : Slots().base[static_cast<std::size_t>(slot)] - 2 + extraValue;
    r2_ = r1_;
    r1_ = r0_;
    r0_ = offset;
  }
  WriteMatch(m);
  total_ += length;
  AfterSymbol();
}

void LzxStreamBuilder::EncodeBlock(LzxBlockType type, std::span<const LzxItem> items) {
  // Plan with the repeated offsets the block will start with (a window fill resets them).
  const bool windowFull = total_ > 0 && total_ % windowSize_ == 0;
  std::uint32_t r0 = windowFull ? 1 : r0_, r1 = windowFull ? 1 : r1_, r2 = windowFull ? 1 : r2_;
  std::vector<std::uint32_t> mainFrequency(kMainSymbols, 0), lengthFrequency(kLengthSent, 0), alignedFrequency(8, 0);
  std::uint32_t blockLength = 0;
  for (const LzxItem& item : items) {
    if (item.length == 0) {
      ++mainFrequency[item.literal];
      ++blockLength;
      continue;
    }
    const MatchSymbols m = PlanMatch(item.offset, item.length, r0, r1, r2);
    ++mainFrequency[static_cast<std::size_t>(m.main)];
    if (m.length >= 0) ++lengthFrequency[static_cast<std::size_t>(m.length)];
    if (type == LzxBlockType::Aligned && m.slot >= 4 && Slots().extra[static_cast<std::size_t>(m.slot)] >= 3) {
      ++alignedFrequency[m.extraValue & 7];
    }
    blockLength += item.length;
  }
  LzxTrees trees;
  trees.main = HuffmanLengths(mainFrequency, 16);
  trees.length = HuffmanLengths(lengthFrequency, 16);
  trees.aligned = HuffmanLengths(alignedFrequency, 7);
  BeginBlock(type, blockLength, trees);
  for (const LzxItem& item : items) {
    if (item.length == 0) {
      Literal(item.literal);
    } else {
      Match(item.offset, item.length);
    }
  }
}

std::vector<std::uint8_t> LzxStreamBuilder::Finish() {
  if (pendingPad_ && total_ % windowSize_ != 0) bits_.WriteByte(0);
  pendingPad_ = false;
  return bits_.Finish();
}

// ---------------------------------------------------------------------------------------------------------
// CompressLzx

namespace {

class ChunkParser {
 public:
  ChunkParser(std::span<const std::uint8_t> chunk, int maxChain)
      : chunk_(chunk), maxChain_(maxChain), head_(1u << kHashBits, -1), previous_(chunk.size(), -1) {}

  std::vector<LzxItem> ParseBlock(std::size_t begin, std::size_t end) {
    std::vector<LzxItem> items;
    std::size_t pos = begin;
    while (pos < end) {
      const std::size_t limit = std::min<std::size_t>(257, end - pos);
      std::size_t bestLength = 0;
      std::uint32_t bestOffset = 0;
      for (const std::uint32_t r : {r0_, r1_, r2_}) {
        if (r == 0 || r > pos) continue;
        const std::size_t length = MatchLength(pos, pos - r, limit);
        if (length > bestLength) {
          bestLength = length;
          bestOffset = r;
        }
      }
      if (bestLength < 2) bestLength = 0;
      if (pos + 3 <= chunk_.size()) {
        int candidate = head_[Hash(pos)];
        for (int k = 0; k < maxChain_ && candidate >= 0; ++k) {
          const std::size_t length = MatchLength(pos, static_cast<std::size_t>(candidate), limit);
          // A repeated offset costs almost nothing: prefer it unless the new match is clearly longer.
          if (length >= 3 && length > bestLength + 1) {
            bestLength = length;
            bestOffset = static_cast<std::uint32_t>(pos - static_cast<std::size_t>(candidate));
          }
          candidate = previous_[static_cast<std::size_t>(candidate)];
        }
      }
      if (bestLength >= 2) {
        items.push_back(LzxItem::Match(bestOffset, static_cast<std::uint32_t>(bestLength)));
        Push(bestOffset);
        for (std::size_t i = 0; i < bestLength; ++i) Insert(pos + i);
        pos += bestLength;
      } else {
        items.push_back(LzxItem::Literal(chunk_[pos]));
        Insert(pos);
        ++pos;
      }
    }
    return items;
  }

 private:
  static constexpr int kHashBits = 15;

  std::size_t Hash(std::size_t p) const {
    const std::uint32_t v = static_cast<std::uint32_t>(chunk_[p]) << 16 |
                            static_cast<std::uint32_t>(chunk_[p + 1]) << 8 | chunk_[p + 2];
    return (v * 2654435761u) >> (32 - kHashBits);
  }
  void Insert(std::size_t p) {
    if (p + 3 > chunk_.size()) return;
    const std::size_t h = Hash(p);
    previous_[p] = head_[h];
    head_[h] = static_cast<int>(p);
  }
  std::size_t MatchLength(std::size_t pos, std::size_t from, std::size_t limit) const {
    std::size_t n = 0;
    while (n < limit && chunk_[pos + n] == chunk_[from + n]) ++n;
    return n;
  }
  void Push(std::uint32_t offset) {
    if (offset == r0_) return;
    if (offset == r1_) {
      std::swap(r0_, r1_);
    } else if (offset == r2_) {
      std::swap(r0_, r2_);
    } else {
      r2_ = r1_;
      r1_ = r0_;
      r0_ = offset;
    }
  }

  std::span<const std::uint8_t> chunk_;
  int maxChain_;
  std::vector<int> head_;
  std::vector<int> previous_;
  std::uint32_t r0_ = 1, r1_ = 1, r2_ = 1;
};

}  // namespace

LzxCompressed CompressLzx(std::span<const std::uint8_t> plain, const LzxCompressOptions& options) {
  LzxStreamBuilder builder(options.windowBits);
  builder.SetE8TranslationSize(options.e8TranslationSize);
  const std::size_t windowSize = std::size_t{1} << options.windowBits;
  for (std::size_t chunkStart = 0; chunkStart < plain.size(); chunkStart += windowSize) {
    const std::span<const std::uint8_t> chunk = plain.subspan(chunkStart, std::min(windowSize, plain.size() - chunkStart));
    ChunkParser parser(chunk, options.maxChain);
    for (std::size_t begin = 0; begin < chunk.size(); begin += options.blockSize) {
      const std::size_t end = std::min<std::size_t>(chunk.size(), begin + options.blockSize);
      const std::vector<LzxItem> items = parser.ParseBlock(begin, end);
      builder.EncodeBlock(options.blockType, items);
    }
  }
  LzxCompressed result;
  result.stream = builder.Finish();
  result.resetOffsets = builder.resetOffsets();
  return result;
}

std::vector<std::uint8_t> GenerateHtmlText(std::size_t size, std::uint32_t seed) {
  static const char* const kWords[] = {
      "the", "of", "and", "to", "in", "is", "for", "that", "with", "as", "on", "by", "this", "be", "are", "from",
      "function", "returns", "value", "parameter", "object", "window", "file", "help", "topic", "index", "search",
      "contents", "property", "method", "example", "remarks", "syntax", "see", "also", "string", "number",
      "element", "collection", "specifies", "whether", "default", "true", "false", "null", "document", "reference",
      "Microsoft", "HTML", "compiled", "section", "table", "keyword", "server", "client", "Windows", "version"};
  static const char* const kTags[] = {"p", "b", "i", "a", "code", "pre", "li", "td", "span", "div", "h2", "h3"};
  std::mt19937 rng(seed);
  const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
  // A larger vocabulary of made-up words, picked with a skew towards the first ones, as in real text.
  static const char* const kSyllables[] = {"ka", "lo", "mi", "ter", "an", "so", "ve", "ri", "un", "pel",
                                           "dor", "es", "qua", "ni", "bu", "th", "ing", "ex", "ol", "ze"};
  std::vector<std::string> vocabulary;
  for (int i = 0; i < 3000; ++i) {
    std::string word;
    const std::size_t syllables = 1 + pick(4);
    for (std::size_t k = 0; k < syllables; ++k) word += kSyllables[pick(std::size(kSyllables))];
    vocabulary.push_back(word);
  }
  const auto skewed = [&] {
    const double u = static_cast<double>(rng()) / 4294967296.0;
    return vocabulary[static_cast<std::size_t>(u * u * u * static_cast<double>(vocabulary.size()))];
  };
  std::string text;
  while (text.size() < size) {
    const std::size_t kind = pick(20);
    if (kind == 0) {
      text += "<a href=\"";
      text += kWords[pick(std::size(kWords))];
      text += "_" + std::to_string(pick(400)) + ".htm\">";
    } else if (kind < 3) {
      const char* tag = kTags[pick(std::size(kTags))];
      text += (pick(2) ? "<" : "</");
      text += tag;
      text += pick(4) == 0 ? " class=\"" + std::string(kWords[pick(std::size(kWords))]) + "\">" : ">";
    } else if (kind == 3) {
      text += pick(2) ? "&nbsp;" : "\r\n";
    } else if (kind == 4) {
      text += std::to_string(pick(100000));
      text += ' ';
    } else if (kind < 12) {
      text += skewed();
      text += pick(8) == 0 ? ". " : " ";
    } else {
      text += kWords[pick(std::size(kWords))];
      text += pick(8) == 0 ? ". " : " ";
    }
  }
  text.resize(size);
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

void ApplyItems(std::span<const LzxItem> items, std::vector<std::uint8_t>& plain) {
  for (const LzxItem& item : items) {
    if (item.length == 0) {
      plain.push_back(item.literal);
      continue;
    }
    if (item.offset == 0 || item.offset > plain.size()) throw std::logic_error("match before the data");
    for (std::uint32_t i = 0; i < item.length; ++i) plain.push_back(plain[plain.size() - item.offset]);
  }
}

}  // namespace tessaly::test
