// The ITSF container header, header section 0 and the ITSP directory header
// of a CHM file, read into named fields, and their diagnostic dump.
//
// ITSF header (little-endian), at file offset 0:
//   0 "ITSF" | 4 version | 8 header length | 12 reserved | 16 timestamp
//   20 language id | 24 GUID | 40 GUID | 56 offset, 64 length of header
//   section 0 | 72 offset, 80 length of header section 1 (the directory)
//   | 88 content offset (version 3 only; 8 more bytes)
// Header section 0: 0 magic 0x01FE | 4 reserved | 8 file size.
// ITSP header (84 bytes): 0 "ITSP" | 4 version | 8 length | 12 reserved
//   | 16 chunk size | 20 density | 24 index depth | 28 root index chunk
//   | 32 first, 36 last listing chunk | 40 reserved | 44 number of chunks
//   | 48 language id | 52 GUID | 68 length again | 72 reserved.
// Offsets are 64-bit throughout.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/log.h"
#include "container/chm_file.h"

namespace tessaly {

using Guid = std::array<std::uint8_t, 16>;

struct ItsfHeader {
  std::array<std::uint8_t, 88> bytes{};  // as read, for the dump's text line
  std::uint32_t version = 0, headerLength = 0, timestamp = 0, languageId = 0;
  Guid firstGuid{}, secondGuid{};
  std::uint64_t section0Offset = 0, section0Length = 0;
  std::uint64_t directoryOffset = 0, directoryLength = 0;
  std::uint64_t fileSize = 0;  // from header section 0
};

struct DirectoryHeader {
  std::uint32_t version = 0, length = 0, chunkSize = 0, density = 0, depth = 0;
  std::int32_t rootIndexChunk = -1, firstListingChunk = 0, lastListingChunk = 0;
  std::uint32_t chunkCount = 0, languageId = 0;
  Guid guid{};
  std::uint32_t secondLength = 0;
};

struct ContainerHeaders {
  ItsfHeader itsf;
  DirectoryHeader directory;
  std::uint64_t contentOffset = 0;   // file offset of content section 0
  std::uint64_t directoryStart = 0;  // file offset of the first directory chunk
};

// Reads the three headers (and the content offset: stored for version 3,
// else right after the directory), dumping them to the log; fileName is
// for the dump. Raises BookError on every failure.
ContainerHeaders ReadHeaders(const ChmFile& file, const std::string& fileName, Logger& log);

}  // namespace tessaly
