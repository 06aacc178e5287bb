// Book text on its way to the screen: converted from the book's code page
// (a code page the system lacks counts as 1252, and what neither takes is
// shown with replacement characters), cut at the first NUL and to a number
// of characters. The reader's one rule for everything it shows of a book.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "codec/codec.h"

namespace tessaly::app {

std::string DisplayText(const TextCodec& codec, std::string_view text, std::size_t maxChars, int codePage);

// A message about a book: it quotes the book (sitemap tags, paths) in its
// code page, or is UTF-8 already (file names), which stays as it is.
std::string MessageText(const TextCodec& codec, std::string_view message, int codePage);

}  // namespace tessaly::app
