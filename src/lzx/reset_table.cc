#include "lzx/reset_table.h"

#include "base/book_error.h"
#include "base/bytes.h"

namespace tessaly {

namespace {
constexpr std::size_t kHeaderSize = 40;
constexpr std::size_t kEntrySize = 8;
}  // namespace

ResetTable ParseResetTable(std::span<const std::uint8_t> data, const std::string& sectionName) {
  const char* name = sectionName.c_str();
  if (data.size() < kHeaderSize) RaiseBookError("Reset table of section %s is too short.\n", name);
  const std::uint32_t count = LoadLE32(data.data() + 4);
  if (count > (data.size() - kHeaderSize) / kEntrySize)
    RaiseBookError("Reset table of section %s is shorter than its %u entries.\n", name, count);
  ResetTable table;
  table.plainLength = LoadLE32(data.data() + 16);
  table.compressedLength = LoadLE32(data.data() + 24);
  table.blockSize = LoadLE32(data.data() + 32);
  if (table.blockSize == 0 || table.blockSize > kMaxBlockSize)
    RaiseBookError("Reset table of section %s has a wrong block size %u.\n", name, table.blockSize);
  if (table.plainLength > (static_cast<std::uint64_t>(table.compressedLength) + 64) * kMaxExpansion)
    RaiseBookError("Reset table of section %s promises more plain bytes than its compressed bytes can hold.\n", name);
  table.offsets.resize(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t offset = LoadLE32(data.data() + kHeaderSize + kEntrySize * i);
    if (i > 0 && offset < table.offsets[i - 1])
      RaiseBookError("Reset table of section %s has block offsets running backwards.\n", name);
    if (offset > table.compressedLength)
      RaiseBookError("Reset table of section %s has block offsets past the end of the section.\n", name);
    table.offsets[i] = offset;
  }
  return table;
}

std::optional<BlockRange> TryRangeFor(const ResetTable& table, std::uint32_t windowField, std::uint64_t offset,
                                      std::uint64_t length) {
  const std::uint64_t block = table.blockSize;
  const std::uint64_t count = table.offsets.size();
  if (block == 0 || windowField == 0 || offset + length > table.plainLength) return std::nullopt;
  const std::uint64_t start = offset / block / windowField * windowField;
  const std::uint64_t end = (offset + length) / block + 1;
  if (start >= count) return std::nullopt;
  BlockRange range;
  range.compressedStart = table.offsets[start];
  range.plainStart = start * block;
  if (end < count) {
    range.compressedEnd = table.offsets[end];
    range.plainEnd = end * block;
  } else {
    range.compressedEnd = table.compressedLength;
    range.plainEnd = table.plainLength;
  }
  if (range.plainEnd < range.plainStart) return std::nullopt;
  return range;
}

BlockRange RangeFor(const ResetTable& table, std::uint32_t windowField, std::uint64_t offset, std::uint64_t length,
                    const std::string& objectName) {
  std::optional<BlockRange> range = TryRangeFor(table, windowField, offset, length);
  if (!range) RaiseBookError("Object %s lies past the end of its content section.\n", objectName.c_str());
  return *range;
}

}  // namespace tessaly
