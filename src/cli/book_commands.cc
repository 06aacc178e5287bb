// info, toc and topics: what a book says of itself, its contents and topics.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "base/pointer_array.h"
#include "book/book.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "helpdata/contents_tree.h"
#include "helpdata/topic_table.h"

namespace tessaly::cli {

namespace {

void PrintLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

}  // namespace

int RunInfo(const Args& args) {
  Book book;
  OpenBook(book, args[0]);
  auto field = [&](const char* key, std::string_view value) { PrintLine(std::string(key) + ": " + BookText(book, value)); };
  field("title", book.Title());
  field("default topic", book.DefaultTopic());
  field("home topic", book.HomeTopic());
  field("contents file", book.ContentsFileName());
  field("index file", book.IndexFileName());
  field("language id", std::to_string(book.LanguageId()));
  field("code page", std::to_string(book.CodePage()));
  field("jump label", book.JumpLabel().value_or(""));
  field("jump target", book.JumpTarget().value_or(""));
  field("topics", std::to_string(book.Topics().Count()));
  field("contents nodes", std::to_string(book.Contents().nodeCount));
  field("entries", std::to_string(book.File().entries.size()));
  return 0;
}

int RunToc(const Args& args) {
  Book book;
  OpenBook(book, args[0]);
  // Document order with an explicit stack: contents may nest deeply.
  std::vector<std::pair<const TocNode*, int>> stack;
  const TocNode& root = book.Contents().root;
  for (int i = root.children.Count() - 1; i >= 0; --i) stack.emplace_back(root.children.Get(i), 0);
  while (!stack.empty()) {
    auto [node, depth] = stack.back();
    stack.pop_back();
    PrintLine(std::string(2 * static_cast<std::size_t>(depth), ' ') + BookText(book, node->name) + "\t" +
              BookText(book, node->local));
    for (int i = node->children.Count() - 1; i >= 0; --i) stack.emplace_back(node->children.Get(i), depth + 1);
  }
  return 0;
}

int RunTopics(const Args& args) {
  Book book;
  OpenBook(book, args[0]);
  const TopicTable& topics = book.Topics();
  for (std::int32_t n = 0; n < topics.Count(); ++n)
    PrintLine(std::to_string(n) + "\t" + BookText(book, topics.Title(n)) + "\t" +
              BookText(book, topics.Path(n).value_or("")));
  return 0;
}

}  // namespace tessaly::cli
