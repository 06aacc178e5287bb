// How deep the contents and the keyword index are shown.
//
// A sitemap may nest its lists as deep as its bytes allow (an 18 KB file
// nests 20,000 levels), and the trees keep that shape. Whatever shows a tree
// (the tool's lines and JSON, the reader's panels) shows at most
// kMaxShownDepth levels: an entry deeper than that is shown at the deepest
// shown level, after the entries before it, and the one showing says so.
#pragma once

#include <algorithm>

namespace tessaly {

inline constexpr int kMaxShownDepth = 64;

// The level an entry at `depth` (0 for the top) is shown at.
inline int ShownDepth(int depth) { return std::min(depth, kMaxShownDepth - 1); }

}  // namespace tessaly
