// Book text on the terminal: converted from the book's code page to UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/text_converter.h"

namespace tessaly {
class Book;
class BookError;
}

namespace tessaly::cli {

// The converter the tool attaches to every book it opens.
const TextConverter& Converter();

// Book text in UTF-8; bytes that do not convert become U+FFFD.
std::string BookText(const Book& book, std::string_view text);

// UTF-8 text (as typed) in the book's code page, or nullopt when the code
// page lacks one of its characters.
std::optional<std::string> TextInBook(const Book& book, std::string_view utf8);

// Opens a book completely with the tool's converter attached.
void OpenBook(Book& book, const std::string& path);

// Text as the terminal gets it: control characters (C0, DEL, C1) and bytes
// that are not UTF-8 are written as \xHH (C1 as \u00HH), so that no name a
// book stores can move the cursor, recolour or retitle the terminal, or
// forge a line of a listing. Line breaks stay when keepLineBreaks is set.
std::string Printable(std::string_view text, bool keepLineBreaks = false);

// Plain output goes out in pieces of this size, never held whole.
inline constexpr std::size_t kFlushBytes = 64 * 1024;

// Writes `out` to standard output and empties it.
void Flush(std::string& out);

// Says on standard error that a tree nests deeper than the levels shown,
// when its deepest entry (0 for the top) lies below them; `treeNests` names
// it with its verb ("contents nest", "keyword index nests").
void WarnOfDepth(const char* treeNests, int deepest);

// A book error as the tool reports it (on standard error): its message,
// printable, and the system's reason where the system refused.
std::string ErrorReport(const BookError& error);

}  // namespace tessaly::cli
