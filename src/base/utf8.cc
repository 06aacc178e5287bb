#include "base/utf8.h"

namespace tessaly {

void AppendUtf8(std::string& out, char32_t c) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacement;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

char32_t NextCodePoint(std::string_view text, std::size_t& at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) {
    ++at;
    return lead;
  }
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  char32_t value = 0;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2, value = lead & 0x1F;
  else if (lead == 0xE0) length = 3, low = 0xA0, value = 0;
  else if (lead == 0xED) length = 3, high = 0x9F, value = lead & 0x0F;
  else if (lead >= 0xE1 && lead <= 0xEF) length = 3, value = lead & 0x0F;
  else if (lead == 0xF0) length = 4, low = 0x90, value = 0;
  else if (lead == 0xF4) length = 4, high = 0x8F, value = 4;
  else if (lead >= 0xF1 && lead <= 0xF3) length = 4, value = lead & 0x07;
  if (length == 0 || at + length > text.size()) {
    ++at;
    return kReplacement;
  }
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char b = byte(at + i);
    if (b < (i == 1 ? low : 0x80) || b > (i == 1 ? high : 0xBF)) {
      ++at;
      return kReplacement;
    }
    value = (value << 6) | (b & 0x3F);
  }
  at += length;
  return value;
}

std::string RepairUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t copied = 0;  // text before this is in out
  for (std::size_t at = 0; at < text.size();) {
    if (static_cast<unsigned char>(text[at]) < 0x80) {
      ++at;
      continue;
    }
    const std::size_t start = at;
    if (NextCodePoint(text, at) == kReplacement && at - start == 1) {
      out.append(text, copied, start - copied);
      AppendUtf8(out, kReplacement);
      copied = at;
    }
  }
  out.append(text, copied, text.size() - copied);
  return out;
}

bool LooksLikeUtf8(std::string_view text) {
  bool beyondAscii = false;
  for (std::size_t at = 0; at < text.size();) {
    if (static_cast<unsigned char>(text[at]) < 0x80) {
      ++at;
      continue;
    }
    const std::size_t start = at;
    const char32_t c = NextCodePoint(text, at);
    if (c == kReplacement && at - start == 1) return false;
    beyondAscii = true;
  }
  return beyondAscii;
}

}  // namespace tessaly
