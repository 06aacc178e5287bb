// Text operations shared by every reader of book text.
//
// Book text is narrow, in the book's ANSI code page; these operations only
// ever fold the ASCII letters A-Z and never interpret bytes from 0x80 up.
// Entities decode through a fixed table of 114 named rows (no numeric
// references); see entities.cc for the table and its quirks.
#pragma once

#include <string>
#include <string_view>

namespace tessaly {

// 'A'..'Z' -> 'a'..'z'; every other byte unchanged.
constexpr char ToLowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

void LowerCaseInPlace(std::string& text);

// -1, 0 or 1, comparing ASCII-folded bytes as unsigned values; a shorter
// text that is a prefix of the other sorts first. A text ends at its first
// NUL, if it holds one, as book names always have.
int CompareNoCase(std::string_view a, std::string_view b);

// True when the two texts are equal under CompareNoCase.
inline bool EqualNoCase(std::string_view a, std::string_view b) { return CompareNoCase(a, b) == 0; }

// Removes space, tab, CR, LF, '"', '\'', ';' and '/' from both ends.
void TrimLinkText(std::string& text);

// The byte that a percent escape "%XY" at text[at] stands for (X and Y
// hexadecimal digits, either case), or -1 when no escape stands there: not a
// '%', fewer than two bytes after it, or one of them not a hex digit. Each
// caller keeps its own rules on what a decoded byte may be.
int PercentEscapeAt(std::string_view text, std::size_t at);

// Decodes the named entities of the fixed table, row by row, in place.
void DecodeEntities(std::string& text);

// The entity table, in the order its rows are tried (for tests and tools).
std::size_t EntityRowCount();
std::string_view EntityName(std::size_t row);
unsigned char EntityByte(std::size_t row);

}  // namespace tessaly
