// Converting book text from its ANSI code page to UTF-8 is a platform
// service: the core library keeps to the standard library and asks an
// implementation that the tool or the reader supplies (iconv serves).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

class TextConverter {
 public:
  virtual ~TextConverter() = default;
  // The text converted from the Windows code page to UTF-8, or nullopt when
  // it cannot be converted.
  virtual std::optional<std::string> ToUtf8(std::string_view text, int codePage) const = 0;
};

}  // namespace tessaly
