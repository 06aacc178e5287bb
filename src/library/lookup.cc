#include "library/library.h"

#include <set>

#include "base/text.h"
#include "library/book_filter.h"
#include "library/keywords.h"

namespace tessaly::library {

std::vector<Topic> Library::Lookup(std::string_view word, std::string_view book) const {
  std::vector<Topic> topics;
  try {
    textindex::Statement rows(store_->Db(),
                              "SELECT b.sha256, b.path, b.title, k.keyword, k.name, k.path FROM keywords k"
                              " JOIN books b ON b.sha256 = k.sha256 WHERE k.folded = ?1 AND b.state = 0"
                              " ORDER BY b.title, b.path, k.rowid");
    rows.Bind(1, FoldKeyword(word));
    std::set<std::pair<std::string, std::string>> seen;  // content and page, each topic once
    while (rows.Step()) {
      const std::string_view bookPath = rows.Text(1), title = rows.Text(2);
      if (!NamesBook(book, title, bookPath)) continue;
      std::string page(rows.Text(5));
      std::string key = page.substr(0, page.find('#'));
      LowerCaseInPlace(key);
      if (!seen.emplace(rows.Text(0), std::move(key)).second) continue;
      topics.push_back({std::string(bookPath), std::string(title), std::string(rows.Text(3)), std::string(rows.Text(4)),
                        std::move(page)});
    }
  } catch (const textindex::TextIndexError& error) {
    store_->Fail(error);
  }
  return topics;
}

}  // namespace tessaly::library
