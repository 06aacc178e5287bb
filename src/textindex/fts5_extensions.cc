#include "textindex/fts5_extensions.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "textindex/sqlite_db.h"
#include "textindex/utf8_text.h"

namespace tessaly::textindex {

namespace {

using TokenCallback = int (*)(void*, int, const char*, int, int, int);

// One tokenizer instance: unicode61 underneath.
struct Tokenizer {
  fts5_tokenizer parent{};
  Fts5Tokenizer* parentInstance = nullptr;
  Tokenizer() = default;
  Tokenizer(const Tokenizer&) = delete;
  Tokenizer& operator=(const Tokenizer&) = delete;
  ~Tokenizer() {
    if (parentInstance != nullptr) parent.xDelete(parentInstance);
  }
};

int CreateTokenizer(void* context, const char** /*args*/, int /*argCount*/, Fts5Tokenizer** out) {
  auto* api = static_cast<fts5_api*>(context);
  auto tokenizer = std::make_unique<Tokenizer>();
  void* parentContext = nullptr;
  int rc = api->xFindTokenizer(api, "unicode61", &parentContext, &tokenizer->parent);
  if (rc != SQLITE_OK) return rc;
  const char* parentArgs[] = {"remove_diacritics", "2"};
  rc = tokenizer->parent.xCreate(parentContext, parentArgs, 2, &tokenizer->parentInstance);
  if (rc != SQLITE_OK) return rc;
  *out = reinterpret_cast<Fts5Tokenizer*>(tokenizer.release());
  return SQLITE_OK;
}

void DeleteTokenizer(Fts5Tokenizer* instance) {
  std::unique_ptr<Tokenizer> owned(reinterpret_cast<Tokenizer*>(instance));
}

// Hands unicode61's tokens of a stretch of the text on with offsets into
// the whole text. In documents, words split at an apostrophe ("you've",
// "XOR'ed") also get the word without it ("youve", "xored"), at the place
// of their first part, as other help indexers store them.
class Forwarder {
 public:
  Forwarder(void* context, TokenCallback emit, std::string_view text, bool join)
      : context_(context), emit_(emit), text_(text), join_(join) {}

  static int Token(void* self, int /*flags*/, const char* token, int length, int start, int end) {
    auto* f = static_cast<Forwarder*>(self);
    start += f->offset;
    end += f->offset;
    if (!f->join_) return f->emit_(f->context_, 0, token, length, start, end);
    if (!f->parts_.empty() && f->Apostrophe(f->parts_.back().end, start)) {
      f->parts_.push_back({std::string(token, static_cast<std::size_t>(length)), start, end});
      return SQLITE_OK;
    }
    const int rc = f->Flush();
    f->parts_.push_back({std::string(token, static_cast<std::size_t>(length)), start, end});
    return rc;
  }

  int Flush() {
    int rc = SQLITE_OK;
    for (std::size_t i = 0; i < parts_.size() && rc == SQLITE_OK; ++i) {
      const Part& part = parts_[i];
      rc = emit_(context_, 0, part.token.data(), static_cast<int>(part.token.size()), part.start, part.end);
      if (i == 0 && parts_.size() > 1 && rc == SQLITE_OK) {
        std::string joined;
        for (const Part& p : parts_) joined += p.token;
        rc = emit_(context_, FTS5_TOKEN_COLOCATED, joined.data(), static_cast<int>(joined.size()), part.start,
                   parts_.back().end);
      }
    }
    parts_.clear();
    return rc;
  }

  int offset = 0;  // of the stretch being tokenized

 private:
  struct Part {
    std::string token;
    int start;
    int end;
  };

  bool Apostrophe(int from, int to) const {
    const std::string_view between = text_.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
    return between == "'" || between == "\xE2\x80\x99";  // ' and U+2019
  }

  void* context_;
  TokenCallback emit_;
  std::string_view text_;
  bool join_;
  std::vector<Part> parts_;
};

// No character from U+1100 up: no byte from 0xE1 up.
bool MayHoldCjk(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0xE1) return true;
  }
  return false;
}

int Tokenize(Fts5Tokenizer* instance, void* context, int flags, const char* text, int length, TokenCallback emit) {
  const auto* tokenizer = reinterpret_cast<const Tokenizer*>(instance);
  const std::string_view all(text, static_cast<std::size_t>(length));
  Forwarder forward(context, emit, all, (flags & FTS5_TOKENIZE_DOCUMENT) != 0);
  const auto stretch = [&](std::size_t from, std::size_t to) {
    if (to == from) return SQLITE_OK;
    forward.offset = static_cast<int>(from);
    const int rc = tokenizer->parent.xTokenize(tokenizer->parentInstance, &forward, flags, text + from,
                                               static_cast<int>(to - from), Forwarder::Token);
    return rc == SQLITE_OK ? forward.Flush() : rc;
  };
  if (!MayHoldCjk(all)) return stretch(0, all.size());
  std::size_t runStart = 0;
  for (std::size_t at = 0; at < all.size();) {
    const std::size_t start = at;
    if (!IsCjk(NextCodePoint(all, at))) continue;
    int rc = stretch(runStart, start);
    if (rc == SQLITE_OK) {
      rc = emit(context, 0, text + start, static_cast<int>(at - start), static_cast<int>(start), static_cast<int>(at));
    }
    if (rc != SQLITE_OK) return rc;
    runStart = at;
  }
  return stretch(runStart, all.size());
}

void Hits(const Fts5ExtensionApi* api, Fts5Context* fts, sqlite3_context* result, int /*argCount*/,
          sqlite3_value** /*args*/) {
  int count = 0;
  const int rc = api->xInstCount(fts, &count);
  if (rc == SQLITE_OK) sqlite3_result_int(result, count);
  else sqlite3_result_error_code(result, rc);
}

}  // namespace

void RegisterFts5Extensions(sqlite3* db) {
  fts5_api* api = nullptr;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &statement, nullptr) != SQLITE_OK) {
    RaiseSqlite(db, "SQLite has no FTS5");
  }
  sqlite3_bind_pointer(statement, 1, &api, "fts5_api_ptr", nullptr);
  sqlite3_step(statement);
  sqlite3_finalize(statement);
  if (api == nullptr || api->iVersion < 2) throw TextIndexError("SQLite has no usable FTS5");
  fts5_tokenizer tokenizer{CreateTokenizer, DeleteTokenizer, Tokenize};
  if (api->xCreateTokenizer(api, "tessaly", api, &tokenizer, nullptr) != SQLITE_OK ||
      api->xCreateFunction(api, "hits", nullptr, Hits, nullptr) != SQLITE_OK) {
    RaiseSqlite(db, "Can't register the page-text tokenizer");
  }
}

}  // namespace tessaly::textindex
