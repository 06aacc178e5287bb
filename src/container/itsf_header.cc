#include "container/itsf_header.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "base/book_error.h"
#include "base/bytes.h"

namespace tessaly {

namespace {

constexpr std::size_t kSection0Size = 24;
constexpr std::size_t kDirectoryHeaderSize = 84;

Guid ReadGuid(ByteCursor& in) {
  Guid guid{};
  const Bytes bytes = in.Span(guid.size());
  std::copy(bytes.begin(), bytes.end(), guid.begin());
  return guid;
}

void LogGuid(Logger& log, const Guid& g) {
  log.Write("%08X-%04X-%04X-%02X%02X-%02X%02X-%02X%02X-%02X%02X\n", LoadLE32(g.data()), LoadLE16(g.data() + 4),
            LoadLE16(g.data() + 6), g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
}

void LogWide(Logger& log, const char* label, std::uint64_t value) {
  log.Write("%s", label);
  const auto low = static_cast<std::uint32_t>(value);
  log.Write("%08X-%08X (%d$)\n", static_cast<std::uint32_t>(value >> 32), low, static_cast<std::int32_t>(low));
}

int Signed(std::uint32_t value) { return static_cast<std::int32_t>(value); }

void LogHeader(Logger& log, const ItsfHeader& h, const std::string& fileName) {
  // The header as text: its signature and whatever follows up to a zero byte.
  std::string_view text(reinterpret_cast<const char*>(h.bytes.data()), h.bytes.size());
  text = text.substr(0, text.find('\0'));
  log.Write("->%.*s\n", static_cast<int>(text.size()), text.data());
  log.Write("*** header info ***\n");
  log.Write("File Name      : %s\n", fileName.c_str());
  log.Write("Version        : %d'\n", Signed(h.version));
  log.Write("H Length       : %d'\n", Signed(h.headerLength));
  log.Write("Unknown        : %08X\n", h.timestamp);
  log.Write("LID            : %04X\n", h.languageId);
  log.Write("GUID           : ");
  LogGuid(log, h.firstGuid);
  log.Write("GUID           : ");
  LogGuid(log, h.secondGuid);
  log.Write("*** sections table ***\n");
  LogWide(log, "Sec1 offset    : ", h.section0Offset);
  LogWide(log, "Sec1 length    : ", h.section0Length);
  LogWide(log, "Sec2 offset    : ", h.directoryOffset);
  LogWide(log, "Sec2 length    : ", h.directoryLength);
}

void LogDirectoryHeader(Logger& log, const DirectoryHeader& d) {
  log.Write("*** section 1 ***\n");
  log.Write("Version        : %d'\n", Signed(d.version));
  log.Write("Length         : %d'\n", Signed(d.length));
  log.Write("Chunk size     : %d'\n", Signed(d.chunkSize));
  log.Write("Density        : %d'\n", Signed(d.density));
  log.Write("Tree depth     : %d'\n", Signed(d.depth));
  log.Write("PMGI chunks nmb: %d'\n", d.rootIndexChunk);
  log.Write("First PMGL     : %d'\n", d.firstListingChunk);
  log.Write("Last PNGL      : %d'\n", d.lastListingChunk);
  log.Write("Chunks number  : %d'\n", Signed(d.chunkCount));
  log.Write("LID            : %04X\n", d.languageId);
  log.Write("GUID           : ");
  LogGuid(log, d.guid);
  log.Write("Length         : %d'\n", Signed(d.secondLength));
}

ItsfHeader ParseItsfHeader(const std::array<std::uint8_t, 88>& bytes) {
  ItsfHeader h;
  h.bytes = bytes;
  ByteCursor in(bytes, 4);
  h.version = in.U32();
  h.headerLength = in.U32();
  in.Skip(4);
  h.timestamp = in.U32();
  h.languageId = in.U32();
  h.firstGuid = ReadGuid(in);
  h.secondGuid = ReadGuid(in);
  h.section0Offset = in.U64();
  h.section0Length = in.U64();
  h.directoryOffset = in.U64();
  h.directoryLength = in.U64();
  return h;  // 88 bytes: every field lies inside
}

DirectoryHeader ParseDirectoryHeader(Bytes bytes) {
  DirectoryHeader d;
  ByteCursor in(bytes, 4);
  d.version = in.U32();
  d.length = in.U32();
  in.Skip(4);
  d.chunkSize = in.U32();
  d.density = in.U32();
  d.depth = in.U32();
  d.rootIndexChunk = in.S32();
  d.firstListingChunk = in.S32();
  d.lastListingChunk = in.S32();
  in.Skip(4);
  d.chunkCount = in.U32();
  d.languageId = in.U32();
  d.guid = ReadGuid(in);
  d.secondLength = in.U32();
  return d;  // 84 bytes: every field lies inside
}

}  // namespace

ContainerHeaders ReadHeaders(const ChmFile& file, const std::string& fileName, Logger& log) {
  log.Write("->%d\n", file.Handle());
  ContainerHeaders headers;
  std::array<std::uint8_t, 88> itsf{};
  if (!file.ReadAt(0, itsf.data(), itsf.size())) RaiseBookError("Can't read chm's header.");
  ItsfHeader& h = headers.itsf = ParseItsfHeader(itsf);
  LogHeader(log, h, fileName);
  if (h.version == 3) {
    std::uint8_t offset[8];
    if (!file.ReadAt(itsf.size(), offset, sizeof offset))
      RaiseBookError("Can't read content offset (for chm version 3 only).");
    headers.contentOffset = LoadLE64(offset);
  } else {
    // Older containers do not store it: content section 0 begins right after
    // the directory.
    headers.contentOffset = h.directoryOffset + h.directoryLength;
  }

  std::uint8_t section0[kSection0Size];
  if (!ChmFile::Reachable(h.section0Offset)) RaiseBookError("Can't move file pointer on section 0 position.");
  if (!file.ReadAt(h.section0Offset, section0, sizeof section0)) RaiseBookError("Can't read section 0 buffer.");
  ByteCursor in(section0);
  const std::uint32_t magic = in.U32();
  in.Skip(4);
  h.fileSize = in.U64();
  if (magic != 0x01FE) RaiseBookError("Error format of section 0 (expect 01FE).");
  log.Write("*** section 0 ***\n");
  LogWide(log, "File size      : ", h.fileSize);

  std::uint8_t directory[kDirectoryHeaderSize];
  if (!ChmFile::Reachable(h.directoryOffset)) RaiseBookError("Can't move file pointer on section 1 position.");
  if (!file.ReadAt(h.directoryOffset, directory, sizeof directory)) RaiseBookError("Can't read section 1 buffer.");
  headers.directory = ParseDirectoryHeader(directory);
  LogDirectoryHeader(log, headers.directory);
  headers.directoryStart = h.directoryOffset + sizeof directory;
  return headers;
}

}  // namespace tessaly
