#include "textindex/text_index.h"

#include "book/book.h"
#include "textindex/fts5_extensions.h"

namespace tessaly::textindex {

TextIndex TextIndex::Open(const std::string& path, Access access) {
  const int flags = (access == Access::kReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) |
                    SQLITE_OPEN_NOMUTEX | (path == ":memory:" ? SQLITE_OPEN_MEMORY | SQLITE_OPEN_CREATE : 0);
  Database db = OpenDatabase(path, flags);
  RegisterFts5Extensions(db.get());
  return TextIndex(std::move(db));
}

BuildStats TextIndex::Build(const Book& book, const TextConverter& converter, std::string_view bookHash,
                            const BuildControl& control) {
  // Reading takes most of the time; storing the text the last tenth.
  constexpr int kReadShare = 90;
  BookPages read = ReadBookPages(book, converter, control, 0, kReadShare);
  sqlite3* db = db_.get();
  // A new file that is renamed into place only when complete: no journal.
  Execute(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN;");
  Execute(db,
          "CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT) WITHOUT ROWID;"
          "CREATE VIRTUAL TABLE pages USING fts5(title, path UNINDEXED, body, tokenize='tessaly');"
          "INSERT INTO pages(pages, rank) VALUES('rank', 'bm25(10.0, 0.0, 1.0)');");
  Statement insert(db, "INSERT INTO pages(title, path, body) VALUES(?1, ?2, ?3)");
  for (std::size_t i = 0; i < read.pages.size(); ++i) {
    if (control.cancel != nullptr && control.cancel->load(std::memory_order_relaxed)) throw BuildCancelled();
    const BookPage& page = read.pages[i];
    insert.Bind(1, page.title);
    insert.Bind(2, page.path);
    insert.Bind(3, page.text);
    insert.Step();
    insert.Reset();
    if (control.progress && i % 64 == 0) {
      control.progress(kReadShare + static_cast<int>((99 - kReadShare) * i / read.pages.size()));
    }
  }
  Execute(db, "INSERT INTO pages(pages) VALUES('optimize');");
  Statement meta(db, "INSERT INTO meta(key, value) VALUES('book_sha256', ?1), ('pages', ?2), ('complete', '1')");
  meta.Bind(1, bookHash);
  meta.Bind(2, static_cast<std::int64_t>(read.pages.size()));
  meta.Step();
  Execute(db, ("PRAGMA user_version=" + std::to_string(kSchemaVersion) + "; COMMIT;").c_str());
  if (control.progress) control.progress(100);
  return {read.pages.size(), read.unreadable};
}

std::string TextIndex::Validate(std::string_view bookHash) const {
  try {
    sqlite3* db = db_.get();
    Statement check(db, "PRAGMA quick_check");
    if (!check.Step() || check.Text(0) != "ok") return "damaged";
    Statement version(db, "PRAGMA user_version");
    version.Step();
    if (version.Integer(0) != kSchemaVersion) return "schema version " + std::to_string(version.Integer(0));
    Statement meta(db, "SELECT (SELECT value FROM meta WHERE key = 'book_sha256'),"
                       " (SELECT value FROM meta WHERE key = 'complete')");
    meta.Step();
    if (meta.Text(1) != "1") return "incomplete";
    if (meta.Text(0) != bookHash) return "built from another book";
    return {};
  } catch (const TextIndexError& error) {
    return std::string("unreadable (") + error.what() + ")";
  }
}

std::int64_t TextIndex::PageCount() const {
  Statement count(db_.get(), "SELECT count(*) FROM pages");
  count.Step();
  return count.Integer(0);
}

}  // namespace tessaly::textindex
