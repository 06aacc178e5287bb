// What an opened container holds, and the reads built on it: the file, its
// directory and the index over it, the compressed sections' tables, the
// decoders and the decoded intervals kept for later reads. Filled while the
// container opens (container.cc); afterwards only read, from any number of
// threads (the decoders and the intervals lock themselves).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "container/book_file.h"
#include "container/chm_file.h"
#include "container/compressed_section.h"
#include "container/container.h"
#include "container/decoder_pool.h"
#include "container/directory_index.h"
#include "container/interval_cache.h"

namespace tessaly {

struct Container::Parts {
  ChmFile chm;
  BookFile file;
  DirectoryIndex index;
  // One per content section; null for the uncompressed ones.
  std::vector<std::unique_ptr<CompressedSection>> compressed;
  mutable DecoderPool decoders;
  mutable IntervalCache intervals;
  std::uint64_t distinctBytes = 0;

  // Reads (messages name path) an entry of an uncompressed section, or of
  // any section before the section list is read. Raises BookError.
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
};

}  // namespace tessaly
