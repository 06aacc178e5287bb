// An index over the directory, built once when a book is opened, so that a
// lookup costs two hash probes instead of two scans of the directory.
//
// Both keys fold ASCII letters, as every name comparison of the reader does:
// - the full name without one leading '/';
// - the last component: the text after the last '/', else after the last
//   '\\', else the whole name.
// Each key maps to the first entry in file order that has it, which is what
// a scan in file order would find first.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "book/book_file.h"

namespace tessaly {

class DirectoryIndex {
 public:
  void Build(const std::vector<DirectoryEntry>& entries);
  void Clear();

  std::optional<std::size_t> FindName(std::string_view normalisedPath) const;
  std::optional<std::size_t> FindLastComponent(std::string_view component) const;

  // The last component of a name or path, by the rule above.
  static std::string_view LastComponent(std::string_view name);

 private:
  static std::string Key(std::string_view text);
  std::unordered_map<std::string, std::size_t> byName_;
  std::unordered_map<std::string, std::size_t> byComponent_;
};

}  // namespace tessaly
