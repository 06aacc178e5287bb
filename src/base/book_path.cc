#include "base/book_path.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "base/text.h"

namespace tessaly {

namespace {

constexpr std::size_t kMaxExtension = 10;

// A path ends at its first NUL, as it always has for the reader.
std::string_view UpToNul(std::string_view text) {
  const std::size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

bool StartsWith(std::string_view text, std::size_t at, std::string_view prefix) {
  return text.size() - at >= prefix.size() && text.compare(at, prefix.size(), prefix) == 0;
}

bool EndsWith(const char* s, std::size_t length, std::string_view suffix) {
  return length >= suffix.size() && std::string_view(s + length - suffix.size(), suffix.size()) == suffix;
}

// Leading "/", "./" and "../", removed one at a time, in that order of
// testing, until none is left.
void DropLeadingDots(std::string& path) {
  const std::string_view p = path;
  std::size_t at = 0;
  for (;;) {
    if (StartsWith(p, at, "/")) {
      at += 1;
    } else if (StartsWith(p, at, "./")) {
      at += 2;
    } else if (StartsWith(p, at, "../")) {
      at += 3;
    } else {
      break;
    }
  }
  path.erase(0, at);
}

// The collapsing steps below each mean "while the pattern occurs, rewrite
// its first occurrence". They run as one left-to-right pass: bytes are moved
// to the kept part one at a time and the pattern is checked at its end, so
// occurrences are met in the order the repeated search would find them. A
// rewrite never creates an occurrence that ends inside the kept part (it
// would have been an earlier one), only one that starts at the kept '/'.

// "//" -> "/".
void CollapseSlashes(std::string& path) {
  char* s = path.data();
  std::size_t write = 0;
  for (std::size_t read = 0; read < path.size(); ++read) {
    s[write++] = s[read];
    if (EndsWith(s, write, "//")) --write;
  }
  path.resize(write);
}

// "/./" -> "/".
void CollapseDotSegments(std::string& path) {
  char* s = path.data();
  std::size_t write = 0;
  for (std::size_t read = 0; read < path.size(); ++read) {
    s[write++] = s[read];
    if (EndsWith(s, write, "/./")) write -= 2;
  }
  path.resize(write);
}

// "x/y/../z" -> "x/z": the part before a "/../" is cut back to just after its
// last '/', or to nothing when it has none. A "/../" at the very start ends
// the step and everything from it stays as it is.
void CollapseParentSegments(std::string& path) {
  char* s = path.data();
  const std::size_t n = path.size();
  std::size_t write = 0;
  for (std::size_t read = 0; read < n; ++read) {
    s[write++] = s[read];
    if (!EndsWith(s, write, "/../")) continue;
    const std::size_t at = write - 4;
    if (at == 0) {
      // Leading "/../": keep the rest unchanged and stop.
      const std::size_t rest = n - (read + 1);
      for (std::size_t i = 0; i < rest; ++i) s[write + i] = s[read + 1 + i];
      write += rest;
      break;
    }
    std::size_t keep = at;
    while (keep > 0 && s[keep - 1] != '/') --keep;
    write = keep;
  }
  path.resize(write);
}

// "%XY" -> one byte, left to right; a produced '%' is not decoded again, nor
// is a '%' without two hex digits after it. A produced NUL ends the path
// there.
void DecodePercentEscapes(std::string& path) {
  char* s = path.data();
  const std::size_t n = path.size();
  std::size_t write = 0;
  std::size_t read = 0;
  while (read < n) {
    const int value = PercentEscapeAt(path, read);
    if (value >= 0) {
      read += 3;
      if (value == 0) break;
      s[write++] = static_cast<char>(value);
    } else {
      s[write++] = s[read++];
    }
  }
  path.resize(write);
}

}  // namespace

void NormalizeBookPath(std::string& path) {
  const std::size_t nul = path.find('\0');
  if (nul != std::string::npos) path.resize(nul);
  TrimLinkText(path);
  DropLeadingDots(path);
  CollapseSlashes(path);
  CollapseDotSegments(path);
  CollapseParentSegments(path);
  DecodePercentEscapes(path);
}

std::string FileExtension(std::string_view path) {
  path = UpToNul(path);
  const std::size_t dot = path.rfind('.');
  std::string extension;
  if (dot == std::string_view::npos) return extension;
  for (std::size_t i = dot; i < path.size() && path[i] != '#' && extension.size() < kMaxExtension; ++i) {
    extension.push_back(ToLowerAscii(path[i]));
  }
  return extension;
}

bool IsHtmlPage(std::string_view path) {
  const std::string extension = FileExtension(path);
  return extension == ".htm" || extension == ".html";
}

std::string DirectoryPart(std::string_view path) {
  path = UpToNul(path);
  std::size_t cut = path.rfind('\\');
  if (cut == std::string_view::npos) cut = path.rfind('/');
  if (cut == std::string_view::npos) return std::string();
  return std::string(path.substr(0, cut + 1));
}

bool IsExternalUrl(std::string_view text) {
  std::string lower(text.substr(0, std::min(text.find('\0'), kMaxBookPath)));
  LowerCaseInPlace(lower);
  return lower.find("http:") != std::string::npos || lower.find("https:") != std::string::npos ||
         lower.find("ftp:") != std::string::npos;
}

}  // namespace tessaly
