// A SQLite connection and its statements, closed on every way out; every
// failure raised as TextIndexError with SQLite's message.
//
// A connection is opened in SQLite's defensive mode (no writes to the
// schema's own tables, no untrusted functions or virtual tables in the
// schema, no extensions, triggers or views), since a kept index file is
// read as hostile input. Every statement runs under a watch: it stops once
// its cancel flag is set or its time is up (see Connection::Watch).
#pragma once

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tessaly::textindex {

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

}  // namespace tessaly::textindex
