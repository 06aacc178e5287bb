// The full-text index of a book ($FIftiMain) and one-word search over it.
//
// All integers little-endian, offsets from the start of the object.
//   header:      8 position of the root node | 16 number of leaf nodes | 24 tree depth (signed 16) |
//                31, 33, 35 code roots of document steps, location counts and locations (the scale bytes
//                before them are always 2) | 46 node length
//   leaf node:   0 position of the next leaf | 6 free space at the end (signed 16) | 8 word entries
//   index node:  0 free space | 2 entries: L, P, L - 1 characters, position of the child node, 2 unused
//                (upper levels are always 4096 bytes long, whatever the node length says)
//   word entry:  L (new characters + 1) | P (characters kept from the previous word, also across a node
//                boundary) | L - 1 characters | flag (1: the word's occurrences in topic titles, 0: in
//                their text) | document count (base-128) | list offset (32) | 2 unused | list size (base-128)
//   document list: one record per document, each starting on a byte, bits taken from the most significant
//                down: the step from the previous document number (from 0 for the first), the location
//                count, that many locations; each value a scale-2 code with the header's root for it.
// Words are sorted (byte order), each leaf lies right after the document lists of its own words, and a word
// occurring both in titles and in text is stored twice in a row, once with each flag.
//
// Lookups decode entries in place and allocate nothing; every position, length and bit read is checked
// against the object. Load refuses an index whose header or leaf nodes are damaged (BookError); a damaged
// document list makes the search that reaches it raise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/bytes.h"
#include "base/pointer_array.h"
#include "base/topic_table.h"
#include "base/object_source.h"

namespace tessaly {

// One word entry of a leaf node, decoded in place.
struct WordEntry {
  std::uint8_t wordLength = 0;    // new characters + 1
  std::uint8_t prefixLength = 0;  // characters taken over from the previous word
  Bytes characters;               // the new characters, inside the index data
  std::uint8_t flag = 0;          // 1: occurrences in titles, 0: in text
  std::uint32_t documentCount = 0;
  std::uint32_t listOffset = 0;
  std::uint32_t listSize = 0;
};

// One topic found by a search.
bool ReadVarInt(Bytes data, std::size_t& cursor, std::uint32_t& value);

// The word entry at `cursor`, which must lie entirely inside `node`; advances the cursor past it. False
// (cursor unchanged) when it does not fit.
bool ReadWordEntry(Bytes node, std::size_t& cursor, WordEntry& entry);

// Bit `position` of the bytes, counted from 1 at the most significant bit of the first byte; -1 outside.
int ReadBit(Bytes bits, std::uint64_t position);

// The scale-2 code with the given root that starts at bit `position` (counted from 1); advances the position
// past it. p leading 1 bits and a 0, then: p = 0, the value is the next `root` bits; otherwise 2^(root+p-1)
// plus the next root + p - 1 bits. False when the code runs past the bytes or its value needs more than 32
// bits (position then undefined).
bool ReadScaleRootCode(Bytes bits, std::uint64_t& position, int root, std::uint32_t& value);

class FullTextIndex {
 public:
  static constexpr std::size_t kMaxQueryLength = 200;
  static constexpr std::size_t kWordBufferSize = 204;  // the longest word that can match: 203 characters
  static constexpr std::size_t kMaxWordLength = kWordBufferSize - 1;
  static constexpr std::size_t kHeaderSize = 50;  // the header bytes that are read
  static constexpr std::uint32_t kIndexNodeLength = 4096;
  static constexpr std::size_t kLeafHeaderSize = 8;
  static_assert(kMaxQueryLength < kMaxWordLength);

  FullTextIndex() = default;
  FullTextIndex(const FullTextIndex&) = delete;
  FullTextIndex& operator=(const FullTextIndex&) = delete;

  // Takes the whole object and locates its leaf nodes. An empty object is an index without words. Raises
  // BookError when the header or a leaf node is damaged; the index is then not loaded.
  void Load(std::vector<std::uint8_t> data);
  // Loads the book's "$FIftiMain". Raises BookError, "No $FIftiMain file in
  // CHM." when the book has none.
  void Read(const ObjectSource& objects);
  // Loaded, but without a single word (an empty object, or no leaf nodes).
  bool Empty() const { return leaves_.empty(); }

  // The first entry, in leaf order, whose word equals `word` byte for byte (the caller lower-cases it),
  // and the entries right after it that hold the same word (a word stored once for titles and once for
  // text); empty when the word is not found.
  void FindWordEntries(std::string_view word, std::vector<WordEntry>& out) const;

  // Appends one record per document of the entry's list. Raises BookError when the list lies outside the
  // object or a record runs past the end of the list.
  void DecodeDocumentList(const WordEntry& entry, std::vector<SearchResult>& out) const;
  // The same records with their locations (word positions in the document, ascending: the list stores
  // each as the step from the one before), one call per document. Raises as DecodeDocumentList.
  using LocationVisitor = std::function<void(std::uint32_t topic, std::span<const std::uint32_t> locations)>;
  void DecodeLocations(const WordEntry& entry, const LocationVisitor& visit) const;

  // Clears `results`, then fills it with the topics holding the query word (ASCII letters folded to lower
  // case), each topic once with the locations of all entries of the word summed, ordered by topic title
  // under CompareNoCase; topics with equal titles stay in ascending topic order. Raises BookError for a
  // query longer than kMaxQueryLength and for a damaged document list. Without an index nothing is found.
  // In a book of a double-byte code page (932, 936, 949, 950), whose index stores Chinese and Japanese
  // text a character at a time, a word of several such characters that the index lacks is found by its
  // characters: the topics where they stand in a row (see adjacent_characters.h), with the number of
  // times they do.
  void Search(std::string_view query, const TopicTable& topics, PointerArray<SearchResult>& results,
              int codePage = 0) const;

 private:
  class Walker;
  // The word being rebuilt before a leaf's first entry is decoded, and that leaf's first word.
  struct LeafStart {
    std::string before;            // at most kMaxWordLength characters
    std::size_t beforeLength = 0;  // the word's full length (longer when it did not fit)
    std::string first;
  };

  void Unload();
  void Parse();
  // The leaves by the layout rule: leaf i ends where the first list of leaf i + 1 begins, the last leaf
  // lies (depth - 1) * 4096 bytes before the root. It does not hold once index nodes sit between leaves,
  // as in trees of depth 3: then the leaves are found through the index nodes and the links between
  // leaves.
  bool BuildLeafTable(std::vector<std::uint32_t>& leaves) const;
  bool BuildLeafTableFromTree(std::vector<std::uint32_t>& leaves) const;
  bool LinksAgree(const std::vector<std::uint32_t>& leaves) const;
  void ScanLeaves();
  bool Locate(std::string_view word, Walker& walker, WordEntry& out) const;
  // Reads the entry's records, calling visit for each with its topic and location count; the locations
  // go into *locations when it is given (else they are only skipped).
  void ReadRecords(const WordEntry& entry, std::vector<std::uint32_t>* locations,
                   const std::function<void(std::uint32_t topic, std::uint32_t count)>& visit) const;

  std::vector<std::uint8_t> data_;
  bool loaded_ = false;
  std::uint32_t rootPosition_ = 0;
  std::uint32_t leafCount_ = 0;
  std::int16_t depth_ = 0;
  std::uint32_t nodeLength_ = 0;
  int documentRoot_ = 0;
  int countRoot_ = 0;
  int locationRoot_ = 0;
  std::vector<std::uint32_t> leaves_;
  std::vector<LeafStart> leafStarts_;
  // Every word sorts at or after the one before it: lookups skip to the right leaf.
  bool sorted_ = false;
};

}  // namespace tessaly
