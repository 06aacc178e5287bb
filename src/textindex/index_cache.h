// Where a book's page-text index is kept between runs, and when a kept one
// may be trusted.
//
// Folder: $XDG_CACHE_HOME/tessaly (an absolute XDG_CACHE_HOME only), else
// $HOME/.cache/tessaly; created 0700 and used only when it is a real folder
// (no symbolic link) owned by the user. File: <SHA-256 of the book's bytes>
// .sqlite, so a renamed or copied book finds its index and a changed one
// does not. A file is used only when it is a regular file (not a link),
// opens, passes PRAGMA quick_check, is of this schema version and holds the
// same book hash; any other is replaced. A new index is written to a
// temporary file (0600, created exclusively, never through a link) and
// renamed into place when complete.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "base/text_converter.h"
#include "textindex/book_pages.h"
#include "textindex/text_index.h"

namespace tessaly {
class Book;
}

namespace tessaly::textindex {

// The cache folder the environment names; none without XDG_CACHE_HOME or HOME.
std::optional<std::filesystem::path> DefaultCacheFolder();

struct CachedIndex {
  TextIndex index;
  bool fromCache = false;  // false: built now
  BuildStats built;        // when built now
  // Why a kept file was not used, or why the new index is only in memory
  // (the folder cannot be used); empty otherwise.
  std::string note;
};

class IndexCache {
 public:
  // No folder: every index is built in memory.
  explicit IndexCache(std::optional<std::filesystem::path> folder) : folder_(std::move(folder)) {}

  // The book's index: the kept one when it can be trusted, else built (on
  // the calling thread; see BuildControl) and kept. The book must be open.
  // Raises TextIndexError, BuildCancelled or BookError.
  CachedIndex Open(const Book& book, const TextConverter& converter, const BuildControl& control = {}) const;

  // The file that holds, or would hold, the index of a book with this hash.
  std::optional<std::filesystem::path> FileFor(const std::string& bookHash) const;

 private:
  std::optional<std::filesystem::path> folder_;
};

}  // namespace tessaly::textindex
