// Leaves out the declarations of a style sheet that EPUB readers and
// epubcheck refuse: an empty one (";;"), one without a value ("filter: ;")
// or without a property, a font-size that is no size ("font-size: normal"),
// and direction and unicode-bidi (EPUB leaves those to the markup). Rules,
// selectors, comments and every other declaration stay as written.
#pragma once

#include <string>
#include <string_view>

namespace tessaly::convert {

std::string CleanStyleSheet(std::string_view css);

}  // namespace tessaly::convert
