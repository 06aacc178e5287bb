#include "container/directory.h"

#include <algorithm>
#include <new>
#include <string_view>

#include "base/book_error.h"
#include "base/bytes.h"
#include "container/chm_file.h"
#include "container/itsf_header.h"

namespace tessaly {

namespace {

constexpr std::size_t kChunkHeaderSize = 20;
constexpr int kMaxEncIntBytes = 5;
constexpr std::uint8_t kIndexSignature[4] = {'P', 'M', 'G', 'I'};

// The fields of the entry at pos; on success pos is past it.
struct EntryFields {
  std::size_t nameStart = 0;
  std::uint64_t nameLength = 0, section = 0, offset = 0, length = 0;
};

enum class EntryFault { kNone, kTooLong, kPastTheEnd };

EntryFault WalkEntry(std::span<const std::uint8_t> data, std::size_t& pos, EntryFields& fields) {
  bool tooLong = false;
  const auto fault = [&tooLong] { return tooLong ? EntryFault::kTooLong : EntryFault::kPastTheEnd; };
  if (!ReadEncInt(data, pos, fields.nameLength, tooLong)) return fault();
  if (fields.nameLength > data.size() - pos) return EntryFault::kPastTheEnd;
  fields.nameStart = pos;
  pos += static_cast<std::size_t>(fields.nameLength);
  if (!ReadEncInt(data, pos, fields.section, tooLong) || !ReadEncInt(data, pos, fields.offset, tooLong) ||
      !ReadEncInt(data, pos, fields.length, tooLong))
    return fault();
  return EntryFault::kNone;
}

// Where the entry area of a listing chunk ends among the areas read, and
// the chunk's number (from 1) in the file.
struct ChunkEnd {
  std::size_t end;
  int number;
};

// The number of the chunk that holds byte pos of the entry areas.
int ChunkNumberAt(const std::vector<ChunkEnd>& chunkEnds, std::size_t pos) {
  for (const ChunkEnd& chunk : chunkEnds)
    if (pos < chunk.end) return chunk.number;
  return chunkEnds.back().number;
}

}  // namespace

bool ReadEncInt(std::span<const std::uint8_t> data, std::size_t& pos, std::uint64_t& value, bool& tooLong) {
  std::uint64_t result = 0;
  for (int used = 0; used < kMaxEncIntBytes; ++used) {
    if (pos >= data.size()) {
      tooLong = false;
      return false;
    }
    std::uint8_t byte = data[pos++];
    result = (result << 7) | (byte & 0x7F);
    if ((byte & 0x80) == 0) {
      value = result;
      return true;
    }
  }
  tooLong = true;
  return false;
}

DirectoryEntry Directory::operator[](std::size_t index) const {
  const std::span<const std::uint8_t> data(bytes_);
  std::size_t pos = starts_[index];
  EntryFields fields;
  WalkEntry(data, pos, fields);  // checked when the directory was read
  DirectoryEntry entry;
  entry.name = std::string_view(reinterpret_cast<const char*>(data.data() + fields.nameStart),
                                static_cast<std::size_t>(fields.nameLength));
  entry.section = fields.section;
  entry.offset = fields.offset;
  entry.length = fields.length;
  entry.index = static_cast<std::uint32_t>(index);
  return entry;
}

std::string_view Directory::Name(std::size_t index) const {
  const std::span<const std::uint8_t> data(bytes_);
  std::size_t pos = starts_[index];
  std::uint64_t length = 0;
  bool tooLong = false;
  ReadEncInt(data, pos, length, tooLong);  // checked when the directory was read
  return std::string_view(reinterpret_cast<const char*>(data.data() + pos), static_cast<std::size_t>(length));
}

Directory Directory::Read(const ChmFile& file, std::uint64_t directoryStart, const DirectoryHeader& header,
                          Logger& log) {
  const std::uint32_t chunkSize = header.chunkSize;
  const std::uint32_t chunkCount = header.chunkCount;
  if (chunkSize <= kChunkHeaderSize) RaiseBookError("Wrong directory chunk size %u.\n", chunkSize);
  // A count that runs past the end of the file is cut to the chunks the file
  // holds: the listing may still lie whole in them. Nothing is set aside for
  // chunks that are not there.
  const std::uint64_t room = directoryStart < file.Size() ? file.Size() - directoryStart : 0;
  const std::uint64_t heldChunks = std::min<std::uint64_t>(chunkCount, room / chunkSize);
  const auto doesNotFit = [&] {
    RaiseBookError(ErrorKind::kIo, "Directory of %u chunks of %u bytes does not fit in the file.\n", chunkCount,
                   chunkSize);
  };
  if ((heldChunks == 0 && chunkCount > 0) || heldChunks * chunkSize > UINT32_MAX) doesNotFit();

  Directory directory;
  std::vector<std::uint8_t>& bytes = directory.bytes_;
  std::vector<ChunkEnd> chunkEnds;
  std::vector<std::uint8_t> chunk;
  try {
    bytes.reserve(heldChunks * chunkSize);
    chunk.resize(chunkSize);
  } catch (const std::bad_alloc&) {
    RaiseBookError(ErrorKind::kMemory, "Can't allocate memory for files names buffer.");
  }
  // The listing chunks in file order up to the one that ends the listing.
  // Index chunks are skipped wherever they stand: a large directory may
  // hold one between its listing chunks.
  bool lastFound = false;
  for (std::uint32_t i = 0; i < heldChunks && !lastFound; ++i) {
    const int number = static_cast<int>(i) + 1;
    if (!file.ReadAt(directoryStart + std::uint64_t{i} * chunkSize, chunk.data(), chunkSize))
      RaiseBookError("Can't read directory chunk %d buffer.\n", number);
    ByteCursor fields(chunk);
    const Bytes signature = fields.Span(4);
    const std::uint32_t freeSpace = fields.U32();
    fields.Skip(4);
    const std::int32_t previous = fields.S32();
    const std::int32_t next = fields.S32();
    if (std::equal(signature.begin(), signature.end(), kIndexSignature)) continue;
    if (freeSpace > chunkSize - kChunkHeaderSize)
      RaiseBookError("Wrong free space %u in directory chunk %d.\n", freeSpace, number);
    const Bytes area = std::span(chunk).subspan(kChunkHeaderSize, chunkSize - kChunkHeaderSize - freeSpace);
    if (area.empty()) RaiseBookError("Can't read file names buffer for directory chunk %d.\n", number);
    bytes.insert(bytes.end(), area.begin(), area.end());
    chunkEnds.push_back({bytes.size(), number});
    log.Write("*** directory chunk %d ***\n", number);
    log.Write("end free space : %d'\n", static_cast<std::int32_t>(freeSpace));
    log.Write("prev chunk     : %d'\n", previous);
    log.Write("next chunk     : %d'\n", next);
    lastFound = next == -1;
  }
  if (!lastFound) {
    if (heldChunks < chunkCount) doesNotFit();
    RaiseBookError("Can't find last directory chunk\n");
  }

  // Count, then note where each entry starts in an array of the exact size.
  const std::span<const std::uint8_t> data(bytes);
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < data.size(); ++count) {
    const std::size_t start = pos;
    EntryFields fields;
    const EntryFault fault = WalkEntry(data, pos, fields);
    if (fault == EntryFault::kTooLong)
      RaiseBookError("Too long number in directory entry of chunk %d.\n", ChunkNumberAt(chunkEnds, start));
    if (fault == EntryFault::kPastTheEnd)
      RaiseBookError("Directory entry runs past the end of directory chunk %d.\n", ChunkNumberAt(chunkEnds, start));
  }
  log.Write("*** files entries ***\n");
  log.Write("total files    : %d'\n", static_cast<int>(count));
  try {
    directory.starts_.reserve(count);
  } catch (const std::bad_alloc&) {
    RaiseBookError(ErrorKind::kMemory, "Can't allocate memory for files props buffer.");
  }
  for (std::size_t pos = 0; pos < data.size();) {
    directory.starts_.push_back(static_cast<std::uint32_t>(pos));
    EntryFields fields;
    WalkEntry(data, pos, fields);
  }
  if (log.Enabled()) {
    for (const DirectoryEntry& entry : directory) {
      const std::string_view name = entry.name.substr(0, entry.name.find('\0'));
      log.Write("%05d. %02X %08llX %08llX %08llX %.*s\n", static_cast<int>(entry.index),
                static_cast<unsigned>(entry.name.size()), static_cast<unsigned long long>(entry.section),
                static_cast<unsigned long long>(entry.offset), static_cast<unsigned long long>(entry.length),
                static_cast<int>(name.size()), name.data());
    }
  }
  log.Write("*** content sections ***\n");
  return directory;
}

}  // namespace tessaly
