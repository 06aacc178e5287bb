// The reader's own address scheme for pages: how the page view asks for the
// files page preparation writes, and which of them it may have.
//
// The view never loads file: addresses. Page preparation hands it
// "file://<temporary folder>/<name>#fragment"; the view loads
// "tessaly-page:///<name>#fragment" instead, and the scheme's handler serves
// <name> from the temporary folder, opened by descriptor. A name is served
// only when, decoded once, it is a plain file name as page preparation makes
// them ("index3.htm", "7file.gif"): ASCII letters, digits, '.', '_' and '-',
// not starting with '.', with no "..", at most 255 bytes, and naming a
// regular file right in the folder (never through a link). Everything else
// (a '/', '\', NUL or '%' once decoded, a bad escape, a sub-folder, a
// link) is refused, so no address leads out of the folder however it is
// escaped.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessaly::app::gtk {

inline constexpr char kPageScheme[] = "tessaly-page";
// Every page address starts with this; the name follows it.
inline constexpr std::string_view kPageBase = "tessaly-page:///";

// %XX escapes decoded once; nullopt for a '%' not followed by two hex digits.
std::optional<std::string> PercentDecode(std::string_view text);

// The plain file name that an escaped name stands for, or nullopt.
std::optional<std::string> PlainFileName(std::string_view escaped);

// The file name a page address asks for (query and fragment dropped), or
// nullopt when the address is not one of ours or names no plain file.
std::optional<std::string> PageFileOf(std::string_view address);

// The page address for a file:// address of a plain file right in `folder`
// (an absolute path ending in '/'), keeping its fragment; nullopt for any
// other address.
std::optional<std::string> PageAddressOf(std::string_view fileAddress, std::string_view folder);

// Opens the named file of the folder (a descriptor of it) for reading when
// the name is a plain file name (checked again) of a regular file there; -1
// otherwise. The caller owns the descriptor.
int OpenPageFile(int folderFd, std::string_view name);

// The MIME type to serve a file as, from its name and first bytes.
std::string PageMimeType(const std::string& name, const unsigned char* head, std::size_t size);

}  // namespace tessaly::app::gtk
