// Charset names as pages declare them (<meta charset>, an XML declaration)
// and the Windows code pages that read them, for converting a page through
// the codec.
#pragma once

#include <optional>
#include <string_view>

namespace tessaly {

// The Windows code page of a lower-case charset name (65001 for UTF-8);
// none for a name without one.
std::optional<int> CodePageOfCharset(std::string_view charset);

}  // namespace tessaly
