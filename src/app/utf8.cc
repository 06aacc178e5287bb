#include "app/utf8.h"

#include <cstdint>

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
  std::size_t at = 0;
  while (at < text.size()) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    std::uint32_t value = 0;
    if (lead < 0x80) {
      ++at;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      value = lead & 0x07;
    } else {
      return false;
    }
    if (at + length > text.size()) return false;
    for (std::size_t i = 1; i < length; ++i) {
      const auto c = static_cast<unsigned char>(text[at + i]);
      if (!IsContinuation(c)) return false;
      value = (value << 6) | (c & 0x3F);
    }
    if ((length == 3 && value < 0x800) || (length == 4 && value < 0x10000) || value > 0x10FFFF ||
        (value >= 0xD800 && value <= 0xDFFF)) {
      return false;
    }
    at += length;
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
