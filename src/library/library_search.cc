#include "library/library.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "base/text.h"
#include "library/book_filter.h"
#include "library/keywords.h"
#include "library/work.h"

namespace tessaly::library {

namespace {

namespace fs = std::filesystem;
using textindex::Statement;
using textindex::TextHit;
using textindex::TextIndex;
using textindex::TextIndexError;

// A page's path as pages are compared: no fragment, letter case folded.
std::string PageKey(std::string_view path) {
  std::string key(path.substr(0, path.find('#')));
  LowerCaseInPlace(key);
  return key;
}

}  // namespace

struct LibrarySearch::Book {
  std::string sha256;
  std::string path;
  std::string title;
  std::optional<TextIndex> index;  // opened when first searched
  std::string problem;             // why it has no index
  // The index file as it was opened: one built again since is another file.
  dev_t device = 0;
  ino_t inode = 0;
  std::uint64_t lastSearched = 0;
  bool keepOpen = false;  // its index stays open after the query under way
};

struct LibrarySearch::State {
  Library library;  // its own connection to the store
  std::int64_t storeVersion = -1;  // PRAGMA data_version when the books were read; -1: read them
  std::uint64_t queries = 0;
  std::vector<Book> books;
};

namespace {

// The book's index opened, unless it is open or could not be.
void OpenIndex(LibrarySearch::Book& book, const std::optional<fs::path>& folder) {
  if (book.index || !book.problem.empty()) return;
  if (!folder) {
    book.problem = "no page-text index is kept";
    return;
  }
  const std::string file = (*folder / (book.sha256 + ".sqlite")).string();
  try {
    book.index.emplace(TextIndex::Open(file));
    struct stat info {};
    if (lstat(file.c_str(), &info) == 0) book.device = info.st_dev, book.inode = info.st_ino;
  } catch (const TextIndexError& error) {
    book.problem = error.what();
  }
}

// True when the index file is no longer the one opened (built again, or gone).
bool Replaced(const LibrarySearch::Book& book, const std::optional<fs::path>& folder) {
  struct stat info {};
  return !folder || lstat((*folder / (book.sha256 + ".sqlite")).c_str(), &info) != 0 || info.st_dev != book.device ||
         info.st_ino != book.inode;
}

// Which of the books about to be searched keep their index open after the
// query: those open already, then the most recently searched, at most
// kMaxOpenIndexes in all; the others are opened, searched and closed again.
// Indexes of books not searched now are closed, least recently searched
// first, to make room, so that never more than the limit (and one per
// worker) are open at once.
void PlanOpenIndexes(std::vector<LibrarySearch::Book>& books, std::vector<LibrarySearch::Book*> searched) {
  std::stable_sort(searched.begin(), searched.end(), [](const auto* a, const auto* b) {
    return a->index.has_value() != b->index.has_value() ? a->index.has_value() : a->lastSearched > b->lastSearched;
  });
  for (LibrarySearch::Book& book : books) book.keepOpen = false;
  const std::size_t kept = std::min(searched.size(), LibrarySearch::kMaxOpenIndexes);
  for (std::size_t i = 0; i < searched.size(); ++i) searched[i]->keepOpen = i < kept;
  std::vector<LibrarySearch::Book*> others;
  for (LibrarySearch::Book& book : books) {
    if (book.index && !book.keepOpen) others.push_back(&book);
  }
  std::sort(others.begin(), others.end(), [](const auto* a, const auto* b) { return a->lastSearched > b->lastSearched; });
  for (std::size_t i = LibrarySearch::kMaxOpenIndexes - kept; i < others.size(); ++i) others[i]->index.reset();
}

}  // namespace

LibrarySearch::LibrarySearch(std::unique_ptr<State> state) : state_(std::move(state)) {}
LibrarySearch::LibrarySearch(LibrarySearch&&) noexcept = default;
LibrarySearch& LibrarySearch::operator=(LibrarySearch&&) noexcept = default;
LibrarySearch::~LibrarySearch() = default;

std::size_t LibrarySearch::BookCount() const {
  Follow();
  return state_->books.size();
}

LibrarySearch Library::OpenSearch() const {
  auto state = std::make_unique<LibrarySearch::State>(LibrarySearch::State{Open(store_->File(), indexFolder_), -1, 0, {}});
  LibrarySearch search(std::move(state));
  search.Follow();
  return search;
}

void LibrarySearch::Follow() const {
  State& state = *state_;
  const Store& store = *state.library.store_;
  std::int64_t version = 0;
  try {
    Statement pragma(store.Db(), "PRAGMA data_version");
    if (pragma.Step()) version = pragma.Integer(0);
  } catch (const TextIndexError& error) {
    store.Fail(error);
  }
  if (version == state.storeVersion) return;
  const std::optional<fs::path>& folder = state.library.IndexFolder();
  std::map<std::string, Book> kept;
  for (Book& book : state.books) {
    std::string sha256 = book.sha256;
    kept.emplace(std::move(sha256), std::move(book));
  }
  state.books.clear();
  std::set<std::string> contents;
  for (const LibraryBook& listed : state.library.Books()) {
    if (listed.state != BookState::kIndexed || !contents.insert(listed.sha256).second) continue;
    Book& book = state.books.emplace_back();
    if (const auto at = kept.find(listed.sha256); at != kept.end()) {
      book = std::move(at->second);
      // An index built again since it was opened, or one that could not be
      // opened before, is opened afresh.
      if (book.index && Replaced(book, folder)) book.index.reset();
      book.problem.clear();
    }
    book.sha256 = listed.sha256;
    book.path = listed.path;
    book.title = listed.title;
  }
  state.storeVersion = version;
}

LibraryResults LibrarySearch::Search(std::string_view query, const textindex::SearchOptions& options,
                                     std::string_view only) const {
  Follow();
  State& state = *state_;
  std::vector<Book>& books = state.books;
  const Store& store = *state.library.store_;
  const std::optional<fs::path>& folder = state.library.IndexFolder();
  const std::uint64_t now = ++state.queries;
  const BookFilter filter = SplitBookFilter(query, [&](std::string_view word) {
    return std::any_of(books.begin(), books.end(),
                       [&](const Book& book) { return BookMatches(word, book.title, book.path); });
  });
  const textindex::ParsedQuery parsed = textindex::ParseQuery(filter.query);
  LibraryResults results{filter.word, filter.query, {}, {}};

  // First the ranks of every book's best pages; hits and snippets later,
  // for the pages shown only.
  textindex::SearchOptions ranking = options;
  ranking.rankOnly = true;
  std::vector<Book*> searched;
  for (Book& book : books) {
    if (NamesBook(only, book.title, book.path) && (filter.word.empty() || BookMatches(filter.word, book.title, book.path))) {
      searched.push_back(&book);
    }
  }
  // Each book's index on one worker at a time, the books shared out among the cores.
  PlanOpenIndexes(books, searched);
  std::vector<std::vector<TextHit>> bookHits(searched.size());
  std::vector<std::string> bookProblems(searched.size());
  RunUnits(
      searched.size(), {},
      [&](std::size_t i) {
        Book& book = *searched[i];
        book.lastSearched = now;
        OpenIndex(book, folder);
        if (!book.index) {
          bookProblems[i] = book.problem;
          return;
        }
        try {
          bookHits[i] = book.index->Search(parsed, ranking);
        } catch (const TextIndexError& error) {
          if (error.kind() == TextIndexError::Kind::kInterrupted) throw;
          bookProblems[i] = error.what();
        }
        if (!book.keepOpen) book.index.reset();
      },
      [](std::size_t) { return std::string(); });
  std::set<std::string> broken;  // contents whose index failed now
  std::vector<std::pair<Book*, TextHit>> found;
  for (std::size_t i = 0; i < searched.size(); ++i) {
    if (!bookProblems[i].empty()) {
      results.problems.push_back(searched[i]->path + ": " + bookProblems[i]);
      broken.insert(searched[i]->sha256);
      searched[i]->index.reset();
    }
    for (TextHit& hit : bookHits[i]) found.emplace_back(searched[i], std::move(hit));
  }

  // The pages that a keyword named as the whole query lists, by content and page.
  std::set<std::pair<std::string, std::string>> keywordPages;
  try {
    Statement rows(store.Db(), "SELECT sha256, path FROM keywords WHERE folded = ?1");
    rows.Bind(1, FoldKeyword(filter.query));
    while (rows.Step()) keywordPages.emplace(rows.Text(0), PageKey(rows.Text(1)));
    // An index that failed is built again by the next IndexPending.
    if (!broken.empty()) {
      store.Transaction([&] {
        Statement forget(store.Db(), "UPDATE books SET indexed = 0 WHERE sha256 = ?1");
        for (const std::string& sha256 : broken) {
          forget.Bind(1, sha256);
          forget.Step();
          forget.Reset();
        }
      });
      state.storeVersion = -1;  // its own change: the books are read again next time
    }
  } catch (const TextIndexError& error) {
    store.Fail(error);
  }

  // By rank: the keywords' pages first, then the pages titled by the query itself.
  struct Ranked {
    int tier;
    double rank;
    Book* book;
    std::int64_t row;
    LibraryHit hit;
  };
  const std::string whole = FoldKeyword(filter.query);
  std::vector<Ranked> ranked;
  ranked.reserve(found.size());
  for (auto& [book, hit] : found) {
    const bool keyword = keywordPages.contains({book->sha256, PageKey(hit.path)});
    const int tier = keyword ? 0 : FoldKeyword(hit.title) == whole ? 1 : 2;
    ranked.push_back({tier, hit.rank, book, hit.row,
                      {book->path, book->title, std::move(hit.title), std::move(hit.path), 0, {}, keyword}});
  }
  std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
    return a.tier != b.tier ? a.tier < b.tier : a.rank < b.rank;
  });
  if (ranked.size() > static_cast<std::size_t>(std::max(options.limit, 0))) {
    ranked.erase(ranked.begin() + std::max(options.limit, 0), ranked.end());
  }

  // Hits and snippets of the pages kept, one query per book, on the workers too.
  std::map<Book*, std::map<std::int64_t, LibraryHit*>> shownMap;
  for (Ranked& r : ranked) shownMap[r.book][r.row] = &r.hit;
  const std::vector<std::pair<Book*, std::map<std::int64_t, LibraryHit*>>> shown(shownMap.begin(), shownMap.end());
  // The pages are known: no page need come first by its name.
  textindex::ParsedQuery unordered = parsed;
  unordered.name.reset();
  std::vector<std::string> snippetProblems(shown.size());
  RunUnits(
      shown.size(), {},
      [&](std::size_t i) {
        const auto& [book, pages] = shown[i];
        OpenIndex(*book, folder);
        if (!book->index) {
          snippetProblems[i] = book->path + ": " + book->problem;
          return;
        }
        textindex::SearchOptions snippets = options;
        for (const auto& [row, hit] : pages) snippets.onlyRows.push_back(row);
        snippets.limit = static_cast<int>(pages.size());
        try {
          for (TextHit& made : book->index->Search(unordered, snippets)) {
            // An index built again since its pages were ranked numbers them anew.
            const auto at = pages.find(made.row);
            if (at == pages.end() || at->second->path != made.path) continue;
            at->second->hits = made.hits;
            at->second->snippet = std::move(made.snippet);
          }
        } catch (const TextIndexError& error) {
          if (error.kind() == TextIndexError::Kind::kInterrupted) throw;
          snippetProblems[i] = book->path + ": " + error.what();
        }
        if (!book->keepOpen) book->index.reset();
      },
      [](std::size_t) { return std::string(); });
  for (std::string& problem : snippetProblems) {
    if (!problem.empty()) results.problems.push_back(std::move(problem));
  }
  for (Ranked& r : ranked) results.pages.push_back(std::move(r.hit));
  return results;
}

}  // namespace tessaly::library
