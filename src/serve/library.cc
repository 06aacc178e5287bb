// The server's answers: the shelf, each book's page (contents, keyword
// index, search) and the books' objects, with the checks every request
// target passes first.
#include <list>
#include <variant>
#include <map>
#include <unordered_map>

#include "base/book_error.h"
#include "base/text.h"
#include "book/book.h"
#include "convert/convert.h"
#include "serve/serve.h"
#include "textindex/text_index.h"

namespace tessaly::serve {

namespace {

using convert::EscapeMarkup;

// Where the search marks its words in a snippet: two private-use characters
// that escaping keeps, replaced by <b> and </b> after it.
constexpr std::string_view kMarkOpen = "\xEE\x80\x80";
constexpr std::string_view kMarkClose = "\xEE\x80\x81";

// Percent-decodes text; none for a malformed escape. With `path`, an escaped
// separator or NUL is malformed too: it would name another path than the one
// its segments spell.
std::optional<std::string> Decoded(std::string_view text, bool path) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+' && !path) c = ' ';
    if (c == '%') {
      const int byte = PercentEscapeAt(text, i);
      if (byte < 0) return std::nullopt;
      c = static_cast<char>(byte);
      if (path && (c == '/' || c == '\\' || c == '\0')) return std::nullopt;
      i += 2;
    }
    out += c;
  }
  return out;
}

// The value of one query parameter, decoded.
std::optional<std::string> QueryValue(std::string_view query, std::string_view name) {
  while (!query.empty()) {
    const std::size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    if (pair.substr(0, pair.find('=')) == name && pair.find('=') != std::string_view::npos)
      return Decoded(pair.substr(pair.find('=') + 1), false);
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
  return std::nullopt;
}

Response Error(int status, std::string_view message) {
  return {status, "text/plain; charset=utf-8", std::string(message) + "\n"};
}

std::string Page(std::string_view title, std::string_view body) {
  return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + EscapeMarkup(title) +
         "</title></head><body>\n" + std::string(body) + "\n</body></html>\n";
}

}  // namespace

struct Library::Parts {
  struct Shelf {
    const Book* book;
    std::string name;
    std::unique_ptr<convert::BookSite> site;
    std::optional<textindex::TextIndex> index;
    std::string indexError;
  };
  std::vector<Shelf> books;
  const TextConverter& converter;
  textindex::IndexCache indexes;
  // Prepared objects by target, newest first, at most kCacheBytes.
  std::list<std::pair<std::string, Response>> cache;
  std::unordered_map<std::string, std::list<std::pair<std::string, Response>>::iterator> cached;
  std::size_t cachedBytes = 0;

  Parts(const TextConverter& c, std::optional<std::string> folder)
      : converter(c), indexes(folder ? std::optional<std::filesystem::path>(*folder) : std::nullopt) {}

  Response ShelfPage() const {
    std::string list = "<ul>";
    for (std::size_t i = 0; i < books.size(); ++i) {
      list += "<li><a href=\"" + std::to_string(i + 1) + "/\">" + EscapeMarkup(books[i].site->Title()) + "</a> (" +
              EscapeMarkup(books[i].name) + ")</li>";
    }
    return {200, "text/html; charset=utf-8", Page("Books", "<h1>Books</h1>\n" + list + "</ul>")};
  }

  Response BookPage(Shelf& shelf, const std::optional<std::string>& query) {
    const std::string title = shelf.site->Title();
    std::string body = "<h1>" + EscapeMarkup(title) + "</h1>\n<form method=\"get\" action=\"./\"><input name=\"q\" value=\"" +
                       EscapeMarkup(query.value_or("")) + "\"> <button>Search</button></form>\n";
    if (query && !query->empty()) {
      body += "<h2>Search</h2>\n" + Results(shelf, *query);
    }
    if (const std::string contents = shelf.site->ContentsList(); !contents.empty())
      body += "<h2>Contents</h2>\n" + contents + "\n";
    if (const std::string keywords = shelf.site->KeywordList(); !keywords.empty())
      body += "<h2>Index</h2>\n" + keywords + "\n";
    return {200, "text/html; charset=utf-8", Page(title, body)};
  }

  std::string Results(Shelf& shelf, const std::string& query) {
    if (!shelf.index && shelf.indexError.empty()) {
      try {
        shelf.index.emplace(std::move(indexes.Open(*shelf.book, converter).index));
      } catch (const std::exception& error) {
        shelf.indexError = error.what();
      }
    }
    if (!shelf.index) return "<p>" + EscapeMarkup("The page text cannot be searched: " + shelf.indexError) + "</p>";
    textindex::SearchOptions options;
    options.markOpen = std::string(kMarkOpen);
    options.markClose = std::string(kMarkClose);
    options.limit = 200;
    std::vector<textindex::TextHit> hits;
    try {
      hits = shelf.index->Search(query, options);
    } catch (const std::exception& error) {
      return "<p>" + EscapeMarkup(error.what()) + "</p>";
    }
    std::string list = "<p>" + std::to_string(hits.size()) + " pages</p>\n<ol>";
    for (const textindex::TextHit& hit : hits) {
      std::string snippet = EscapeMarkup(hit.snippet);
      for (std::size_t at; (at = snippet.find(kMarkOpen)) != std::string::npos;) snippet.replace(at, kMarkOpen.size(), "<b>");
      for (std::size_t at; (at = snippet.find(kMarkClose)) != std::string::npos;) snippet.replace(at, kMarkClose.size(), "</b>");
      list += "<li><a href=\"" + EscapeMarkup(convert::BookSite::Link(hit.path)) + "\">" + EscapeMarkup(hit.title) + "</a><br>" + snippet + "</li>";
    }
    return list + "</ol>";
  }

  Response ObjectOf(Shelf& shelf, const std::string& target, const std::string& path) {
    if (const auto found = cached.find(target); found != cached.end()) {
      cache.splice(cache.begin(), cache, found->second);
      return found->second->second;
    }
    Response response;
    try {
      std::optional<convert::BookSite::Object> object = shelf.site->Read(path);
      if (!object) return Error(404, "Not in the book: " + path);
      if (object->bytes.size() > kMaxObject) return Error(413, "Too large to serve: " + path);
      response = {200, std::move(object->contentType), std::move(object->bytes)};
    } catch (const BookError& error) {
      return Error(500, "The book cannot give " + path + ": " + error.Message());
    }
    Keep(target, response);
    return response;
  }

  void Keep(const std::string& target, const Response& response) {
    if (response.body.size() > kCacheBytes / 4) return;
    cache.emplace_front(target, response);
    cached[target] = cache.begin();
    cachedBytes += response.body.size() + target.size();
    while (cachedBytes > kCacheBytes && !cache.empty()) {
      cachedBytes -= cache.back().second.body.size() + cache.back().first.size();
      cached.erase(cache.back().first);
      cache.pop_back();
    }
  }
};

Library::Library(const std::vector<const Book*>& books, const std::vector<std::string>& names,
                 const TextConverter& converter, std::optional<std::string> indexFolder)
    : parts_(std::make_unique<Parts>(converter, std::move(indexFolder))) {
  for (std::size_t i = 0; i < books.size(); ++i) {
    parts_->books.push_back({books[i], names[i], std::make_unique<convert::BookSite>(*books[i], converter), {}, {}});
  }
}

Library::~Library() = default;

namespace {

// The target's path split into decoded segments, or the refusal.
std::variant<std::vector<std::string>, Response> Segments(std::string_view target) {
  if (target.size() > kMaxTarget) return Error(414, "The address is too long.");
  const std::string_view rawPath = target.substr(0, target.find('?'));
  if (!rawPath.starts_with('/')) return Error(400, "The address must start with '/'.");
  // Segment by segment, before anything is decoded.
  std::vector<std::string> segments;
  for (std::size_t at = 1; at <= rawPath.size();) {
    const std::size_t slash = std::min(rawPath.find('/', at), rawPath.size());
    const std::optional<std::string> segment = Decoded(rawPath.substr(at, slash - at), true);
    if (!segment) return Error(400, "The address holds an escaped separator or a malformed escape.");
    if (*segment == "." || *segment == "..") return Error(400, "The address holds a '.' or '..' segment.");
    segments.push_back(*segment);
    at = slash + 1;
  }
  return segments;
}

}  // namespace

Response Library::Check(const std::string& target) const {
  auto segments = Segments(target);
  if (auto* refusal = std::get_if<Response>(&segments)) return *refusal;
  return {};
}

Response Library::Answer(const std::string& target) {
  auto checked = Segments(target);
  if (auto* refusal = std::get_if<Response>(&checked)) return *refusal;
  const std::vector<std::string>& segments = std::get<std::vector<std::string>>(checked);
  const std::size_t question = target.find('?');
  const std::string_view rawPath = std::string_view(target).substr(0, question);
  const std::string_view query = question == std::string::npos ? std::string_view() : std::string_view(target).substr(question + 1);
  if (segments.empty() || (segments.size() == 1 && segments[0].empty())) return parts_->ShelfPage();
  std::size_t number = 0;
  for (char c : segments[0]) {
    if (c < '0' || c > '9' || number > parts_->books.size()) return Error(404, "No such book.");
    number = number * 10 + static_cast<std::size_t>(c - '0');
  }
  if (number == 0 || number > parts_->books.size()) return Error(404, "No such book.");
  Parts::Shelf& shelf = parts_->books[number - 1];
  if (segments.size() == 1) return {301, "text/plain", ""};  // "/N" -> "/N/": the caller adds Location
  if (segments.size() == 2 && segments[1].empty()) return parts_->BookPage(shelf, QueryValue(query, "q"));
  std::string path;
  for (std::size_t i = 1; i < segments.size(); ++i) path += (i > 1 ? "/" : "") + segments[i];
  return parts_->ObjectOf(shelf, std::string(rawPath), path);
}

}  // namespace tessaly::serve
