// Book text on the terminal: converted from the book's code page to UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/text_converter.h"

namespace tessaly {
class Book;
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

}  // namespace tessaly::cli
