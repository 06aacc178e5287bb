// The directory of a CHM file: its PMGL listing chunks, kept compactly.
//
// The chunks follow the ITSP header (see itsf_header.h). A PMGL chunk is a
// 20-byte header (4 free space at the end, 12 previous, 16 next chunk; -1
// ends the listing) and then entries back to back: ENCINT name length,
// name, then ENCINT content section, offset and length. ENCINT: big-endian
// base-128, high bit = more; at most 5 bytes, so every value fits 64 bits.
// The listing chunks are taken in file order from chunk 0 until one whose
// next-chunk field is -1. Index chunks (PMGI) are skipped wherever they
// stand (a large directory may hold one between its listing chunks), and
// the header's first-listing field is not consulted: compilers get it
// wrong. A chunk count that runs past the end of the file is cut to the
// chunks the file holds. Lookups use the in-memory index
// (directory_index.h), never the index chunks.
//
// The directory keeps the filled entry areas of its chunks as read (the
// names live there) and the start of each entry in them: a few bytes per
// entry beyond the directory's own, whatever its names. Entries are decoded
// when asked for; every one was checked when the directory was read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <string_view>
#include <vector>

#include "base/log.h"
#include "base/object_source.h"

namespace tessaly {

class ChmFile;
struct DirectoryHeader;

class Directory {
 public:
  Directory() = default;

  std::size_t size() const { return starts_.size(); }
  bool empty() const { return starts_.empty(); }
  DirectoryEntry operator[](std::size_t index) const;
  DirectoryEntry front() const { return (*this)[0]; }
  // The name of entry `index` alone (what the index sorts by).
  std::string_view Name(std::size_t index) const;

  class Iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = DirectoryEntry;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = DirectoryEntry;

    Iterator() = default;
    Iterator(const Directory* directory, std::size_t index) : directory_(directory), index_(index) {}
    DirectoryEntry operator*() const { return (*directory_)[index_]; }
    Iterator& operator++() {
      ++index_;
      return *this;
    }
    Iterator operator++(int) {
      Iterator old = *this;
      ++index_;
      return old;
    }
    bool operator==(const Iterator& other) const { return index_ == other.index_; }

   private:
    const Directory* directory_ = nullptr;
    std::size_t index_ = 0;
  };
  Iterator begin() const { return Iterator(this, 0); }
  Iterator end() const { return Iterator(this, size()); }

  // Reads the listing chunks that start at directoryStart, as the ITSP
  // header describes them, logging each chunk and each entry. Raises
  // BookError on every failure; nothing is set aside for a directory that
  // does not lie in the file.
  static Directory Read(const ChmFile& file, std::uint64_t directoryStart, const DirectoryHeader& header,
                        Logger& log);

 private:
  std::vector<std::uint8_t> bytes_;    // the filled entry areas, back to back
  std::vector<std::uint32_t> starts_;  // where each entry begins in bytes_
};

// Decodes one ENCINT at pos, advancing pos. Returns false when the number
// runs past the data or is longer than 5 bytes (tooLong tells which).
bool ReadEncInt(std::span<const std::uint8_t> data, std::size_t& pos, std::uint64_t& value, bool& tooLong);

}  // namespace tessaly
