#include "convert/output_names.h"

#include <algorithm>

#include "pages/pages.h"

namespace tessaly::convert {

namespace {

constexpr std::size_t kMaxComponent = 200;  // bytes; file systems take 255

// Cuts text to at most `size` bytes without splitting a UTF-8 sequence.
std::string_view CutUtf8(std::string_view text, std::size_t size) {
  if (text.size() <= size) return text;
  while (size > 0 && (static_cast<unsigned char>(text[size]) & 0xC0) == 0x80) --size;
  return text.substr(0, size);
}

// The extension of a file name: from its last '.' (not a leading one).
std::size_t ExtensionStart(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos || dot == 0 ? name.size() : dot;
}

std::string WithSuffix(std::string_view path, int n) {
  const std::size_t slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  const std::size_t dot = nameStart + ExtensionStart(path.substr(nameStart));
  return std::string(path.substr(0, dot)) + "-" + std::to_string(n) + std::string(path.substr(dot));
}

}  // namespace

std::string SafeComponent(std::string_view component) {
  if (component.empty()) return "_";
  if (component == "." || component == "..") return "_" + std::string(component);
  std::string safe;
  safe.reserve(component.size());
  for (char c : component) {
    const auto byte = static_cast<unsigned char>(c);
    safe += (byte < 0x20 || byte == 0x7F || c == '\\') ? '_' : c;
  }
  if (safe.size() > kMaxComponent) {
    const std::size_t dot = ExtensionStart(safe);
    const std::string extension = safe.size() - dot <= 16 ? safe.substr(dot) : std::string();
    safe = std::string(CutUtf8(safe, kMaxComponent - extension.size())) + extension;
  }
  return safe;
}

void OutputNames::Assign(const std::vector<std::string>& names, const std::vector<std::string>& reserved,
                         const std::vector<std::string>& extensions) {
  std::vector<std::string> wanted;
  wanted.reserve(names.size());
  std::unordered_set<std::string> folders;
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::string path;
    std::string_view rest = names[i];
    while (true) {
      const std::size_t slash = rest.find('/');
      std::string part = SafeComponent(rest.substr(0, slash));
      if (slash == std::string_view::npos) {
        if (!extensions[i].empty()) part = part.substr(0, ExtensionStart(part)) + extensions[i];
        path += part;
        break;
      }
      path += part;
      folders.insert(path);
      path += '/';
      rest.remove_prefix(slash + 1);
    }
    wanted.push_back(std::move(path));
  }
  std::unordered_set<std::string> taken(reserved.begin(), reserved.end());
  paths_.reserve(names.size());
  for (std::string& path : wanted) {
    std::string chosen = path;
    for (int n = 1; taken.count(chosen) != 0 || folders.count(chosen) != 0; ++n) chosen = WithSuffix(path, n);
    taken.insert(chosen);
    paths_.push_back(std::move(chosen));
  }
}

std::string EscapeLinkPath(std::string_view path) {
  // A ':' would make the link's first segment a scheme.
  std::string escaped;
  for (char c : EncodeUrlPath(path)) {
    if (c == ':') escaped += "%3A";
    else escaped += c;
  }
  return escaped;
}

std::string RelativeLink(std::string_view from, std::string_view to, std::string_view fragment) {
  // Skip the folders both paths share, then climb out of the rest of from's.
  std::size_t common = 0;
  for (std::size_t i = 0; i < from.size() && i < to.size() && from[i] == to[i]; ++i) {
    if (from[i] == '/') common = i + 1;
  }
  std::string link;
  for (std::size_t i = common; i < from.size(); ++i) {
    if (from[i] == '/') link += "../";
  }
  link += EscapeLinkPath(to.substr(common));
  if (link.empty()) link = "./";
  if (!fragment.empty()) link += "#" + EscapeLinkPath(fragment);
  return link;
}

}  // namespace tessaly::convert
