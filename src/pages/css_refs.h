// References inside a style sheet: the targets of url(...) (quoted with '"'
// or '\'', or bare) and of @import with a quoted string. Comments are
// skipped. A reference's path is its text up to the first '?' or '#'; what
// follows (a query or fragment, as in "font.eot?#iefix") is kept after it.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

// Called with each reference's path (white space trimmed, never empty), in
// order of appearance; returns the text that replaces the path, or nullopt
// to leave the reference as written.
using CssRename = std::function<std::optional<std::string>(std::string_view path)>;

// The style sheet with every reference that `rename` renames rewritten; all
// other bytes are kept as they are.
std::string RewriteCssReferences(std::string_view css, const CssRename& rename);

}  // namespace tessaly
