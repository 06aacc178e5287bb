#include "library/keywords.h"

#include "base/book_error.h"
#include "base/book_path.h"
#include "base/text.h"
#include "book/book.h"
#include "library/book_facts.h"

namespace tessaly::library {

std::string FoldKeyword(std::string_view word) {
  const std::size_t first = word.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const std::size_t last = word.find_last_not_of(" \t\r\n");
  std::string folded(word.substr(first, last - first + 1));
  LowerCaseInPlace(folded);
  return folded;
}

std::vector<KeywordRow> ReadKeywords(const Book& book, const TextConverter& converter) {
  try {
    book.BuildKeywordIndex();
  } catch (const BookError&) {
    // No index, or a damaged one: what was read before the failure stays.
  }
  const int codePage = book.CodePage();
  std::vector<KeywordRow> rows;
  std::vector<std::string> names;  // the names of the entries above, by depth
  ForEachIndexEntry(book.KeywordIndex(), [&](const IndexEntry& entry, int depth) {
    names.resize(static_cast<std::size_t>(depth) + 1);
    names.back() = Utf8(converter, entry.name, codePage);
    if (rows.size() >= kMaxKeywordRows) return;
    const std::string keyword = depth > 0 ? names[names.size() - 2] + ", " + names.back() : names.back();
    const std::string folded = FoldKeyword(names.back());
    if (folded.empty()) return;
    for (const IndexTarget* target : entry.targets) {
      if (target == nullptr || rows.size() >= kMaxKeywordRows) continue;
      std::string path = target->local.substr(0, kMaxBookPath);
      NormalizeBookPath(path);
      if (path.empty()) continue;
      rows.push_back({folded, keyword, Utf8(converter, target->name, codePage), Utf8(converter, path, codePage)});
    }
  });
  return rows;
}

void SaveKeywords(sqlite3* db, const std::string& sha256, const std::vector<KeywordRow>& rows) {
  textindex::Statement drop(db, "DELETE FROM keywords WHERE sha256 = ?1");
  drop.Bind(1, sha256);
  drop.Step();
  textindex::Statement add(db, "INSERT INTO keywords(sha256, folded, keyword, name, path) VALUES(?1, ?2, ?3, ?4, ?5)");
  for (const KeywordRow& row : rows) {
    add.Bind(1, sha256);
    add.Bind(2, row.folded);
    add.Bind(3, row.keyword);
    add.Bind(4, row.name);
    add.Bind(5, row.path);
    add.Step();
    add.Reset();
  }
}

}  // namespace tessaly::library
