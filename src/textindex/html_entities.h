// HTML character references as UTF-8: the named entities of HTML 4 (with
// &apos;) and numeric references, decimal and hexadecimal. Unlike the
// book-text DecodeEntities of base/text.h, which keeps to single bytes of the
// book's code page, these give any character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tessaly::textindex {

// Reads the reference that starts with the '&' at text[at]. When it is one,
// appends its character to out as UTF-8 and advances `at` past it (and past
// its ';', which may be missing); otherwise returns false and leaves both
// alone. A numeric reference to nothing (0, a surrogate, past U+10FFFF)
// gives U+FFFD; 128 to 159 are read as Windows-1252, as browsers do. Reads
// at most a short bounded stretch of the text.
bool DecodeReference(std::string_view text, std::size_t& at, std::string& out);

}  // namespace tessaly::textindex
