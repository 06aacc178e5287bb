#include "app/library_jobs.h"

#include <filesystem>

#include "app/limits.h"
#include "app/utf8.h"
#include "app/views.h"
#include "library/library.h"
#include "textindex/query_parser.h"

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
    added = books.Add(path_, *place_.codec, WorkOf(Flag(), nullptr)).added.size();
    if (!progress_) return;
    const library::IndexSummary summary = books.IndexPending(*place_.codec, WorkOf(Flag(), progress_));
    indexed = summary.built;
    problems = summary.problems;
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
    textindex::SearchOptions options;
    options.markOpen = kMarkOpen;
    options.markClose = kMarkClose;
    library::LibraryResults found;
    try {
      found = books.OpenSearch().Search(word_, options, book_);
    } catch (const textindex::QueryError&) {
      return;  // only operators or punctuation: no page can hold it
    }
    for (library::LibraryHit& hit : found.pages) {
      pages.push_back(LibraryPage{std::move(hit.book), ListText(hit.bookTitle), ListText(hit.title),
                                  std::move(hit.path), hit.hits, std::move(hit.snippet)});
    }
  });
}

}  // namespace tessaly::app
