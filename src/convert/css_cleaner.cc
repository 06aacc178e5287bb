#include "convert/css_cleaner.h"

#include <algorithm>
#include <cctype>

#include "base/text.h"

namespace tessaly::convert {

namespace {

std::string_view Trimmed(std::string_view text) {
  constexpr std::string_view kSpace = " \t\r\n\f";
  const std::size_t first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

bool IsFontSize(std::string value) {
  LowerCaseInPlace(value);
  if (const std::size_t bang = value.find("!important"); bang != std::string::npos) value = Trimmed(value.substr(0, bang));
  for (std::string_view word : {"xx-small", "x-small", "small", "medium", "large", "x-large", "xx-large", "larger",
                                "smaller", "inherit", "initial", "unset"}) {
    if (value == word) return true;
  }
  // A number with a unit or a percentage (or 0), or a function (calc, var).
  if (value.find('(') != std::string::npos) return true;
  std::size_t i = 0;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) ++i;
  const std::size_t digits = i;
  while (i < value.size() && (std::isdigit(static_cast<unsigned char>(value[i])) || value[i] == '.')) ++i;
  if (i == digits) return false;
  const std::string unit = value.substr(i);
  // A number without a unit is no size, unless it is zero.
  if (unit.empty()) return std::all_of(value.begin() + digits, value.end(), [](char c) { return c == '0' || c == '.'; });
  return unit == "%" || std::all_of(unit.begin(), unit.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

bool KeepDeclaration(std::string_view declaration) {
  const std::size_t colon = declaration.find(':');
  if (colon == std::string_view::npos) return false;
  std::string property(Trimmed(declaration.substr(0, colon)));
  const std::string_view value = Trimmed(declaration.substr(colon + 1));
  if (property.empty() || value.empty() || value == "!important") return false;
  LowerCaseInPlace(property);
  // EPUB leaves the writing direction to the markup.
  if (property == "direction" || property == "unicode-bidi") return false;
  return property != "font-size" || IsFontSize(std::string(value));
}

}  // namespace

std::string CleanStyleSheet(std::string_view css) {
  std::string out;
  out.reserve(css.size());
  int depth = 0;
  int parens = 0;
  std::size_t start = 0;  // of the segment being read
  for (std::size_t i = 0; i < css.size(); ++i) {
    const char c = css[i];
    if (c == '/' && i + 1 < css.size() && css[i + 1] == '*') {
      const std::size_t end = css.find("*/", i + 2);
      i = end == std::string_view::npos ? css.size() - 1 : end + 1;
      continue;
    }
    if (c == '"' || c == '\'') {
      for (++i; i < css.size() && css[i] != c && css[i] != '\n'; ++i) {
        if (css[i] == '\\') ++i;
      }
      continue;
    }
    if (c == '\\') {
      ++i;
      continue;
    }
    if (c == '(') ++parens;
    if (c == ')' && parens > 0) --parens;
    if (parens > 0 || (c != '{' && c != '}' && c != ';')) continue;
    const std::string_view segment = css.substr(start, i - start);
    start = i + 1;
    if (c == '{') {
      out += segment;
      out += c;
      ++depth;
      continue;
    }
    if (depth == 0) {
      out += segment;
      out += c;
      continue;
    }
    // A declaration; a dropped one (an empty one too) takes its ';' along.
    const bool kept = KeepDeclaration(segment);
    if (kept) out += segment;
    else if (c == '}') out += segment.substr(segment.find_last_not_of(" \t\r\n\f") + 1);  // the space before '}'
    if (kept || c == '}') out += c;
    if (c == '}') --depth;
  }
  out += css.substr(std::min(start, css.size()));
  return out;
}

}  // namespace tessaly::convert
