// What the library keeps of a book file, read when it is new or changed:
// its content hash, title and language, or why it cannot be read.
#pragma once

#include <cstdint>
#include <string>

#include "base/text_converter.h"

namespace tessaly::library {

enum class Readability { kReadable = 0, kDamaged = 1, kUnreadable = 2 };

struct BookFacts {
  std::string sha256;  // empty when the file cannot be read
  std::string title;   // UTF-8
  std::int32_t languageId = 0;
  Readability readability = Readability::kReadable;
  std::string reason;
};

// The SHA-256 of the file, or empty with the reason.
std::string HashOf(const std::string& path, std::string& reason);

// Opens the book whose bytes have this SHA-256 (its container, system
// records, contents and topics) for its title and language. Never raises for the book's sake: a book that
// cannot be opened is described as damaged or unreadable.
BookFacts ReadFacts(const std::string& path, std::string sha256, const TextConverter& converter);

// Book text (in its code page) in UTF-8; bytes that do not convert are
// replaced.
std::string Utf8(const TextConverter& converter, std::string_view text, int codePage);

}  // namespace tessaly::library
