#include "container/directory.h"

#include <new>
#include <string_view>

#include "base/book_error.h"
#include "base/bytes.h"
#include "container/chm_file.h"

namespace tessaly {

namespace {

constexpr std::size_t kChunkHeaderSize = 20;
constexpr int kMaxEncIntBytes = 5;

std::int32_t Signed32(const std::uint8_t* p) { return static_cast<std::int32_t>(LoadLE32(p)); }

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

// The chunk (numbered from 1) that holds byte pos of the entry areas.
int ChunkNumberAt(const std::vector<std::size_t>& chunkEnds, std::size_t pos) {
  for (std::size_t i = 0; i < chunkEnds.size(); ++i)
    if (pos < chunkEnds[i]) return static_cast<int>(i) + 1;
  return static_cast<int>(chunkEnds.size());
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

Directory Directory::Read(const ChmFile& file, std::uint64_t directoryStart, std::span<const std::uint8_t> itsp,
                          Logger& log) {
  // Everything the header claims is checked against the file before memory
  // is set aside for it.
  const std::uint32_t chunkSize = LoadLE32(itsp.data() + 16);
  const std::uint32_t chunkCount = LoadLE32(itsp.data() + 44);
  if (chunkSize <= kChunkHeaderSize) RaiseBookError("Wrong directory chunk size %u.\n", chunkSize);
  const std::uint64_t directoryBytes = static_cast<std::uint64_t>(chunkCount) * chunkSize;
  if (directoryBytes > UINT32_MAX || directoryStart > file.Size() || directoryBytes > file.Size() - directoryStart)
    RaiseBookError(ErrorKind::kIo, "Directory of %u chunks of %u bytes does not fit in the file.\n", chunkCount,
                   chunkSize);

  Directory directory;
  std::vector<std::uint8_t>& bytes = directory.bytes_;
  std::vector<std::size_t> chunkEnds;
  try {
    bytes.reserve(directoryBytes);
  } catch (const std::bad_alloc&) {
    RaiseBookError(ErrorKind::kMemory, "Can't allocate memory for files names buffer.");
  }
  bool lastFound = false;
  for (std::uint32_t i = 0; i < chunkCount; ++i) {
    const int number = static_cast<int>(i) + 1;
    const std::uint64_t at = directoryStart + static_cast<std::uint64_t>(i) * chunkSize;
    if (!ChmFile::Reachable(at)) RaiseBookError("Can't move file pointer on directory chunk %d position.", number);
    std::uint8_t header[kChunkHeaderSize];
    if (!file.ReadAt(at, header, sizeof header)) RaiseBookError("Can't read directory chunk %d buffer.\n", number);
    const std::uint32_t freeSpace = LoadLE32(header + 4);
    if (freeSpace > chunkSize - kChunkHeaderSize)
      RaiseBookError("Wrong free space %u in directory chunk %d.\n", freeSpace, number);
    const std::size_t areaSize = chunkSize - kChunkHeaderSize - freeSpace;
    const std::size_t filled = bytes.size();
    bytes.resize(filled + areaSize);
    if (areaSize == 0 || !file.ReadAt(at + kChunkHeaderSize, bytes.data() + filled, areaSize))
      RaiseBookError("Can't read file names buffer for directory chunk %d.\n", number);
    chunkEnds.push_back(bytes.size());
    log.Write("*** directory chunk %d ***\n", number);
    log.Write("end free space : %d'\n", static_cast<std::int32_t>(freeSpace));
    log.Write("prev chunk     : %d'\n", Signed32(header + 12));
    log.Write("next chunk     : %d'\n", Signed32(header + 16));
    if (Signed32(header + 16) == -1) {
      lastFound = true;
      break;
    }
  }
  if (!lastFound) RaiseBookError("Can't find last directory chunk\n");

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
