// The user's library: the books the user opened and the books found in
// folders the user added, each with its title, language, size, place and
// state (a damaged or unreadable book keeps its reason), kept in the store
// (an SQLite file, store.h). Rescans find new, changed (size and time, then
// content) and removed books; indexing builds each book's page-text index on
// workers and keeps the book's keywords in the store for lookups; search and
// lookup run over every book; bookmarks and the search fields' history are
// kept here too.
//
// Everything that reads books takes the TextConverter that brings book text
// to UTF-8 (the iconv codec in the tool and the reader). Long work takes a
// WorkControl: progress, a cancel flag, the threads to use.
//
// This is the library's one header for the layers above it; the store, the
// scans, the keyword rows and the workers stay inside.
//
// Threads: a Library is one store connection, used by one thread at a time
// (its own workers aside); a worker that indexes while the window lists
// opens a Library of its own on the same store.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/text_converter.h"
#include "textindex/text_index.h"

namespace tessaly::library {

class Store;

// The store cannot be opened, read or written; what() says which and why.
class LibraryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// $XDG_DATA_HOME/tessaly/library.sqlite (else ~/.local/share/...), beside
// the folder of page-text indexes; none without XDG_DATA_HOME or HOME. The
// store is kept with the user's data, never in the cache folder that
// WebKit's sandboxed page process can write.
std::optional<std::filesystem::path> DefaultStoreFile();

// Long work (reading new books, indexing them) runs as units on worker
// threads: progress as units finish, and a flag that stops the work between
// units and inside the one under way.
struct Progress {
  std::size_t done = 0;   // units finished
  std::size_t total = 0;  // units in this piece of work
  std::string book;       // the path of the book just finished
};

struct WorkControl {
  // Called from the workers, one call at a time.
  std::function<void(const Progress&)> progress;
  const std::atomic<bool>* cancel = nullptr;
  unsigned threads = 0;  // 0: one per core
};

// The work stopped because its cancel flag was set; what was finished before is kept.
class WorkCancelled : public std::runtime_error {
 public:
  WorkCancelled() : std::runtime_error("The library's work was cancelled.") {}
};

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

// Bookmarks: a page of a book with a name, kept in the store. A book is
// known by its identity: the SHA-256 of its bytes (a renamed or moved copy
// keeps its bookmarks) and the path it was bookmarked at (a book updated in
// place keeps them too).
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

// Keyword lookup, as an editor's F1 asks it: the entries of the books' own
// keyword indexes named exactly WORD (letter case ignored), answered from
// the keywords the library keeps at index time, so that no book is opened.
// One topic opens; several are the choices; none falls back to a search of
// the page text (LibrarySearch).
struct Topic {
  std::string book;       // the book's path
  std::string bookTitle;
  std::string keyword;    // as the book writes it; a sub-keyword after its parent's name and ", "
  std::string name;       // the target's own name; empty when the book gives none
  std::string path;       // the page's path in the book, a #fragment kept
};

// Search across every book of the library: one query over the page-text
// index of each indexed book (each content once), ranked together; the
// pages that a book's own keyword index lists under the whole query come
// first, then the pages titled by the whole query.
//
// A leading "WORD:" restricts the search to the books whose title or file
// name holds WORD (letter case ignored), as in "autoit:数组", when it is
// plainly such a filter (book_filter.h says when); anything else is the
// query as typed.
//
// Ranking: within a book, bm25 over the page's title, names, headings and
// text (a title match weighs ten times one in the text); across books the
// same scores are merged, so a page that holds a rare word in its title
// comes before one that mentions it once. Every book's pages are ranked
// first (the books shared out among the cores), and hits and snippets are
// made for the pages kept only.
//
// A search is kept between queries: each book's index is opened when first
// searched and stays open, at most kMaxOpenIndexes of them (the least
// recently searched are closed; past the limit a book's index is opened,
// searched and closed again within the query). Each query first asks the store whether
// it changed (one pragma); when it did, the books are read again, a book
// removed is no longer searched and its index is closed, and an index built
// again since it was opened is opened again.
//
// Threads: a LibrarySearch owns its connections and is used by one thread
// at a time.
struct LibraryHit {
  std::string book;       // the book's path
  std::string bookTitle;
  std::string title;      // the page's
  std::string path;       // the page's path in the book
  int hits = 0;
  std::string snippet;
  bool keyword = false;   // a keyword of the book's own index named the whole query
};

struct LibraryResults {
  std::string bookFilter;  // the WORD of "WORD:"; empty when none
  std::string query;       // what was searched for
  std::vector<LibraryHit> pages;
  // Books whose index could not be searched (each line names the book and
  // why); they are indexed again by the next IndexPending.
  std::vector<std::string> problems;
};

class LibrarySearch {
 public:
  struct Book;
  LibrarySearch(LibrarySearch&&) noexcept;
  LibrarySearch& operator=(LibrarySearch&&) noexcept;
  ~LibrarySearch();

  // In the books that `book` names: a path (holding '/' or ending in ".chm")
  // names the book at that path, a word those whose title or file name
  // holds it (letter case ignored); empty: every book. Raises textindex::QueryError
  // for a query that cannot be read, and LibraryError when the store fails.
  LibraryResults Search(std::string_view query, const textindex::SearchOptions& options = {},
                        std::string_view book = {}) const;

  // The books searched (each content once), as the library holds them now.
  std::size_t BookCount() const;

  static constexpr std::size_t kMaxOpenIndexes = 64;

 private:
  friend class Library;
  struct State;
  explicit LibrarySearch(std::unique_ptr<State> state);
  // Reads the books again when the store changed since they were read.
  void Follow() const;
  std::unique_ptr<State> state_;
};

class Library {
 public:
  // The store at storeFile and the page-text indexes in indexFolder (none:
  // indexes are built in memory and not kept). Raises LibraryError.
  static Library Open(const std::filesystem::path& storeFile, std::optional<std::filesystem::path> indexFolder);
  // The user's: DefaultStoreFile() and textindex::DefaultIndexFolder().
  static Library OpenDefault();

  // Why the store found was set aside, and where it went (a file that is no
  // sound store is never emptied); empty normally.
  const std::string& Note() const;
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

  // A search over the indexed books (LibrarySearch), kept for one query
  // after another: it follows the library as it changes.
  LibrarySearch OpenSearch() const;

  // The keyword index entries named `word` (letter case ignored), in the
  // books that `book` names (as LibrarySearch::Search takes it).
  std::vector<Topic> Lookup(std::string_view word, std::string_view book = {}) const;

  // Bookmarks: by the book's identity (BookIdentity).
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

  Library(Library&&) noexcept;
  Library& operator=(Library&&) noexcept;
  ~Library();

 private:
  friend class LibrarySearch;
  Library(Store store, std::optional<std::filesystem::path> indexFolder);

  RescanResult RescanFiles(const std::vector<std::string>& folders, const std::vector<std::string>& books,
                           const TextConverter& converter, const WorkControl& control);

  std::unique_ptr<Store> store_;
  std::optional<std::filesystem::path> indexFolder_;
};

}  // namespace tessaly::library
