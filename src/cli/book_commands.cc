// info, toc and topics: what a book says of itself, its contents and topics.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/pointer_array.h"
#include "book/book.h"
#include "cli/commands.h"
#include "cli/json_output.h"
#include "cli/output.h"

namespace tessaly::cli {

namespace {

// A line of book text for the terminal (its own tabs separate columns;
// the book's control characters are escaped by the callers' fields).
void PrintLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

std::string Shown(const Book& book, std::string_view text) { return Printable(BookText(book, text)); }

// One fact that `info` reports: its label in the lines, its key in the JSON
// document, and either a text (none when the book lacks it) or a number.
struct InfoFact {
  const char* label;
  const char* key;
  std::optional<std::string> text;
  std::optional<std::int64_t> number;
};

// Both forms of `info` print this list, so they cannot drift apart.
std::vector<InfoFact> InfoFacts(const Book& book) {
  const auto text = [&](const char* label, const char* key, std::string_view value) {
    return InfoFact{label, key, OptionalBookText(book, value), std::nullopt};
  };
  const auto number = [](const char* label, const char* key, std::int64_t value) {
    return InfoFact{label, key, std::nullopt, value};
  };
  return {
      text("title", "title", book.Title()),
      text("default topic", "default_topic", book.DefaultTopic()),
      text("home topic", "home_topic", book.HomeTopic()),
      text("contents file", "contents_file", book.ContentsFileName()),
      text("index file", "index_file", book.IndexFileName()),
      number("language id", "language_id", book.LanguageId()),
      number("code page", "code_page", book.CodePage()),
      text("jump label", "jump_label", book.JumpLabel().value_or("")),
      text("jump target", "jump_target", book.JumpTarget().value_or("")),
      number("topics", "topic_count", book.Topics().Count()),
      number("contents nodes", "contents_node_count", book.Contents().nodeCount),
      number("entries", "directory_entry_count", static_cast<std::int64_t>(book.EntryCount())),
  };
}

}  // namespace

int RunInfo(const Args& args) {
  Book book;
  OpenBook(book, args[0]);
  for (const InfoFact& fact : InfoFacts(book)) {
    std::string value = fact.number ? std::to_string(*fact.number) : fact.text.value_or("");
    PrintLine(std::string(fact.label) + ": " + Printable(value));
  }
  return 0;
}

int RunInfoJson(const Args& args) {
  Book book;
  OpenBook(book, args[0]);
  JsonWriter json(stdout);
  json.BeginObject();
  for (const InfoFact& fact : InfoFacts(book)) {
    json.Key(fact.key);
    if (fact.number) json.Number(*fact.number);
    else if (fact.text) json.String(*fact.text);
    else json.Null();
  }
  json.EndObject();
  PrintDocument(json.Finish());
  return 0;
}

int RunToc(const Args& args) {
  Book book;
  OpenBook(book, args[0]);
  int deepest = 0;
  std::string out;
  ForEachTocNode(book.Contents().root, [&](const TocNode& node, int depth) {
    deepest = std::max(deepest, depth);
    out.append(2 * static_cast<std::size_t>(ShownDepth(depth)), ' ');
    out += Shown(book, node.name) + "\t" + Shown(book, node.local) + "\n";
    if (out.size() >= kFlushBytes) Flush(out);
  });
  Flush(out);
  WarnOfDepth("contents nest", deepest);
  return 0;
}

int RunTocJson(const Args& args) {
  Book book;
  OpenBook(book, args[0]);
  JsonWriter json(stdout);
  json.BeginObject();
  json.Key("entries");
  json.BeginArray();
  JsonTreeNester tree(json);
  int deepest = 0;
  ForEachTocNode(book.Contents().root, [&](const TocNode& node, int depth) {
    deepest = std::max(deepest, depth);
    tree.Enter(ShownDepth(depth));
    json.Key("name");
    WriteBookText(json, book, node.name);
    json.Key("path");
    WriteBookText(json, book, node.local);
    tree.OpenChildren();
  });
  tree.Finish();
  json.EndArray();
  json.EndObject();
  PrintDocument(json.Finish());
  WarnOfDepth("contents nest", deepest);
  return 0;
}

int RunTopics(const Args& args) {
  Book book;
  OpenBook(book, args[0]);
  const TopicTable& topics = book.Topics();
  for (std::int32_t n = 0; n < topics.Count(); ++n)
    PrintLine(std::to_string(n) + "\t" + Shown(book, topics.Title(n)) + "\t" +
              Shown(book, topics.Path(n).value_or("")));
  return 0;
}

int RunTopicsJson(const Args& args) {
  Book book;
  OpenBook(book, args[0]);
  JsonWriter json(stdout);
  json.BeginObject();
  json.Key("topics");
  json.BeginArray();
  for (std::int32_t n = 0; n < book.Topics().Count(); ++n) WriteTopic(json, book, static_cast<std::uint32_t>(n));
  json.EndArray();
  json.EndObject();
  PrintDocument(json.Finish());
  return 0;
}

}  // namespace tessaly::cli
