// One LZX-compressed content section, prepared once when its container
// opens: its control data, its reset table, and whether its bytes lie in
// the file. Afterwards it is only read, from any number of threads.
//
// Control data "::DataSpace/Storage/<section>/ControlData" (little-endian):
//   4 "LZXC" | 16 window size in units of 32 KiB (2 -> 2^16, 4 -> 2^17);
//   the same number of blocks lies between two reset points.
// Reset table ".../Transform/{7FC28940-...}/InstanceData/ResetTable": see
//   reset_table.h.
//
// A failure while preparing is kept, not raised: objects of other sections
// stay readable, and every read of this section raises the kept error.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/book_error.h"
#include "container/book_file.h"
#include "container/chm_file.h"
#include "container/decoder_pool.h"
#include "base/object_source.h"
#include "container/reset_table.h"

namespace tessaly {

// The window of a control data window-size field: 2 -> 16 bits, 4 -> 17
// bits. Raises "Not correct window size %d.\n" for any other field.
int WindowBitsFor(std::uint32_t windowField);

class CompressedSection {
 public:
  // Reads a stored object by path (the section's control data and table).
  using ReadStored = std::function<ObjectBuffer(const std::string& path)>;

  // Prepares the section whose Content object starts at file offset start.
  // Never raises.
  CompressedSection(const ContentSection& section, std::uint64_t start, std::uint64_t fileSize, const ReadStored& read);

  const std::string& Name() const { return name_; }
  // The failure of the control data, its window size or the reset table;
  // null when they are sound.
  const BookError* SetupError() const { return setupError_ ? &*setupError_ : nullptr; }
  // The failure of a section whose compressed bytes run past the end of the
  // file; null when they lie in it.
  const BookError* FileError() const { return fileError_ ? &*fileError_ : nullptr; }

  std::uint32_t WindowField() const { return windowField_; }
  const ResetTable& Table() const { return table_; }
  std::uint64_t IntervalCount() const { return tessaly::IntervalCount(table_, windowField_); }
  ResetInterval Interval(std::uint64_t k) const { return IntervalAt(table_, windowField_, k); }

  // The plain size of interval k. Raises BookError for an interval larger
  // than its blocks (a table with too few blocks for its plain length).
  std::uint64_t PlainSize(std::uint64_t k) const;

  // Decodes interval k into plain (PlainSize(k) bytes) with a fresh decoder
  // state, reading its compressed bytes into input. Raises BookError.
  void Decode(std::uint64_t k, const ChmFile& file, DecoderPool& decoders, std::vector<std::uint8_t>& input,
              std::span<std::uint8_t> plain) const;

 private:
  std::string name_;
  std::uint64_t start_ = 0;
  std::uint32_t windowField_ = 0;
  int windowBits_ = 0;
  ResetTable table_;
  std::optional<BookError> setupError_;
  std::optional<BookError> fileError_;
};

}  // namespace tessaly
