// Sitemaps of the sizes large references have: a keyword index of 50,000
// keywords and contents of 30,000 entries, parsed alone and built through a
// whole book (open, read the sitemap out of the compressed section, parse).
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "book/book.h"
#include "helpdata/helpdata.h"
#include "support/book_builder.h"
#include "support/chm_builder.h"

namespace tessaly {
namespace {

std::string Param(const std::string& name, const std::string& value) {
  return "\t\t<param name=\"" + name + "\" value=\"" + value + "\">\n";
}

// 50,000 top-level keywords in the order an author wrote them (shuffled
// against the sorted order), every tenth with two named targets and every
// fiftieth with three sub-keywords.
std::string KeywordSitemap(int count) {
  std::mt19937 random(5);
  std::string text = "<HTML><BODY>\n<UL>\n";
  for (int i = 0; i < count; ++i) {
    std::string name;
    if (random() % 8 == 0) name += '_';
    name += static_cast<char>('A' + random() % 26);
    name += "keyword ";
    name += std::to_string(random() % 100000);
    name += " &amp; more";
    text += "\t<LI> <OBJECT type=\"text/sitemap\">\n" + Param("Name", name);
    if (i % 10 == 0) {
      text += Param("Name", "First topic") + Param("Local", "html/t" + std::to_string(i) + "a.htm") +
              Param("Name", "Second topic") + Param("Local", "html/t" + std::to_string(i) + "b.htm");
    } else {
      text += Param("Local", "html/t" + std::to_string(i) + ".htm");
    }
    text += "\t\t</OBJECT>\n";
    if (i % 50 == 0) {
      text += "\t<UL>\n";
      for (int k = 0; k < 3; ++k) {
        text += "\t<LI> <OBJECT type=\"text/sitemap\">\n" + Param("Name", "sub " + std::to_string(k)) +
                Param("Local", "html/s" + std::to_string(i) + ".htm") + "\t\t</OBJECT>\n";
      }
      text += "\t</UL>\n";
    }
  }
  return text + "</UL>\n</BODY></HTML>\n";
}

// 300 chapters of 100 entries each, or all of them flat in one list.
std::string ContentsSitemap(int chapters, int perChapter) {
  std::string text = "<HTML><BODY>\n<OBJECT type=\"text/site properties\">\n" +
                     Param("Window Styles", "0x800025") + Param("ImageType", "Folder") + "</OBJECT>\n<UL>\n";
  for (int c = 0; c < chapters; ++c) {
    text += "\t<LI> <OBJECT type=\"text/sitemap\">\n" + Param("Name", "Chapter " + std::to_string(c)) +
            Param("Local", "html/c" + std::to_string(c) + "/index.htm") + "\t\t</OBJECT>\n\t<UL>\n";
    for (int e = 0; e < perChapter; ++e) {
      text += "\t<LI> <OBJECT type=\"text/sitemap\">\n" + Param("Name", "Entry " + std::to_string(e)) +
              Param("Local", "html/c" + std::to_string(c) + "/e" + std::to_string(e) + ".htm") +
              Param("ImageNumber", "11") + "\t\t</OBJECT>\n";
    }
    text += "\t</UL>\n";
  }
  return text + "</UL>\n</BODY></HTML>\n";
}

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

void BM_ParseIndex50k(benchmark::State& state) {
  static const std::vector<std::uint8_t> sitemap = Bytes(KeywordSitemap(50000));
  Logger log;
  for (auto _ : state) {
    IndexEntry root;
    ParseIndex(root, sitemap, log);
    benchmark::DoNotOptimize(root.children.Count());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * sitemap.size()));
}
BENCHMARK(BM_ParseIndex50k)->Unit(benchmark::kMillisecond);

void BM_ParseContents30kNested(benchmark::State& state) {
  static const std::vector<std::uint8_t> sitemap = Bytes(ContentsSitemap(300, 100));
  Logger log;
  for (auto _ : state) {
    ContentsTree tree;
    ParseContents(tree, sitemap, log);
    benchmark::DoNotOptimize(tree.nodeCount);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * sitemap.size()));
}
BENCHMARK(BM_ParseContents30kNested)->Unit(benchmark::kMillisecond);

void BM_ParseContents30kFlat(benchmark::State& state) {
  static const std::vector<std::uint8_t> sitemap = Bytes(ContentsSitemap(1, 30000));
  Logger log;
  for (auto _ : state) {
    ContentsTree tree;
    ParseContents(tree, sitemap, log);
    benchmark::DoNotOptimize(tree.nodeCount);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * sitemap.size()));
}
BENCHMARK(BM_ParseContents30kFlat)->Unit(benchmark::kMillisecond);

// A #SYSTEM naming the contents (record 0) and index (record 1) sitemaps.
std::string SystemObject() {
  std::string out("\x03\x00\x00\x00", 4);
  for (auto [code, name] : {std::pair<int, std::string>{0, "toc.hhc"}, {1, "index.hhk"}}) {
    out += static_cast<char>(code);
    out += '\0';
    out += static_cast<char>(name.size() + 1);
    out += '\0';
    out += name;
    out += '\0';
  }
  return out;
}

// One book holding both sitemaps in its compressed section.
const std::string& LargeBook() {
  static std::unique_ptr<test::TempFile> file = [] {
    test::BookBuilder builder;
    builder.AddFile("/#SYSTEM", SystemObject(), false);
    builder.AddFile("/#STRINGS", std::string(1, '\0'), false);
    builder.AddFile("/toc.hhc", ContentsSitemap(300, 100));
    builder.AddFile("/index.hhk", KeywordSitemap(50000));
    return std::make_unique<test::TempFile>(builder.Build());
  }();
  return file->Path();
}

void BM_BookOpenWithContents30k(benchmark::State& state) {
  const std::string& path = LargeBook();
  for (auto _ : state) {
    Book book;
    book.Open(path);
    benchmark::DoNotOptimize(book.Contents().nodeCount);
  }
}
BENCHMARK(BM_BookOpenWithContents30k)->Unit(benchmark::kMillisecond);

void BM_BookBuildKeywordIndex50k(benchmark::State& state) {
  const std::string& path = LargeBook();
  for (auto _ : state) {
    state.PauseTiming();
    auto book = std::make_unique<Book>();
    book->Open(path);
    state.ResumeTiming();
    book->BuildKeywordIndex();
    benchmark::DoNotOptimize(book->KeywordIndex().children.Count());
    state.PauseTiming();
    book.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_BookBuildKeywordIndex50k)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessaly

BENCHMARK_MAIN();
