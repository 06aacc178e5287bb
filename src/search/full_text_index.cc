#include "search/full_text_index.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <limits>
#include <memory>

#include "base/book_error.h"
#include "base/text.h"
#include "search/adjacent_characters.h"

namespace tessaly {

namespace {

constexpr std::size_t kRootPositionField = 8;
constexpr std::size_t kLeafCountField = 16;
constexpr std::size_t kDepthField = 24;
constexpr std::size_t kDocumentRootField = 31;
constexpr std::size_t kCountRootField = 33;
constexpr std::size_t kLocationRootField = 35;
constexpr std::size_t kNodeLengthField = 46;
constexpr std::size_t kFreeSpaceField = 6;
static_assert(kNodeLengthField + 4 == FullTextIndex::kHeaderSize);

[[noreturn]] __attribute__((format(printf, 1, 2))) void RaiseDamaged(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  const std::string detail = FormatTextV(format, args);
  va_end(args);
  RaiseBookError("$FIftiMain is damaged: %s", detail.c_str());
}

std::uint32_t SaturatingAdd(std::uint32_t a, std::uint32_t b) {
  const std::uint32_t sum = a + b;
  return sum < a ? std::numeric_limits<std::uint32_t>::max() : sum;
}

// Whether a node of the node length lies wholly inside the object at this position.
bool NodeFits(std::int64_t position, std::uint32_t nodeLength, std::size_t size) {
  return position >= 0 && static_cast<std::uint64_t>(position) + nodeLength <= size;
}

}  // namespace

bool ReadVarInt(Bytes data, std::size_t& cursor, std::uint32_t& value) {
  std::size_t at = cursor;
  std::uint32_t result = 0;
  unsigned shift = 0;
  for (;;) {
    if (at >= data.size()) return false;
    const std::uint8_t byte = data[at++];
    if (shift < 32) result |= static_cast<std::uint32_t>(byte & 0x7F) << shift;
    if (shift < 32) shift += 7;
    if ((byte & 0x80) == 0) break;
  }
  cursor = at;
  value = result;
  return true;
}

bool ReadWordEntry(Bytes node, std::size_t& cursor, WordEntry& entry) {
  std::size_t at = cursor;
  if (at > node.size() || node.size() - at < 2) return false;
  WordEntry read;
  read.wordLength = node[at];
  read.prefixLength = node[at + 1];
  at += 2;
  if (read.wordLength == 0) return false;  // no room even for the "+ 1"
  const std::size_t added = read.wordLength - 1u;
  if (node.size() - at < added) return false;
  read.characters = node.subspan(at, added);
  at += added;
  if (at >= node.size()) return false;
  read.flag = node[at++];
  if (!ReadVarInt(node, at, read.documentCount)) return false;
  if (node.size() - at < 6) return false;
  read.listOffset = LoadLE32(node.data() + at);
  at += 6;  // the offset and 2 unused bytes
  if (!ReadVarInt(node, at, read.listSize)) return false;
  cursor = at;
  entry = read;
  return true;
}

int ReadBit(Bytes bits, std::uint64_t position) {
  if (position == 0 || position > static_cast<std::uint64_t>(bits.size()) * 8) return -1;
  const std::uint64_t index = position - 1;
  return (bits[static_cast<std::size_t>(index / 8)] >> (7 - index % 8)) & 1;
}

bool ReadScaleRootCode(Bytes bits, std::uint64_t& position, int root, std::uint32_t& value) {
  if (root < 0) return false;
  std::uint64_t at = position;
  unsigned ones = 0;
  for (;;) {
    const int bit = ReadBit(bits, at++);
    if (bit < 0) return false;
    if (bit == 0) break;
    if (++ones > 32) return false;
  }
  const unsigned width = ones == 0 ? static_cast<unsigned>(root) : static_cast<unsigned>(root) + ones - 1;
  if (width > 32) return false;
  std::uint64_t result = 0;
  for (unsigned i = 0; i < width; ++i) {
    const int bit = ReadBit(bits, at++);
    if (bit < 0) return false;
    result = (result << 1) | static_cast<std::uint64_t>(bit);
  }
  if (ones > 0) result += std::uint64_t{1} << width;
  if (result > std::numeric_limits<std::uint32_t>::max()) return false;
  position = at;
  value = static_cast<std::uint32_t>(result);
  return true;
}

// Walks the word entries in leaf order, rebuilding each word from the previous one. The word lives in a
// fixed buffer of kMaxWordLength characters: a longer word keeps its first kMaxWordLength characters, which
// is all that a later word can take over from it and still fit, and is marked incomplete so that it never
// matches.
class FullTextIndex::Walker {
 public:
  enum class Step { Entry, End, Damaged };
  enum class Problem { None, FreeSpace, EntryPastNode, ZeroWordLength, PrefixTooLong };

  explicit Walker(const FullTextIndex& index) : index_(index) {}

  // Continues at `leaf` with the word that was current before its first entry.
  void StartAt(std::size_t leaf) {
    const LeafStart& start = index_.leafStarts_[leaf];
    std::copy(start.before.begin(), start.before.end(), word_.begin());
    length_ = start.beforeLength;
    leaf_ = leaf;
    inLeaf_ = false;
  }

  bool EnterLeaf(std::size_t leaf) {
    leaf_ = leaf;
    const std::uint32_t position = index_.leaves_[leaf];
    const std::uint32_t nodeLength = index_.nodeLength_;
    // The leaf table only holds nodes that lie wholly inside the object.
    node_ = Bytes(index_.data_).subspan(position, nodeLength);
    const auto freeSpace = static_cast<std::int16_t>(LoadLE16(node_.data() + kFreeSpaceField));
    if (freeSpace < 0 || static_cast<std::uint32_t>(freeSpace) > nodeLength - kLeafHeaderSize) {
      problem_ = Problem::FreeSpace;
      freeSpace_ = freeSpace;
      return false;
    }
    end_ = nodeLength - static_cast<std::uint32_t>(freeSpace);
    cursor_ = kLeafHeaderSize;
    inLeaf_ = true;
    return true;
  }

  // The next entry of the current leaf; End at the end of its used part.
  Step NextInLeaf(WordEntry& entry) {
    if (cursor_ >= end_) return Step::End;
    entryStart_ = cursor_;
    if (node_[cursor_] == 0) return Fail(Problem::ZeroWordLength);
    if (!ReadWordEntry(node_, cursor_, entry)) return Fail(Problem::EntryPastNode);
    if (entry.prefixLength > length_) return Fail(Problem::PrefixTooLong);
    const std::size_t kept = entry.prefixLength;
    if (kept < kMaxWordLength) {
      const std::size_t room = kMaxWordLength - kept;
      const std::size_t copied = std::min(room, entry.characters.size());
      std::copy_n(entry.characters.begin(), copied, word_.begin() + static_cast<std::ptrdiff_t>(kept));
    }
    length_ = kept + entry.characters.size();
    return Step::Entry;
  }

  // The next entry in leaf order, across leaves.
  Step Next(WordEntry& entry) {
    for (;;) {
      if (!inLeaf_) {
        if (leaf_ >= index_.leaves_.size()) return Step::End;
        if (!EnterLeaf(leaf_)) return Step::Damaged;
      }
      const Step step = NextInLeaf(entry);
      if (step != Step::End) return step;
      inLeaf_ = false;
      ++leaf_;
    }
  }

  // The current word, cut at kMaxWordLength characters when it is longer.
  std::string_view Word() const { return {word_.data(), std::min(length_, kMaxWordLength)}; }
  std::size_t Length() const { return length_; }
  bool Complete() const { return length_ <= kMaxWordLength; }

  Problem problem() const { return problem_; }
  std::size_t EntryPosition() const { return index_.leaves_[leaf_] + entryStart_; }
  std::size_t LeafPosition() const { return index_.leaves_[leaf_]; }
  int FreeSpace() const { return freeSpace_; }

 private:
  Step Fail(Problem problem) {
    problem_ = problem;
    return Step::Damaged;
  }

  const FullTextIndex& index_;
  std::size_t leaf_ = 0;
  bool inLeaf_ = false;
  Bytes node_;
  std::size_t cursor_ = 0;
  std::size_t end_ = 0;
  std::size_t entryStart_ = 0;
  std::array<char, kWordBufferSize> word_{};
  std::size_t length_ = 0;
  Problem problem_ = Problem::None;
  int freeSpace_ = 0;
};

void FullTextIndex::Unload() {
  data_.clear();
  data_.shrink_to_fit();
  loaded_ = false;
  rootPosition_ = 0;
  leafCount_ = 0;
  depth_ = 0;
  nodeLength_ = 0;
  documentRoot_ = countRoot_ = locationRoot_ = 0;
  leaves_.clear();
  leafStarts_.clear();
  sorted_ = false;
}

void FullTextIndex::Load(std::vector<std::uint8_t> data) {
  Unload();
  data_ = std::move(data);
  try {
    Parse();
  } catch (...) {
    Unload();
    throw;
  }
  loaded_ = true;
}

void FullTextIndex::Parse() {
  sorted_ = true;
  // Compilers write an empty object for a book compiled without full-text search.
  if (data_.empty()) return;
  const std::size_t size = data_.size();
  if (size < kHeaderSize) RaiseDamaged("%zu bytes, too short for its %zu-byte header.", size, kHeaderSize);
  const std::uint8_t* header = data_.data();
  rootPosition_ = LoadLE32(header + kRootPositionField);
  leafCount_ = LoadLE32(header + kLeafCountField);
  depth_ = static_cast<std::int16_t>(LoadLE16(header + kDepthField));
  documentRoot_ = header[kDocumentRootField];
  countRoot_ = header[kCountRootField];
  locationRoot_ = header[kLocationRootField];
  nodeLength_ = LoadLE32(header + kNodeLengthField);
  if (leafCount_ == 0) return;
  if (nodeLength_ < kLeafHeaderSize || nodeLength_ > size) {
    RaiseDamaged("node length %u does not fit an object of %zu bytes.", nodeLength_, size);
  }
  if (leafCount_ > size / nodeLength_) {
    RaiseDamaged("%u leaf nodes of %u bytes do not fit an object of %zu bytes.", leafCount_, nodeLength_,
                 size);
  }

  std::vector<std::uint32_t> byLayout;
  const bool layoutFound = BuildLeafTable(byLayout);
  if (layoutFound && LinksAgree(byLayout)) {
    leaves_ = std::move(byLayout);
  } else {
    std::vector<std::uint32_t> byTree;
    if (BuildLeafTableFromTree(byTree)) {
      leaves_ = std::move(byTree);
    } else if (layoutFound) {
      leaves_ = std::move(byLayout);  // the links are not needed by the layout rule
    } else {
      RaiseDamaged("its %u leaf nodes cannot be located (root at %u, depth %d).", leafCount_, rootPosition_,
                   static_cast<int>(depth_));
    }
  }
  ScanLeaves();
}

bool FullTextIndex::BuildLeafTable(std::vector<std::uint32_t>& leaves) const {
  const std::size_t size = data_.size();
  leaves.assign(leafCount_, 0);
  const std::int64_t last =
      static_cast<std::int64_t>(rootPosition_) - (static_cast<std::int64_t>(depth_) - 1) * kIndexNodeLength;
  if (!NodeFits(last, nodeLength_, size)) return false;
  leaves[leafCount_ - 1] = static_cast<std::uint32_t>(last);
  for (std::size_t i = leafCount_ - 1; i-- > 0;) {
    const Bytes next = Bytes(data_).subspan(leaves[i + 1], nodeLength_);
    std::size_t cursor = kLeafHeaderSize;
    WordEntry first;
    if (!ReadWordEntry(next, cursor, first)) return false;
    const std::int64_t position = static_cast<std::int64_t>(first.listOffset) - nodeLength_;
    if (!NodeFits(position, nodeLength_, size)) return false;
    leaves[i] = static_cast<std::uint32_t>(position);
  }
  return true;
}

bool FullTextIndex::BuildLeafTableFromTree(std::vector<std::uint32_t>& leaves) const {
  const Bytes data(data_);
  if (depth_ < 1) return false;
  std::uint32_t node = rootPosition_;
  // Down the first entries of the index nodes to the first leaf.
  for (int level = depth_; level > 1; --level) {
    if (node >= data.size()) return false;
    const Bytes index = data.subspan(node, std::min<std::size_t>(kIndexNodeLength, data.size() - node));
    std::size_t at = 2;  // past the free space
    if (index.size() < at + 2 || index[at] == 0) return false;
    at += 2 + (index[at] - 1u);
    if (index.size() < at + 4) return false;
    node = LoadLE32(index.data() + at);
  }
  if (!NodeFits(node, nodeLength_, data.size())) return false;
  leaves.assign(leafCount_, 0);
  leaves[0] = node;
  // Then along the links from each leaf to the next, which only ever go forward.
  for (std::size_t i = 1; i < leafCount_; ++i) {
    const std::uint32_t next = LoadLE32(data.data() + leaves[i - 1]);
    if (next <= leaves[i - 1] || !NodeFits(next, nodeLength_, data.size())) return false;
    leaves[i] = next;
  }
  return true;
}

bool FullTextIndex::LinksAgree(const std::vector<std::uint32_t>& leaves) const {
  for (std::size_t i = 0; i + 1 < leaves.size(); ++i) {
    if (LoadLE32(data_.data() + leaves[i]) != leaves[i + 1]) return false;
  }
  return true;
}

void FullTextIndex::ScanLeaves() {
  leafStarts_.assign(leaves_.size(), LeafStart{});
  Walker walker(*this);
  std::string previous;
  bool any = false;
  for (std::size_t leaf = 0; leaf < leaves_.size(); ++leaf) {
    LeafStart& start = leafStarts_[leaf];
    start.before = std::string(walker.Word());
    start.beforeLength = walker.Length();
    if (!walker.EnterLeaf(leaf)) {
      RaiseDamaged("leaf node %zu at %u gives %d bytes of free space in a %u-byte node.", leaf, leaves_[leaf],
                   walker.FreeSpace(), nodeLength_);
    }
    bool first = true;
    WordEntry entry;
    for (;;) {
      const Walker::Step step = walker.NextInLeaf(entry);
      if (step == Walker::Step::End) break;
      if (step == Walker::Step::Damaged) {
        const std::size_t at = walker.EntryPosition();
        switch (walker.problem()) {
          case Walker::Problem::ZeroWordLength:
            RaiseDamaged("the word entry at %zu has word length 0.", at);
          case Walker::Problem::PrefixTooLong:
            RaiseDamaged("the word entry at %zu keeps %u characters of a %zu-character word.", at,
                         static_cast<unsigned>(entry.prefixLength), walker.Length());
          default:
            RaiseDamaged("the word entry at %zu runs past the end of its leaf node at %zu.", at,
                         walker.LeafPosition());
        }
      }
      const std::string_view word = walker.Word();
      if (first) start.first = std::string(word);
      first = false;
      if (any && word < previous) sorted_ = false;
      previous.assign(word);
      any = true;
    }
    if (first) start.first = start.before;  // an empty leaf sorts with the word before it
  }
}

bool FullTextIndex::Locate(std::string_view word, Walker& walker, WordEntry& out) const {
  if (!loaded_ || leaves_.empty() || word.size() > kMaxWordLength) return false;
  std::size_t startLeaf = 0;
  if (sorted_) {
    // The last leaf that starts before the word: no earlier entry can hold it.
    const auto after = std::partition_point(leafStarts_.begin(), leafStarts_.end(),
                                            [word](const LeafStart& start) { return start.first < word; });
    if (after != leafStarts_.begin()) startLeaf = static_cast<std::size_t>(after - leafStarts_.begin()) - 1;
  }
  walker.StartAt(startLeaf);
  WordEntry entry;
  while (walker.Next(entry) == Walker::Step::Entry) {
    const std::string_view current = walker.Word();
    if (walker.Complete() && current == word) {
      out = entry;
      return true;
    }
    if (sorted_ && current > word) return false;
  }
  return false;
}

void FullTextIndex::FindWordEntries(std::string_view word, std::vector<WordEntry>& out) const {
  out.clear();
  Walker walker(*this);
  WordEntry entry;
  if (!Locate(word, walker, entry)) return;
  do {
    out.push_back(entry);
  } while (walker.Next(entry) == Walker::Step::Entry && walker.Complete() && walker.Word() == word);
}

void FullTextIndex::ReadRecords(const WordEntry& entry, std::vector<std::uint32_t>* locations,
                                const std::function<void(std::uint32_t topic, std::uint32_t count)>& visit) const {
  const std::size_t size = data_.size();
  if (entry.listOffset > size || entry.listSize > size - entry.listOffset) {
    RaiseDamaged("the document list at %u (%u bytes) lies outside the object (%zu bytes).", entry.listOffset,
                 entry.listSize, size);
  }
  const Bytes list = Bytes(data_).subspan(entry.listOffset, entry.listSize);
  std::size_t at = 0;
  std::uint32_t previous = 0;
  for (std::uint32_t i = 0; i < entry.documentCount && at < list.size(); ++i) {
    const Bytes record = list.subspan(at);
    std::uint64_t position = 1;
    std::uint32_t step = 0;
    std::uint32_t count = 0;
    bool whole = ReadScaleRootCode(record, position, documentRoot_, step) &&
                 ReadScaleRootCode(record, position, countRoot_, count);
    if (locations != nullptr) locations->clear();
    std::uint32_t location = 0;
    std::uint32_t sum = 0;
    for (std::uint32_t j = 0; whole && j < count; ++j) {
      whole = ReadScaleRootCode(record, position, locationRoot_, location);
      // Each location takes at least one bit of the record: the list stays
      // within what the record's bytes justify.
      if (whole && locations != nullptr) {
        sum = SaturatingAdd(sum, location);
        locations->push_back(sum);
      }
    }
    if (!whole) {
      RaiseDamaged("the document record at %zu runs past the end of its list at %u (%u bytes).",
                   entry.listOffset + at, entry.listOffset, entry.listSize);
    }
    previous += step;
    visit(previous, count);
    at += static_cast<std::size_t>((position - 1 + 7) / 8);  // records start on a byte
  }
}

void FullTextIndex::DecodeDocumentList(const WordEntry& entry, std::vector<SearchResult>& out) const {
  // A record takes at least a byte of a list that lies within the object.
  const std::size_t listed = entry.listOffset < data_.size() ? data_.size() - entry.listOffset : 0;
  out.reserve(out.size() + std::min<std::size_t>({entry.documentCount, entry.listSize, listed}));
  ReadRecords(entry, nullptr, [&](std::uint32_t topic, std::uint32_t count) { out.push_back({topic, count}); });
}

void FullTextIndex::DecodeLocations(const WordEntry& entry, const LocationVisitor& visit) const {
  std::vector<std::uint32_t> locations;
  ReadRecords(entry, &locations, [&](std::uint32_t topic, std::uint32_t) { visit(topic, locations); });
}

void FullTextIndex::Read(const ObjectSource& objects) {
  if (!objects.HasObject("$FIftiMain")) RaiseBookError(ErrorKind::kNotFound, "No $FIftiMain file in CHM.");
  Load(objects.ReadObject("$FIftiMain"));
}

void FullTextIndex::Search(std::string_view query, const TopicTable& topics, PointerArray<SearchResult>& results,
                           int codePage) const {
  results.Clear();
  const std::size_t nul = query.find('\0');
  if (nul != std::string_view::npos) query = query.substr(0, nul);
  if (query.size() > kMaxQueryLength) {
    RaiseBookError("Word too big for search, max length %d.", static_cast<int>(kMaxQueryLength));
  }
  std::string word(query);
  LowerCaseInPlace(word);

  std::vector<WordEntry> entries;
  FindWordEntries(word, entries);
  std::vector<SearchResult> found;
  if (entries.empty()) {
    const std::vector<std::string> characters = DoubleByteCharacters(query, codePage);
    if (characters.empty()) return;
    found = FindAdjacentCharacters(*this, characters);
  }
  for (const WordEntry& entry : entries) DecodeDocumentList(entry, found);

  // One record per topic: the title and the text entries of a word list many topics twice.
  std::stable_sort(found.begin(), found.end(),
                   [](const SearchResult& a, const SearchResult& b) { return a.topic < b.topic; });
  std::size_t kept = 0;
  for (std::size_t i = 0; i < found.size(); ++i) {
    if (kept > 0 && found[kept - 1].topic == found[i].topic) {
      found[kept - 1].locationCount = SaturatingAdd(found[kept - 1].locationCount, found[i].locationCount);
    } else {
      found[kept++] = found[i];
    }
  }
  found.resize(kept);

  struct Titled {
    std::string_view title;
    SearchResult result;
  };
  std::vector<Titled> ordered;
  ordered.reserve(found.size());
  for (const SearchResult& result : found) {
    ordered.push_back(Titled{topics.Title(static_cast<std::int32_t>(result.topic)), result});
  }
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const Titled& a, const Titled& b) { return CompareNoCase(a.title, b.title) < 0; });
  for (const Titled& item : ordered) results.Add(std::make_unique<SearchResult>(item.result));
}

}  // namespace tessaly
