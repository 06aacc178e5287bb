// In-book paths: the canonical form every lookup, contents entry and link
// is brought into, and the small questions that lookups and page
// preparation ask of a path.
//
// A canonical path has no leading '/', no "//", "/./" or (except at its very
// start) "/../", and its percent-escapes decoded; a #fragment is kept.
// Paths are at most 255 bytes (kMaxBookPath); callers cut longer input.
#pragma once

#include <string>
#include <string_view>

namespace tessaly {

constexpr std::size_t kMaxBookPath = 255;

// In place: trim link leftovers (TrimLinkText); drop leading "/", "./" and
// "../"; collapse "//" and "/./" to "/"; fold "dir/../" away (a "/../" at the
// very start stops that); decode "%xy" escapes once, left to right, without
// checking the digits. The path ends at its first NUL, and a "%00" ends it too.
void NormalizeBookPath(std::string& path);

// Lower-cased text from the last '.' of the whole path (even one in a
// directory name) up to a NUL or '#', at most 10 bytes; empty when there is
// no '.'.
std::string FileExtension(std::string_view path);

// FileExtension is exactly ".htm" or ".html".
bool IsHtmlPage(std::string_view path);

// The path cut just after its last '\\', else after its last '/'; empty
// when it has neither.
std::string DirectoryPart(std::string_view path);

// True when a lower-cased copy of the text (its first kMaxBookPath bytes, up
// to a NUL) holds "http:", "https:" or "ftp:" anywhere: a link that leaves
// the book.
bool IsExternalUrl(std::string_view text);

}  // namespace tessaly
