// Full-text search: a word found in 5,000 topics of a compiled book, lookups in large real indexes, and the
// cost of a result list of 50,000 topics ordered by title.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/pointer_array.h"
#include "book/book.h"
#include "search/fti_builder.h"
#include "search/full_text_index.h"
#include "support/chm_builder.h"

namespace tessaly {
namespace {

// The bigsearch test book: "zebra" in the text of all 5,000 pages and in 833 of their titles.
void BM_SearchWordIn5000Topics(benchmark::State& state) {
  static Book* book = [] {
    auto* opened = new Book;
    opened->Open(test::TestBook("bigsearch"));
    opened->LoadFullTextIndex();
    return opened;
  }();
  std::int32_t found = 0;
  for (auto _ : state) {
    found = book->Search("zebra").Count();
    benchmark::DoNotOptimize(found);
  }
  state.counters["results"] = found;
}
BENCHMARK(BM_SearchWordIn5000Topics)->Unit(benchmark::kMillisecond);

// Open, load the index and search once, as the Search panel's first use does.
void BM_OpenLoadAndSearchBigBook(benchmark::State& state) {
  for (auto _ : state) {
    Book book;
    book.Open(test::TestBook("bigsearch"));
    book.LoadFullTextIndex();
    benchmark::DoNotOptimize(book.Search("zebra").Count());
  }
}
BENCHMARK(BM_OpenLoadAndSearchBigBook)->Unit(benchmark::kMillisecond);

// The largest index of the corpus (Japanese Gauche reference, 880 KB, 7,600 entries): load, then lookups.
const std::string kLargeIndexBook =
    std::string(TESSALY_CORPUS) + "/files/aki426-gaucheofflinehelp-gauche-refman-ja.chm";

void BM_LoadLargeIndex(benchmark::State& state) {
  if (!std::filesystem::exists(kLargeIndexBook)) {
    state.SkipWithError("corpus book absent");
    return;
  }
  Book book;
  book.OpenStorage(kLargeIndexBook);
  const std::vector<std::uint8_t> data = book.ReadObject("$FIftiMain");
  for (auto _ : state) {
    FullTextIndex index;
    index.Load(data);
    benchmark::DoNotOptimize(index.Empty());
  }
}
BENCHMARK(BM_LoadLargeIndex)->Unit(benchmark::kMicrosecond);

void BM_FindWordLargeIndex(benchmark::State& state) {
  if (!std::filesystem::exists(kLargeIndexBook)) {
    state.SkipWithError("corpus book absent");
    return;
  }
  static FullTextIndex* index = [] {
    Book book;
    book.OpenStorage(kLargeIndexBook);
    auto* loaded = new FullTextIndex;
    loaded->Load(book.ReadObject("$FIftiMain"));
    return loaded;
  }();
  const char* words[] = {"the", "define", "string", "zzzz", "vector", "a", "procedure", "missing"};
  std::size_t i = 0;
  for (auto _ : state) {
    std::vector<WordEntry> entries;
    index->FindWordEntries(words[i++ % 8], entries);
    benchmark::DoNotOptimize(entries.data());
  }
}
BENCHMARK(BM_FindWordLargeIndex);

// A word in 50,000 topics with 40 distinct titles: decoding, one record per topic, the stable order by title
// and filling the result array that grows by 10 slots at a time.
void BM_SearchWordIn50000Topics(benchmark::State& state) {
  static struct Data {
    FullTextIndex index;
    test::TopicTableBytes topics;
    Data() {
      test::FtiBuilder builder;
      std::vector<std::uint32_t> all;
      for (std::uint32_t i = 0; i < 50000; ++i) {
        all.push_back(i);
        topics.Add("Topic group " + std::to_string((i * 7919) % 40), "p.htm");
      }
      builder.Add("word", all);
      index.Load(builder.Build().data);
    }
  } data;
  const TopicTable table(data.topics.topics, data.topics.urltbl, data.topics.urlstr, data.topics.strings);
  PointerArray<SearchResult> results(100, 10);
  for (auto _ : state) {
    data.index.Search("word", table, results);
    benchmark::DoNotOptimize(results.Count());
  }
  state.counters["results"] = results.Count();
}
BENCHMARK(BM_SearchWordIn50000Topics)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessaly

BENCHMARK_MAIN();
