// What a book says of itself: #SYSTEM, #STRINGS and #WINDOWS.
//
// #SYSTEM (little-endian): 4 version (2 or 3), then records to the end:
//   2 code | 2 length | data. Codes read: 0 contents sitemap, 1 index
//   sitemap, 2 default topic, 3 title (NUL-terminated texts), 4 language id
//   (first 4 data bytes). Others are skipped by their length.
// #STRINGS: NUL-terminated strings addressed by byte offset.
// #WINDOWS: an 8-byte header, then window definitions; only fixed offsets
//   of the first one are read (see book_info.cc).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "base/log.h"

namespace tessaly {

// The language a book has until #SYSTEM names one.
constexpr std::int32_t kDefaultLanguageId = 1033;

struct SystemRecords {
  std::string contentsFile, indexFile, defaultTopic, title;  // each at most 255 bytes
  std::int32_t languageId = kDefaultLanguageId;
};

// Reads the records into `records` (fields not named keep their values) and
// dumps them to the log. Raises BookError for a wrong version.
void ReadSystemRecords(std::span<const std::uint8_t> system, SystemRecords& records, Logger& log);

// The Windows ANSI code page for a language id.
int CodePageForLanguage(std::int32_t languageId);

}  // namespace tessaly
