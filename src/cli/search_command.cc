// search: one word looked up in the book's full-text index, as the reader's Search panel does.
#include <cstdio>
#include <optional>
#include <string>

#include "base/pointer_array.h"
#include "book/book.h"
#include "cli/commands.h"
#include "cli/json_output.h"
#include "cli/output.h"

namespace tessaly::cli {

namespace {

// A book's title may hold tabs or line breaks; they would split the columns and the lines.
void AppendField(std::string& out, std::string text) {
  for (char& c : text) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  out += Printable(text);
}

// Opens the book and looks the word up; both forms print these results. A
// book whose index is there but empty finds nothing, with a note.
PointerArray<SearchResult> Find(Book& book, const Args& args) {
  OpenBook(book, args[0]);
  book.LoadFullTextIndex();
  if (book.FullTextIndexEmpty()) {
    std::fprintf(stderr, "tessaly-cli: %s has an empty full-text index.\n", args[0].c_str());
  }
  // The index holds its words in the book's code page, as the reader's
  // Search panel looks them up.
  const std::optional<std::string> word = TextInBook(book, args[1]);
  if (!word) {
    std::fprintf(stderr, "tessaly-cli: %s cannot be written in the book's code page %d: looked up as typed.\n",
                 args[1].c_str(), book.CodePage());
  }
  return book.Search(word.value_or(args[1]));
}

}  // namespace

// One line per topic found, in the reader's order (by title): the topic number, its title and its path,
// separated by tabs. Nothing is printed when the word is not found; that is no failure.
int RunSearch(const Args& args) {
  Book book;
  const PointerArray<SearchResult> results = Find(book, args);
  const TopicTable& topics = book.Topics();
  std::string out;
  for (const SearchResult* result : results) {
    if (result == nullptr) continue;
    const auto topic = static_cast<std::int32_t>(result->topic);
    out += std::to_string(result->topic);
    out += '\t';
    AppendField(out, BookText(book, topics.Title(topic)));
    out += '\t';
    const std::optional<std::string_view> path = topics.Path(topic);
    if (path) AppendField(out, BookText(book, *path));
    out += '\n';
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

// The word as given and the topics found, in the same order.
int RunSearchJson(const Args& args) {
  Book book;
  const PointerArray<SearchResult> results = Find(book, args);
  JsonWriter json(stdout);
  json.BeginObject();
  json.Key("word");
  json.String(args[1]);
  json.Key("topics");
  json.BeginArray();
  for (const SearchResult* result : results) {
    if (result != nullptr) WriteTopic(json, book, result->topic);
  }
  json.EndArray();
  json.EndObject();
  PrintDocument(json.Finish());
  return 0;
}

}  // namespace tessaly::cli
