// Opening the library, its folders and books as listed.
#include "library/library.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>

#include "base/text.h"
#include "library/book_facts.h"
#include "library/store.h"
#include "textindex/text_index.h"

namespace tessaly::library {

namespace {

namespace fs = std::filesystem;
using textindex::Statement;
using textindex::TextIndexError;

}  // namespace

std::string LibraryPath(const fs::path& path) {
  std::string text = fs::absolute(path).lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

std::string_view StateName(BookState state) {
  switch (state) {
    case BookState::kNotIndexed: return "not indexed";
    case BookState::kIndexed: return "indexed";
    case BookState::kDamaged: return "damaged";
    case BookState::kUnreadable: return "unreadable";
  }
  return "?";
}

Library::Library(Store store, std::optional<fs::path> indexFolder)
    : store_(std::make_unique<Store>(std::move(store))), indexFolder_(std::move(indexFolder)) {}

Library::Library(Library&&) noexcept = default;
Library& Library::operator=(Library&&) noexcept = default;
Library::~Library() = default;

const std::string& Library::Note() const { return store_->Note(); }

Library Library::Open(const fs::path& storeFile, std::optional<fs::path> indexFolder) {
  return Library(Store::Open(storeFile), std::move(indexFolder));
}

Library Library::OpenDefault() {
  const std::optional<fs::path> file = DefaultStoreFile();
  if (!file) throw LibraryError("The library has no place: neither XDG_DATA_HOME nor HOME is set.");
  return Open(*file, textindex::DefaultIndexFolder());
}

RescanResult Library::Add(const fs::path& folderOrBook, const TextConverter& converter, const WorkControl& control) {
  const std::string path = LibraryPath(folderOrBook);
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) throw LibraryError("There is no folder or book " + path + ".");
  if (S_ISDIR(info.st_mode)) {
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    store_->Transaction([&] {
      Statement add(store_->Db(), "INSERT OR IGNORE INTO folders(path, added) VALUES(?1, ?2)");
      add.Bind(1, path);
      add.Bind(2, static_cast<std::int64_t>(now));
      add.Step();
    });
    return RescanFiles({path}, {}, converter, control);
  }
  if (!S_ISREG(info.st_mode)) throw LibraryError(path + " is neither a folder nor a book.");
  return RescanFiles({}, {path}, converter, control);
}

bool Library::Remove(const fs::path& folderOrBook) {
  const std::string path = LibraryPath(folderOrBook);
  bool removed = false;
  store_->Transaction([&] {
    Statement folder(store_->Db(), "DELETE FROM folders WHERE path = ?1");
    folder.Bind(1, path);
    folder.Step();
    removed = sqlite3_changes(store_->Db()) > 0;
    Statement books(store_->Db(), removed ? "DELETE FROM books WHERE folder = ?1" : "DELETE FROM books WHERE path = ?1");
    books.Bind(1, path);
    books.Step();
    removed = removed || sqlite3_changes(store_->Db()) > 0;
    textindex::Execute(store_->Db(), "DELETE FROM keywords WHERE sha256 NOT IN (SELECT sha256 FROM books)");
  });
  return removed;
}

std::vector<std::string> Library::Folders() const {
  try {
    Statement rows(store_->Db(), "SELECT path FROM folders ORDER BY path");
    std::vector<std::string> folders;
    while (rows.Step()) folders.emplace_back(rows.Text(0));
    return folders;
  } catch (const TextIndexError& error) {
    store_->Fail(error);
  }
}

std::vector<LibraryBook> Library::Books() const {
  try {
    Statement rows(store_->Db(),
                   "SELECT id, path, ifnull(folder, ''), title, language, size, sha256, state, reason, indexed"
                   " FROM books");
    std::vector<LibraryBook> books;
    while (rows.Step()) {
      LibraryBook& book = books.emplace_back();
      book.id = rows.Integer(0);
      book.path = rows.Text(1);
      book.folder = rows.Text(2);
      book.title = rows.Text(3);
      book.languageId = static_cast<std::int32_t>(rows.Integer(4));
      book.size = static_cast<std::uint64_t>(rows.Integer(5));
      book.sha256 = rows.Text(6);
      const auto readability = static_cast<Readability>(rows.Integer(7));
      book.reason = rows.Text(8);
      const bool indexed = rows.Integer(9) == textindex::TextIndex::kSchemaVersion;
      book.state = readability == Readability::kDamaged      ? BookState::kDamaged
                   : readability == Readability::kUnreadable ? BookState::kUnreadable
                   : indexed                                 ? BookState::kIndexed
                                                             : BookState::kNotIndexed;
    }
    // Sorted here rather than by SQL: letter case is folded as the reader
    // folds it, and the store needs no collation of its own.
    std::sort(books.begin(), books.end(), [](const LibraryBook& a, const LibraryBook& b) {
      const int order = CompareNoCase(a.title, b.title);
      return order != 0 ? order < 0 : a.path < b.path;
    });
    return books;
  } catch (const TextIndexError& error) {
    store_->Fail(error);
  }
}

}  // namespace tessaly::library
