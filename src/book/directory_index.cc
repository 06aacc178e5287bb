#include "book/directory_index.h"

#include "base/text.h"

namespace tessaly {

std::string DirectoryIndex::Key(std::string_view text) {
  // Names are compared as C strings: nothing after a NUL byte counts.
  text = text.substr(0, text.find('\0'));
  std::string key(text);
  LowerCaseInPlace(key);
  return key;
}

std::string_view DirectoryIndex::LastComponent(std::string_view name) {
  std::size_t slash = name.rfind('/');
  if (slash != std::string_view::npos) return name.substr(slash + 1);
  std::size_t backslash = name.rfind('\\');
  if (backslash != std::string_view::npos) return name.substr(backslash + 1);
  return name;
}

void DirectoryIndex::Build(const std::vector<DirectoryEntry>& entries) {
  Clear();
  byName_.reserve(entries.size());
  byComponent_.reserve(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    std::string_view name = entries[i].name;
    name = name.substr(0, name.find('\0'));
    std::string_view withoutSlash = name.starts_with('/') ? name.substr(1) : name;
    byName_.try_emplace(Key(withoutSlash), i);
    byComponent_.try_emplace(Key(LastComponent(name)), i);
  }
}

void DirectoryIndex::Clear() {
  byName_.clear();
  byComponent_.clear();
}

std::optional<std::size_t> DirectoryIndex::FindName(std::string_view normalisedPath) const {
  auto it = byName_.find(Key(normalisedPath));
  if (it == byName_.end()) return std::nullopt;
  return it->second;
}

std::optional<std::size_t> DirectoryIndex::FindLastComponent(std::string_view component) const {
  auto it = byComponent_.find(Key(component));
  if (it == byComponent_.end()) return std::nullopt;
  return it->second;
}

}  // namespace tessaly
