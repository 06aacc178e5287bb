// The ITSF container header, header section 0, the ITSP directory header
// and the PMGL listing chunks of a CHM file.
//
// ITSF header (little-endian), at file offset 0:
//   0 "ITSF" | 4 version | 8 header length | 16 timestamp | 20 language id
//   24 GUID | 40 GUID | 56 offset, 64 length of header section 0
//   72 offset, 80 length of header section 1 (the directory)
//   88 content offset (version 3 only; 8 more bytes)
// Header section 0: 0 magic 0x01FE | 8 file size.
// ITSP header (84 bytes): 16 chunk size | 44 number of chunks | others logged.
// The chunks follow the ITSP header. A PMGL chunk: 20-byte header
// (4 free space at the end, 12 previous, 16 next chunk; -1 ends the listing)
// then entries back to back: ENCINT name length, name, then ENCINT content
// section, offset and length. ENCINT: big-endian base-128, high bit = more.
//
// Chunks are taken in file order from chunk 0 until one whose next-chunk
// field is -1; index chunks (PMGI) after the listing are never read.
#pragma once

#include <cstdint>
#include <span>

#include "base/log.h"
#include "book/book_file.h"
#include "book/file.h"

namespace tessaly {

// Reads the headers and the whole directory into bookFile. The file is open;
// it is left open. Raises BookError on every failure.
void ReadDirectory(File& file, BookFile& bookFile, Logger& log);

// Decodes one ENCINT at pos, advancing pos. Values are 32 bits wide (higher
// bits are lost). Returns false when the number runs past the data or is
// longer than 5 bytes (tooLong tells which).
bool ReadEncInt(std::span<const std::uint8_t> data, std::size_t& pos, std::uint32_t& value, bool& tooLong);

}  // namespace tessaly
