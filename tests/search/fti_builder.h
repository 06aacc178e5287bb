// Test support for the full-text index: builds $FIftiMain objects byte by byte, and looks words up the
// plain way (every leaf in order, leaves located by the layout rule) to check the reader's lookups against.
//
// A built object: a 1024-byte header, then for each leaf the document lists of its words followed by the
// leaf node, then the index nodes (4096 bytes each), root last. The first index node after the last leaf
// starts 4096 bytes after that leaf, also when leaves are shorter. With `interleaveIndexNodes` an index node
// of the first level is written as soon as it is full, between leaves, as chmcmd does; the layout rule then
// no longer finds the leaves of a tree of depth 3.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::test {

// Bits most significant first, as document lists hold them.
class MsbBitWriter {
 public:
  void Bit(int bit) {
    if (used_ % 8 == 0) bytes_.push_back(0);
    if (bit) bytes_.back() = static_cast<std::uint8_t>(bytes_.back() | (0x80 >> (used_ % 8)));
    ++used_;
  }
  // The low `count` bits of value, most significant first.
  void Bits(std::uint64_t value, unsigned count) {
    for (unsigned i = count; i-- > 0;) Bit(static_cast<int>((value >> i) & 1));
  }
  // The scale-2 code of value with the given root, in its shortest form.
  void Code(std::uint32_t value, unsigned root) {
    if (value < (std::uint64_t{1} << root)) {
      Bit(0);
      Bits(value, root);
      return;
    }
    unsigned width = 0;
    while ((std::uint64_t{value} >> (width + 1)) != 0) ++width;  // 2^width <= value < 2^(width+1)
    for (unsigned i = 0; i < width - root + 1; ++i) Bit(1);
    Bit(0);
    Bits(value - (std::uint64_t{1} << width), width);
  }
  void AlignToByte() { used_ = (used_ + 7) / 8 * 8; }
  std::size_t BitCount() const { return used_; }
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t used_ = 0;
};

struct FtiDocument {
  std::uint32_t topic = 0;
  std::vector<std::uint32_t> locations;
};

struct FtiWord {
  std::string word;
  std::uint8_t flag = 0;
  std::vector<FtiDocument> documents;  // topics ascending
  // Overrides for damaged entries.
  std::optional<std::uint32_t> documentCount;
  std::optional<std::vector<std::uint8_t>> list;  // the list bytes as given
  std::optional<std::uint32_t> listSize;          // the list's size as claimed
};

struct FtiRoots {
  unsigned document = 1;
  unsigned count = 1;
  unsigned location = 4;
};

inline void PutLE16(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t value) {
  out[at] = static_cast<std::uint8_t>(value);
  out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}
inline void PutLE32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}
inline std::uint32_t GetLE32(std::span<const std::uint8_t> data, std::size_t at) {
  return static_cast<std::uint32_t>(data[at] | (data[at + 1] << 8) | (data[at + 2] << 16)) |
         (static_cast<std::uint32_t>(data[at + 3]) << 24);
}
inline void AppendVarInt(std::vector<std::uint8_t>& out, std::uint32_t value) {
  do {
    std::uint8_t byte = value & 0x7F;
    value >>= 7;
    if (value != 0) byte |= 0x80;
    out.push_back(byte);
  } while (value != 0);
}

// One document list: a record per document, each padded to a byte.
inline std::vector<std::uint8_t> EncodeDocumentList(const std::vector<FtiDocument>& documents,
                                                    FtiRoots roots) {
  std::vector<std::uint8_t> out;
  std::uint32_t previous = 0;
  for (const FtiDocument& document : documents) {
    MsbBitWriter bits;
    bits.Code(document.topic - previous, roots.document);
    bits.Code(static_cast<std::uint32_t>(document.locations.size()), roots.count);
    for (std::uint32_t location : document.locations) bits.Code(location, roots.location);
    out.insert(out.end(), bits.Bytes().begin(), bits.Bytes().end());
    previous = document.topic;
  }
  return out;
}

struct FtiBuilt {
  std::vector<std::uint8_t> data;
  std::vector<std::uint32_t> leaves;        // leaf node positions
  std::vector<std::size_t> entryPositions;  // position of every word entry, in word order
  std::vector<std::uint32_t> listOffsets;   // of every word, in word order
  std::vector<std::uint32_t> indexNodes;    // positions of all index nodes
  std::uint32_t root = 0;
  int depth = 1;
};

class FtiBuilder {
 public:
  FtiRoots roots;
  std::uint32_t nodeLength = 4096;
  std::uint32_t fileCount = 0;
  std::size_t wordsPerLeaf = 0;         // 0: as many as fit
  std::size_t entriesPerIndexNode = 0;  // 0: as many as fit
  bool prefixAcrossLeaves = true;       // take prefixes over from the last word of the previous leaf
  bool interleaveIndexNodes = false;
  std::size_t listPadding = 0;  // zero bytes after every list, as some compilers write
  std::vector<FtiWord> words;

  FtiWord& Add(std::string word, std::vector<std::uint32_t> topics, std::uint8_t flag = 0) {
    FtiWord w;
    w.word = std::move(word);
    w.flag = flag;
    for (std::uint32_t topic : topics) w.documents.push_back(FtiDocument{topic, {topic % 7 + 1}});
    words.push_back(std::move(w));
    return words.back();
  }

  FtiBuilt Build() const {
    FtiBuilt built;
    std::vector<std::uint8_t>& out = built.data;
    out.assign(1024, 0);
    out[2] = 0x28;
    PutLE32(out, 4, fileCount);
    out[30] = 2;
    out[31] = static_cast<std::uint8_t>(roots.document);
    out[32] = 2;
    out[33] = static_cast<std::uint8_t>(roots.count);
    out[34] = 2;
    out[35] = static_cast<std::uint8_t>(roots.location);
    PutLE32(out, 46, nodeLength);

    std::vector<std::vector<std::uint8_t>> lists;
    for (const FtiWord& w : words) {
      std::vector<std::uint8_t> list = w.list ? *w.list : EncodeDocumentList(w.documents, roots);
      list.insert(list.end(), listPadding, 0);
      lists.push_back(std::move(list));
    }

    // Split into leaves: an entry's size depends only on its prefix, which depends only on the word order.
    std::vector<std::vector<std::uint8_t>> entryHeads;  // entry bytes without list offset / size
    std::vector<std::size_t> leafStartWord;
    std::size_t used = 8;
    std::string previous;
    for (std::size_t i = 0; i < words.size(); ++i) {
      const std::size_t size = EntrySize(i, previous, lists[i]);
      const std::size_t inLeaf = leafStartWord.empty() ? 0 : i - leafStartWord.back();
      if (leafStartWord.empty() || used + size > nodeLength ||
          (wordsPerLeaf != 0 && inLeaf == wordsPerLeaf)) {
        leafStartWord.push_back(i);
        used = 8;
        if (!prefixAcrossLeaves) previous.clear();
      }
      const std::size_t sized = EntrySize(i, previous, lists[i]);
      if (8 + sized > nodeLength) throw std::length_error("word entry larger than a node");
      used += sized;
      previous = words[i].word;
    }
    if (words.empty()) leafStartWord.clear();

    struct IndexEntry {
      std::string word;
      std::uint32_t child;
    };
    std::vector<IndexEntry> level1;
    std::vector<IndexEntry> pendingLevel1;
    std::vector<std::vector<IndexEntry>> level1Nodes;
    previous.clear();
    for (std::size_t leaf = 0; leaf < leafStartWord.size(); ++leaf) {
      const std::size_t first = leafStartWord[leaf];
      const std::size_t last = leaf + 1 < leafStartWord.size() ? leafStartWord[leaf + 1] : words.size();
      if (!prefixAcrossLeaves) previous.clear();
      std::vector<std::uint32_t> offsets;
      for (std::size_t i = first; i < last; ++i) {
        offsets.push_back(static_cast<std::uint32_t>(out.size()));
        out.insert(out.end(), lists[i].begin(), lists[i].end());
      }
      const std::size_t node = out.size();
      out.resize(node + nodeLength, 0);
      if (!built.leaves.empty()) PutLE32(out, built.leaves.back(), static_cast<std::uint32_t>(node));
      built.leaves.push_back(static_cast<std::uint32_t>(node));
      std::size_t at = node + 8;
      for (std::size_t i = first; i < last; ++i) {
        built.entryPositions.push_back(at);
        built.listOffsets.push_back(offsets[i - first]);
        const std::vector<std::uint8_t> entry = EntryBytes(i, previous, offsets[i - first], lists[i]);
        std::copy(entry.begin(), entry.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
        at += entry.size();
        previous = words[i].word;
      }
      PutLE16(out, node + 6, static_cast<std::uint16_t>(node + nodeLength - at));
      pendingLevel1.push_back(
          IndexEntry{last > first ? words[last - 1].word : previous, static_cast<std::uint32_t>(node)});
      if (interleaveIndexNodes && pendingLevel1.size() == IndexCapacity(pendingLevel1) &&
          leaf + 1 < leafStartWord.size()) {
        const std::uint32_t position = WriteIndexNode(out, pendingLevel1);
        built.indexNodes.push_back(position);
        level1.push_back(IndexEntry{pendingLevel1.back().word, position});
        pendingLevel1.clear();
      }
    }

    std::uint32_t root = built.leaves.empty() ? 0 : built.leaves.back();
    int depth = 1;
    if (built.leaves.size() > 1) {
      // Whatever the node length, what follows the last leaf starts 4096 bytes after it, as in books.
      if (nodeLength < 4096) out.resize(built.leaves.back() + std::size_t{4096}, 0);
      // The first level: what is still pending, then the levels above until one node remains.
      std::vector<IndexEntry> level = pendingLevel1;
      std::vector<IndexEntry> above = level1;
      if (!interleaveIndexNodes) {
        above.clear();
        for (std::size_t i = 0; i < level.size();) {
          std::vector<IndexEntry> node(level.begin() + static_cast<std::ptrdiff_t>(i), level.end());
          node.resize(std::min(node.size(), IndexCapacity(node)));
          i += node.size();
          const std::uint32_t position = WriteIndexNode(out, node);
          built.indexNodes.push_back(position);
          above.push_back(IndexEntry{node.back().word, position});
        }
      } else if (!level.empty()) {
        const std::uint32_t position = WriteIndexNode(out, level);
        built.indexNodes.push_back(position);
        above.push_back(IndexEntry{level.back().word, position});
      }
      depth = 2;
      while (above.size() > 1) {
        std::vector<IndexEntry> next;
        for (std::size_t i = 0; i < above.size();) {
          std::vector<IndexEntry> node(above.begin() + static_cast<std::ptrdiff_t>(i), above.end());
          node.resize(std::min(node.size(), IndexCapacity(node)));
          i += node.size();
          const std::uint32_t position = WriteIndexNode(out, node);
          built.indexNodes.push_back(position);
          next.push_back(IndexEntry{node.back().word, position});
        }
        above = std::move(next);
        ++depth;
      }
      root = above.front().child;
    }
    PutLE32(out, 8, root);
    PutLE32(out, 16, static_cast<std::uint32_t>(built.leaves.size()));
    PutLE32(out, 20, root);
    PutLE16(out, 24, static_cast<std::uint16_t>(depth));
    built.root = root;
    built.depth = depth;
    return built;
  }

 private:
  template <class Entries>
  std::size_t IndexCapacity(const Entries&) const {
    return entriesPerIndexNode != 0 ? entriesPerIndexNode : std::size_t{1} << 20;
  }

  static std::size_t CommonPrefix(const std::string& a, const std::string& b) {
    std::size_t n = 0;
    while (n < a.size() && n < b.size() && a[n] == b[n] && n < 255) ++n;
    return n;
  }

  std::size_t EntrySize(std::size_t i, const std::string& previous,
                        const std::vector<std::uint8_t>& list) const {
    return EntryBytes(i, previous, 0, list).size();
  }

  std::vector<std::uint8_t> EntryBytes(std::size_t i, const std::string& previous, std::uint32_t listOffset,
                                       const std::vector<std::uint8_t>& list) const {
    const FtiWord& w = words[i];
    std::size_t prefix = CommonPrefix(previous, w.word);
    if (w.word.size() - prefix > 254) throw std::length_error("word too long for one entry");
    std::vector<std::uint8_t> out;
    out.push_back(static_cast<std::uint8_t>(w.word.size() - prefix + 1));
    out.push_back(static_cast<std::uint8_t>(prefix));
    out.insert(out.end(), w.word.begin() + static_cast<std::ptrdiff_t>(prefix), w.word.end());
    out.push_back(w.flag);
    AppendVarInt(out, w.documentCount ? *w.documentCount : static_cast<std::uint32_t>(w.documents.size()));
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<std::uint8_t>(listOffset >> (8 * k)));
    out.push_back(0);
    out.push_back(0);
    AppendVarInt(out, w.listSize ? *w.listSize : static_cast<std::uint32_t>(list.size()));
    return out;
  }

  template <class Entries>
  static std::uint32_t WriteIndexNode(std::vector<std::uint8_t>& out, const Entries& entries) {
    std::vector<std::uint8_t> node(2, 0);  // the free space comes last
    std::string previous;
    for (const auto& entry : entries) {
      const std::size_t prefix = CommonPrefix(previous, entry.word);
      node.push_back(static_cast<std::uint8_t>(entry.word.size() - prefix + 1));
      node.push_back(static_cast<std::uint8_t>(prefix));
      node.insert(node.end(), entry.word.begin() + static_cast<std::ptrdiff_t>(prefix), entry.word.end());
      for (int k = 0; k < 4; ++k) node.push_back(static_cast<std::uint8_t>(entry.child >> (8 * k)));
      node.push_back(0);
      node.push_back(0);
      previous = entry.word;
    }
    if (node.size() > 4096) throw std::length_error("index node overfull");
    const std::size_t used = node.size();
    node.resize(4096, 0);
    PutLE16(node, 0, static_cast<std::uint16_t>(4096 - used));
    const std::size_t position = out.size();
    out.insert(out.end(), node.begin(), node.end());
    return static_cast<std::uint32_t>(position);
  }
};

// The roots of an index's document lists, as its header gives them.
inline FtiRoots LiteralRoots(std::span<const std::uint8_t> data) {
  if (data.size() < 36) return {};
  return {data[31], data[33], data[35]};
}

// An entry as the plain lookup sees it.
struct LiteralEntry {
  std::string word;  // up to its first NUL, as the lookup compares it
  std::size_t position = 0;
  std::uint8_t flag = 0;
  std::uint32_t documentCount = 0;
  std::uint32_t listOffset = 0;
  std::uint32_t listSize = 0;
};

// Every entry in leaf order, the leaves located by the layout rule (the last one (depth - 1) * 4096 bytes
// before the root, each earlier one node length bytes before the first list of the next), the words
// rebuilt in one buffer whose bytes after a word's end stay as they were. False when the rule or an entry
// leads outside the object.
inline bool LiteralScan(std::span<const std::uint8_t> data, std::vector<LiteralEntry>& out) {
  out.clear();
  if (data.size() < 50) return data.empty();
  const std::uint32_t count = GetLE32(data, 16);
  const auto depth = static_cast<std::int16_t>(data[24] | (data[25] << 8));
  const std::uint32_t nodeLength = GetLE32(data, 46);
  if (count == 0) return true;
  auto fits = [&](std::int64_t at, std::int64_t n) { return at >= 0 && at + n <= std::int64_t(data.size()); };
  // The plain varint and entry readers, each byte checked.
  auto varint = [&](std::size_t& at, std::uint32_t& value) {
    value = 0;
    for (unsigned shift = 0;; shift += 7) {
      if (at >= data.size()) return false;
      const std::uint8_t b = data[at++];
      if (shift < 32) value |= static_cast<std::uint32_t>(b & 0x7F) << shift;
      if (!(b & 0x80)) return true;
    }
  };
  struct Raw {
    unsigned length, prefix;
    std::size_t chars;
    LiteralEntry e;
  };
  auto read = [&](std::size_t& at, Raw& raw) {
    if (!fits(static_cast<std::int64_t>(at), 2)) return false;
    raw.length = data[at];
    raw.prefix = data[at + 1];
    if (raw.length == 0) return false;
    raw.chars = at + 2;
    at += 2 + raw.length - 1;
    if (!fits(static_cast<std::int64_t>(at), 1)) return false;
    raw.e.flag = data[at++];
    if (!varint(at, raw.e.documentCount)) return false;
    if (!fits(static_cast<std::int64_t>(at), 6)) return false;
    raw.e.listOffset = GetLE32(data, at);
    at += 6;
    return varint(at, raw.e.listSize);
  };
  std::vector<std::int64_t> leaves(count);
  leaves[count - 1] = std::int64_t(GetLE32(data, 8)) - (std::int64_t(depth) - 1) * 4096;
  if (!fits(leaves[count - 1], nodeLength)) return false;
  for (std::size_t i = count - 1; i-- > 0;) {
    std::size_t at = static_cast<std::size_t>(leaves[i + 1]) + 8;
    Raw raw;
    if (!read(at, raw)) return false;
    leaves[i] = std::int64_t(raw.e.listOffset) - nodeLength;
    if (!fits(leaves[i], nodeLength)) return false;
  }
  char buffer[1024] = {};
  for (std::int64_t leaf : leaves) {
    const auto node = static_cast<std::size_t>(leaf);
    const auto freeSpace = static_cast<std::int16_t>(data[node + 6] | (data[node + 7] << 8));
    std::size_t at = node + 8;
    const std::int64_t end = std::int64_t(node) + nodeLength - freeSpace;
    while (std::int64_t(at) < end) {
      Raw raw;
      raw.e.position = at;
      if (!read(at, raw)) return false;
      if (raw.prefix + raw.length >= sizeof buffer) return false;
      std::memcpy(buffer + raw.prefix, data.data() + raw.chars, raw.length - 1);
      buffer[raw.prefix + raw.length - 1] = '\0';
      raw.e.word = buffer;
      out.push_back(raw.e);
    }
  }
  return true;
}

// The first entry in leaf order whose word equals `word`.
inline std::optional<LiteralEntry> LiteralFindWord(std::span<const std::uint8_t> data,
                                                   std::string_view word) {
  std::vector<LiteralEntry> entries;
  if (!LiteralScan(data, entries)) return std::nullopt;
  for (const LiteralEntry& entry : entries) {
    if (entry.word == word) return entry;
  }
  return std::nullopt;
}

// The plain decoding of a document list: a record per document from the list start, each on a byte, until
// the count is reached or the list ends; topics are running sums of the steps. False when the list lies
// outside the object or a code runs past its end.
inline bool LiteralDecodeList(std::span<const std::uint8_t> data, const LiteralEntry& entry, FtiRoots roots,
                              std::vector<std::pair<std::uint32_t, std::uint32_t>>& out) {
  if (std::uint64_t{entry.listOffset} + entry.listSize > data.size()) return false;
  const std::size_t end = std::size_t{entry.listOffset} + entry.listSize;
  std::size_t at = entry.listOffset;
  std::uint32_t topic = 0;
  for (std::uint32_t i = 0; i < entry.documentCount && at < end; ++i) {
    std::uint64_t bit = 0;  // bits used by this record
    auto next = [&](int& value) {
      const std::uint64_t byte = at + bit / 8;
      if (byte >= end) return false;
      value = (data[byte] >> (7 - bit % 8)) & 1;
      ++bit;
      return true;
    };
    auto code = [&](unsigned root, std::uint32_t& value) {
      unsigned ones = 0;
      for (int b = 1; b == 1;) {
        if (!next(b)) return false;
        ones += static_cast<unsigned>(b);
      }
      const unsigned width = ones == 0 ? root : root + ones - 1;
      if (width > 31) return false;
      std::uint64_t v = 0;
      for (unsigned k = 0; k < width; ++k) {
        int b = 0;
        if (!next(b)) return false;
        v = v * 2 + static_cast<unsigned>(b);
      }
      value = static_cast<std::uint32_t>(ones == 0 ? v : v + (std::uint64_t{1} << width));
      return true;
    };
    std::uint32_t step = 0, count = 0, location = 0;
    if (!code(roots.document, step) || !code(roots.count, count)) return false;
    for (std::uint32_t k = 0; k < count; ++k) {
      if (!code(roots.location, location)) return false;
    }
    topic += step;
    out.emplace_back(topic, count);
    at += static_cast<std::size_t>((bit + 7) / 8);
  }
  return true;
}

// The three topic objects and the strings object for a topic table, built in memory.
struct TopicTableBytes {
  std::vector<std::uint8_t> topics, urltbl, urlstr, strings{0};

  void Add(const std::string& title, const std::string& path) {
    const auto titleOffset = static_cast<std::uint32_t>(strings.size());
    strings.insert(strings.end(), title.begin(), title.end());
    strings.push_back(0);
    const auto urlstrOffset = static_cast<std::uint32_t>(urlstr.size());
    urlstr.resize(urlstr.size() + 8, 0);
    urlstr.insert(urlstr.end(), path.begin(), path.end());
    urlstr.push_back(0);
    const auto urltblOffset = static_cast<std::uint32_t>(urltbl.size());
    urltbl.resize(urltbl.size() + 12, 0);
    PutLE32(urltbl, urltblOffset + 8, urlstrOffset);
    const std::size_t record = topics.size();
    topics.resize(record + 16, 0);
    PutLE32(topics, record + 4, titleOffset);
    PutLE32(topics, record + 8, urltblOffset);
  }
};

}  // namespace tessaly::test
