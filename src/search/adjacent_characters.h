// Words of several Chinese or Japanese characters in a book's own index.
//
// The help compiler indexes text of the double-byte code pages (932
// Japanese, 936 and 950 Chinese, 949 Korean) a character at a time: each
// character is a word of its own, with the locations (word positions) where
// it stands. A word of several characters is then found where its
// characters stand in a row: the first at some location L, the second at
// L + 1, and so on, within the text of a topic or within its title.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "search/full_text_index.h"

namespace tessaly {

// The characters of a query written in a double-byte code page, each a lead
// byte with its trail byte, when there are at least two and every one is a
// double-byte character; else none (such a query is looked up as it is).
std::vector<std::string> DoubleByteCharacters(std::string_view query, int codePage);

// The topics holding the characters in a row, each once, with the number of
// times they stand so, in ascending topic order. Raises BookError for a
// damaged document list.
std::vector<SearchResult> FindAdjacentCharacters(const FullTextIndex& index, const std::vector<std::string>& characters);

}  // namespace tessaly
