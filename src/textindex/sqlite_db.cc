#include "textindex/text_index.h"

namespace tessaly::textindex {

namespace {

// Virtual machine steps between two looks at the watch: a few microseconds.
constexpr int kStepsPerLook = 1000;

void Configure(sqlite3* db, int option, int value) {
  if (sqlite3_db_config(db, option, value, nullptr) != SQLITE_OK) RaiseSqlite(db, "Can't secure the page-text index");
}

}  // namespace

Connection Connection::Open(const std::string& path, int flags) {
  Connection connection;
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, flags | SQLITE_OPEN_NOFOLLOW, nullptr);
  connection.db_.reset(raw);
  if (rc != SQLITE_OK) {
    throw TextIndexError("Can't open the page-text index " + path + ": " +
                         (raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)));
  }
  sqlite3* db = connection.get();
  sqlite3_extended_result_codes(db, 1);
  Configure(db, SQLITE_DBCONFIG_DEFENSIVE, 1);
  Configure(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0);
  Configure(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0);
  Configure(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0);
  Configure(db, SQLITE_DBCONFIG_ENABLE_VIEW, 0);
  connection.limits_ = std::make_unique<Limits>();
  sqlite3_progress_handler(db, kStepsPerLook, &Connection::Progress, connection.limits_.get());
  return connection;
}

void Connection::Watch(const std::atomic<bool>* cancel, std::chrono::milliseconds within) const {
  limits_->cancel = cancel;
  limits_->deadline = within.count() > 0 ? std::chrono::steady_clock::now() + within
                                         : std::chrono::steady_clock::time_point::max();
}

int Connection::Progress(void* context) {
  const auto* limits = static_cast<const Limits*>(context);
  if (limits->cancel != nullptr && limits->cancel->load(std::memory_order_relaxed)) return 1;
  return std::chrono::steady_clock::now() > limits->deadline ? 1 : 0;
}

void RaiseSqlite(sqlite3* db, std::string_view what) {
  using Kind = TextIndexError::Kind;
  const int code = sqlite3_errcode(db) & 0xFF;
  const Kind kind = code == SQLITE_CORRUPT || code == SQLITE_NOTADB ? Kind::kDamaged
                    : code == SQLITE_INTERRUPT                      ? Kind::kInterrupted
                                                                    : Kind::kFailed;
  throw TextIndexError(std::string(what) + ": " + sqlite3_errmsg(db), kind);
}

void Execute(sqlite3* db, const char* sql) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) RaiseSqlite(db, "Page-text index");
}

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db) {
  if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &statement_, nullptr) != SQLITE_OK) {
    RaiseSqlite(db, "Page-text index");
  }
}

void Statement::Bind(int index, std::string_view text) {
  if (sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) !=
      SQLITE_OK) {
    RaiseSqlite(db_, "Page-text index");
  }
}

void Statement::Bind(int index, std::int64_t value) {
  if (sqlite3_bind_int64(statement_, index, value) != SQLITE_OK) RaiseSqlite(db_, "Page-text index");
}

bool Statement::Step() {
  const int rc = sqlite3_step(statement_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  RaiseSqlite(db_, "Page-text index");
}

void Statement::Reset() {
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

std::string_view Statement::Text(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
  if (text == nullptr) return {};
  return {text, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column))};
}

}  // namespace tessaly::textindex
