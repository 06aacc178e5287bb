#include "book/directory.h"

#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "base/book_error.h"
#include "base/bytes.h"

namespace tessaly {

namespace {

constexpr std::size_t kChunkHeaderSize = 20;
constexpr int kMaxEncIntBytes = 5;

std::int32_t Signed32(const std::uint8_t* p) { return static_cast<std::int32_t>(LoadLE32(p)); }

void LogGuid(Logger& log, const std::uint8_t* g) {
  log.Write("%08X-%04X-%04X-%02X%02X-%02X%02X-%02X%02X-%02X%02X\n", LoadLE32(g), LoadLE16(g + 4),
            LoadLE16(g + 6), g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
}

void LogWide(Logger& log, const char* label, const std::uint8_t* p) {
  log.Write("%s", label);
  std::uint64_t v = LoadLE64(p);
  auto low = static_cast<std::uint32_t>(v);
  log.Write("%08X-%08X (%d$)\n", static_cast<std::uint32_t>(v >> 32), low, static_cast<std::int32_t>(low));
}

void LogHeader(Logger& log, const BookFile& book) {
  const std::uint8_t* h = book.itsfHeader.data();
  // The header as text: its signature and whatever follows up to a zero byte.
  std::string_view text(reinterpret_cast<const char*>(h), book.itsfHeader.size());
  text = text.substr(0, text.find('\0'));
  log.Write("->%.*s\n", static_cast<int>(text.size()), text.data());
  log.Write("*** header info ***\n");
  log.Write("File Name      : %s\n", book.fileName.c_str());
  log.Write("Version        : %d'\n", Signed32(h + 4));
  log.Write("H Length       : %d'\n", Signed32(h + 8));
  log.Write("Unknown        : %08X\n", LoadLE32(h + 16));
  log.Write("LID            : %04X\n", LoadLE32(h + 20));
  log.Write("GUID           : ");
  LogGuid(log, h + 24);
  log.Write("GUID           : ");
  LogGuid(log, h + 40);
  log.Write("*** sections table ***\n");
  LogWide(log, "Sec1 offset    : ", h + 56);
  LogWide(log, "Sec1 length    : ", h + 64);
  LogWide(log, "Sec2 offset    : ", h + 72);
  LogWide(log, "Sec2 length    : ", h + 80);
}

void LogDirectoryHeader(Logger& log, const std::uint8_t* d) {
  log.Write("*** section 1 ***\n");
  log.Write("Version        : %d'\n", Signed32(d + 4));
  log.Write("Length         : %d'\n", Signed32(d + 8));
  log.Write("Chunk size     : %d'\n", Signed32(d + 16));
  log.Write("Density        : %d'\n", Signed32(d + 20));
  log.Write("Tree depth     : %d'\n", Signed32(d + 24));
  log.Write("PMGI chunks nmb: %d'\n", Signed32(d + 28));
  log.Write("First PMGL     : %d'\n", Signed32(d + 32));
  log.Write("Last PNGL      : %d'\n", Signed32(d + 36));
  log.Write("Chunks number  : %d'\n", Signed32(d + 44));
  log.Write("LID            : %04X\n", LoadLE32(d + 48));
  log.Write("GUID           : ");
  LogGuid(log, d + 52);
  log.Write("Length         : %d'\n", Signed32(d + 68));
}

// The filled entry areas of the listing chunks, back to back, with the end
// of each chunk's part so that a failure can name its chunk.
struct NamesBuffer {
  std::vector<std::uint8_t> bytes;
  std::vector<std::size_t> chunkEnds;

  int ChunkNumberAt(std::size_t pos) const {
    for (std::size_t i = 0; i < chunkEnds.size(); ++i)
      if (pos < chunkEnds[i]) return static_cast<int>(i) + 1;
    return static_cast<int>(chunkEnds.size());
  }
};

// Walks one entry at pos; on success pos is past it. The decoded fields go
// to entry when it is given.
void WalkEntry(const NamesBuffer& names, std::size_t& pos, DirectoryEntry* entry) {
  std::span<const std::uint8_t> data(names.bytes);
  const std::size_t start = pos;
  std::uint32_t nameLength = 0, section = 0, offset = 0, length = 0;
  bool tooLong = false;
  auto fail = [&]() {
    int chunk = names.ChunkNumberAt(start);
    if (tooLong) RaiseBookError("Too long number in directory entry of chunk %d.\n", chunk);
    RaiseBookError("Directory entry runs past the end of directory chunk %d.\n", chunk);
  };
  if (!ReadEncInt(data, pos, nameLength, tooLong)) fail();
  if (nameLength > data.size() - pos) fail();
  const std::size_t nameStart = pos;
  pos += nameLength;
  if (!ReadEncInt(data, pos, section, tooLong) || !ReadEncInt(data, pos, offset, tooLong) ||
      !ReadEncInt(data, pos, length, tooLong))
    fail();
  if (entry != nullptr) {
    entry->name.assign(reinterpret_cast<const char*>(data.data() + nameStart), nameLength);
    entry->section = section;
    entry->offset = offset;
    entry->length = length;
  }
}

}  // namespace

bool ReadEncInt(std::span<const std::uint8_t> data, std::size_t& pos, std::uint32_t& value, bool& tooLong) {
  std::uint32_t result = 0;
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

void ReadDirectory(File& file, BookFile& book, Logger& log) {
  log.Write("->%d\n", file.Handle());

  // Headers.
  if (!file.Seek(0) || file.Read(book.itsfHeader.data(), book.itsfHeader.size()) != book.itsfHeader.size())
    RaiseBookError("Can't read chm's header.");
  LogHeader(log, book);
  const std::uint8_t* h = book.itsfHeader.data();
  if (LoadLE32(h + 4) == 3) {
    std::uint8_t offset[8];
    if (file.Read(offset, sizeof offset) != sizeof offset)
      RaiseBookError("Can't read content offset (for chm version 3 only).");
    book.contentOffset = LoadLE64(offset);
  } else {
    // Older containers do not store it: content section 0 begins right after
    // the directory.
    book.contentOffset = LoadLE64(h + 72) + LoadLE64(h + 80);
  }

  if (!file.Seek(LoadLE32(h + 56))) RaiseBookError("Can't move file pointer on section 0 position.");
  if (file.Read(book.headerSection0.data(), book.headerSection0.size()) != book.headerSection0.size())
    RaiseBookError("Can't read section 0 buffer.");
  if (LoadLE32(book.headerSection0.data()) != 0x01FE) RaiseBookError("Error format of section 0 (expect 01FE).");
  log.Write("*** section 0 ***\n");
  LogWide(log, "File size      : ", book.headerSection0.data() + 8);

  const std::uint32_t directoryOffset = LoadLE32(h + 72);
  if (!file.Seek(directoryOffset)) RaiseBookError("Can't move file pointer on section 1 position.");
  if (file.Read(book.directoryHeader.data(), book.directoryHeader.size()) != book.directoryHeader.size())
    RaiseBookError("Can't read section 1 buffer.");
  const std::uint8_t* d = book.directoryHeader.data();
  LogDirectoryHeader(log, d);

  // Chunks. Everything the header claims is checked against the file before
  // memory is set aside for it.
  const std::uint64_t directoryStart = static_cast<std::uint64_t>(directoryOffset) + book.directoryHeader.size();
  const std::uint32_t chunkSize = LoadLE32(d + 16);
  const std::uint32_t chunkCount = LoadLE32(d + 44);
  if (chunkSize <= kChunkHeaderSize) RaiseBookError("Wrong directory chunk size %u.\n", chunkSize);
  const std::uint64_t directoryBytes = static_cast<std::uint64_t>(chunkCount) * chunkSize;
  const std::optional<std::uint64_t> fileSize = file.Size();
  if (directoryBytes > UINT32_MAX || !fileSize || directoryStart + directoryBytes > *fileSize)
    RaiseBookError("Directory of %u chunks of %u bytes does not fit in the file.\n", chunkCount, chunkSize);

  NamesBuffer names;
  try {
    names.bytes.reserve(directoryBytes);
  } catch (const std::bad_alloc&) {
    RaiseBookError("Can't allocate memory for files names buffer.");
  }
  bool lastFound = false;
  for (std::uint32_t i = 0; i < chunkCount; ++i) {
    const int number = static_cast<int>(i) + 1;
    if (!file.Seek(directoryStart + static_cast<std::uint64_t>(i) * chunkSize))
      RaiseBookError("Can't move file pointer on directory chunk %d position.", number);
    std::uint8_t header[kChunkHeaderSize];
    if (file.Read(header, sizeof header) != sizeof header)
      RaiseBookError("Can't read directory chunk %d buffer.\n", number);
    const std::uint32_t freeSpace = LoadLE32(header + 4);
    if (freeSpace > chunkSize - kChunkHeaderSize)
      RaiseBookError("Wrong free space %u in directory chunk %d.\n", freeSpace, number);
    const std::size_t areaSize = chunkSize - kChunkHeaderSize - freeSpace;
    const std::size_t filled = names.bytes.size();
    names.bytes.resize(filled + areaSize);
    if (areaSize == 0 || file.Read(names.bytes.data() + filled, areaSize) != areaSize)
      RaiseBookError("Can't read file names buffer for directory chunk %d.\n", number);
    names.chunkEnds.push_back(names.bytes.size());
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

  // Count, then fill an array of the exact size.
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < names.bytes.size(); ++count) WalkEntry(names, pos, nullptr);
  log.Write("*** files entries ***\n");
  log.Write("total files    : %d'\n", static_cast<int>(count));

  std::vector<DirectoryEntry> entries;
  try {
    entries.resize(count);
  } catch (const std::bad_alloc&) {
    RaiseBookError("Can't allocate memory for files props buffer.");
  }
  std::size_t pos = 0;
  for (std::size_t i = 0; i < count; ++i) {
    DirectoryEntry& entry = entries[i];
    WalkEntry(names, pos, &entry);
    log.Write("%05d. %02X %08X %08X %08X %s\n", static_cast<int>(i), static_cast<unsigned>(entry.name.size()),
              entry.section, entry.offset, entry.length, entry.name.c_str());
  }
  book.entries = std::move(entries);
  log.Write("*** content sections ***\n");
}

}  // namespace tessaly
