// Which books a search or a lookup keeps to: a leading "WORD:" of a query,
// or a book named by its path or a word of its title.
//
// A leading "WORD:" restricts the search to the books whose title or file
// name holds WORD (letter case ignored), as in "autoit:数组", when it is
// plainly such a filter: WORD is two characters or more (one letter is a
// drive, "C:"), not all digits, holds no quote, '*', '-' at its start or
// other colon, the colon is followed by neither ':' nor '/' nor '\' ("std::
// vector", "http://...", "C:\"), something to find follows it, and some
// book of the library matches WORD. Anything else is the query as typed.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tessaly::library {

struct BookFilter {
  std::string word;   // empty: no filter
  std::string query;  // the rest
};

// Splits "WORD: query" as said above; matches(WORD) says whether some book
// of the library matches WORD.
BookFilter SplitBookFilter(std::string_view query, const std::function<bool(std::string_view)>& matches);

// Whether a book with this title and path matches a filter word.
bool BookMatches(std::string_view word, std::string_view title, std::string_view path);

// Whether `book` names this book: a path (holding '/' or ending in ".chm")
// names the book at that path, a word one that BookMatches; empty: any.
bool NamesBook(std::string_view book, std::string_view title, std::string_view path);

}  // namespace tessaly::library
