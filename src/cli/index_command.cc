// index: the book's keyword index as the reader lists it.
#include <cstdio>
#include <string>

#include "book/book.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "helpdata/keyword_index.h"

namespace tessaly::cli {

// One line per keyword, indented two spaces per depth (top level sorted,
// sub-keywords in document order), then one line per target, two spaces
// deeper: its name, a tab and its path.
int RunIndex(const Args& args) {
  Book book;
  OpenBook(book, args[0]);
  book.BuildKeywordIndex();

  std::string out;
  ForEachIndexEntry(book.KeywordIndex(), [&](const IndexEntry& entry, int depth) {
    const std::string indent(2 * static_cast<std::size_t>(depth), ' ');
    out += indent;
    out += BookText(book, entry.name);
    out += '\n';
    for (const IndexTarget* target : entry.targets) {
      if (target == nullptr) continue;
      out += indent;
      out += "  ";
      out += BookText(book, target->name);
      out += '\t';
      out += BookText(book, target->local);
      out += '\n';
    }
  });
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

}  // namespace tessaly::cli
