// Where a book's page-text index is kept between runs, and when a kept one
// may be trusted.
//
// Folder: see index_folder.h (DefaultIndexFolder). File: <SHA-256 of the
// book's bytes>.sqlite, so a renamed or copied book finds its index and a
// changed one does not. A file is used only when it is a regular file (not
// a link) whose schema is exactly an index's and that passes
// TextIndex::Validate for this book; any other is replaced. A new index is
// written to a temporary file (0600, created exclusively, never through a
// link) and renamed into place when complete; the temporary files of a
// build that was killed are removed on the next Open. The folder's indexes
// are kept under a size limit, the least recently used removed first.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "base/text_converter.h"
#include "textindex/book_pages.h"
#include "textindex/index_folder.h"
#include "textindex/text_index.h"

namespace tessaly {
class Book;
}

namespace tessaly::textindex {

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
  static constexpr std::uint64_t kDefaultLimit = std::uint64_t{2} << 30;  // 2 GiB

  // No folder: every index is built in memory.
  explicit IndexCache(std::optional<std::filesystem::path> folder, std::uint64_t limitBytes = kDefaultLimit)
      : folder_(std::move(folder)), limit_(limitBytes) {}

  // The book's index: the kept one when it can be trusted, else built (on
  // the calling thread; see BuildControl, whose cancel flag also stops the
  // check of a kept file) and kept. The book must be open. Raises
  // TextIndexError, BuildCancelled or BookError.
  CachedIndex Open(const Book& book, const TextConverter& converter, const BuildControl& control = {}) const;

  // Builds the book's index again, replacing the kept one: for an index that
  // a search found damaged (TextIndexError::Kind::kDamaged).
  CachedIndex Rebuild(const Book& book, const TextConverter& converter, const BuildControl& control = {}) const;

 private:
  CachedIndex Get(const Book& book, const TextConverter& converter, const BuildControl& control, bool reuse) const;

  std::optional<std::filesystem::path> folder_;
  std::uint64_t limit_;
};

}  // namespace tessaly::textindex
