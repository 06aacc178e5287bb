// The user's library: the books the user opened and the books found in
// folders the user added, each with its title, language, size, place and
// state (a damaged or unreadable book keeps its reason), kept in the store
// (store.h). Rescans find new, changed (size and time, then content) and
// removed books; indexing builds each book's page-text index on workers and
// keeps the book's keywords in the store for lookups; search and lookup run
// over every book (library_search.h, lookup.h); bookmarks and the search
// fields' history are kept here too (bookmarks.h).
//
// Everything that reads books takes the TextConverter that brings book text
// to UTF-8 (the iconv codec in the tool and the reader). Long work takes a
// WorkControl (work.h): progress, a cancel flag, the threads to use.
//
// Threads: a Library is one store connection, used by one thread at a time
// (its own workers aside); a worker that indexes while the window lists
// opens a Library of its own on the same store.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/text_converter.h"
#include "library/bookmarks.h"
#include "library/library_search.h"
#include "library/lookup.h"
#include "library/store.h"
#include "library/work.h"

namespace tessaly::library {

// A path as the library keeps it: absolute, without "." and ".." steps or a
// trailing '/'.
std::string LibraryPath(const std::filesystem::path& path);

enum class BookState {
  kNotIndexed,  // readable; its page-text index is still to be built
  kIndexed,
  kDamaged,     // the file is no book the reader can open (the reason says why)
  kUnreadable,  // the file cannot be read at all (the system's reason)
};

// "not indexed", "indexed", "damaged", "unreadable".
std::string_view StateName(BookState state);

struct LibraryBook {
  std::int64_t id = 0;
  std::string path;
  std::string folder;  // the added folder it was found in; empty for a book added alone
  std::string title;   // UTF-8; the file's name when the book names no title
  std::int32_t languageId = 0;
  std::uint64_t size = 0;
  std::string sha256;  // of its bytes; empty when they cannot be read
  BookState state = BookState::kNotIndexed;
  std::string reason;  // why damaged or unreadable
};

struct RescanResult {
  std::vector<std::string> added, changed, removed;  // paths
  std::size_t unchanged = 0;
};

struct IndexSummary {
  std::size_t built = 0;   // page-text indexes built now
  std::size_t reused = 0;  // kept ones that were found sound (an earlier run's)
  std::vector<std::string> problems;  // one line per book that could not be indexed
};

class Library {
 public:
  // The store at storeFile and the page-text indexes in indexFolder (none:
  // indexes are built in memory and not kept). Raises LibraryError.
  static Library Open(const std::filesystem::path& storeFile, std::optional<std::filesystem::path> indexFolder);
  // The user's: DefaultStoreFile() and textindex::DefaultIndexFolder().
  static Library OpenDefault();

  // Why the store found was set aside (store.h); empty normally.
  const std::string& Note() const { return store_.Note(); }
  const std::optional<std::filesystem::path>& IndexFolder() const { return indexFolder_; }

  // Adds a folder and finds its books (its books are then rescanned with
  // it), or adds one book file. Raises LibraryError for a path that is
  // neither a folder nor a file, WorkCancelled.
  RescanResult Add(const std::filesystem::path& folderOrBook, const TextConverter& converter,
                   const WorkControl& control = {});
  // Removes a folder with its books, or one book; false when the library
  // holds neither. Kept indexes stay (another copy may use them).
  bool Remove(const std::filesystem::path& folderOrBook);

  // Looks again at every folder and book (or at the one folder or book
  // given, as when a folder monitor fires): a file whose size and time are
  // unchanged costs one stat; one whose content changed is read again and
  // indexed again later. Raises WorkCancelled.
  RescanResult Rescan(const TextConverter& converter, const WorkControl& control = {});
  RescanResult Rescan(const std::filesystem::path& folderOrBook, const TextConverter& converter,
                      const WorkControl& control = {});

  std::vector<std::string> Folders() const;
  // By title (letter case ignored), then path.
  std::vector<LibraryBook> Books() const;

  // Builds the page-text index of every readable book not yet indexed (each
  // content once), and keeps its keywords. Each book is committed as it is
  // done: a run stopped by cancel, a crash or a kill resumes where it was.
  // Raises WorkCancelled.
  IndexSummary IndexPending(const TextConverter& converter, const WorkControl& control = {});

  // A search over the indexed books (library_search.h), kept for one query
  // after another: it follows the library as it changes.
  LibrarySearch OpenSearch() const;

  // The keyword index entries named `word` (letter case ignored), in the
  // books that `book` names (NamesBook in library_search.h).
  std::vector<Topic> Lookup(std::string_view word, std::string_view book = {}) const;

  // Bookmarks: by the book's identity (see bookmarks.h).
  std::int64_t AddBookmark(const BookIdentity& book, std::string_view page, std::string_view name);
  bool RenameBookmark(std::int64_t id, std::string_view name);
  bool RemoveBookmark(std::int64_t id);
  std::vector<Bookmark> Bookmarks() const;  // every book's, newest first
  std::vector<Bookmark> BookmarksOf(const BookIdentity& book) const;

  // The last queries of a search field (named by the caller: "library",
  // "book", ...), newest first, at most kHistoryLength; typing one again
  // moves it to the front.
  static constexpr std::size_t kHistoryLength = 50;
  void RememberQuery(std::string_view field, std::string_view query);
  std::vector<std::string> RecentQueries(std::string_view field) const;

 private:
  friend class LibrarySearch;
  Library(Store store, std::optional<std::filesystem::path> indexFolder)
      : store_(std::move(store)), indexFolder_(std::move(indexFolder)) {}

  RescanResult RescanFiles(const std::vector<std::string>& folders, const std::vector<std::string>& books,
                           const TextConverter& converter, const WorkControl& control);

  Store store_;
  std::optional<std::filesystem::path> indexFolder_;
};

}  // namespace tessaly::library
