// Keyword lookup, as an editor's F1 asks it: the entries of the books' own
// keyword indexes named exactly WORD (letter case ignored), answered from
// the keywords the library keeps at index time, so that no book is opened.
// One topic opens; several are the choices; none falls back to a search of
// the page text (LibrarySearch).
#pragma once

#include <string>

namespace tessaly::library {

struct Topic {
  std::string book;       // the book's path
  std::string bookTitle;
  std::string keyword;    // as the book writes it; a sub-keyword after its parent's name and ", "
  std::string name;       // the target's own name; empty when the book gives none
  std::string path;       // the page's path in the book, a #fragment kept
};

// Keywords and target names are kept to these lengths in the store.
constexpr std::size_t kMaxKeywordRows = 500'000;  // per book

}  // namespace tessaly::library
