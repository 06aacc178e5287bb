// Page preparation of a page naming many pictures: 10,000 against 100,000,
// each picture stored in the book, the page and its copies written into a
// fresh folder. Linear preparation costs the same per picture at both sizes:
// compare the per-picture times (items_per_second) of the two runs, and the
// fitted complexity.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "book/book.h"
#include "pages/pages.h"
#include "support/book_builder.h"
#include "support/chm_builder.h"

namespace tessaly {
namespace {

class QuietPlatform : public PagePlatform {
 public:
  bool OpenExternal(std::string_view) override { return false; }
  void ReportMissingLink(std::string_view) override {}
  void ShowError(std::string_view) override {}
  void ReportMissingPart(std::string_view) override {}
  bool ShowPage(std::string_view) override { return false; }
  bool ShowImages() const override { return true; }
};

// A book whose page names `pictures` pictures, each stored in the book.
const test::TempFile& PictureBook(int pictures) {
  static std::map<int, std::unique_ptr<test::TempFile>> books;
  auto& book = books[pictures];
  if (!book) {
    test::BookBuilder builder;
    std::string page = "<html><body>\n";
    for (int i = 0; i < pictures; ++i) {
      const std::string name = "img/p" + std::to_string(i) + ".gif";
      page += "<img src=\"" + name + "\" alt=\"picture " + std::to_string(i) + "\">\n";
      builder.AddFile("/" + name, "GIF89a" + std::to_string(i));
    }
    builder.AddFile("/page.htm", page + "</body></html>\n");
    book = std::make_unique<test::TempFile>(builder.Build());
  }
  return *book;
}

void BM_PageWithPictures(benchmark::State& state) {
  const int pictures = static_cast<int>(state.range(0));
  Book book;
  book.OpenStorage(PictureBook(pictures).Path());
  for (auto _ : state) {
    state.PauseTiming();
    test::TempDir folder;
    QuietPlatform platform;
    History history;
    PageCache cache(platform, history, folder.Path());
    cache.SetBook(&book);
    state.ResumeTiming();
    if (!cache.PreparePage("/page.htm")) state.SkipWithError("the page was not prepared");
    state.PauseTiming();
    cache.ClearPageFiles(false);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * pictures);
  state.SetComplexityN(pictures);
}
BENCHMARK(BM_PageWithPictures)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity();

}  // namespace
}  // namespace tessaly

BENCHMARK_MAIN();
