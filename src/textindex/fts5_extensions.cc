#include "textindex/fts5_extensions.h"

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/utf8.h"
#include "textindex/cjk.h"
#include "textindex/text_index.h"

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
    int rc = f->Flush();
    // Most words are followed by no apostrophe: they go on at once.
    if (rc == SQLITE_OK && !f->ApostropheAt(end)) return f->emit_(f->context_, 0, token, length, start, end);
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

  bool ApostropheAt(int at) const {
    const std::string_view rest = text_.substr(static_cast<std::size_t>(at));
    return rest.starts_with('\'') || rest.starts_with("\xE2\x80\x99");
  }

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
  std::size_t runStart = 0;
  for (std::size_t at = 0; at < all.size();) {
    // Only a character of three bytes or more, led by 0xE1 or above, can be one.
    if (static_cast<unsigned char>(all[at]) < 0xE1) {
      ++at;
      continue;
    }
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

// excerpt(pages, open, close, ellipsis, words): about `words` tokens of the
// body around the stretch that holds the most matches, each match between
// open and close. Unlike FTS5's snippet(), which tokenizes the whole text
// twice, the text is tokenized only up to the end of the excerpt.
constexpr int kBodyColumn = 4;

struct Span {
  int first;  // token positions, both included
  int last;
};

struct ExcerptTokens {
  int position = 0;
  int from = 0;
  int to = 0;  // excluded
  bool more = false;
  std::vector<std::pair<int, int>> bytes;  // of the tokens from `from` on
};

int CollectToken(void* context, int flags, const char*, int, int start, int end) {
  auto* tokens = static_cast<ExcerptTokens*>(context);
  if ((flags & FTS5_TOKEN_COLOCATED) != 0) return SQLITE_OK;
  if (tokens->position >= tokens->to) {
    tokens->more = true;
    return SQLITE_DONE;  // stops the tokenizer: the excerpt is complete
  }
  if (tokens->position >= tokens->from) tokens->bytes.emplace_back(start, end);
  ++tokens->position;
  return SQLITE_OK;
}

std::string_view TextArgument(sqlite3_value* value) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
  return text == nullptr ? std::string_view() : std::string_view(text, static_cast<std::size_t>(sqlite3_value_bytes(value)));
}

void Excerpt(const Fts5ExtensionApi* api, Fts5Context* fts, sqlite3_context* result, int argCount,
             sqlite3_value** args) {
  if (argCount != 4) {
    sqlite3_result_error(result, "excerpt() takes open, close, ellipsis and words", -1);
    return;
  }
  const std::string_view open = TextArgument(args[0]), close = TextArgument(args[1]), ellipsis = TextArgument(args[2]);
  const int words = std::clamp(sqlite3_value_int(args[3]), 1, 64);

  std::vector<Span> matches;
  int count = 0;
  int rc = api->xInstCount(fts, &count);
  for (int i = 0; i < count && rc == SQLITE_OK; ++i) {
    int phrase = 0, column = 0, offset = 0;
    rc = api->xInst(fts, i, &phrase, &column, &offset);
    if (rc == SQLITE_OK && column == kBodyColumn) {
      matches.push_back({offset, offset + std::max(1, api->xPhraseSize(fts, phrase)) - 1});
    }
  }
  const char* text = nullptr;
  int length = 0;
  if (rc == SQLITE_OK) rc = api->xColumnText(fts, kBodyColumn, &text, &length);
  if (rc != SQLITE_OK) {
    sqlite3_result_error_code(result, rc);
    return;
  }
  std::sort(matches.begin(), matches.end(), [](const Span& a, const Span& b) { return a.first < b.first; });

  // The window of `words` tokens, starting a quarter before a match, that
  // holds the most matches.
  ExcerptTokens tokens;
  std::size_t best = 0, bestCount = 0;
  for (std::size_t i = 0, j = 0; i < matches.size(); ++i) {
    while (j < matches.size() && matches[j].first < matches[i].first + words) ++j;
    if (j - i > bestCount) best = i, bestCount = j - i;
  }
  if (!matches.empty()) tokens.from = std::max(0, matches[best].first - words / 4);
  tokens.to = tokens.from + words;
  rc = api->xTokenize(fts, text, length, &tokens, CollectToken);
  if (rc != SQLITE_OK && rc != SQLITE_DONE) {
    sqlite3_result_error_code(result, rc);
    return;
  }

  const std::string_view body(text, static_cast<std::size_t>(length));
  std::string out;
  if (tokens.bytes.empty()) {
    sqlite3_result_text(result, "", 0, SQLITE_STATIC);
    return;
  }
  // Before the first token: the start of the text, or an ellipsis.
  std::size_t copied = static_cast<std::size_t>(tokens.bytes.front().first);
  if (tokens.from > 0) out += ellipsis;
  else copied = 0;
  std::size_t next = 0;  // the first match not yet opened
  int openUntil = -1;
  for (std::size_t i = 0; i < tokens.bytes.size(); ++i) {
    const int position = tokens.from + static_cast<int>(i);
    const auto [start, end] = tokens.bytes[i];
    out.append(body, copied, static_cast<std::size_t>(start) - copied);
    if (openUntil < position) {
      while (next < matches.size() && matches[next].last < position) ++next;
      if (next < matches.size() && matches[next].first <= position) {
        out += open;
        openUntil = matches[next].last;
        while (++next < matches.size() && matches[next].first <= openUntil) {
          openUntil = std::max(openUntil, matches[next].last);
        }
      }
    }
    out.append(body, static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
    copied = static_cast<std::size_t>(end);
    if (openUntil == position) out += close;
  }
  if (openUntil >= tokens.from + static_cast<int>(tokens.bytes.size())) out += close;
  // After the last token: the rest of the text, or an ellipsis.
  if (tokens.more) out += ellipsis;
  else out.append(body, copied);
  sqlite3_result_text(result, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

// name_keys(text): each line of the text as its tokens (the tokenizer's,
// folded) joined by one space, each key between line breaks:
// "\nkey one\nkey two\n". A line without a token gives no key. The keys of
// a query's name are found in a page's keys with instr().
struct KeyTokens {
  std::string key;
};

int CollectKeyToken(void* context, int flags, const char* token, int length, int, int) {
  if ((flags & FTS5_TOKEN_COLOCATED) != 0) return SQLITE_OK;
  auto* tokens = static_cast<KeyTokens*>(context);
  if (!tokens->key.empty()) tokens->key += ' ';
  tokens->key.append(token, static_cast<std::size_t>(length));
  return SQLITE_OK;
}

void NameKeys(sqlite3_context* result, int /*argCount*/, sqlite3_value** args) {
  if (sqlite3_value_type(args[0]) == SQLITE_NULL) return sqlite3_result_null(result);
  auto* tokenizer = static_cast<Fts5Tokenizer*>(sqlite3_user_data(result));
  const std::string_view text = TextArgument(args[0]);
  std::string keys = "\n";
  for (std::size_t from = 0; from < text.size();) {
    const std::size_t end = std::min(text.find('\n', from), text.size());
    KeyTokens tokens;
    const int rc = Tokenize(tokenizer, &tokens, FTS5_TOKENIZE_QUERY, text.data() + from, static_cast<int>(end - from),
                            CollectKeyToken);
    if (rc != SQLITE_OK) return sqlite3_result_error_code(result, rc);
    if (!tokens.key.empty()) keys += tokens.key + '\n';
    from = end + 1;
  }
  sqlite3_result_text(result, keys.data(), static_cast<int>(keys.size()), SQLITE_TRANSIENT);
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
      api->xCreateFunction(api, "hits", nullptr, Hits, nullptr) != SQLITE_OK ||
      api->xCreateFunction(api, "excerpt", nullptr, Excerpt, nullptr) != SQLITE_OK) {
    RaiseSqlite(db, "Can't register the page-text tokenizer");
  }
  // Its own tokenizer, for the connection's lifetime. Only statements the
  // program prepares may call it, never a kept file's schema.
  Fts5Tokenizer* keyTokenizer = nullptr;
  if (CreateTokenizer(api, nullptr, 0, &keyTokenizer) != SQLITE_OK ||
      sqlite3_create_function_v2(
          db, "name_keys", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_DIRECTONLY, keyTokenizer, NameKeys,
          nullptr, nullptr, [](void* tokenizer) { DeleteTokenizer(static_cast<Fts5Tokenizer*>(tokenizer)); }) !=
          SQLITE_OK) {
    RaiseSqlite(db, "Can't register the page-text tokenizer");
  }
}

}  // namespace tessaly::textindex
