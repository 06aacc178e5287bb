// Container: one CHM file opened for reading, and everything read from its
// structure: the headers, the directory and its index, the content sections
// and, for each compressed section, its control data and reset table.
//
// Everything is read once, when the container is opened; afterwards it does
// not change. Every const method may then run from several threads at once:
// the file is read with positioned reads on one descriptor held open for the
// container's life, each read decodes with a decoder of its own, and the
// few decoded intervals that are kept for later reads (interval_cache.h)
// and the diagnostic log take locks.
//
// Objects are read into buffers their callers own. The bulk read hands out
// bytes valid during its callback only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/book_error.h"
#include "base/log.h"
#include "container/book_file.h"
#include "container/chm_file.h"
#include "container/compressed_section.h"
#include "container/decoder_pool.h"
#include "container/directory.h"
#include "container/directory_index.h"
#include "container/interval_cache.h"
#include "base/object_source.h"

namespace tessaly {

class Container : public ObjectSource {
 public:
  // What Open reads beyond the headers and the directory.
  enum class Depth {
    kDirectory,  // nothing: every object is read straight from the file
    kSections,   // the section list and the compressed sections' tables
  };

  // Checks the path (it must end in ".chm"), opens the file and reads it to
  // the depth asked for, dumping the header, directory and sections to log
  // (which must outlive the container). Raises BookError; "Can't open chm
  // file: %s." carries the system's errno.
  static std::unique_ptr<Container> Open(std::string_view path, Logger& log, Depth depth = Depth::kSections);

  Container(const Container&) = delete;
  Container& operator=(const Container&) = delete;

  const BookFile& File() const { return file_; }
  Logger& Log() const { return log_; }

  // The entry a path names: entities and escapes decoded, the path brought
  // to its canonical form and its fragment dropped ("#SYSTEM" keeps its
  // '#'), then matched against the whole names (ASCII letters folded, one
  // leading '/' of a name ignored) and, unless the path leaves the book,
  // against their last components. Never raises; Lookup logs nothing,
  // FindEntry logs a miss.
  std::optional<DirectoryEntry> Lookup(std::string_view path) const;
  std::optional<DirectoryEntry> FindEntry(std::string_view path) const;

  bool HasObject(std::string_view path) const override { return FindEntry(path).has_value(); }
  ObjectBuffer ReadObject(std::string_view path) const override;
  // Reads an entry found for path (messages name the path). Raises BookError.
  ObjectBuffer ReadEntry(const DirectoryEntry& entry, std::string_view path) const;

  // The failure of the control data or reset table of the first compressed
  // section that holds an ordinary object (not a storage object, not
  // $FIftiMain, not a folder), in directory order; null when there is none.
  const BookError* CompressedSectionFailure() const;

  // Reads every stored range (content section, offset, length) of the
  // directory once, however many entries name it, decoding each compressed
  // section once, in order. Calls onRange with the entries naming a range
  // that could be read (its aliases, in directory order) and its bytes,
  // valid during the call only; onError with the error ReadObject would have
  // raised for each range that could not. Ranges of one section come in
  // ascending offset order.
  using Aliases = std::span<const DirectoryEntry>;
  using RangeVisitor = std::function<void(Aliases, std::span<const std::uint8_t>)>;
  using RangeErrorVisitor = std::function<void(Aliases, const BookError&)>;
  void ReadStoredRanges(const RangeVisitor& onRange, const RangeErrorVisitor& onError) const;

  // The bytes that the directory's objects hold, each counted once: ranges
  // that several entries share, or that overlap, count once, and only what
  // each section holds counts.
  std::uint64_t DistinctBytes() const { return distinctBytes_; }

 private:
  explicit Container(Logger& log) : log_(log) {}

  void OpenFile(std::string_view path);
  void ReadSections();
  ObjectBuffer ReadDirect(const DirectoryEntry& entry, std::string_view path) const;
  ObjectBuffer ReadCompressed(std::uint64_t sectionNumber, const DirectoryEntry& entry) const;
  // The plain bytes of one reset interval, from the cache or decoded.
  IntervalBytes DecodedInterval(std::uint64_t sectionNumber, std::uint64_t interval) const;
  // entries: those of one compressed section, sorted by range.
  void ReadCompressedSection(std::uint64_t sectionNumber, std::span<const DirectoryEntry> entries,
                             const RangeVisitor& onRange, const RangeErrorVisitor& onError) const;
  // The entries sorted by section, offset and length (directory order among
  // equals).
  std::vector<DirectoryEntry> EntriesByRange() const;
  std::uint64_t MeasureDistinctBytes() const;
  // The file offset of a directly stored entry, or none when it would lie
  // past every offset the system can take.
  std::optional<std::uint64_t> DirectPosition(const DirectoryEntry& entry) const;

  Logger& log_;
  ChmFile chm_;
  BookFile file_;
  DirectoryIndex index_;
  // One per content section; null for the uncompressed ones.
  std::vector<std::unique_ptr<CompressedSection>> compressed_;
  mutable DecoderPool decoders_;
  mutable IntervalCache intervals_;
  std::uint64_t distinctBytes_ = 0;
};

}  // namespace tessaly
