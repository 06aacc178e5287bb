// The library's numbers, measured side by side in one run:
//  1. indexing the corpus books from nothing (found, read and indexed on
//     both cores) against `tessaly-cli text --jsonl` over the same books to
//     /dev/null, the decoding and text extraction alone (goal: at most 2x);
//  2. a query across all books, their indexes built, against the same query
//     in the largest book alone, the one with the most text (goal: median
//     under 30 ms, at most 3x). The search is kept between queries, as the
//     window keeps it: the median is of warm queries, and the first query of
//     a search just opened (every index opened, cold) is shown beside it;
//  3. listing 1,000 books (links to the corpus books under other names)
//     from the store, what a Library view's first draw needs (goal: under
//     200 ms).
// Usage: library_bench [RUNS]
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "library/library.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(const std::function<void()>& work) {
  const auto start = Clock::now();
  work();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const fs::path corpus = fs::path(TESSALY_CORPUS) / "files";
  std::vector<fs::path> books;
  for (const auto& entry : fs::directory_iterator(corpus)) {
    if (entry.path().extension() == ".chm") books.push_back(entry.path());
  }
  std::sort(books.begin(), books.end());
  if (books.empty()) {
    std::printf("no corpus books in %s\n", corpus.c_str());
    return 0;
  }
  char pattern[] = "/tmp/tessaly-library-bench-XXXXXX";
  const fs::path scratch = mkdtemp(pattern);
  const tessaly::IconvCodec codec;
  std::printf("%zu corpus books, %d runs\n\n", books.size(), runs);

  // 1. Indexing from nothing against the text alone.
  std::string text = std::string(TESSALY_CLI) + " text --jsonl";
  for (const fs::path& book : books) text += " " + Quote(book.string());
  text += " > /dev/null";
  std::vector<double> textTimes, indexTimes;
  for (int run = 0; run < runs; ++run) {
    textTimes.push_back(Seconds([&] {
      if (std::system(text.c_str()) != 0) std::printf("text --jsonl failed\n");
    }));
    const fs::path place = scratch / ("index" + std::to_string(run));
    indexTimes.push_back(Seconds([&] {
      tessaly::library::Library library = tessaly::library::Library::Open(place / "library.sqlite", place / "index");
      library.Add(corpus, codec);
      library.IndexPending(codec);
    }));
  }
  const double textTime = Median(textTimes), indexTime = Median(indexTimes);
  std::printf("indexing %zu books   %8.3f s   text --jsonl %8.3f s   ratio %.2f (goal <= 2)\n\n", books.size(),
              indexTime, textTime, indexTime / textTime);

  // 2. Queries across all books against the largest book alone.
  const fs::path place = scratch / "index0";
  tessaly::library::Library library = tessaly::library::Library::Open(place / "library.sqlite", place / "index");
  // The largest book by its text: the one with the largest page-text index.
  fs::path largest, largestIndex;
  for (const fs::path& book : books) {
    const fs::path index = place / "index" / (tessaly::library::IdentityOf(book).sha256 + ".sqlite");
    if (largestIndex.empty() || fs::file_size(index) > fs::file_size(largestIndex)) largest = book, largestIndex = index;
  }
  const tessaly::textindex::TextIndex alone = tessaly::textindex::TextIndex::Open(largestIndex.string());
  tessaly::textindex::SearchOptions options;
  options.limit = 100;
  std::printf("largest book: %s\n", largest.filename().c_str());
  std::printf("%-22s %10s %10s %12s %8s\n", "query", "first (ms)", "all (ms)", "largest (ms)", "ratio");
  constexpr int kRepeats = 21;
  for (const char* query : {"window", "function", "file open", "return value", "error*", "\"new document\"",
                            "数组", "quokka"}) {
    const tessaly::library::LibrarySearch search = library.OpenSearch();
    std::vector<double> all, one;
    std::size_t found = 0;
    const double first = 1000 * Seconds([&] { found = search.Search(query, options).pages.size(); });
    for (int i = 0; i < kRepeats; ++i) {
      all.push_back(1000 * Seconds([&] { found = search.Search(query, options).pages.size(); }));
      one.push_back(1000 * Seconds([&] { alone.Search(query, options); }));
    }
    std::printf("%-22s %10.2f %10.2f %12.2f %8.2f   (%zu pages)\n", query, first, Median(all), Median(one),
                Median(all) / Median(one), found);
  }
  std::printf("(goal: under 30 ms, ratio <= 3)\n\n");

  // 3. Listing 1,000 books.
  const fs::path shelf = scratch / "shelf";
  fs::create_directories(shelf);
  for (int i = 0; i < 1000; ++i) {
    const fs::path& book = books[static_cast<std::size_t>(i) % books.size()];
    fs::create_hard_link(book, shelf / ("copy" + std::to_string(i) + "-" + book.filename().string()));
  }
  library.Add(shelf, codec);
  std::vector<double> lists;
  std::size_t listed = 0;
  for (int i = 0; i < kRepeats; ++i) lists.push_back(1000 * Seconds([&] { listed = library.Books().size(); }));
  std::printf("listing %zu books from the store: %.2f ms (goal < 200 ms)\n", listed, Median(lists));

  fs::remove_all(scratch);
  return 0;
}
