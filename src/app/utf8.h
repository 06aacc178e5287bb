// UTF-8 text as the toolkit takes it: cutting to a number of characters or
// bytes without splitting a character, and checking that bytes are UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tessaly::app {

// True when the bytes are well-formed UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF).
bool IsUtf8(std::string_view text);

// The first maxChars characters of UTF-8 text (a character is a lead byte
// with its continuation bytes; a stray byte counts as one).
std::string CutToChars(std::string_view text, std::size_t maxChars);

// At most maxBytes bytes, never ending inside a character.
std::string CutToBytes(std::string_view text, std::size_t maxBytes);

// Number of characters, counted as CutToChars counts them.
std::size_t CountChars(std::string_view text);

// Bytes from 0x80 up replaced by U+FFFD: any text made safe to show.
std::string AsciiOrReplacement(std::string_view text);

}  // namespace tessaly::app
