// Every object of real books reads back: the chmcmd-compiled test book
// against its sources, and every book of the shared corpus, one object at a
// time and in bulk.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "base/book_error.h"
#include "book/book.h"
#include "support/book_entries.h"
#include "support/chm_builder.h"

namespace tessaly {
namespace {

std::size_t Digest(std::span<const std::uint8_t> bytes) {
  return std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

TEST(StoredObjects, CompiledBookHoldsItsSourcesByteForByte) {
  const std::string dir = std::string(TESSALY_TEST_BOOKS) + "/basic";
  Book book;
  book.OpenStorage(test::TestBook("basic"));
  int compared = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    const std::string ext = entry.path().extension().string();
    if (!entry.is_regular_file() || ext == ".chm" || ext == ".hhp") continue;
    const std::string relative = std::filesystem::relative(entry.path(), dir).string();
    auto expected = test::ReadFileBytes(entry.path().string());
    auto stored = book.ReadObject("/" + relative);
    EXPECT_EQ(stored, expected) << relative;
    ++compared;
  }
  EXPECT_EQ(compared, 13);
}

TEST(StoredObjects, TopPngOfPngDelphiIsWhole) {
  // Its stream holds a stored block of odd length that ends exactly at the
  // end of the window, where no padding byte follows.
  const auto files = test::CorpusFiles();
  const std::string path = std::string(TESSALY_CORPUS) + "/files/osgamearchive-d-fend-reloaded-pngdelphi.chm";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "corpus folder ../shared/corpus is absent";
  Book book;
  book.OpenStorage(path);
  ObjectBuffer png = book.ReadObject("/Top.png");
  ASSERT_GT(png.size(), 100u);
  EXPECT_EQ(std::string(png.begin(), png.begin() + 8), "\x89PNG\r\n\x1a\n");
  const std::string tail(png.end() - 8, png.end());
  EXPECT_EQ(tail.substr(0, 4), "IEND");  // the last chunk is complete
}

TEST(StoredObjects, EveryCorpusObjectReadsAloneAndInBulkAlike) {
  const auto files = test::CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "corpus folder ../shared/corpus is absent";
  for (const auto& path : files) {
    SCOPED_TRACE(path);
    Book book;
    book.OpenStorage(path);
    std::map<std::uint32_t, std::size_t> single;  // entry number -> digest
    for (const auto& entry : test::Entries(book)) {
      // Folder markers are no objects (lookups trim the slash), and a '#'
      // past the first byte starts a fragment, so such names are reached
      // only by the bulk read.
      if (entry.name.ends_with('/') || entry.name.find('#', 1) != std::string::npos) continue;
      try {
        single[entry.index] = Digest(book.ReadObject(entry.name));
      } catch (const BookError& e) {
        ADD_FAILURE() << entry.name << ": " << e.Message();
      }
    }
    std::size_t visited = 0;
    test::ReadAllObjects(
        book,
        [&](const DirectoryEntry& e, std::span<const std::uint8_t> bytes) {
          ++visited;
          if (!single.contains(e.index)) return;
          EXPECT_EQ(bytes.size(), e.length) << e.name;
          EXPECT_EQ(Digest(bytes), single[e.index]) << e.name;
        },
        [&](const DirectoryEntry& e, const BookError& m) { ADD_FAILURE() << e.name << ": " << m.Message(); });
    EXPECT_EQ(visited, book.EntryCount());
  }
}

}  // namespace
}  // namespace tessaly
