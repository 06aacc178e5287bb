#include "base/text.h"

#include <algorithm>
#include <cstring>

namespace tessaly {

namespace {

// The bytes TrimLinkText strips: leftovers of the HTML a link was cut from.
bool IsLinkTrimByte(char c) {
  switch (c) {
    case ' ':
    case '\t':
    case '\r':
    case '\n':
    case '"':
    case '\'':
    case ';':
    case '/':
      return true;
    default:
      return false;
  }
}

// Book texts are NUL-terminated at heart: a NUL ends the text early.
std::string_view UpToNul(std::string_view text) {
  const std::size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

}  // namespace

void LowerCaseInPlace(std::string& text) {
  std::transform(text.begin(), text.end(), text.begin(), ToLowerAscii);
}

int CompareNoCase(std::string_view a, std::string_view b) {
  a = UpToNul(a);
  b = UpToNul(b);
  // Walk a; b running out first makes a the greater.
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (i >= b.size()) return 1;
    const auto ca = static_cast<unsigned char>(ToLowerAscii(a[i]));
    const auto cb = static_cast<unsigned char>(ToLowerAscii(b[i]));
    if (ca > cb) return 1;
    if (ca < cb) return -1;
  }
  return a.size() == b.size() ? 0 : -1;
}

int PercentEscapeAt(std::string_view text, std::size_t at) {
  if (at >= text.size() || text[at] != '%' || text.size() - at < 3) return -1;
  const auto digit = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = ToLowerAscii(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
  };
  const int high = digit(text[at + 1]);
  const int low = digit(text[at + 2]);
  return high < 0 || low < 0 ? -1 : high * 16 + low;
}

void TrimLinkText(std::string& text) {
  std::size_t front = 0;
  while (front < text.size() && IsLinkTrimByte(text[front])) ++front;
  std::size_t back = text.size();
  while (back > front && IsLinkTrimByte(text[back - 1])) --back;
  text.erase(back);
  text.erase(0, front);
}

}  // namespace tessaly
