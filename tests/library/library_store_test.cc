// The store: a damaged one is set aside with a message, never emptied;
// bookmarks and the search fields' history are kept in it.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <functional>

#include "library_books.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> SetAside(const fs::path& store) {
  std::vector<fs::path> found;
  for (const auto& entry : fs::directory_iterator(store.parent_path())) {
    if (entry.path().filename().string().starts_with("library.sqlite.damaged-")) found.push_back(entry.path());
  }
  return found;
}

void Sql(const fs::path& file, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

TEST(LibraryStore, ADamagedStoreIsSetAsideWithAMessageAndANewOneStarted) {
  const struct {
    const char* name;
    std::function<void(const fs::path&)> damage;
  } cases[] = {
      {"no database", [](const fs::path& f) { test::WriteBytes(f, std::vector<std::uint8_t>(8192, 'x')); }},
      {"other tables", [](const fs::path& f) { Sql(f, "CREATE TABLE intruder(x); INSERT INTO intruder VALUES(1);"); }},
      {"pages overwritten",
       [](const fs::path& f) {
         std::vector<std::uint8_t> bytes = test::ReadFileBytes(f.string());
         for (std::size_t i = 4096; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
         test::WriteBytes(f, bytes);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const test::ScratchLibrary scratch;
    {
      library::Library library = scratch.Open();
      for (int i = 0; i < 200; ++i) library.RememberQuery("q" + std::to_string(i), std::string(200, 'q'));
    }
    fs::remove(scratch.StoreFile().string() + "-wal");
    fs::remove(scratch.StoreFile().string() + "-shm");
    if (fs::exists(scratch.StoreFile())) c.damage(scratch.StoreFile());
    const std::vector<std::uint8_t> damaged = test::ReadFileBytes(scratch.StoreFile().string());

    library::Library library = scratch.Open();
    EXPECT_NE(library.Note().find("set aside"), std::string::npos) << library.Note();
    const std::vector<fs::path> aside = SetAside(scratch.StoreFile());
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_NE(library.Note().find(aside[0].string()), std::string::npos);
    EXPECT_EQ(test::ReadFileBytes(aside[0].string()), damaged);  // kept as it was
    // The new store works, and a sound one is left alone the next time.
    library.RememberQuery("library", "again");
    EXPECT_EQ(library.RecentQueries("library"), std::vector<std::string>{"again"});
    EXPECT_TRUE(scratch.Open().Note().empty());
  }
}

TEST(LibraryStore, BookmarksAreKeptPerBookAndRenamable) {
  const test::ScratchLibrary scratch;
  library::Library library = scratch.Open();
  const library::BookIdentity first{std::string(64, 'a'), "/books/first.chm"};
  const library::BookIdentity second{std::string(64, 'b'), "/books/second.chm"};
  const std::int64_t intro = library.AddBookmark(first, "intro.htm", "Introduction");
  library.AddBookmark(second, "api/list.htm", "Lists");
  const std::int64_t last = library.AddBookmark(first, "end.htm", std::string(5000, 'n'));

  EXPECT_EQ(library.Bookmarks().size(), 3u);
  std::vector<library::Bookmark> ofFirst = library.BookmarksOf(first);
  ASSERT_EQ(ofFirst.size(), 2u);
  EXPECT_EQ(ofFirst[0].id, last);  // newest first
  EXPECT_EQ(ofFirst[0].name.size(), library::kMaxBookmarkName);
  EXPECT_EQ(ofFirst[1].page, "intro.htm");
  // A moved copy (same bytes) and the book changed in place (same path) keep them.
  EXPECT_EQ(library.BookmarksOf({first.sha256, "/elsewhere/copy.chm"}).size(), 2u);
  EXPECT_EQ(library.BookmarksOf({std::string(64, 'c'), first.path}).size(), 2u);

  EXPECT_TRUE(library.RenameBookmark(intro, "Start here"));
  EXPECT_TRUE(library.RemoveBookmark(last));
  EXPECT_FALSE(library.RemoveBookmark(last));
  ofFirst = scratch.Open().BookmarksOf(first);  // as the next run reads them
  ASSERT_EQ(ofFirst.size(), 1u);
  EXPECT_EQ(ofFirst[0].name, "Start here");
}

TEST(LibraryStore, SearchHistoryKeepsTheLastQueriesOfEachField) {
  const test::ScratchLibrary scratch;
  library::Library library = scratch.Open();
  for (int i = 0; i < 60; ++i) library.RememberQuery("library", "query " + std::to_string(i));
  library.RememberQuery("library", "query 30");  // typed again: to the front
  library.RememberQuery("library", "   ");       // nothing to remember
  library.RememberQuery("book", "other field");

  const std::vector<std::string> recent = library.RecentQueries("library");
  ASSERT_EQ(recent.size(), library::Library::kHistoryLength);
  EXPECT_EQ(recent[0], "query 30");
  EXPECT_EQ(recent[1], "query 59");
  EXPECT_EQ(std::count(recent.begin(), recent.end(), "query 30"), 1);
  EXPECT_EQ(recent.back(), "query 10");
  EXPECT_EQ(library.RecentQueries("book"), std::vector<std::string>{"other field"});
}

}  // namespace
}  // namespace tessaly
