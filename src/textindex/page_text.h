// A stored HTML page as plain UTF-8 text, for the page-text index and for
// tools that take a book's content.
//
// Decoding: a UTF-8 byte-order mark, else the charset the page declares
// (<meta charset>, <meta http-equiv="Content-Type" content="...; charset=">,
// or an XML declaration's encoding) when it names a Windows code page that
// the converter knows (codec/charsets.h), else UTF-8 when the bytes are well-formed UTF-8 with
// characters beyond ASCII, else the book's code page, else Windows-1252.
//
// Text: <script>, <style>, comments and other markup are dropped; character
// references are decoded (any character, see html_entities.h); block
// elements end a line; runs of white space become one space, and empty lines
// are dropped. The <title> is returned apart, its own markup dropped too. Every step is one pass over
// the page: no input makes the work grow faster than its length.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/text_converter.h"

namespace tessaly::textindex {

// How a page's bytes were read.
enum class Decoding {
  kBookCodePage,  // the book's code page (also when the page declares that one)
  kDeclared,      // another charset that the page declares
  kUtf8,          // a byte-order mark, or well-formed UTF-8 beyond ASCII
  kWindows1252,   // the book's code page is unknown to the converter
};

struct PageText {
  std::string title;  // the page's <title>, white space collapsed; empty when none
  std::string text;   // lines of text, without a final line break
  std::string headings;  // the text of its headings (<h1> to <h6>), a line each
  Decoding decoding = Decoding::kBookCodePage;
};

// The charset the page declares, lower-cased, from the part before <body>
// (at most its first 64 KiB); none when it declares none.
std::optional<std::string> DeclaredCharset(std::string_view page);

// The page's bytes as UTF-8, decoded as described above; `used` (optional)
// tells how.
std::string DecodePage(std::string_view page, int bookCodePage, const TextConverter& converter,
                       Decoding* used = nullptr);

// The text and title of an HTML page already decoded to UTF-8.
PageText HtmlToText(std::string_view html);

// DecodePage, then HtmlToText.
PageText ExtractPageText(std::span<const std::uint8_t> page, int bookCodePage, const TextConverter& converter);

}  // namespace tessaly::textindex
