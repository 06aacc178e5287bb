// Charset names as pages declare them (<meta charset>, an XML declaration)
// and the Windows code pages that read them, for converting a page through
// the codec; and the other way, the name a web engine knows a code page's
// character set by, for pages that declare none.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

// The Windows code page of a lower-case charset name (65001 for UTF-8);
// none for a name without one.
std::optional<int> CodePageOfCharset(std::string_view charset);

// The WHATWG name of a Windows code page's character set ("windows-1251",
// "Shift_JIS"); empty when the web has none.
std::string WebCharsetOfCodePage(int codePage);

}  // namespace tessaly
