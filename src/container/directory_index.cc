#include "container/directory_index.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"

namespace tessaly {

namespace {

// Names are compared as C strings: nothing after a NUL byte counts.
std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

std::string_view NameKey(std::string_view name) {
  name = UpToNul(name);
  return name.starts_with('/') ? name.substr(1) : name;
}

std::string_view ComponentKey(std::string_view name) { return DirectoryIndex::LastComponent(UpToNul(name)); }

// Orders keys as their lower-cased bytes would sort. Equal raw bytes are
// equal folded, so runs of them (the long shared prefixes of a book's
// names) are passed over eight at a time.
int CompareFolded(std::string_view a, std::string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  std::size_t i = 0;
  for (; i + 8 <= common; i += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a.data() + i, 8);
    std::memcpy(&y, b.data() + i, 8);
    if (x != y) break;
  }
  for (; i < common; ++i) {
    const auto ca = static_cast<unsigned char>(ToLowerAscii(a[i]));
    const auto cb = static_cast<unsigned char>(ToLowerAscii(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// The entry numbers in key order (file order among equal keys). The keys are
// taken from the directory once, for the sort only.
template <class Key>
std::vector<std::uint32_t> SortedBy(const Directory& directory, Key key) {
  std::vector<std::string_view> keys(directory.size());
  std::vector<std::uint32_t> order(directory.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    keys[i] = key(directory.Name(i));
    order[i] = static_cast<std::uint32_t>(i);
  }
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    const int c = CompareFolded(keys[a], keys[b]);
    return c != 0 ? c < 0 : a < b;
  });
  return order;
}

template <class Key>
std::optional<std::size_t> Find(const Directory& directory, const std::vector<std::uint32_t>& order, Key key,
                                std::string_view wanted) {
  wanted = UpToNul(wanted);
  const auto at = std::lower_bound(order.begin(), order.end(), wanted, [&](std::uint32_t entry, std::string_view w) {
    return CompareFolded(key(directory.Name(entry)), w) < 0;
  });
  if (at == order.end() || CompareFolded(key(directory.Name(*at)), wanted) != 0) return std::nullopt;
  return *at;
}

}  // namespace

std::string_view DirectoryIndex::LastComponent(std::string_view name) {
  std::size_t slash = name.rfind('/');
  if (slash != std::string_view::npos) return name.substr(slash + 1);
  std::size_t backslash = name.rfind('\\');
  if (backslash != std::string_view::npos) return name.substr(backslash + 1);
  return name;
}

DirectoryIndex::DirectoryIndex(const Directory& directory)
    : byName_(SortedBy(directory, NameKey)), byComponent_(SortedBy(directory, ComponentKey)) {}

std::optional<std::size_t> DirectoryIndex::FindName(const Directory& directory, std::string_view normalisedPath) const {
  return Find(directory, byName_, NameKey, normalisedPath);
}

std::optional<std::size_t> DirectoryIndex::FindLastComponent(const Directory& directory,
                                                             std::string_view component) const {
  return Find(directory, byComponent_, ComponentKey, component);
}

}  // namespace tessaly
