// A SQLite connection and its statements, closed on every way out; every
// failure raised as TextIndexError with SQLite's message.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tessaly::textindex {

// A page-text index that cannot be opened, built, checked or searched.
class TextIndexError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct DatabaseCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;

// Opens the database at path (":memory:" for one in memory) with the given
// SQLITE_OPEN_* flags, never following a symbolic link.
Database OpenDatabase(const std::string& path, int flags);

// Runs SQL without results.
void Execute(sqlite3* db, const char* sql);

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

 private:
  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
};

}  // namespace tessaly::textindex
