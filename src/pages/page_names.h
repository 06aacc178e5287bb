// Small questions page preparation asks of names, links and addresses: which
// extensions are images, which extension may end a file name in the
// temporary folder, which links go to the system, and the file address the
// view loads.
#pragma once

#include <string>
#include <string_view>

namespace tessaly {

// ".gif", ".png", ".jpg", ".bmp" or ".art" (as FileExtension gives them).
bool IsImageExtension(std::string_view extension);

// The extension when it is a '.' followed by 1 to 9 ASCII letters and digits,
// else empty: an extension taken from a book never brings a separator, a
// "..", a space, a '%' or a control byte into a file name.
std::string SafeExtension(std::string_view extension);

// True when the link, after leading white space, starts with "http:",
// "https:", "ftp:" or "mailto:" (letters in any case): the only links that
// are handed to the system to open.
bool IsSystemLink(std::string_view link);

// True when the reference names a scheme (text before a ':' that comes before
// any '/', as in "data:", "javascript:", "mk:@MSITStore:", "c:"; a first
// ':' that is doubled, as in "Class::Member.gif", is no scheme) or a host
// ("//host/..."): it names nothing inside the book.
bool HasSchemeOrHost(std::string_view reference);

// "file://" + the path, with the bytes that cannot stand in an address
// written as %XX escapes (EncodeUrlPath); a plain path such as
// /tmp/temptallis/index0.htm is unchanged.
std::string FileAddress(std::string_view path);

}  // namespace tessaly
