#include "pages/page_names.h"

#include <array>
#include <cstddef>

#include "base/text.h"
#include "pages/pages.h"

namespace tessaly {

namespace {

constexpr std::array<std::string_view, 5> kImageExtensions = {".gif", ".png", ".jpg", ".bmp", ".art"};
constexpr std::array<std::string_view, 4> kSystemSchemes = {"http:", "https:", "ftp:", "mailto:"};
constexpr std::size_t kMaxSafeExtension = 10;  // the dot and 9 letters or digits

bool IsAsciiAlnum(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

bool IsImageExtension(std::string_view extension) {
  for (std::string_view image : kImageExtensions) {
    if (extension == image) return true;
  }
  return false;
}

std::string SafeExtension(std::string_view extension) {
  if (extension.size() < 2 || extension.size() > kMaxSafeExtension || extension[0] != '.') return {};
  for (char c : extension.substr(1)) {
    if (!IsAsciiAlnum(c)) return {};
  }
  return std::string(extension);
}

bool IsSystemLink(std::string_view link) {
  while (!link.empty() && (link[0] == ' ' || link[0] == '\t' || link[0] == '\r' || link[0] == '\n'))
    link.remove_prefix(1);
  for (std::string_view scheme : kSystemSchemes) {
    if (StartsWithNoCase(link, scheme)) return true;
  }
  return false;
}

bool HasSchemeOrHost(std::string_view reference) {
  if (reference.starts_with("//") || reference.starts_with("\\\\")) return true;
  const std::size_t colon = reference.find(':');
  // "Class::Member.htm" is a name: a scheme's ':' is never doubled.
  if (colon == std::string_view::npos || reference.substr(colon, 2) == "::") return false;
  const std::size_t separator = reference.find_first_of("/\\?#");
  return separator == std::string_view::npos || colon < separator;
}

std::string FileAddress(std::string_view path) { return "file://" + EncodeUrlPath(path); }

}  // namespace tessaly
