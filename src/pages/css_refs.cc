#include "pages/pages.h"

#include <cstddef>

#include "base/text.h"

namespace tessaly {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

bool IsNameByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

bool KeywordAt(std::string_view text, std::size_t at, std::string_view keyword) {
  if (text.size() - at < keyword.size() || !EqualNoCase(text.substr(at, keyword.size()), keyword))
    return false;
  return at == 0 || !IsNameByte(text[at - 1]);
}

std::size_t SkipSpaces(std::string_view text, std::size_t at) {
  while (at < text.size() && IsSpace(text[at])) ++at;
  return at;
}

// A reference's value found at [start, end) of the text.
struct Span {
  std::size_t start = 0;
  std::size_t end = 0;
};

// The value after "url(" at `at`; `next` receives where scanning goes on.
std::optional<Span> UrlValue(std::string_view text, std::size_t at, std::size_t& next) {
  at = SkipSpaces(text, at);
  if (at < text.size() && (text[at] == '"' || text[at] == '\'')) {
    const std::size_t close = text.find(text[at], at + 1);
    if (close == std::string_view::npos) {
      next = text.size();
      return std::nullopt;
    }
    next = close + 1;
    return Span{at + 1, close};
  }
  const std::size_t close = text.find(')', at);
  if (close == std::string_view::npos) {
    next = text.size();
    return std::nullopt;
  }
  next = close + 1;
  return Span{at, close};
}

// The quoted string after "@import" at `at`, if there is one.
std::optional<Span> ImportString(std::string_view text, std::size_t at, std::size_t& next) {
  at = SkipSpaces(text, at);
  next = at;
  if (at >= text.size() || (text[at] != '"' && text[at] != '\'')) return std::nullopt;
  const std::size_t close = text.find(text[at], at + 1);
  if (close == std::string_view::npos) {
    next = text.size();
    return std::nullopt;
  }
  next = close + 1;
  return Span{at + 1, close};
}

}  // namespace

std::string RewriteCssReferences(std::string_view css, const CssRename& rename) {
  std::string out;
  out.reserve(css.size());
  std::size_t copied = 0;  // bytes of css already in out
  std::size_t at = 0;

  auto handle = [&](Span value) {
    while (value.start < value.end && IsSpace(css[value.start])) ++value.start;
    while (value.end > value.start && IsSpace(css[value.end - 1])) --value.end;
    const std::string_view text = css.substr(value.start, value.end - value.start);
    const std::string_view path = text.substr(0, text.find_first_of("?#"));
    if (path.empty()) return;
    std::optional<std::string> name = rename(path);
    if (!name) return;
    out.append(css.substr(copied, value.start - copied));
    out.append(*name);
    copied = value.start + path.size();
  };

  while (at < css.size()) {
    if (css[at] == '/' && at + 1 < css.size() && css[at + 1] == '*') {
      const std::size_t close = css.find("*/", at + 2);
      at = close == std::string_view::npos ? css.size() : close + 2;
    } else if (KeywordAt(css, at, "url(")) {
      std::size_t next = at + 4;
      if (std::optional<Span> value = UrlValue(css, at + 4, next)) handle(*value);
      at = next;
    } else if (KeywordAt(css, at, "@import")) {
      std::size_t next = at + 7;
      if (std::optional<Span> value = ImportString(css, at + 7, next)) handle(*value);
      at = next;
    } else {
      ++at;
    }
  }
  out.append(css.substr(copied));
  return out;
}

}  // namespace tessaly
