// Every directory entry of an opened book, in file order, for tests that
// walk them all.
#pragma once

#include <vector>

#include "book/book.h"

namespace tessaly::test {

inline std::vector<DirectoryEntry> Entries(const Book& book) {
  std::vector<DirectoryEntry> entries;
  for (std::size_t i = 0; i < book.EntryCount(); ++i) entries.push_back(book.Entry(i));
  return entries;
}

}  // namespace tessaly::test
