// A book named on a command line or handed over by another reader:
// "BOOK.chm", "BOOK.chm::/page.htm", "ms-its:BOOK.chm::/page.htm", maybe
// with "file:\" before it. "::" divides the book from the page only after
// an existing book file ("a::b.chm" is a name).
#pragma once

#include <string>
#include <string_view>

namespace tessaly::app {

struct NamedBook {
  std::string path;  // as written (relative paths stay relative)
  std::string page;  // in-book path, maybe with #fragment; empty: none named
};

NamedBook ParseNamedBook(std::string_view text);

}  // namespace tessaly::app
