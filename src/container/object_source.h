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
