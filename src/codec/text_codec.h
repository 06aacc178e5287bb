// TextCodec: book text between its Windows code page and UTF-8, both ways.
// The core converts only towards UTF-8 (TextConverter, for lookups); the
// reader also converts what the user types back into the book's code page.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/text_converter.h"

namespace tessaly {

class TextCodec : public TextConverter {
 public:
  // UTF-8 text in the code page, or nullopt when the code page is unknown or
  // the text holds a character it lacks.
  virtual std::optional<std::string> FromUtf8(std::string_view text, int codePage) const = 0;
};

}  // namespace tessaly
