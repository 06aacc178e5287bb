// The page-text index: every page of a book as plain UTF-8 text in SQLite's
// FTS5, searched with what the reader types, kept between runs in a folder
// of the user's and trusted only once checked. What the layers above include
// of this layer: the SQLite connection it runs on (the library keeps its own
// store on it too), page text, the pages of a book, queries, the index and
// where it is kept.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <sqlite3.h>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/text_converter.h"

namespace tessaly {
class Book;
}

namespace tessaly::textindex {

// A SQLite connection and its statements, closed on every way out; every
// failure raised as TextIndexError with SQLite's message.
//
// A connection is opened in SQLite's defensive mode (no writes to the
// schema's own tables, no untrusted functions or virtual tables in the
// schema, no extensions, triggers or views), since a kept index file is
// read as hostile input. Every statement runs under a watch: it stops once
// its cancel flag is set or its time is up (see Connection::Watch).

// A page-text index that cannot be opened, built, checked or searched.
class TextIndexError : public std::runtime_error {
 public:
  enum class Kind {
    kFailed,       // anything else: a full disk, a missing file, bad SQL
    kDamaged,      // the file is no sound index: rebuild it
    kInterrupted,  // stopped by the watch: cancelled or out of time
  };
  explicit TextIndexError(const std::string& what, Kind kind = Kind::kFailed)
      : std::runtime_error(what), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

class Connection {
 public:
  // Opens the database at path (":memory:" for one in memory) with the given
  // SQLITE_OPEN_* flags, never following a symbolic link.
  static Connection Open(const std::string& path, int flags);

  sqlite3* get() const { return db_.get(); }

  // From now on, a statement stops (raising kInterrupted) when *cancel turns
  // true or `within` has passed; a zero `within` sets no time limit.
  void Watch(const std::atomic<bool>* cancel, std::chrono::milliseconds within) const;

 private:
  struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
  };
  struct Limits {
    const std::atomic<bool>* cancel = nullptr;
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
  };
  static int Progress(void* limits);

  std::unique_ptr<Limits> limits_;  // where the progress handler looks
  std::unique_ptr<sqlite3, Closer> db_;
};

// Runs SQL without results.
void Execute(sqlite3* db, const char* sql);

// Raises the connection's last error, its kind told by SQLite's code.
[[noreturn]] void RaiseSqlite(sqlite3* db, std::string_view what);

class Statement {
 public:
  Statement(sqlite3* db, std::string_view sql);
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  void Bind(int index, std::string_view text);
  void Bind(int index, std::int64_t value);
  // True while a row is there.
  bool Step();
  void Reset();

  std::string_view Text(int column) const;
  std::int64_t Integer(int column) const { return sqlite3_column_int64(statement_, column); }
  double Real(int column) const { return sqlite3_column_double(statement_, column); }

 private:
  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
};

// A stored HTML page as plain UTF-8 text, for the page-text index and for
// tools that take a book's content.
//
// Decoding: a UTF-8 byte-order mark, else the charset the page declares
// (<meta charset>, <meta http-equiv="Content-Type" content="...; charset=">,
// or an XML declaration's encoding) when it names a Windows code page that
// the converter knows (codec/codec.h), else UTF-8 when the bytes are well-formed UTF-8 with
// characters beyond ASCII, else the book's code page, else Windows-1252.
//
// Text: <script>, <style>, comments and other markup are dropped; character
// references are decoded (any character, see html_entities.h); block
// elements end a line; runs of white space become one space, and empty lines
// are dropped. The <title> is returned apart, its own markup dropped too. Every step is one pass over
// the page: no input makes the work grow faster than its length.

// How a page's bytes were read.
enum class Decoding {
  kBookCodePage,  // the book's code page (also when the page declares that one)
  kDeclared,      // another charset that the page declares
  kUtf8,          // a byte-order mark, or well-formed UTF-8 beyond ASCII
  kWindows1252,   // the book's code page is unknown to the converter
};

struct PageText {
  std::string title;  // the page's <title>, white space collapsed; empty when none
  std::string text;   // lines of text, without a final line break
  std::string headings;  // the text of its headings (<h1> to <h6>), a line each
  Decoding decoding = Decoding::kBookCodePage;
};

// The charset the page declares, lower-cased, from the part before <body>
// (at most its first 64 KiB); none when it declares none.
std::optional<std::string> DeclaredCharset(std::string_view page);

// The page's bytes as UTF-8, decoded as described above; `used` (optional)
// tells how.
std::string DecodePage(std::string_view page, int bookCodePage, const TextConverter& converter,
                       Decoding* used = nullptr);

// The text and title of an HTML page already decoded to UTF-8.
PageText HtmlToText(std::string_view html);

// DecodePage, then HtmlToText.
PageText ExtractPageText(std::span<const std::uint8_t> page, int bookCodePage, const TextConverter& converter);

// The pages of a book as plain text: which objects are pages, read once per
// stored range (Book::ReadStoredRanges: each compressed section decoded
// once), turned into text once per stored range, within a budget.
//
// Pages are all the HTML objects (.htm, .html) of the directory: the topic
// table and the contents may name only some of them, and give titles. Each
// stored range of bytes is a page once, however many directory entries name
// it (its first name, in directory order, that is a page and names no other
// page yet), and each canonical path (ASCII letters folded, as the book
// compares paths) names one page. Pages come in the order the book stores
// them.
//
// Budget: the text of all pages (titles, names and paths included) is at most
// three times the book's distinct stored bytes (Book::DistinctBytes; a code
// page's character may take three bytes of UTF-8) plus 1 MiB, and never more
// than 128 MiB; the pages past it are left out (PagesRead::budgetSpent).

struct BookPage {
  // UTF-8: its topic's title (the page's <title> when that is fuller), else
  // its <title>, else its path; but its first name in the contents when
  // many pages share that title.
  std::string title;
  // Its other names, a line each: the contents' and the keyword index's
  // names for it, and a shared <title> that gave way to one of them.
  std::string names;
  std::string headings;  // the text of its headings, a line each
  std::string path;   // UTF-8, canonical, without a fragment
  std::string text;   // UTF-8 plain text (PageText)
  Decoding decoding = Decoding::kBookCodePage;
};

struct PagesRead {
  std::size_t pages = 0;
  std::size_t unreadable = 0;   // pages that the book names but could not give
  bool budgetSpent = false;     // pages were left out: their text would pass the budget
  std::uint64_t budget = 0;     // bytes of text
};

// For a worker thread: progress from 0 to 100 (called from one thread at a
// time, not always the caller's), and a flag that stops the work between
// two pages (BuildCancelled is raised then).
struct BuildControl {
  std::function<void(int percent)> progress;
  const std::atomic<bool>* cancel = nullptr;
};

class BuildCancelled : public std::exception {
 public:
  const char* what() const noexcept override { return "The page-text index was not built: cancelled."; }
};

// The budget of the text of a book whose objects hold this many distinct
// stored bytes.
std::uint64_t TextBudget(std::uint64_t distinctBytes);

// Calls onPage for each page (the page may be moved from). The book must be
// open (Book::Open). Progress runs from `first` to `last`. Raises
// BuildCancelled, and BookError where the book's directory cannot be walked
// at all; a page that cannot be read is counted, not raised.
PagesRead ForEachBookPage(const Book& book, const TextConverter& converter, const BuildControl& control,
                          const std::function<void(BookPage&)>& onPage, int first = 0, int last = 100);

// What the reader types into the Search panel, as an FTS5 query over the
// page text.
//
//   several words       every one must appear (in any order)
//   "a phrase"          the words next to each other, in this order
//   prefix*             any word that begins so (also "a phr"*)
//   one OR other        either; binds the items on both sides of it
//   -word, -"phrase"    pages holding it are left out
//
// Every word and phrase goes to FTS5 as a quoted string, so nothing the
// user types is read as FTS5 syntax (NEAR, column filters, ^, +, ...).
// Chinese, Japanese and Korean words need no spaces: the index tokenizer
// turns each quoted term into a phrase of its characters.

// A query that cannot be read; what() is a sentence for the user.
class QueryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ParsedQuery {
  std::string match;               // the FTS5 MATCH expression; empty: the query finds nothing
  std::vector<std::string> terms;  // words and phrases to find (not the left-out ones), as typed
  // The query when it is one plain word: no phrase, prefix, OR or exclusion
  // (the one kind of query the book's own full-text index can answer).
  std::optional<std::string> singleWord;
  // The query's words and phrases in order, one space between, when it has
  // nothing else (no prefix, OR or exclusion): the name of the page it may
  // mean.
  std::optional<std::string> name;
};

constexpr std::size_t kMaxQueryBytes = 1000;
constexpr std::size_t kMaxQueryTerms = 64;

// A query with nothing to find (empty, only punctuation, only words left
// out, a lone OR) finds nothing; an OR without a word on each side is
// dropped. Raises QueryError for an unclosed quotation mark, or a query
// longer than the limits above.
ParsedQuery ParseQuery(std::string_view query);

// The page-text index of one book: an SQLite database with an FTS5 table
// pages(title, names, headings, path, body, keys) and the book's SHA-256
// and schema version, built from the book's pages (BookPage) and
// searched with the queries of ParseQuery. keys holds the page's title
// and names as the search compares them (name_keys, fts5_extensions.h).
//
// A kept index is hostile input (anything that can write the file could
// have planted it): Open accepts only a database whose schema is exactly
// the one Create makes, before running anything else on it; Validate then
// checks its pages, its full-text index and its meta data. Every statement
// runs under a watch (Connection::Watch): a cancel flag and a time limit.
//
// Threads: a TextIndex owns one connection, opened SQLITE_OPEN_NOMUTEX. It
// may be built on a worker thread and handed to another, but is used by one
// thread at a time; a thread that searches while another does opens its own
// TextIndex on the same file. Nothing is global.

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
  std::int64_t row = 0;  // the page's row in this index (SearchOptions::onlyRows)
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
  // When not empty, only these pages (rows as TextHit gives them) are found:
  // each looked up by its row, however many pages match.
  std::vector<std::int64_t> onlyRows;
};

struct BuildStats {
  std::size_t pages = 0;
  std::size_t unreadable = 0;
  // Not zero when pages were left out: the budget (bytes of text) that
  // they would have passed (see PagesRead).
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

// The folder that keeps page-text indexes, and its housekeeping: which
// folder, made private; the temporary files that a killed build left; the
// least recently used indexes past the size limit; the files that earlier
// versions kept in the user's cache folder.
//
// Names: an index is <64 hexadecimal digits>.sqlite; an index being built
// is that name followed by ".tmp.<process id>.<number>". Only files so
// named are ever removed, and removing one never follows a link.

// $XDG_DATA_HOME/tessaly/index (an absolute XDG_DATA_HOME only), else
// $HOME/.local/share/tessaly/index; none without either. The sandboxed page
// process can write the user's cache folder, not this one. The first call
// also removes the indexes that earlier versions kept under
// $XDG_CACHE_HOME/tessaly (else $HOME/.cache/tessaly).
std::optional<std::filesystem::path> DefaultIndexFolder();

// Creates the folder 0700 when missing (its parent too, when that is the
// tessaly folder); empty when it can be used (a real folder, not a link,
// owned by the user, private), else why not.
std::string PrepareIndexFolder(const std::filesystem::path& folder);

// Removes the temporary files of builds whose process is gone.
void RemoveAbandonedBuilds(const std::filesystem::path& folder);

// Marks the index as just used (its modification time).
void MarkUsed(const std::filesystem::path& index);

// Removes the least recently used indexes until the folder's indexes take
// at most maxBytes; `keep` is never removed.
void EvictPast(const std::filesystem::path& folder, std::uint64_t maxBytes, const std::filesystem::path& keep);

// The SHA-256 of a file's bytes, 64 lower-case hexadecimal digits: the
// book's hash that an index is built from and kept under. Raises
// TextIndexError when the file cannot be read.
std::string HexDigestOfFile(const std::string& path);

// Where a book's page-text index is kept between runs, and when a kept one
// may be trusted.
//
// Folder: see DefaultIndexFolder. File: <SHA-256 of the
// book's bytes>.sqlite, so a renamed or copied book finds its index and a
// changed one does not. A file is used only when it is a regular file (not
// a link) whose schema is exactly an index's and that passes
// TextIndex::Validate for this book; any other is replaced. A new index is
// written to a temporary file (0600, created exclusively, never through a
// link) and renamed into place when complete; the temporary files of a
// build that was killed are removed on the next Open. The folder's indexes
// are kept under a size limit, the least recently used removed first.

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
