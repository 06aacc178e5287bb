// Bookmarks: a page of a book with a name, kept in the store. A book is
// known by its identity: the SHA-256 of its bytes (a renamed or moved copy
// keeps its bookmarks) and the path it was bookmarked at (a book updated in
// place keeps them too).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace tessaly::library {

struct BookIdentity {
  std::string sha256;
  std::string path;
};

// The identity of the book file at path. Raises LibraryError when it
// cannot be read.
BookIdentity IdentityOf(const std::filesystem::path& book);

struct Bookmark {
  std::int64_t id = 0;
  std::string sha256;
  std::string book;  // the book's path when the bookmark was made
  std::string page;  // the page's path in the book
  std::string name;  // UTF-8, at most kMaxBookmarkName bytes
  std::int64_t created = 0;  // seconds since the epoch
};

constexpr std::size_t kMaxBookmarkName = 1024;

}  // namespace tessaly::library
