// ObjectSource: the stored objects of a book, reached by the paths that
// sitemaps, topic tables and pages write. The container is one; the Book,
// which also tries a path again in UTF-8 when the book writes it in its code
// page, is another. The readers above the container (system records,
// sitemaps, the full-text index, page preparation) take one of these and
// never the Book itself.
//
// Both operations are safe from several threads at once.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tessaly {

// One stored object as the book's directory lists it. The name points into
// the directory's bytes and stays valid while the directory lives.
struct DirectoryEntry {
  std::string_view name;  // as stored (UTF-8 in real books), any length
  std::uint64_t section = 0;
  std::uint64_t offset = 0;  // within the content section
  std::uint64_t length = 0;
  std::uint32_t index = 0;  // position in the directory (file order)
};

// The bytes of one object, owned by the caller.
using ObjectBuffer = std::vector<std::uint8_t>;

class ObjectSource {
 public:
  virtual ~ObjectSource() = default;

  // True when a lookup of the path finds an object (a miss is logged).
  virtual bool HasObject(std::string_view path) const = 0;
  // The object's bytes. Raises BookError on every failure, "Can't find entry
  // for file %s\n" when there is no such object.
  virtual ObjectBuffer ReadObject(std::string_view path) const = 0;
};

}  // namespace tessaly
