// Finding objects by path: the exact pass, the file-name pass, and the
// index that replaces the scans.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "base/book_error.h"
#include "base/book_path.h"
#include "base/text.h"
#include "book/book.h"
#include "support/book_entries.h"
#include "support/chm_builder.h"

namespace tessaly {
namespace {

using test::ChmBuilder;
using test::TempFile;

class Lookup : public ::testing::Test {
 protected:
  void Open(const ChmBuilder& b) {
    file_ = std::make_unique<TempFile>(b.Build());
    book_.OpenContainer(file_->Path());
  }
  std::string Found(std::string_view path) {
    const std::optional<DirectoryEntry> e = book_.FindEntry(path);
    return std::string(e ? e->name : "<none>");
  }
  Book book_;
  std::unique_ptr<TempFile> file_;
};

TEST_F(Lookup, PathsAreBroughtIntoCanonicalFormFirst) {
  ChmBuilder b;
  for (const char* n : {"/html/page.htm", "#SYSTEM", "/page.htm", "/b.htm", "/my page.htm", "/x/y/z.htm",
                        "/a&b.htm"})
    b.AddFile(n, n);
  Open(b);
  EXPECT_EQ(Found("html/Page.HTM"), "/html/page.htm");
  EXPECT_EQ(Found("/#SYSTEM"), "#SYSTEM");
  EXPECT_EQ(Found("#SYSTEM"), "#SYSTEM");
  EXPECT_EQ(Found("page.htm#top"), "/page.htm");
  EXPECT_EQ(Found("a/../b.htm"), "/b.htm");
  EXPECT_EQ(Found("my%20page.htm"), "/my page.htm");
  EXPECT_EQ(Found("x//y/./z.htm"), "/x/y/z.htm");
  EXPECT_EQ(Found(" \"/page.htm\" "), "/page.htm");
  EXPECT_EQ(Found("a&amp;b.htm"), "/a&b.htm");
  EXPECT_EQ(Found("nothing.htm"), "<none>");
}

TEST_F(Lookup, FileNamePassOnlyForPathsWithASeparator) {
  ChmBuilder b;
  b.AddFile("/other/logo.gif", "1");
  b.AddFile("/second/logo.gif", "2");
  b.AddFile("dir\\win.gif", "3");
  Open(b);
  EXPECT_EQ(Found("images/logo.gif"), "/other/logo.gif");  // first in file order
  EXPECT_EQ(Found("logo.gif"), "<none>");                   // no separator: no name pass
  EXPECT_EQ(Found("pics/win.gif"), "dir\\win.gif");  // without a '/', a name's last '\' splits it
  EXPECT_EQ(Found("pics\\win.gif"), "dir\\win.gif");
  EXPECT_EQ(Found("http://host/other/logo.gif"), "<none>");  // external: exact pass only
  EXPECT_EQ(Found("x/FTP:/logo.gif"), "<none>");
}

TEST_F(Lookup, ExternalAddressesStillMatchExactly) {
  ChmBuilder b;
  b.AddFile("/http:/x.htm", "odd but stored");
  Open(b);
  EXPECT_EQ(Found("http:/x.htm"), "/http:/x.htm");
}

TEST_F(Lookup, FirstOfTwoNamesDifferingInCaseWins) {
  ChmBuilder b;
  b.AddFile("/Index.htm", "first");
  b.AddFile("/index.htm", "second");
  b.AddFile("/caf\xC3\xA9.htm", "utf8");
  b.AddFile("/CAF\xC3\x89.htm", "other");
  Open(b);
  EXPECT_EQ(Found("INDEX.HTM"), "/Index.htm");
  EXPECT_EQ(Found("index.htm"), "/Index.htm");
  // Only ASCII letters fold.
  EXPECT_EQ(Found("Caf\xC3\xA9.htm"), "/caf\xC3\xA9.htm");
  EXPECT_EQ(Found("caf\xC3\x89.htm"), "/CAF\xC3\x89.htm");
}

TEST_F(Lookup, MissesAreLoggedAndSizesAreZero) {
  ChmBuilder b;
  b.AddFile("/a.htm", "hello");
  Open(b);
  std::ostringstream log;
  book_.SetLog(&log);
  EXPECT_EQ(book_.ObjectSize("missing.htm"), 0u);
  EXPECT_FALSE(book_.HasObject("gone/x.htm#frag"));
  EXPECT_EQ(log.str(), "Can't find entry for file missing.htm\nCan't find entry for file gone/x.htm#frag\n");
  EXPECT_EQ(book_.ObjectSize("a.htm"), 5u);
  EXPECT_THROW(
      {
        try {
          book_.ReadObject("missing.htm");
        } catch (const BookError& e) {
          EXPECT_EQ(e.Message(), "Can't find entry for file missing.htm\n");
          throw;
        }
      },
      BookError);
}

TEST_F(Lookup, NamesHoldingAHashAreTakenAsStoredBeforeTheFragmentIsCut) {
  ChmBuilder b;
  for (const char* n : {"/_#_README_#_", "/x", "/x#y.htm", "/page.htm"}) b.AddFile(n, n);
  Open(b);
  EXPECT_EQ(Found("/_#_README_#_"), "/_#_README_#_");
  EXPECT_EQ(Found("_#_readme_#_"), "/_#_README_#_");
  EXPECT_EQ(Found("x#y.htm"), "/x#y.htm");
  EXPECT_EQ(Found("x%23y.htm"), "/x#y.htm");
  EXPECT_EQ(Found("x#elsewhere"), "/x");
  EXPECT_EQ(Found("page.htm#top"), "/page.htm");
  const ObjectBuffer readme = book_.ReadObject("/_#_README_#_");
  EXPECT_EQ(std::string(readme.begin(), readme.end()), "/_#_README_#_");
}

TEST_F(Lookup, OverlongPathsAreCut) {
  ChmBuilder b;
  b.AddFile("/" + std::string(255, 'p'), "long");
  Open(b);
  EXPECT_EQ(Found(std::string(300, 'p')), "/" + std::string(255, 'p'));
}

// The index must give exactly what the two scans in file order give: the
// number of the entry found, or none.
std::optional<std::uint32_t> ScanReference(const std::vector<DirectoryEntry>& entries, std::string_view path) {
  std::string work(path.substr(0, std::min(path.find('\0'), kMaxBookPath)));
  DecodeEntities(work);
  NormalizeBookPath(work);
  const auto exact = [&](std::string_view wanted) -> std::optional<std::uint32_t> {
    for (const DirectoryEntry& e : entries) {
      std::string_view name = e.name.substr(0, e.name.find('\0'));
      if (name.starts_with('/')) name.remove_prefix(1);
      if (CompareNoCase(wanted, name) == 0) return e.index;
    }
    return std::nullopt;
  };
  std::size_t hash = work.find('#');
  if (hash != std::string::npos && hash != 0) {
    if (auto found = exact(work)) return found;
    work.resize(hash);
  }
  if (auto found = exact(work)) return found;
  if (IsExternalUrl(work)) return std::nullopt;
  std::size_t sep = work.rfind('/');
  if (sep == std::string::npos) sep = work.rfind('\\');
  if (sep == std::string::npos) return std::nullopt;
  std::string_view want = std::string_view(work).substr(sep + 1);
  for (const DirectoryEntry& e : entries) {
    std::string_view name = e.name.substr(0, e.name.find('\0'));
    std::size_t s = name.rfind('/');
    if (s == std::string_view::npos) s = name.rfind('\\');
    std::string_view last = s == std::string_view::npos ? name : name.substr(s + 1);
    if (CompareNoCase(want, last) == 0) return e.index;
  }
  return std::nullopt;
}

TEST_F(Lookup, IndexAgreesWithScansOnRandomNames) {
  std::mt19937 rng(1234);
  const std::vector<std::string> parts = {"a",     "A",       "b",   "Page", "page", "x.htm",
                                          "X.HTM", "img.gif", "sub", "a#b",  "#frag"};
  auto randomPath = [&](bool leadingSlash) {
    std::string p = leadingSlash ? "/" : "";
    int n = 1 + static_cast<int>(rng() % 3);
    for (int i = 0; i < n; ++i) {
      if (i) p += (rng() % 7 == 0) ? "\\" : "/";
      p += parts[rng() % parts.size()];
    }
    return p;
  };
  ChmBuilder b;
  b.chunkSize = 512;
  for (int i = 0; i < 300; ++i) b.AddFile(randomPath(rng() % 4 != 0), "x");
  Open(b);
  const auto& entries = test::Entries(book_);
  for (int i = 0; i < 2000; ++i) {
    std::string query = randomPath(rng() % 2 == 0);
    if (rng() % 5 == 0) query = "../" + query + "#frag";
    const std::optional<DirectoryEntry> found = book_.FindEntry(query);
    EXPECT_EQ(found ? std::optional<std::uint32_t>(found->index) : std::nullopt, ScanReference(entries, query))
        << query;
  }
}

}  // namespace
}  // namespace tessaly
