// Lookups in a large directory, and reading every object of a large book one
// at a time against the bulk read that extract uses.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/book_error.h"
#include "book/book.h"
#include "support/chm_builder.h"

namespace tessaly {
namespace {

// A container with 20,000 entries in folders, as large API references have.
class LookupFixture {
 public:
  LookupFixture() {
    test::ChmBuilder b;
    for (int i = 0; i < 20000; ++i) {
      std::string name = "/html/" + std::to_string(i % 40) + "/T_Namespace_Type" + std::to_string(i) + ".htm";
      b.AddEntry(name, 1, static_cast<std::uint32_t>(i) * 100, 100);
      paths.push_back(name.substr(1));
    }
    file = std::make_unique<test::TempFile>(b.Build());
    book.OpenContainer(file->Path());
  }
  std::unique_ptr<test::TempFile> file;
  Book book;
  std::vector<std::string> paths;
};

void BM_LookupExisting(benchmark::State& state) {
  static LookupFixture fixture;
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(fixture.book.FindEntry(fixture.paths[i]));
    i = (i + 7919) % fixture.paths.size();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LookupExisting);

void BM_LookupByFileName(benchmark::State& state) {
  // Found only by the file-name pass.
  static LookupFixture fixture;
  std::size_t i = 0;
  for (auto _ : state) {
    std::string path = "elsewhere/T_Namespace_Type" + std::to_string(i) + ".htm";
    benchmark::DoNotOptimize(fixture.book.FindEntry(path));
    i = (i + 7919) % fixture.paths.size();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LookupByFileName);

std::string LargeBook() { return test::TestBook("large"); }

void BM_ReadEveryObjectAlone(benchmark::State& state) {
  Book book;
  book.OpenStorage(LargeBook());
  std::uint64_t bytes = 0;
  for (auto _ : state) {
    for (std::size_t i = 0; i < book.EntryCount(); ++i) {
      const tessaly::DirectoryEntry e = book.Entry(i);
      if (e.name.ends_with('/') || e.name.find('#', 1) != std::string::npos) continue;
      bytes += book.ReadObject(e.name).size();
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_ReadEveryObjectAlone)->Unit(benchmark::kMillisecond);

void BM_ReadEveryObjectInBulk(benchmark::State& state) {
  Book book;
  book.OpenStorage(LargeBook());
  std::uint64_t bytes = 0;
  for (auto _ : state) {
    book.ReadStoredRanges([&](Book::Aliases, std::span<const std::uint8_t> b) { bytes += b.size(); },
                          [](Book::Aliases, const BookError&) {});
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_ReadEveryObjectInBulk)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessaly

BENCHMARK_MAIN();
