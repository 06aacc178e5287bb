// library, search --text --library and lookup: the user's library of books
// (kept with the user's data), search across all of its books, and keyword
// lookup as an editor's F1 asks it.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "cli/commands.h"
#include "cli/json_output.h"
#include "cli/output.h"
#include "library/library.h"

namespace tessaly::cli {

namespace {

using library::Library;
using library::LibraryError;
using library::LibraryHit;
using library::LibraryResults;
using library::Topic;

std::string Field(std::string text) {
  for (char& c : text) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  return Printable(text);
}

// BOOK.chm::/page, as the reader opens it.
std::string Address(const std::string& book, const std::string& page) { return book + "::/" + page; }

void Say(const std::string& text) { std::fprintf(stderr, "tessaly-cli: %s\n", Printable(text).c_str()); }

// The user's library, with what its store had to say.
Library OpenLibrary() {
  Library library = Library::OpenDefault();
  if (!library.Note().empty()) Say(library.Note());
  return library;
}

// Progress on a terminal: one line, rewritten.
library::WorkControl Control(const char* doing) {
  library::WorkControl control;
  if (isatty(STDERR_FILENO)) {
    control.progress = [doing](const library::Progress& p) {
      std::fprintf(stderr, "\r%s %zu of %zu\x1b[K%s", doing, p.done, p.total, p.done == p.total ? "\n" : "");
    };
  }
  return control;
}

// Builds the indexes still missing; says what could not be indexed.
void IndexPending(Library& library) {
  for (const std::string& problem : library.IndexPending(Converter(), Control("indexing")).problems) Say(problem);
}

// The library's books looked at again and indexed, before a search.
void Refresh(Library& library) {
  library.Rescan(Converter(), Control("reading"));
  IndexPending(library);
}

// Runs a command on the library; a failure of the store is reported, status 1.
int Guarded(const std::function<int()>& command) {
  try {
    return command();
  } catch (const LibraryError& error) {
    Say(error.what());
  } catch (const textindex::QueryError& error) {
    Say(error.what());
    return 2;
  } catch (const textindex::TextIndexError& error) {
    Say(error.what());
  }
  return 1;
}

void WriteBooks(JsonWriter& json, const Library& library) {
  json.Key("books");
  json.BeginArray();
  for (const library::LibraryBook& book : library.Books()) {
    json.BeginObject();
    json.Key("title");
    json.String(book.title);
    json.Key("language_id");
    json.Number(book.languageId);
    json.Key("size");
    json.Number(static_cast<std::int64_t>(book.size));
    json.Key("path");
    json.String(book.path);
    json.Key("folder");
    json.OptionalString(book.folder.empty() ? std::nullopt : std::optional<std::string_view>(book.folder));
    json.Key("state");
    json.String(library::StateName(book.state));
    json.Key("reason");
    json.OptionalString(book.reason.empty() ? std::nullopt : std::optional<std::string_view>(book.reason));
    json.EndObject();
  }
  json.EndArray();
}

void WritePaths(JsonWriter& json, const char* key, const std::vector<std::string>& paths) {
  json.Key(key);
  json.BeginArray();
  for (const std::string& path : paths) json.String(path);
  json.EndArray();
}

int LibraryCommand(const Args& args, bool asJson) {
  const std::string& verb = args[0];
  const bool list = verb == "list";
  if (list ? args.size() != 1 : (verb != "add" && verb != "remove") || args.size() != 2) {
    std::fprintf(stderr, "Usage: tessaly-cli library [--json] list | add DIR|BOOK | remove DIR|BOOK\n");
    return 2;
  }
  return Guarded([&] {
    Library library = OpenLibrary();
    JsonWriter json(stdout);
    std::string out;
    if (asJson) json.BeginObject();
    if (list) {
      if (asJson) {
        WritePaths(json, "folders", library.Folders());
        WriteBooks(json, library);
      }
      for (const library::LibraryBook& book : asJson ? std::vector<library::LibraryBook>() : library.Books()) {
        const std::string state(library::StateName(book.state));
        out += Field(book.title) + "\t" + std::to_string(book.languageId) + "\t" + std::to_string(book.size) + "\t" +
               Field(book.path) + "\t" + (book.reason.empty() ? state : state + ": " + Field(book.reason)) + "\n";
      }
    } else if (verb == "add") {
      const library::RescanResult found = library.Add(args[1], Converter(), Control("reading"));
      const library::IndexSummary indexed = library.IndexPending(Converter(), Control("indexing"));
      for (const std::string& problem : indexed.problems) Say(problem);
      if (asJson) {
        WritePaths(json, "added", found.added);
        WritePaths(json, "changed", found.changed);
        WritePaths(json, "removed", found.removed);
        json.Key("unchanged");
        json.Number(static_cast<std::int64_t>(found.unchanged));
        json.Key("indexed");
        json.Number(static_cast<std::int64_t>(indexed.built + indexed.reused));
        WritePaths(json, "problems", indexed.problems);
      }
      for (const auto& [word, paths] : {std::pair{"added", &found.added}, {"changed", &found.changed},
                                        {"removed", &found.removed}}) {
        for (const std::string& path : asJson ? std::vector<std::string>() : *paths) {
          out += std::string(word) + "\t" + Field(path) + "\n";
        }
      }
    } else if (!library.Remove(args[1])) {
      Say(args[1] + " is neither a folder nor a book of the library.");
      return 1;
    } else if (asJson) {
      json.Key("removed");
      json.String(library::LibraryPath(args[1]));
    }
    if (asJson) {
      json.EndObject();
      PrintDocument(json.Finish());
    }
    Flush(out);
    return 0;
  });
}

void WritePage(JsonWriter& json, const LibraryHit& hit) {
  json.BeginObject();
  json.Key("book");
  json.String(hit.book);
  json.Key("book_title");
  json.String(hit.bookTitle);
  json.Key("title");
  json.String(hit.title);
  json.Key("path");
  json.String(hit.path);
  json.Key("hits");
  json.Number(hit.hits);
  json.Key("snippet");
  json.String(hit.snippet);
  json.Key("keyword");
  json.Bool(hit.keyword);
  json.EndObject();
}

std::string PageLine(const LibraryHit& hit) {
  return Field(hit.bookTitle) + "\t" + Field(hit.title) + "\t" + Field(Address(hit.book, hit.path)) + "\t" +
         std::to_string(hit.hits) + "\t" + Field(hit.snippet) + "\n";
}

textindex::SearchOptions Marked() {
  textindex::SearchOptions options;
  options.markOpen = options.markClose = "**";
  options.limit = 100;
  return options;
}

void SayProblems(const LibraryResults& results) {
  for (const std::string& problem : results.problems) Say(problem + " (it will be indexed again)");
}

int SearchLibrary(const Args& args, bool asJson) {
  return Guarded([&] {
    Library library = OpenLibrary();
    Refresh(library);
    const LibraryResults results = library.OpenSearch().Search(args[0], Marked());
    SayProblems(results);
    if (!asJson) {
      std::string out;
      for (const LibraryHit& hit : results.pages) out += PageLine(hit);
      Flush(out);
      return 0;
    }
    JsonWriter json(stdout);
    json.BeginObject();
    json.Key("query");
    json.String(args[0]);
    json.Key("book_filter");
    json.OptionalString(results.bookFilter.empty() ? std::nullopt
                                                   : std::optional<std::string_view>(results.bookFilter));
    json.Key("pages");
    json.BeginArray();
    for (const LibraryHit& hit : results.pages) WritePage(json, hit);
    json.EndArray();
    json.EndObject();
    PrintDocument(json.Finish());
    return 0;
  });
}

int Lookup(const Args& args, bool asJson) {
  return Guarded([&] {
    Library library = OpenLibrary();
    const std::string book = args.size() > 1 ? args[1] : std::string();
    // A book named by its file joins the library, as a book opened in the reader does.
    std::error_code error;
    if (!book.empty() && std::filesystem::is_regular_file(book, error)) library.Add(book, Converter());
    Refresh(library);
    const std::vector<Topic> topics = library.Lookup(args[0], book);
    LibraryResults fallback;
    if (topics.empty()) {
      fallback = library.OpenSearch().Search(args[0], Marked(), book);
      SayProblems(fallback);
      if (!asJson) Say("no keyword '" + args[0] + "'; pages that hold it:");
    }
    if (!asJson) {
      std::string out;
      for (const Topic& topic : topics) {
        out += Field(topic.bookTitle) + "\t" + Field(topic.keyword) + "\t" + Field(topic.name) + "\t" +
               Field(Address(topic.book, topic.path)) + "\n";
      }
      for (const LibraryHit& hit : fallback.pages) out += PageLine(hit);
      Flush(out);
      return 0;
    }
    JsonWriter json(stdout);
    json.BeginObject();
    json.Key("word");
    json.String(args[0]);
    json.Key("book");
    json.OptionalString(book.empty() ? std::nullopt : std::optional<std::string_view>(book));
    json.Key("topics");
    json.BeginArray();
    for (const Topic& topic : topics) {
      json.BeginObject();
      json.Key("book");
      json.String(topic.book);
      json.Key("book_title");
      json.String(topic.bookTitle);
      json.Key("keyword");
      json.String(topic.keyword);
      json.Key("name");
      json.OptionalString(topic.name.empty() ? std::nullopt : std::optional<std::string_view>(topic.name));
      json.Key("path");
      json.String(topic.path);
      json.EndObject();
    }
    json.EndArray();
    json.Key("pages");
    json.BeginArray();
    for (const LibraryHit& hit : fallback.pages) WritePage(json, hit);
    json.EndArray();
    json.EndObject();
    PrintDocument(json.Finish());
    return 0;
  });
}

}  // namespace

int RunLibrary(const Args& args) { return LibraryCommand(args, false); }
int RunLibraryJson(const Args& args) { return LibraryCommand(args, true); }
int RunSearchLibrary(const Args& args) { return SearchLibrary(args, false); }
int RunSearchLibraryJson(const Args& args) { return SearchLibrary(args, true); }
int RunLookup(const Args& args) { return Lookup(args, false); }
int RunLookupJson(const Args& args) { return Lookup(args, true); }

}  // namespace tessaly::cli
