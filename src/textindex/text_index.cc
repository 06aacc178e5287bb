#include "textindex/text_index.h"

#include <array>
#include <thread>

#include "book/book.h"
#include "textindex/fts5_extensions.h"
#include "textindex/page_queue.h"

namespace tessaly::textindex {

namespace {

using std::chrono::milliseconds;

// What Create makes, and so all that Open accepts.
constexpr const char* kSchema =
    "CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT) WITHOUT ROWID;"
    "CREATE VIRTUAL TABLE pages USING fts5(title, names, headings, path UNINDEXED, body, keys UNINDEXED,"
    " tokenize='tessaly');"
    "INSERT INTO pages(pages, rank) VALUES('rank', 'bm25(10.0, 8.0, 4.0, 0.0, 1.0, 0.0)');";

// Reading the schema parses it, nothing more; checking a large index reads
// all of it.
constexpr milliseconds kSchemaTime{10'000};
constexpr milliseconds kCheckTime{120'000};

using SchemaRow = std::array<std::string, 4>;

// Every row of sqlite_schema but its root page, in name order.
std::vector<SchemaRow> SchemaRows(sqlite3* db) {
  Statement rows(db, "SELECT type, name, tbl_name, ifnull(sql, '') FROM sqlite_schema ORDER BY name, type");
  std::vector<SchemaRow> out;
  while (rows.Step()) {
    out.push_back({std::string(rows.Text(0)), std::string(rows.Text(1)), std::string(rows.Text(2)),
                   std::string(rows.Text(3))});
  }
  return out;
}

// The same for FTS5's own settings of the table (pages_config).
std::vector<SchemaRow> ConfigRows(sqlite3* db) {
  Statement rows(db, "SELECT k, quote(v), '', '' FROM pages_config ORDER BY k");
  std::vector<SchemaRow> out;
  while (rows.Step()) out.push_back({std::string(rows.Text(0)), std::string(rows.Text(1)), {}, {}});
  return out;
}

struct Expected {
  std::vector<SchemaRow> schema;
  std::vector<SchemaRow> config;
};

// Taken from an index that Create has just made.
const Expected& ExpectedSchema() {
  static const Expected expected = [] {
    Connection db = Connection::Open(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_MEMORY);
    RegisterFts5Extensions(db.get());
    Execute(db.get(), kSchema);
    return Expected{SchemaRows(db.get()), ConfigRows(db.get())};
  }();
  return expected;
}

}  // namespace

TextIndex TextIndex::Create(const std::string& path) {
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX |
                    (path == ":memory:" ? SQLITE_OPEN_MEMORY : 0);
  Connection db = Connection::Open(path, flags);
  RegisterFts5Extensions(db.get());
  if (!SchemaRows(db.get()).empty()) throw TextIndexError("The page-text index " + path + " is not empty.");
  // A new file is renamed into place only when complete: no journal on disk.
  Execute(db.get(), "PRAGMA journal_mode=MEMORY; PRAGMA synchronous=OFF;");
  Execute(db.get(), kSchema);
  return TextIndex(std::move(db));
}

TextIndex TextIndex::Open(const std::string& path) {
  Connection db = Connection::Open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
  db.Watch(nullptr, kSchemaTime);
  // Nothing runs on the file before its schema is known to be ours: no view,
  // trigger or foreign table can stand in for a table of the index.
  if (SchemaRows(db.get()) != ExpectedSchema().schema) {
    throw TextIndexError("The page-text index " + path + " holds other tables than an index has.",
                         TextIndexError::Kind::kDamaged);
  }
  RegisterFts5Extensions(db.get());
  return TextIndex(std::move(db));
}

BuildStats TextIndex::Build(const Book& book, const TextConverter& converter, std::string_view bookHash,
                            const BuildControl& control) {
  sqlite3* db = db_.get();
  db_.Watch(control.cancel, milliseconds(0));
  // A thread of its own reads the pages while this one stores them.
  PageQueue queue;
  PagesRead read;
  std::thread reader([&] {
    std::exception_ptr failure;
    try {
      read = ForEachBookPage(book, converter, control, [&](BookPage& page) { queue.Push(page); }, 0, 95);
    } catch (const PageQueue::Abandoned&) {
    } catch (...) {
      failure = std::current_exception();
    }
    queue.Close(failure);
  });
  const auto finish = [&] {
    queue.Abandon();
    reader.join();
  };
  try {
    Execute(db, "BEGIN;");
    Statement insert(db,
                     "INSERT INTO pages(title, names, headings, path, body, keys)"
                     " VALUES(?1, ?2, ?3, ?4, ?5, name_keys(?1 || char(10) || ?2))");
    while (std::optional<BookPage> page = queue.Pop()) {
      insert.Bind(1, page->title);
      insert.Bind(2, page->names);
      insert.Bind(3, page->headings);
      insert.Bind(4, page->path);
      insert.Bind(5, page->text);
      insert.Step();
      insert.Reset();
    }
    finish();
    if (std::exception_ptr failure = queue.Failure()) std::rethrow_exception(failure);
    Statement meta(db, "INSERT INTO meta(key, value) VALUES('book_sha256', ?1), ('pages', ?2), ('complete', '1')");
    meta.Bind(1, bookHash);
    meta.Bind(2, static_cast<std::int64_t>(read.pages));
    meta.Step();
    Execute(db, ("PRAGMA user_version=" + std::to_string(kSchemaVersion) + "; COMMIT;").c_str());
  } catch (const TextIndexError&) {
    if (reader.joinable()) finish();
    if (control.cancel != nullptr && control.cancel->load()) throw BuildCancelled();
    throw;
  } catch (...) {
    if (reader.joinable()) finish();
    throw;
  }
  if (control.progress) control.progress(100);
  return {read.pages, read.unreadable, read.budgetSpent ? read.budget : 0};
}

std::string TextIndex::Validate(std::string_view bookHash, const std::atomic<bool>* cancel) const {
  sqlite3* db = db_.get();
  db_.Watch(cancel, kCheckTime);
  try {
    Statement check(db, "PRAGMA quick_check");
    if (!check.Step() || check.Text(0) != "ok") return "damaged";
    Statement version(db, "PRAGMA user_version");
    version.Step();
    if (version.Integer(0) != kSchemaVersion) return "schema version " + std::to_string(version.Integer(0));
    if (ConfigRows(db) != ExpectedSchema().config) return "of other settings";
    Statement meta(db, "SELECT (SELECT value FROM meta WHERE key = 'book_sha256'),"
                       " (SELECT value FROM meta WHERE key = 'complete')");
    meta.Step();
    if (meta.Text(1) != "1") return "incomplete";
    if (meta.Text(0) != bookHash) return "built from another book";
    // Every word of the full-text index against the text it was made from.
    Execute(db, "INSERT INTO pages(pages) VALUES('integrity-check')");
    return {};
  } catch (const TextIndexError& error) {
    if (cancel != nullptr && cancel->load()) throw BuildCancelled();
    if (error.kind() == TextIndexError::Kind::kInterrupted) return "too slow to check";
    return std::string("unreadable (") + error.what() + ")";
  }
}

}  // namespace tessaly::textindex
