#include "container/reset_table.h"

#include <algorithm>
#include <limits>

#include "base/book_error.h"
#include "base/bytes.h"

namespace tessaly {

namespace {
constexpr std::size_t kHeaderSize = 40;
constexpr std::size_t kEntrySize = 8;
}  // namespace

ResetTable ParseResetTable(std::span<const std::uint8_t> data, const std::string& sectionName) {
  const char* name = sectionName.c_str();
  ByteCursor in(data);
  in.Skip(4);
  const std::uint32_t count = in.U32();
  in.Skip(8);
  ResetTable table;
  table.plainLength = in.U64();
  table.compressedLength = in.U64();
  table.blockSize = in.U64();
  if (!in.Ok()) RaiseBookError("Reset table of section %s is too short.\n", name);
  if (count > (data.size() - kHeaderSize) / kEntrySize)
    RaiseBookError("Reset table of section %s is shorter than its %u entries.\n", name, count);
  if (table.blockSize == 0 || table.blockSize > kMaxBlockSize)
    RaiseBookError("Reset table of section %s has a wrong block size %llu.\n", name,
                   static_cast<unsigned long long>(table.blockSize));
  constexpr std::uint64_t kLargest = std::numeric_limits<std::uint64_t>::max();
  const std::uint64_t canHold =
      table.compressedLength > kLargest / kMaxExpansion - 64 ? kLargest : (table.compressedLength + 64) * kMaxExpansion;
  if (table.plainLength > canHold)
    RaiseBookError("Reset table of section %s promises more plain bytes than its compressed bytes can hold.\n", name);
  table.offsets.resize(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint64_t offset = in.U64();  // inside: the count was checked against the size
    if (i > 0 && offset < table.offsets[i - 1])
      RaiseBookError("Reset table of section %s has block offsets running backwards.\n", name);
    if (offset > table.compressedLength)
      RaiseBookError("Reset table of section %s has block offsets past the end of the section.\n", name);
    table.offsets[i] = offset;
  }
  return table;
}

std::uint64_t IntervalCount(const ResetTable& table, std::uint32_t windowField) {
  return (table.offsets.size() + windowField - 1) / windowField;
}

ResetInterval IntervalAt(const ResetTable& table, std::uint32_t windowField, std::uint64_t k) {
  const std::uint64_t first = k * windowField;
  const std::uint64_t next = first + windowField;
  ResetInterval interval;
  interval.plainStart = first * table.blockSize;
  interval.compressedStart = table.offsets[first];
  if (next < table.offsets.size()) {
    interval.plainEnd = next * table.blockSize;
    interval.compressedEnd = table.offsets[next];
  } else {
    interval.plainEnd = table.plainLength;
    interval.compressedEnd = table.compressedLength;
  }
  return interval;
}

std::optional<IntervalRange> IntervalsFor(const ResetTable& table, std::uint32_t windowField, std::uint64_t offset,
                                          std::uint64_t length) {
  const std::uint64_t block = table.blockSize;
  const std::uint64_t count = table.offsets.size();
  if (block == 0 || windowField == 0 || length == 0 || offset > table.plainLength ||
      length > table.plainLength - offset)
    return std::nullopt;
  IntervalRange range;
  range.first = offset / block / windowField;
  if (range.first * windowField >= count) return std::nullopt;
  // Bytes past the table's last block lie in the last interval.
  range.last = std::min((offset + length - 1) / block / windowField, IntervalCount(table, windowField) - 1);
  return range;
}

}  // namespace tessaly
