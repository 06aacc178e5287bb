// The ITSF container header, header section 0 and the ITSP directory header
// of a CHM file, and their diagnostic dump.
//
// ITSF header (little-endian), at file offset 0:
//   0 "ITSF" | 4 version | 8 header length | 16 timestamp | 20 language id
//   24 GUID | 40 GUID | 56 offset, 64 length of header section 0
//   72 offset, 80 length of header section 1 (the directory)
//   88 content offset (version 3 only; 8 more bytes)
// Header section 0: 0 magic 0x01FE | 8 file size.
// ITSP header (84 bytes): 16 chunk size | 44 number of chunks | others logged.
// Offsets are 64-bit throughout.
#pragma once

#include <cstdint>

#include "base/log.h"
#include "container/book_file.h"
#include "container/chm_file.h"

namespace tessaly {

// Reads the three headers into book (and the content offset: stored for
// version 3, else right after the directory), dumping them to the log.
// Returns the file offset where the directory's chunks begin. Raises
// BookError on every failure.
std::uint64_t ReadHeaders(const ChmFile& file, BookFile& book, Logger& log);

}  // namespace tessaly
