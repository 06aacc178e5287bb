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
#include <optional>
#include <string>
#include <string_view>

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

}  // namespace tessaly
