// A small, forgiving scanner for sitemaps (.hhc, .hhk) and pages: it hands
// out one tag at a time (the text between '<' and '>'), ignores text between
// tags, and reads attribute values by searching for the attribute's name.
//
// "<<" and ">>" inside a tag stand for a literal '<' and '>'. A tag holds at
// most 3000 bytes. HTML comments are skipped whole (an unclosed "<!--" is
// read as an ordinary tag), and '<' or '>' inside a double-quoted stretch of
// a tag are kept as text (real sitemaps hold both): every '"' inside a tag
// opens or closes such a stretch, wherever it stands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/pointer_array.h"

namespace tessaly {

class SitemapScanner {
 public:
  static constexpr std::size_t kMaxTag = 3000;
  static constexpr std::size_t kMaxValue = 3000;

  // Reads the next tag at cursor (advancing it, never past end) into tag.
  // Input that ends inside a tag returns the partial tag; input that ends
  // outside one returns an empty tag. Raises BookError on a malformed tag.
  static void NextTag(const char*& cursor, const char* end, std::string& tag);

  // The value of the attribute whose lower-case name is given, searched in
  // tag (so a caller may pass the text after an earlier value). The value is
  // entity-decoded and cut to outSize - 1 bytes into out. Returns the
  // position in tag just after the value, or nullopt (out empty) when the
  // attribute is absent.
  static std::optional<std::size_t> AttributeValue(std::string_view tag, std::string_view name,
                                                   std::string& out, std::size_t outSize);
};

// Moves items onto the end of array (used by the sitemap parsers, which
// gather each list's items before handing them to their parent). Adding
// them one by one would copy the slots at every growth step of the array,
// quadratic for long lists; an empty array is instead rebuilt once with the
// capacity those steps would have reached.
template <class T>
void AppendAll(PointerArray<T>& array, std::vector<std::unique_ptr<T>>& items) {
  if (items.empty()) return;
  const std::int64_t step = array.GrowBy();
  if (array.Empty() && step > 0) {
    const auto needed = static_cast<std::int64_t>(items.size());
    std::int64_t capacity = array.Capacity();
    if (needed > capacity) capacity += (needed - capacity + step - 1) / step * step;
    if (capacity <= std::numeric_limits<std::int32_t>::max()) {
      array = PointerArray<T>(static_cast<std::int32_t>(capacity), static_cast<std::int32_t>(step));
    }
  }
  for (std::unique_ptr<T>& item : items) array.Add(std::move(item));
  items.clear();
}

}  // namespace tessaly
