// Bookmarks and the search fields' history in the store.
#include "library/library.h"

#include <chrono>

#include "base/utf8.h"
#include "library/book_facts.h"
#include "library/store.h"

namespace tessaly::library {

namespace {

using textindex::Statement;
using textindex::TextIndexError;

std::int64_t Now() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// At most `bytes` bytes of UTF-8, cut between characters.
std::string Cut(std::string_view text, std::size_t bytes) {
  std::string repaired = RepairUtf8(text);
  if (repaired.size() <= bytes) return repaired;
  std::size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(repaired[end]) & 0xC0) == 0x80) --end;
  repaired.resize(end);
  return repaired;
}

std::vector<Bookmark> ReadBookmarks(Statement& rows) {
  std::vector<Bookmark> marks;
  while (rows.Step()) {
    marks.push_back({rows.Integer(0), std::string(rows.Text(1)), std::string(rows.Text(2)), std::string(rows.Text(3)),
                     std::string(rows.Text(4)), rows.Integer(5)});
  }
  return marks;
}

constexpr const char* kBookmarkColumns = "SELECT id, sha256, book, page, name, created FROM bookmarks";
constexpr std::size_t kMaxQuery = 1000;  // bytes of a remembered query

}  // namespace

BookIdentity IdentityOf(const std::filesystem::path& book) {
  std::string reason;
  std::string sha256 = HashOf(book.string(), reason);
  if (sha256.empty()) throw LibraryError(reason);
  return {std::move(sha256), LibraryPath(book)};
}

std::int64_t Library::AddBookmark(const BookIdentity& book, std::string_view page, std::string_view name) {
  std::int64_t id = 0;
  store_->Transaction([&] {
    Statement add(store_->Db(), "INSERT INTO bookmarks(sha256, book, page, name, created) VALUES(?1, ?2, ?3, ?4, ?5)");
    add.Bind(1, book.sha256);
    add.Bind(2, book.path);
    add.Bind(3, page);
    add.Bind(4, Cut(name, kMaxBookmarkName));
    add.Bind(5, Now());
    add.Step();
    id = sqlite3_last_insert_rowid(store_->Db());
  });
  return id;
}

bool Library::RenameBookmark(std::int64_t id, std::string_view name) {
  bool renamed = false;
  store_->Transaction([&] {
    Statement rename(store_->Db(), "UPDATE bookmarks SET name = ?2 WHERE id = ?1");
    rename.Bind(1, id);
    rename.Bind(2, Cut(name, kMaxBookmarkName));
    rename.Step();
    renamed = sqlite3_changes(store_->Db()) > 0;
  });
  return renamed;
}

bool Library::RemoveBookmark(std::int64_t id) {
  bool removed = false;
  store_->Transaction([&] {
    Statement remove(store_->Db(), "DELETE FROM bookmarks WHERE id = ?1");
    remove.Bind(1, id);
    remove.Step();
    removed = sqlite3_changes(store_->Db()) > 0;
  });
  return removed;
}

std::vector<Bookmark> Library::Bookmarks() const {
  try {
    Statement rows(store_->Db(), std::string(kBookmarkColumns) + " ORDER BY created DESC, id DESC");
    return ReadBookmarks(rows);
  } catch (const TextIndexError& error) {
    store_->Fail(error);
  }
}

std::vector<Bookmark> Library::BookmarksOf(const BookIdentity& book) const {
  try {
    Statement rows(store_->Db(),
                   std::string(kBookmarkColumns) + " WHERE sha256 = ?1 OR book = ?2 ORDER BY created DESC, id DESC");
    rows.Bind(1, book.sha256);
    rows.Bind(2, book.path);
    return ReadBookmarks(rows);
  } catch (const TextIndexError& error) {
    store_->Fail(error);
  }
}

void Library::RememberQuery(std::string_view field, std::string_view query) {
  const std::string kept = Cut(query, kMaxQuery);
  if (kept.find_first_not_of(" \t") == std::string::npos) return;
  store_->Transaction([&] {
    Statement remember(store_->Db(),
                       "INSERT INTO history(field, query, used) VALUES(?1, ?2,"
                       " (SELECT ifnull(max(used), 0) + 1 FROM history WHERE field = ?1))"
                       " ON CONFLICT(field, query) DO UPDATE SET used = excluded.used");
    remember.Bind(1, field);
    remember.Bind(2, kept);
    remember.Step();
    Statement trim(store_->Db(),
                   "DELETE FROM history WHERE field = ?1 AND used <="
                   " (SELECT used FROM history WHERE field = ?1 ORDER BY used DESC LIMIT 1 OFFSET ?2)");
    trim.Bind(1, field);
    trim.Bind(2, static_cast<std::int64_t>(kHistoryLength));
    trim.Step();
  });
}

std::vector<std::string> Library::RecentQueries(std::string_view field) const {
  try {
    Statement rows(store_->Db(), "SELECT query FROM history WHERE field = ?1 ORDER BY used DESC LIMIT ?2");
    rows.Bind(1, field);
    rows.Bind(2, static_cast<std::int64_t>(kHistoryLength));
    std::vector<std::string> queries;
    while (rows.Step()) queries.emplace_back(rows.Text(0));
    return queries;
  } catch (const TextIndexError& error) {
    store_->Fail(error);
  }
}

}  // namespace tessaly::library
