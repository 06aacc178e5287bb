// Container: one CHM file opened for reading, and everything read from its
// structure: the headers, the directory and its index, the content sections
// and, for each compressed section, its control data and reset table.
//
// Everything is read once, when the container is opened; afterwards it does
// not change. Every const method may then run from several threads at once:
// the file is read with positioned reads on one descriptor held open for the
// container's life, each read decodes with a decoder of its own, and the
// few decoded intervals that are kept for later reads and the diagnostic log
// take locks.
//
// What a container holds (the file, its directory and index, the sections'
// tables, the decoders) is its own: container_parts.h.
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

  ~Container() override;
  Container(const Container&) = delete;
  Container& operator=(const Container&) = delete;

  // The path as opened (trimmed of what surrounds a pasted path).
  std::string_view FileName() const;
  // The directory's entries, in file order.
  std::size_t EntryCount() const;
  DirectoryEntry Entry(std::size_t index) const;

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
  std::uint64_t DistinctBytes() const;

 private:
  struct Parts;

  explicit Container(Logger& log);

  void OpenFile(std::string_view path);
  void ReadSections();

  Logger& log_;
  std::unique_ptr<Parts> parts_;
};

}  // namespace tessaly
