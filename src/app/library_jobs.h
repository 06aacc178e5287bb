// The reader's jobs on the user's library (jobs.h): add a book or a folder
// and index what is new, look a keyword up across the books (an editor's
// help key), search the page text of every book. Each opens its own
// connection to the library's store on its worker, so that jobs never share
// one; the results are plain UTF-8 texts, read on the interface thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/jobs.h"
#include "app/library_views.h"
#include "codec/codec.h"

namespace tessaly::app {

// Where the library lives and how its books' text reaches UTF-8.
struct LibraryPlace {
  std::filesystem::path store;
  std::optional<std::filesystem::path> indexFolder;  // none: indexes built in memory
  const TextCodec* codec = nullptr;
};

// A page of a book of the library.
struct LibraryPage {
  std::string book;       // the book's path
  std::string bookTitle;
  std::string title;      // the entry's or the page's
  std::string page;       // in-book path, maybe with #fragment
  int hits = 0;           // a page-text search's
  std::string snippet;    // marked with kMarkOpen and kMarkClose
};

// Indexing progress: books done of books to do (from the worker).
using LibraryProgress = std::function<void(std::size_t done, std::size_t total)>;

// Adds the folder or book to the library (a book already there costs a
// look at its size and time; no path: every folder and book is looked at
// again, as when the window comes back to the front), then indexes every
// book not yet indexed.
class AddToLibraryJob final : public Job {
 public:
  AddToLibraryJob(CancelFlag cancel, LibraryPlace place, std::string path, LibraryProgress progress);
  void Run() override;
  bool Background() const override { return true; }

  std::size_t added = 0;                // books new to the library
  std::size_t removed = 0;              // books gone from it
  std::size_t indexed = 0;              // indexes built
  std::vector<std::string> problems;    // books that could not be indexed
  // The folders to watch: each folder of the library and each folder below
  // it that holds a book, at most kMaxWatchedFolders, sorted.
  std::vector<std::string> watched;
  static constexpr std::size_t kMaxWatchedFolders = 256;

 private:
  LibraryPlace place_;
  std::string path_;
  LibraryProgress progress_;
};

// The keyword index entries named `word` in `book` (a path: it joins the
// library first) or in every book; when there is none, the pages whose text
// holds the word (byText).
class KeywordLookupJob final : public Job {
 public:
  KeywordLookupJob(CancelFlag cancel, LibraryPlace place, std::string word, std::string book);
  void Run() override;

  std::vector<LibraryPage> pages;
  bool byText = false;

 private:
  LibraryPlace place_;
  std::string word_;
  std::string book_;
};

// The search across the books that the window keeps from one query to the
// next: each book's index is opened once, and the search follows the
// library as it changes (library.h). Opened by the first search job;
// one job searches with it at a time (the others wait).
class KeptLibrarySearch;
std::shared_ptr<KeptLibrarySearch> NewKeptLibrarySearch();

// A search of the page text of every indexed book ("WORD:" first keeps to
// the books WORD names), with the kept search. A newer search raises the
// cancel flag of the one under way, which then stops.
class LibrarySearchJob final : public Job {
 public:
  LibrarySearchJob(CancelFlag cancel, LibraryPlace place, std::shared_ptr<KeptLibrarySearch> kept, std::string query);
  void Run() override;

  std::vector<LibraryPage> pages;

 private:
  LibraryPlace place_;
  std::shared_ptr<KeptLibrarySearch> kept_;
  std::string query_;
};

// The books of the library, as the Library view lists them.
class LibraryBooksJob final : public Job {
 public:
  LibraryBooksJob(CancelFlag cancel, LibraryPlace place);
  void Run() override;

  std::vector<LibraryRow> rows;

 private:
  LibraryPlace place_;
};

// The last queries of a search field, newest first, after keeping `query`
// (empty: none) as the newest.
class QueryHistoryJob final : public Job {
 public:
  QueryHistoryJob(CancelFlag cancel, LibraryPlace place, std::string field, std::string query);
  void Run() override;

  std::vector<std::string> queries;

 private:
  LibraryPlace place_;
  std::string field_;
  std::string query_;
};

// A bookmark: a page of a book with a name.
struct PageBookmark {
  std::int64_t id = 0;  // the store's
  std::string book;     // the book's path when it was made
  std::string page;
  std::string name;
};

// What a BookmarksJob changes before it reads: nothing, a bookmark added,
// one renamed (id and new name) or one deleted (id).
struct BookmarkChange {
  enum class Kind { kNone, kAdd, kRename, kDelete };
  Kind kind = Kind::kNone;
  PageBookmark mark;
};

// Makes the change, then reads every book's bookmarks, newest first.
class BookmarksJob final : public Job {
 public:
  BookmarksJob(CancelFlag cancel, LibraryPlace place, BookmarkChange change);
  void Run() override;

  std::vector<PageBookmark> bookmarks;

 private:
  LibraryPlace place_;
  BookmarkChange change_;
};

}  // namespace tessaly::app
