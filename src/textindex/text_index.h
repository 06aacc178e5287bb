// The page-text index of one book: an SQLite database with an FTS5 table
// pages(title, names, headings, path, body, keys) and the book's SHA-256
// and schema version, built from the book's pages (book_pages.h) and
// searched with the queries of query_parser.h. keys holds the page's title
// and names as the search compares them (name_keys, fts5_extensions.h).
//
// A kept index is hostile input (anything that can write the file could
// have planted it): Open accepts only a database whose schema is exactly
// the one Create makes, before running anything else on it; Validate then
// checks its pages, its full-text index and its meta data. Every statement
// runs under a watch (sqlite_db.h): a cancel flag and a time limit.
//
// Threads: a TextIndex owns one connection, opened SQLITE_OPEN_NOMUTEX. It
// may be built on a worker thread and handed to another, but is used by one
// thread at a time; a thread that searches while another does opens its own
// TextIndex on the same file. Nothing is global.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/text_converter.h"
#include "textindex/book_pages.h"
#include "textindex/query_parser.h"
#include "textindex/sqlite_db.h"

namespace tessaly {
class Book;
}

namespace tessaly::textindex {

// One page found, in rank order: first the pages whose title or one of
// whose names is exactly the query's name (ParsedQuery::name), then by bm25
// (a match in the title weighs ten times one in the text, in the page's
// other names eight times, in its headings four times). A one-word name
// that hundreds of pages hold, or a method's name under many classes, finds
// the page so named first.
struct TextHit {
  std::string title;
  std::string path;
  int hits = 0;         // matches of the query's words and phrases in the page
  std::string snippet;  // a few words of the text around matches, matches marked
  // Its bm25 score, lower is better: what orders the pages, and what merges
  // the pages of several books' indexes.
  double rank = 0;
};

struct SearchOptions {
  std::string markOpen = "[";
  std::string markClose = "]";
  std::string ellipsis = "\xE2\x80\xA6";  // U+2026
  int snippetWords = 20;  // tokens: words, or single Chinese, Japanese and Korean characters
  int limit = 500;
  // The search stops (TextIndexError, kInterrupted) when this turns true or
  // the time is up.
  const std::atomic<bool>* cancel = nullptr;
  std::chrono::milliseconds timeout{10'000};
  // Ranks alone (no hits, no snippet): a first pass over several books'
  // indexes, whose best pages then get theirs.
  bool rankOnly = false;
  // When not empty, only these pages (paths as TextHit gives them) are found.
  std::vector<std::string> onlyPaths;
};

struct BuildStats {
  std::size_t pages = 0;
  std::size_t unreadable = 0;
  // Not zero when pages were left out: the budget (bytes of text) that
  // they would have passed (see book_pages.h).
  std::uint64_t budgetSpent = 0;
};

class TextIndex {
 public:
  static constexpr int kSchemaVersion = 4;

  // A new index: the database at path (":memory:" for one in memory) must
  // be empty. Raises TextIndexError.
  static TextIndex Create(const std::string& path);

  // A kept index at path (never through a symbolic link), opened for reading
  // and checking; raises TextIndexError (kDamaged when its schema is not
  // exactly ours, or it is no database).
  static TextIndex Open(const std::string& path);

  // Fills a created index with the book's pages (the book must be open).
  // Raises TextIndexError, BuildCancelled or BookError.
  BuildStats Build(const Book& book, const TextConverter& converter, std::string_view bookHash,
                   const BuildControl& control = {});

  // Empty when the database is sound (PRAGMA quick_check and FTS5's
  // integrity check), of this schema version, complete and built from the
  // book with this hash; else why not. Raises BuildCancelled when `cancel`
  // turns true meanwhile.
  std::string Validate(std::string_view bookHash, const std::atomic<bool>* cancel = nullptr) const;

  // The pages that match, best first. Raises TextIndexError (kDamaged: the
  // index must be rebuilt).
  std::vector<TextHit> Search(const ParsedQuery& query, const SearchOptions& options = {}) const;
  // ParseQuery, then Search. Raises QueryError too.
  std::vector<TextHit> Search(std::string_view query, const SearchOptions& options = {}) const;

 private:
  explicit TextIndex(Connection db) : db_(std::move(db)) {}
  Connection db_;
};

}  // namespace tessaly::textindex
