// index: the book's keyword index as the reader lists it.
#include <algorithm>
#include <cstdio>
#include <string>

#include "book/book.h"
#include "cli/commands.h"
#include "cli/json_output.h"
#include "cli/output.h"

namespace tessaly::cli {

// One line per keyword, indented two spaces per depth (top level sorted,
// sub-keywords in document order), then one line per target, two spaces
// deeper: its name, a tab and its path.
int RunIndex(const Args& args) {
  Book book;
  OpenBook(book, args[0]);
  book.BuildKeywordIndex();

  std::string out;
  int deepest = 0;
  ForEachIndexEntry(book.KeywordIndex(), [&](const IndexEntry& entry, int depth) {
    deepest = std::max(deepest, depth);
    const std::string indent(2 * static_cast<std::size_t>(ShownDepth(depth)), ' ');
    out += indent;
    out += Printable(BookText(book, entry.name));
    out += '\n';
    for (const IndexTarget* target : entry.targets) {
      if (target == nullptr) continue;
      out += indent;
      out += "  ";
      out += Printable(BookText(book, target->name));
      out += '\t';
      out += Printable(BookText(book, target->local));
      out += '\n';
    }
    if (out.size() >= kFlushBytes) Flush(out);
  });
  Flush(out);
  WarnOfDepth("keyword index nests", deepest);
  return 0;
}

// The same keywords as a tree: each has its text, its targets and its
// sub-keywords under "children".
int RunIndexJson(const Args& args) {
  Book book;
  OpenBook(book, args[0]);
  book.BuildKeywordIndex();

  JsonWriter json(stdout);
  json.BeginObject();
  json.Key("keywords");
  json.BeginArray();
  JsonTreeNester tree(json);
  int deepest = 0;
  ForEachIndexEntry(book.KeywordIndex(), [&](const IndexEntry& entry, int depth) {
    deepest = std::max(deepest, depth);
    tree.Enter(ShownDepth(depth));
    json.Key("keyword");
    json.String(BookText(book, entry.name));
    json.Key("targets");
    json.BeginArray();
    for (const IndexTarget* target : entry.targets) {
      if (target == nullptr) continue;
      json.BeginObject();
      json.Key("name");
      WriteBookText(json, book, target->name);
      json.Key("path");
      WriteBookText(json, book, target->local);
      json.EndObject();
    }
    json.EndArray();
    tree.OpenChildren();
  });
  tree.Finish();
  json.EndArray();
  json.EndObject();
  PrintDocument(json.Finish());
  WarnOfDepth("keyword index nests", deepest);
  return 0;
}

}  // namespace tessaly::cli
