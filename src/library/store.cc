#include "library/store.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "textindex/text_index.h"

namespace tessaly::library {

namespace {

namespace fs = std::filesystem;
using textindex::Connection;
using textindex::Execute;
using textindex::Statement;
using textindex::TextIndexError;

constexpr int kBusyMilliseconds = 10'000;

// Books by path; a book's keywords by its content (copies share them); a
// bookmark names its book by content and by the path it was made at.
constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS folders(path TEXT PRIMARY KEY, added INTEGER NOT NULL) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS books(id INTEGER PRIMARY KEY, path TEXT NOT NULL UNIQUE, folder TEXT,"
    " size INTEGER NOT NULL, mtime INTEGER NOT NULL, sha256 TEXT NOT NULL, title TEXT NOT NULL,"
    " language INTEGER NOT NULL, state INTEGER NOT NULL, reason TEXT NOT NULL,"
    " indexed INTEGER NOT NULL);"
    "CREATE INDEX IF NOT EXISTS books_by_content ON books(sha256);"
    "CREATE TABLE IF NOT EXISTS keywords(sha256 TEXT NOT NULL, folded TEXT NOT NULL, keyword TEXT NOT NULL,"
    " name TEXT NOT NULL, path TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS keywords_by_word ON keywords(folded, sha256);"
    "CREATE INDEX IF NOT EXISTS keywords_by_book ON keywords(sha256);"
    "CREATE TABLE IF NOT EXISTS bookmarks(id INTEGER PRIMARY KEY, sha256 TEXT NOT NULL, book TEXT NOT NULL,"
    " page TEXT NOT NULL, name TEXT NOT NULL, created INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS history(field TEXT NOT NULL, query TEXT NOT NULL, used INTEGER NOT NULL,"
    " PRIMARY KEY(field, query)) WITHOUT ROWID;";

// The schema as one text, in name order.
std::string SchemaText(sqlite3* db) {
  Statement rows(db, "SELECT type || ' ' || name || ' ' || ifnull(sql, '') FROM sqlite_schema ORDER BY name");
  std::string text;
  while (rows.Step()) text.append(rows.Text(0)).append("\n");
  return text;
}

const std::string& ExpectedSchema() {
  static const std::string expected = [] {
    const Connection db = Connection::Open(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY);
    Execute(db.get(), kSchema);
    return SchemaText(db.get());
  }();
  return expected;
}

std::string Message(const TextIndexError& error) {
  std::string text = error.what();
  constexpr std::string_view kInner = "Page-text index: ";
  if (text.starts_with(kInner)) text.erase(0, kInner.size());
  return text;
}

// A store that is sound and ours, or why not. Raises TextIndexError for
// what says nothing of the file (busy, out of memory, a full disk).
std::string Check(sqlite3* db) {
  try {
    Execute(db, "PRAGMA journal_mode=WAL");
    Statement version(db, "PRAGMA user_version");
    version.Step();
    if (version.Integer(0) > Store::kVersion) {
      throw LibraryError("it was written by a newer Tessaly (version " + std::to_string(version.Integer(0)) + ")");
    }
    const std::string schema = SchemaText(db);
    if (!schema.empty() && schema != ExpectedSchema()) return "it holds other tables than a library's";
    Statement check(db, "PRAGMA quick_check");
    if (!check.Step() || check.Text(0) != "ok") return "it is damaged (" + std::string(check.Text(0)) + ")";
    if (schema.empty()) {
      Execute(db, "BEGIN IMMEDIATE");
      Execute(db, kSchema);
      Execute(db, ("PRAGMA user_version=" + std::to_string(Store::kVersion) + "; COMMIT").c_str());
    }
    return {};
  } catch (const TextIndexError& error) {
    if (error.kind() != TextIndexError::Kind::kDamaged) throw;
    return Message(error);
  }
}

// Check, again while another process holds the file: some of what opening
// a store does (the switch to WAL, its recovery) does not wait by itself.
std::string CheckWhenFree(sqlite3* db) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyMilliseconds);
  for (;;) {
    try {
      return Check(db);
    } catch (const TextIndexError& error) {
      const bool busy = (sqlite3_errcode(db) & 0xFF) == SQLITE_BUSY ||
                        std::string_view(error.what()).ends_with(sqlite3_errstr(SQLITE_BUSY));
      if (!busy || std::chrono::steady_clock::now() > until) throw;
      if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
}

// Moves the file (and its journal files) out of the way, beside it.
fs::path SetAside(const fs::path& file) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
  for (int n = 0; n < 1000; ++n) {
    fs::path aside = file;
    aside += ".damaged-" + std::to_string(seconds) + (n > 0 ? "-" + std::to_string(n) : "");
    struct stat info {};
    if (lstat(aside.c_str(), &info) == 0) continue;
    if (std::rename(file.c_str(), aside.c_str()) != 0) {
      throw LibraryError("The library store " + file.string() + " is damaged and can't be set aside: " +
                         std::strerror(errno));
    }
    for (const char* journal : {"-wal", "-shm"}) {
      fs::path from = file, to = aside;
      from += journal;
      to += journal;
      std::rename(from.c_str(), to.c_str());
    }
    return aside;
  }
  throw LibraryError("The library store " + file.string() + " is damaged and can't be set aside.");
}

Connection Connect(const fs::path& file) {
  Connection db = Connection::Open(file.string(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX);
  sqlite3_busy_timeout(db.get(), kBusyMilliseconds);
  return db;
}

}  // namespace

std::optional<fs::path> DefaultStoreFile() {
  const std::optional<fs::path> indexes = textindex::DefaultIndexFolder();
  if (!indexes) return std::nullopt;
  return indexes->parent_path() / "library.sqlite";
}

Store Store::Open(const fs::path& file) {
  if (const std::string problem = textindex::PrepareIndexFolder(file.parent_path()); !problem.empty()) {
    throw LibraryError("The library can't be kept: " + problem);
  }
  std::string note;
  for (int attempt = 0;; ++attempt) {
    std::string problem;
    struct stat info {};
    if (lstat(file.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) problem = "it is not a regular file";
    try {
      if (problem.empty()) {
        Connection db = Connect(file);
        problem = CheckWhenFree(db.get());
        if (problem.empty()) {
          Execute(db.get(), "PRAGMA foreign_keys=ON; PRAGMA synchronous=NORMAL");
          return Store(std::move(db), file, std::move(note));
        }
      }
    } catch (const TextIndexError& error) {
      if (error.kind() != TextIndexError::Kind::kDamaged) {
        throw LibraryError("The library store " + file.string() + " can't be opened: " + Message(error));
      }
      problem = Message(error);
    } catch (const LibraryError& error) {
      throw LibraryError("The library store " + file.string() + " can't be used: " + error.what());
    }
    if (attempt > 0) throw LibraryError("The library store " + file.string() + " can't be made: " + problem);
    const fs::path aside = SetAside(file);
    note = "The library store " + file.string() + " could not be used (" + problem + "): it was set aside as " +
           aside.string() + " and a new one started.";
  }
}

void Store::Transaction(const std::function<void()>& body) const {
  try {
    Execute(db_.get(), "BEGIN IMMEDIATE");
  } catch (const TextIndexError& error) {
    Fail(error);
  }
  try {
    body();
    Execute(db_.get(), "COMMIT");
  } catch (const TextIndexError& error) {
    sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    Fail(error);
  } catch (...) {
    sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

void Store::Fail(const TextIndexError& error) const {
  throw LibraryError("The library store " + file_.string() + ": " + Message(error));
}

}  // namespace tessaly::library
