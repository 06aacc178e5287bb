// Search across every book of the library: one query over the page-text
// index of each indexed book (each content once), ranked together; the
// pages that a book's own keyword index lists under the whole query come
// first, then the pages titled by the whole query.
//
// A leading "WORD:" restricts the search to some books (book_filter.h).
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
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "library/book_filter.h"
#include "textindex/text_index.h"

namespace tessaly::library {

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

  // In the books that `book` names (NamesBook). Raises textindex::QueryError
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

}  // namespace tessaly::library
