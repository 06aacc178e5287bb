// The code-page codec: book text between Windows code pages and UTF-8 through
// the C library's iconv, both ways, and the charset names pages declare.
// What the reader and the tool include of this layer.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/text_converter.h"

namespace tessaly {

// TextCodec: book text between its Windows code page and UTF-8, both ways.
// The core converts only towards UTF-8 (TextConverter, for lookups); the
// reader also converts what the user types back into the book's code page.

class TextCodec : public TextConverter {
 public:
  // UTF-8 text in the code page, or nullopt when the code page is unknown or
  // the text holds a character it lacks.
  virtual std::optional<std::string> FromUtf8(std::string_view text, int codePage) const = 0;
};

// Book text between Windows code pages and UTF-8 through the C library's
// iconv. The reader's platforms hand it out as their TextCodec, and the
// command-line tool converts with it. One codec may serve several threads.

class IconvCodec : public TextCodec {
 public:
  // Bytes that do not belong to the code page become U+FFFD; nullopt only
  // when iconv knows no name for the code page.
  std::optional<std::string> ToUtf8(std::string_view text, int codePage) const override;
  // nullopt when the code page is unknown or lacks a character of the text
  // (or the text is not UTF-8).
  std::optional<std::string> FromUtf8(std::string_view text, int codePage) const override;

  // iconv names for a Windows code page, the preferred first.
  static std::vector<std::string> NamesFor(int codePage);

 private:
  bool Known(int codePage) const;
  mutable std::mutex mutex_;           // guards known_
  mutable std::map<int, bool> known_;  // code page -> iconv has it
};

// Charset names as pages declare them (<meta charset>, an XML declaration)
// and the Windows code pages that read them, for converting a page through
// the codec; and the other way, the name a web engine knows a code page's
// character set by, for pages that declare none.

// The Windows code page of a lower-case charset name (65001 for UTF-8);
// none for a name without one.
std::optional<int> CodePageOfCharset(std::string_view charset);

// The WHATWG name of a Windows code page's character set ("windows-1251",
// "Shift_JIS"); empty when the web has none.
std::string WebCharsetOfCodePage(int codePage);

}  // namespace tessaly
