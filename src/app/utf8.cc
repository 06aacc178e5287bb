#include "app/utf8.h"

#include <cstdint>

#include "base/utf8.h"

namespace tessaly::app {

namespace {

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length of the character that starts at `at` (1 for a stray byte).
std::size_t CharLength(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = 1;
  if (lead >= 0xF0) {
    length = 4;
  } else if (lead >= 0xE0) {
    length = 3;
  } else if (lead >= 0xC0) {
    length = 2;
  }
  std::size_t taken = 1;
  while (taken < length && at + taken < text.size() &&
         IsContinuation(static_cast<unsigned char>(text[at + taken]))) {
    ++taken;
  }
  return taken;
}

}  // namespace

bool IsUtf8(std::string_view text) {
  // An ill-formed sequence reads as U+FFFD one byte long; a real U+FFFD
  // takes three.
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t start = at;
    if (NextCodePoint(text, at) == kReplacement && at - start == 1) return false;
  }
  return true;
}

std::string CutToChars(std::string_view text, std::size_t maxChars) {
  std::size_t at = 0;
  for (std::size_t chars = 0; chars < maxChars && at < text.size(); ++chars) at += CharLength(text, at);
  return std::string(text.substr(0, at));
}

std::string CutToBytes(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return std::string(text);
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t next = at + CharLength(text, at);
    if (next > maxBytes) break;
    at = next;
  }
  return std::string(text.substr(0, at));
}

std::size_t CountChars(std::string_view text) {
  std::size_t chars = 0;
  for (std::size_t at = 0; at < text.size(); at += CharLength(text, at)) ++chars;
  return chars;
}

std::string AsciiOrReplacement(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x80) {
      out += c;
    } else {
      out += "\xEF\xBF\xBD";
    }
  }
  return out;
}

}  // namespace tessaly::app
