#include "app/library_jobs.h"

#include <filesystem>
#include <mutex>
#include <set>

#include "app/limits.h"
#include "app/utf8.h"
#include "app/views.h"
#include "library/library.h"
#include "textindex/text_index.h"

namespace tessaly::app {

namespace {

library::Library OpenLibrary(const LibraryPlace& place) { return library::Library::Open(place.store, place.indexFolder); }

library::WorkControl WorkOf(const CancelFlag& cancel, const LibraryProgress& progress) {
  library::WorkControl control;
  control.cancel = cancel.get();
  if (progress) control.progress = [progress](const library::Progress& step) { progress(step.done, step.total); };
  return control;
}

std::string ListText(std::string_view text) { return CutToChars(text, kMaxListTextChars); }

// A book named by its file joins the library, as a book opened in the
// reader does; a name that is no file stays a filter (a title word).
void AddNamedBook(library::Library& books, const std::string& book, const TextConverter& converter,
                  const library::WorkControl& control) {
  std::error_code error;
  if (!book.empty() && std::filesystem::is_regular_file(book, error)) books.Add(book, converter, control);
}

}  // namespace

AddToLibraryJob::AddToLibraryJob(CancelFlag cancel, LibraryPlace place, std::string path, LibraryProgress progress)
    : Job(std::move(cancel)), place_(std::move(place)), path_(std::move(path)), progress_(std::move(progress)) {}

void AddToLibraryJob::Run() {
  Catching([&] {
    library::Library books = OpenLibrary(place_);
    const library::WorkControl control = WorkOf(Flag(), nullptr);
    const library::RescanResult found =
        path_.empty() ? books.Rescan(*place_.codec, control) : books.Add(path_, *place_.codec, control);
    added = found.added.size();
    removed = found.removed.size();
    const library::IndexSummary summary = books.IndexPending(*place_.codec, WorkOf(Flag(), progress_));
    indexed = summary.built;
    problems = summary.problems;
    std::set<std::string> folders;
    for (std::string& folder : books.Folders()) folders.insert(std::move(folder));
    for (const library::LibraryBook& book : books.Books()) {
      if (!book.folder.empty()) folders.insert(std::filesystem::path(book.path).parent_path().string());
    }
    for (const std::string& folder : folders) {
      if (watched.size() == kMaxWatchedFolders) break;
      watched.push_back(folder);
    }
  });
}

namespace {

std::string Hex(std::int32_t value) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text = "0x";
  for (int shift = 12; shift >= 0; shift -= 4) text += kHex[(value >> shift) & 15];
  return text;
}

textindex::SearchOptions Marked() {
  textindex::SearchOptions options;
  options.markOpen = kMarkOpen;
  options.markClose = kMarkClose;
  return options;
}

// The pages of a search, or none for a query that cannot be read (only
// operators or punctuation: no page can hold it).
std::vector<LibraryPage> SearchPages(const library::LibrarySearch& search, const std::string& query,
                                     const std::string& book, const std::atomic<bool>* cancel) {
  library::LibraryResults found;
  textindex::SearchOptions options = Marked();
  options.cancel = cancel;
  try {
    found = search.Search(query, options, book);
  } catch (const textindex::QueryError&) {
    return {};
  }
  std::vector<LibraryPage> pages;
  for (library::LibraryHit& hit : found.pages) {
    pages.push_back(LibraryPage{std::move(hit.book), ListText(hit.bookTitle), ListText(hit.title),
                                std::move(hit.path), hit.hits, std::move(hit.snippet)});
  }
  return pages;
}

}  // namespace

class KeptLibrarySearch {
 public:
  std::mutex lock;
  std::filesystem::path store;  // the library it searches
  std::optional<library::LibrarySearch> search;
};

std::shared_ptr<KeptLibrarySearch> NewKeptLibrarySearch() { return std::make_shared<KeptLibrarySearch>(); }

LibrarySearchJob::LibrarySearchJob(CancelFlag cancel, LibraryPlace place, std::shared_ptr<KeptLibrarySearch> kept,
                                   std::string query)
    : Job(std::move(cancel)), place_(std::move(place)), kept_(std::move(kept)), query_(std::move(query)) {}

void LibrarySearchJob::Run() {
  Catching([&] {
    const std::lock_guard<std::mutex> hold(kept_->lock);
    if (Flag()->load()) return;  // a newer query came while this one waited
    if (!kept_->search || kept_->store != place_.store) {
      kept_->search.reset();
      kept_->search.emplace(OpenLibrary(place_).OpenSearch());
      kept_->store = place_.store;
    }
    pages = SearchPages(*kept_->search, query_, {}, Flag().get());
  });
}

LibraryBooksJob::LibraryBooksJob(CancelFlag cancel, LibraryPlace place)
    : Job(std::move(cancel)), place_(std::move(place)) {}

void LibraryBooksJob::Run() {
  Catching([&] {
    for (const library::LibraryBook& book : OpenLibrary(place_).Books()) {
      const bool damaged = book.state == library::BookState::kDamaged || book.state == library::BookState::kUnreadable;
      rows.push_back(LibraryRow{ListText(book.title), Hex(book.languageId), book.size, book.path,
                                damaged ? std::string(library::StateName(book.state)) + ": " + book.reason
                                        : std::string(library::StateName(book.state)),
                                damaged});
    }
  });
}

QueryHistoryJob::QueryHistoryJob(CancelFlag cancel, LibraryPlace place, std::string field, std::string query)
    : Job(std::move(cancel)), place_(std::move(place)), field_(std::move(field)), query_(std::move(query)) {}

void QueryHistoryJob::Run() {
  Catching([&] {
    library::Library books = OpenLibrary(place_);
    if (!query_.empty()) books.RememberQuery(field_, query_);
    queries = books.RecentQueries(field_);
  });
}

BookmarksJob::BookmarksJob(CancelFlag cancel, LibraryPlace place, BookmarkChange change)
    : Job(std::move(cancel)), place_(std::move(place)), change_(std::move(change)) {}

void BookmarksJob::Run() {
  Catching([&] {
    library::Library books = OpenLibrary(place_);
    const PageBookmark& mark = change_.mark;
    switch (change_.kind) {
      case BookmarkChange::Kind::kNone: break;
      case BookmarkChange::Kind::kAdd: books.AddBookmark(library::IdentityOf(mark.book), mark.page, mark.name); break;
      case BookmarkChange::Kind::kRename: books.RenameBookmark(mark.id, mark.name); break;
      case BookmarkChange::Kind::kDelete: books.RemoveBookmark(mark.id); break;
    }
    for (library::Bookmark& kept : books.Bookmarks()) {
      bookmarks.push_back(PageBookmark{kept.id, std::move(kept.book), std::move(kept.page), std::move(kept.name)});
    }
  });
}

KeywordLookupJob::KeywordLookupJob(CancelFlag cancel, LibraryPlace place, std::string word, std::string book)
    : Job(std::move(cancel)), place_(std::move(place)), word_(std::move(word)), book_(std::move(book)) {}

void KeywordLookupJob::Run() {
  Catching([&] {
    library::Library books = OpenLibrary(place_);
    const library::WorkControl control = WorkOf(Flag(), nullptr);
    AddNamedBook(books, book_, *place_.codec, control);
    // Keywords are kept as books are indexed: what is pending is done first.
    books.IndexPending(*place_.codec, control);
    for (const library::Topic& topic : books.Lookup(word_, book_)) {
      pages.push_back(LibraryPage{topic.book, ListText(topic.bookTitle),
                                  ListText(topic.name.empty() ? topic.keyword : topic.name), topic.path, 0, {}});
    }
    if (!pages.empty()) return;
    byText = true;
    pages = SearchPages(books.OpenSearch(), word_, book_, Flag().get());
  });
}

}  // namespace tessaly::app
