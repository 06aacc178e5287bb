// Book: one opened CHM file and everything read or built from it.
//
// A Book is created for every file the reader opens and destroyed when the
// next one is opened; an open that failed part way leaves a Book that can
// still be closed or destroyed safely. It owns the container (the file, its
// directory and sections, container/container.h) and the structures built
// from it (what the book says of itself, the contents tree, the topic table,
// and on request the keyword index and the full-text index), and hands each
// question to the part that answers it. Those parts stay inside the book
// layer: this header shows only the values they hand out.
//
// Objects are reached through FindEntry / HasObject / ObjectSize /
// ReadObject, which also try a path again in UTF-8 when the book writes it
// in its code page. Reads return bytes the caller owns.
//
// Threads: attach the text converter and the log before the book is shared.
// After Open, every const method may run from several threads at once,
// including the lazy ones (BuildKeywordIndex, LoadFullTextIndex, Search):
// each lazy part is built once, and a failure to build it is kept and
// raised again to every later caller. Close and the Open methods need the
// book to themselves, and so does the non-const Contents() (the reader marks
// the nodes it shows).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "base/book_error.h"
#include "base/log.h"
#include "base/object_source.h"
#include "base/pointer_array.h"
#include "base/sitemap_trees.h"
#include "base/topic_table.h"

namespace tessaly {

class TextConverter;

class Book : public ObjectSource {
 public:
  static constexpr std::int32_t kSearchResultCapacity = 100;
  static constexpr std::int32_t kSearchResultGrowth = 10;

  Book();
  ~Book() override;
  Book(const Book&) = delete;
  Book& operator=(const Book&) = delete;

  // Checks the path (it must end in ".chm"), opens the file and reads its
  // header and directory; every object is then read straight from the file.
  // Raises BookError.
  void OpenContainer(std::string_view path);

  // The container with its content sections: enough to read every object,
  // without interpreting any of them. Raises BookError (nothing stays open).
  void OpenStorage(std::string_view path);

  // Opens the book completely: container and sections, #SYSTEM and
  // #STRINGS, the compressed sections' tables, #WINDOWS, the contents tree
  // and the topic tables. The keyword index and the full-text index are read
  // later, on request. Raises BookError.
  void Open(std::string_view path);

  // Releases everything the book holds; the Book is then as constructed.
  void Close();

  // What the book says of itself (#SYSTEM, falling back on #WINDOWS). Texts
  // are in the book's code page and stay valid while the book is open.
  std::string_view ContentsFileName() const;
  std::string_view IndexFileName() const;
  std::string_view DefaultTopic() const;
  std::string_view HomeTopic() const;
  // The book's title; the path of its file when it names none.
  std::string_view Title() const;
  std::optional<std::string_view> JumpLabel() const;
  std::optional<std::string_view> JumpTarget() const;
  int CodePage() const;
  std::int32_t LanguageId() const;

  // The contents tree (empty when the book has none) and the topic table.
  const ContentsTree& Contents() const;
  ContentsTree& Contents();
  const TopicTable& Topics() const;

  // The keyword index, built on the first request; later requests change
  // nothing. KeywordIndex() is empty until then, holds what was read before
  // a failure, and is complete once BuildKeywordIndex has returned. Raises
  // BookError.
  void BuildKeywordIndex() const;
  const IndexEntry& KeywordIndex() const;

  // The full-text index, loaded on the first request. Raises BookError.
  void LoadFullTextIndex() const;
  // True when the book's full-text index is loaded and holds no word.
  bool FullTextIndexEmpty() const;

  // The topics holding the query word, ordered by title: nothing when the
  // index is not loaded. The results are the caller's. Raises BookError for
  // a query longer than the index allows (200 bytes) or a damaged index.
  PointerArray<SearchResult> Search(std::string_view query) const;

  // Converts book text to UTF-8 for lookups of paths that the book writes in
  // its code page while its directory holds UTF-8 names (not owned; may be
  // null).
  void SetTextConverter(const TextConverter* converter) { converter_ = converter; }

  // Attaches a diagnostic log (not owned; null detaches). The header,
  // directory, content sections and system records are dumped to it.
  void SetLog(std::ostream* log) { log_.SetStream(log); }
  Logger& Log() const { return log_; }

  // The path the book was opened from; empty when none is open.
  std::string_view FileName() const;
  // The directory's entries, in file order (none when no book is open).
  std::size_t EntryCount() const;
  DirectoryEntry Entry(std::size_t index) const;

  // Lookup. Never raises; a miss is logged.
  std::optional<DirectoryEntry> FindEntry(std::string_view path) const;
  bool HasObject(std::string_view path) const override { return FindEntry(path).has_value(); }
  std::uint64_t ObjectSize(std::string_view path) const;

  // Reading. Raises BookError on every failure.
  ObjectBuffer ReadObject(std::string_view path) const override;

  // Every stored range of the book (content section, offset, length) read
  // once, with the entries that name it: onRange(aliases, bytes) for each
  // range read, onError(aliases, error) for each that could not be. Aliases
  // are in directory order; the bytes are valid during the call only; each
  // compressed section is decoded once, in order. Work done per range rather
  // than per entry costs what the book holds, however many names it gives
  // its bytes.
  using Aliases = std::span<const DirectoryEntry>;
  using RangeVisitor = std::function<void(Aliases, std::span<const std::uint8_t>)>;
  using RangeErrorVisitor = std::function<void(Aliases, const BookError&)>;
  void ReadStoredRanges(const RangeVisitor& onRange, const RangeErrorVisitor& onError) const;

  // The book's distinct stored bytes: the total length of its stored ranges,
  // shared and overlapping bytes counted once, only what each section holds
  // (decompressed length for the compressed section). What output budgets
  // are sized by. 0 when no book is open.
  std::uint64_t DistinctBytes() const;

 private:
  // The container and what is read from it (book.cc).
  struct Parts;

  void OpenTo(std::string_view path, bool sections);

  mutable Logger log_;
  const TextConverter* converter_ = nullptr;
  std::unique_ptr<Parts> parts_;
};

}  // namespace tessaly
