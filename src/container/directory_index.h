// An index over the directory, built once when a book is opened, so that a
// lookup is a binary search instead of two scans of the directory.
//
// Both keys fold ASCII letters, as every name comparison of the reader does,
// and end at a name's first NUL:
// - the full name without one leading '/';
// - the last component: the text after the last '/', else after the last
//   '\\', else the whole name.
// Each key finds the first entry in file order that has it, which is what a
// scan in file order would find first. The index holds entry numbers only
// (two per entry); the keys are read from the directory itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "container/directory.h"

namespace tessaly {

class DirectoryIndex {
 public:
  DirectoryIndex() = default;
  explicit DirectoryIndex(const Directory& directory);

  std::optional<std::size_t> FindName(const Directory& directory, std::string_view normalisedPath) const;
  std::optional<std::size_t> FindLastComponent(const Directory& directory, std::string_view component) const;

  // The last component of a name or path, by the rule above.
  static std::string_view LastComponent(std::string_view name);

 private:
  std::vector<std::uint32_t> byName_;       // entry numbers sorted by name key, then number
  std::vector<std::uint32_t> byComponent_;  // the same by last-component key
};

}  // namespace tessaly
