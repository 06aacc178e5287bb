#include "container/itsf_header.h"

#include <string_view>

#include "base/book_error.h"
#include "base/bytes.h"

namespace tessaly {

namespace {

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

}  // namespace

std::uint64_t ReadHeaders(const ChmFile& file, BookFile& book, Logger& log) {
  log.Write("->%d\n", file.Handle());

  if (!file.ReadAt(0, book.itsfHeader.data(), book.itsfHeader.size())) RaiseBookError("Can't read chm's header.");
  LogHeader(log, book);
  const std::uint8_t* h = book.itsfHeader.data();
  if (LoadLE32(h + 4) == 3) {
    std::uint8_t offset[8];
    if (!file.ReadAt(book.itsfHeader.size(), offset, sizeof offset))
      RaiseBookError("Can't read content offset (for chm version 3 only).");
    book.contentOffset = LoadLE64(offset);
  } else {
    // Older containers do not store it: content section 0 begins right after
    // the directory.
    book.contentOffset = LoadLE64(h + 72) + LoadLE64(h + 80);
  }

  const std::uint64_t section0 = LoadLE64(h + 56);
  if (!ChmFile::Reachable(section0)) RaiseBookError("Can't move file pointer on section 0 position.");
  if (!file.ReadAt(section0, book.headerSection0.data(), book.headerSection0.size()))
    RaiseBookError("Can't read section 0 buffer.");
  if (LoadLE32(book.headerSection0.data()) != 0x01FE) RaiseBookError("Error format of section 0 (expect 01FE).");
  log.Write("*** section 0 ***\n");
  LogWide(log, "File size      : ", book.headerSection0.data() + 8);

  const std::uint64_t directoryOffset = LoadLE64(h + 72);
  if (!ChmFile::Reachable(directoryOffset)) RaiseBookError("Can't move file pointer on section 1 position.");
  if (!file.ReadAt(directoryOffset, book.directoryHeader.data(), book.directoryHeader.size()))
    RaiseBookError("Can't read section 1 buffer.");
  LogDirectoryHeader(log, book.directoryHeader.data());
  return directoryOffset + book.directoryHeader.size();
}

}  // namespace tessaly
