// text and search --text: a book's pages as plain text, and ranked search
// over that text through the page-text index (kept with the user's data).
#include <cstdio>
#include <functional>
#include <string>

#include "book/book.h"
#include "cli/commands.h"
#include "cli/json_output.h"
#include "cli/output.h"
#include "cli/shelf.h"
#include "textindex/text_index.h"

namespace tessaly::cli {

namespace {

using textindex::BookPage;
using textindex::TextHit;

// Tabs and line breaks would split the columns and the lines.
std::string Field(std::string text) {
  for (char& c : text) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  return Printable(text);
}

// Each book's pages, formatted by `format`, one book per core, written in
// the order the books were named. A single book is written as it is read,
// so that its text is never held whole.
int ForEachBookText(const Args& books,
                    const std::function<void(std::string&, const std::string&, const BookPage&)>& format) {
  constexpr std::size_t kFlushBytes = 1 << 20;
  const bool streaming = books.size() == 1;
  return ForEachBook(books.size(), ShelfThreads(books.size()), [&](std::size_t i) {
    BookOutcome outcome;
    Book book;
    OpenBook(book, books[i]);
    const textindex::PagesRead read =
        textindex::ForEachBookPage(book, Converter(), {}, [&](const BookPage& page) {
          format(outcome.out, books[i], page);
          if (streaming && outcome.out.size() >= kFlushBytes) {
            std::fwrite(outcome.out.data(), 1, outcome.out.size(), stdout);
            outcome.out.clear();
          }
        });
    if (read.unreadable > 0) {
      outcome.err += "tessaly-cli: " + std::to_string(read.unreadable) + " pages of " + books[i] +
                     " could not be read.\n";
    }
    if (read.budgetSpent) {
      outcome.err += "tessaly-cli: " + books[i] + ": the text stops after " + std::to_string(read.pages) +
                     " pages: more would pass " + std::to_string(read.budget >> 20) +
                     " MiB, the most that the book's size allows.\n";
      outcome.status = 1;
    }
    return outcome;
  });
}

// The hits, or none after a message (status in *status) when the query
// cannot be read or the index cannot be had. An index that the search finds
// damaged is built again once.
std::optional<std::vector<TextHit>> Find(const Args& args, int* status) {
  Book book;
  OpenBook(book, args[0]);
  try {
    const textindex::ParsedQuery query = textindex::ParseQuery(args[1]);
    const textindex::IndexCache cache(textindex::DefaultIndexFolder());
    textindex::CachedIndex opened = cache.Open(book, Converter());
    if (!opened.note.empty()) std::fprintf(stderr, "tessaly-cli: %s\n", opened.note.c_str());
    textindex::SearchOptions options;
    options.markOpen = options.markClose = "**";
    try {
      return opened.index.Search(query, options);
    } catch (const textindex::TextIndexError& error) {
      if (error.kind() != textindex::TextIndexError::Kind::kDamaged) throw;
      std::fprintf(stderr, "tessaly-cli: %s: rebuilt\n", error.what());
    }
    return cache.Rebuild(book, Converter()).index.Search(query, options);
  } catch (const textindex::QueryError& error) {
    std::fprintf(stderr, "tessaly-cli: %s\n", error.what());
    *status = 2;
  } catch (const textindex::TextIndexError& error) {
    std::fprintf(stderr, "tessaly-cli: %s\n", error.what());
    *status = 1;
  }
  return std::nullopt;
}

}  // namespace

// Per page a line "=== TITLE<tab>PATH", its text, and an empty line.
int RunText(const Args& args) {
  return ForEachBookText(args, [](std::string& out, const std::string&, const BookPage& page) {
    out += "=== " + Field(page.title) + "\t" + Field(page.path) + "\n";
    out += Printable(page.text, true);
    out += page.text.empty() ? "\n" : "\n\n";
  });
}

// One JSON object per page and line: the book as it was named, the page's
// title, path and text.
int RunTextJsonl(const Args& args) {
  return ForEachBookText(args, [](std::string& out, const std::string& book, const BookPage& page) {
    out += "{\"book\": ";
    AppendJsonString(out, book);
    out += ", \"title\": ";
    AppendJsonString(out, page.title);
    out += ", \"path\": ";
    AppendJsonString(out, page.path);
    out += ", \"text\": ";
    AppendJsonString(out, page.text);
    out += "}\n";
  });
}

// One line per page found, best first: title, path, hits and snippet,
// separated by tabs. Nothing is printed when nothing is found.
int RunSearchText(const Args& args) {
  int status = 0;
  const std::optional<std::vector<TextHit>> hits = Find(args, &status);
  if (!hits) return status;
  std::string out;
  for (const TextHit& hit : *hits) {
    out += Field(hit.title) + "\t" + Field(hit.path) + "\t" + std::to_string(hit.hits) + "\t" + Field(hit.snippet) +
           "\n";
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

int RunSearchTextJson(const Args& args) {
  int status = 0;
  const std::optional<std::vector<TextHit>> hits = Find(args, &status);
  if (!hits) return status;
  JsonWriter json(stdout);
  json.BeginObject();
  json.Key("query");
  json.String(args[1]);
  json.Key("pages");
  json.BeginArray();
  for (const TextHit& hit : *hits) {
    json.BeginObject();
    json.Key("title");
    json.String(hit.title);
    json.Key("path");
    json.String(hit.path);
    json.Key("hits");
    json.Number(hit.hits);
    json.Key("snippet");
    json.String(hit.snippet);
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
  PrintDocument(json.Finish());
  return 0;
}

}  // namespace tessaly::cli
