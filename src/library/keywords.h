// A book's own keyword index as the library keeps it: one row per keyword
// and target, the keyword folded for lookups, the target's path canonical
// and in UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/text_converter.h"
#include "library/store.h"

namespace tessaly {
class Book;
}

namespace tessaly::library {

struct KeywordRow {
  std::string folded;   // FoldKeyword of the entry's own name
  std::string keyword;  // shown: a sub-keyword after its parent's name and ", "
  std::string name;     // the target's
  std::string path;
};

// The rows kept of one book, at most.
constexpr std::size_t kMaxKeywordRows = 500'000;

// Letter case (ASCII) and the spaces around dropped: how lookups compare.
std::string FoldKeyword(std::string_view word);

// The keywords of an open book with their targets (at most kMaxKeywordRows,
// in the reader's order); none when it has no keyword index, what could be
// read when its index is damaged.
std::vector<KeywordRow> ReadKeywords(const Book& book, const TextConverter& converter);

// Replaces the kept keywords of the content with this SHA-256 (inside the
// caller's transaction).
void SaveKeywords(sqlite3* db, const std::string& sha256, const std::vector<KeywordRow>& rows);

}  // namespace tessaly::library
