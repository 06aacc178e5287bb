// UTF-8: appending code points, and reading them back with every ill-formed
// byte turned into U+FFFD (no overlong forms, no surrogates, nothing past
// U+10FFFF).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tessaly {

constexpr char32_t kReplacement = 0xFFFD;

// Appends the code point as UTF-8; surrogates and values past U+10FFFF
// become U+FFFD.
void AppendUtf8(std::string& out, char32_t c);

// The code point at text[at], advancing `at` past it. An ill-formed
// sequence gives U+FFFD and advances one byte. `at` must be below size.
char32_t NextCodePoint(std::string_view text, std::size_t& at);

// The text with every ill-formed sequence replaced by U+FFFD.
std::string RepairUtf8(std::string_view text);

// True when the bytes are well-formed UTF-8 holding at least one character
// beyond ASCII (text that is most likely UTF-8 and nothing else).
bool LooksLikeUtf8(std::string_view text);

}  // namespace tessaly
