// Every directory entry of an opened book, in file order, and every
// object's bytes one entry at a time, for tests that walk them all.
#pragma once

#include <functional>
#include <span>
#include <vector>

#include "book/book.h"

namespace tessaly::test {

inline std::vector<DirectoryEntry> Entries(const Book& book) {
  std::vector<DirectoryEntry> entries;
  for (std::size_t i = 0; i < book.EntryCount(); ++i) entries.push_back(book.Entry(i));
  return entries;
}

// Book::ReadStoredRanges, each range's bytes or error handed to every alias.
inline void ReadAllObjects(const Book& book,
                           const std::function<void(const DirectoryEntry&, std::span<const std::uint8_t>)>& onObject,
                           const std::function<void(const DirectoryEntry&, const BookError&)>& onError) {
  book.ReadStoredRanges(
      [&](Book::Aliases aliases, std::span<const std::uint8_t> bytes) {
        for (const DirectoryEntry& entry : aliases) onObject(entry, bytes);
      },
      [&](Book::Aliases aliases, const BookError& error) {
        for (const DirectoryEntry& entry : aliases) onError(entry, error);
      });
}

}  // namespace tessaly::test
