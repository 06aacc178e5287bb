// The library store: one SQLite file with the user's library (folders,
// books, each book's keywords), bookmarks and search history, kept with the
// user's data ($XDG_DATA_HOME/tessaly/library.sqlite), never in the cache
// folder that WebKit's sandboxed page process can write.
//
// Opened as the page-text index opens its files (defensive mode, no link
// followed), in WAL mode with a busy timeout so that two processes may use
// it at once; every change runs in a transaction, so a process killed at
// any point leaves what was committed before. A file that is no sound store
// (not a database, damaged, or holding other tables) is set aside beside
// it, never emptied, and a new one started: Note() says so.
//
// Threads: a Store is one connection, used by one thread at a time; another
// thread opens its own.
#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <functional>
#include <string>

#include "library/library.h"
#include "textindex/text_index.h"

namespace tessaly::library {

class Store {
 public:
  static constexpr int kVersion = 1;

  // The store at `file`, created when missing (its folder too, private to
  // the user). Raises LibraryError.
  static Store Open(const std::filesystem::path& file);

  // Why the file found was set aside, and where it went; empty normally.
  const std::string& Note() const { return note_; }
  const std::filesystem::path& File() const { return file_; }
  sqlite3* Db() const { return db_.get(); }

  // Runs body inside one write transaction: all of it is kept, or none.
  void Transaction(const std::function<void()>& body) const;

  // The error of a failed statement as the library reports it.
  [[noreturn]] void Fail(const textindex::TextIndexError& error) const;

 private:
  Store(textindex::Connection db, std::filesystem::path file, std::string note)
      : db_(std::move(db)), file_(std::move(file)), note_(std::move(note)) {}

  textindex::Connection db_;
  std::filesystem::path file_;
  std::string note_;
};

}  // namespace tessaly::library
