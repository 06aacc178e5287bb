// The library's folders: books found, changed and removed by a rescan, and
// files that are no good books listed with their reason without stopping
// the rest.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "library_books.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;
using library::BookState;
using library::LibraryBook;
using library::RescanResult;

std::vector<std::string> Names(const std::vector<std::string>& paths) {
  std::vector<std::string> names;
  for (const std::string& path : paths) names.push_back(fs::path(path).filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

const LibraryBook* Find(const std::vector<LibraryBook>& books, const std::string& name) {
  const auto at = std::find_if(books.begin(), books.end(),
                               [&](const LibraryBook& b) { return fs::path(b.path).filename() == name; });
  return at == books.end() ? nullptr : &*at;
}

std::vector<std::uint8_t> Book(const std::string& title, const std::string& word) {
  return test::MakeBook({title, {{"a.htm", test::Page(title, "the " + word + " page")}}, {}});
}

TEST(LibraryRescan, FindsTheBooksAddedChangedAndRemovedInAFolder) {
  const test::ScratchLibrary scratch;
  library::Library library = scratch.Open();
  const fs::path folder = scratch.Books();
  test::WriteBytes(folder / "a.chm", Book("Alpha", "one"));
  test::WriteBytes(folder / "deeper" / "b.CHM", Book("Beta", "two"));
  test::WriteBytes(folder / "notes.txt", {'x'});

  RescanResult first = library.Add(folder, scratch.Converter());
  EXPECT_EQ(Names(first.added), (std::vector<std::string>{"a.chm", "b.CHM"}));
  std::vector<LibraryBook> books = library.Books();
  ASSERT_EQ(books.size(), 2u);
  EXPECT_EQ(books[0].title, "Alpha");
  EXPECT_EQ(books[0].languageId, 0x409);
  EXPECT_EQ(books[0].size, fs::file_size(folder / "a.chm"));
  EXPECT_EQ(books[0].folder, folder.string());
  EXPECT_EQ(books[0].state, BookState::kNotIndexed);
  EXPECT_EQ(library.Folders(), std::vector<std::string>{folder.string()});

  // Nothing changed: nothing read again.
  const RescanResult same = library.Rescan(scratch.Converter());
  EXPECT_TRUE(same.added.empty() && same.changed.empty() && same.removed.empty());
  EXPECT_EQ(same.unchanged, 2u);

  library.IndexPending(scratch.Converter());
  ASSERT_EQ(library.Books()[1].state, BookState::kIndexed);

  // A new book, a changed one and a removed one, as a folder monitor reports them.
  test::WriteBytes(folder / "c.chm", Book("Gamma", "three"));
  test::WriteBytes(folder / "deeper" / "b.CHM", Book("Beta Two", "four and more"));
  fs::remove(folder / "a.chm");
  const RescanResult changes = library.Rescan(folder / "deeper", scratch.Converter());
  EXPECT_EQ(Names(changes.added), std::vector<std::string>{"c.chm"});
  EXPECT_EQ(Names(changes.changed), std::vector<std::string>{"b.CHM"});
  EXPECT_EQ(Names(changes.removed), std::vector<std::string>{"a.chm"});
  books = library.Books();
  ASSERT_EQ(books.size(), 2u);
  EXPECT_EQ(books[0].title, "Beta Two");
  EXPECT_EQ(books[0].state, BookState::kNotIndexed);  // its new content is to be indexed

  // A new time on the same bytes is no change.
  const fs::file_time_type later = fs::last_write_time(folder / "c.chm") + std::chrono::seconds(5);
  fs::last_write_time(folder / "c.chm", later);
  const RescanResult touched = library.Rescan(scratch.Converter());
  EXPECT_TRUE(touched.changed.empty() && touched.added.empty());
  EXPECT_EQ(touched.unchanged, 2u);

  // A removed folder takes its books along.
  EXPECT_TRUE(library.Remove(folder));
  EXPECT_TRUE(library.Books().empty());
  EXPECT_FALSE(library.Remove(folder));
}

// Books made to hurt: the same bytes under thousands of names, an index
// nested 20,000 levels deep, a directory naming bytes past the file's end.
std::vector<std::uint8_t> AliasedBook() {
  test::BookBuilder b;
  b.AddFile("#SYSTEM", std::string("\x03\0\0\0", 4));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  const std::string page = test::Page("Aliased", std::string(200'000, 'x') + " rare");
  b.AddFile("/a.htm", page, false);
  for (int i = 0; i < 3000; ++i) b.AddRawEntry("/a" + std::to_string(i) + ".htm", 0, 0, page.size());
  return b.Build();
}

std::vector<std::uint8_t> DeepIndexBook() {
  std::string nested;
  for (int i = 0; i < 20000; ++i) {
    nested += "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"deep\">"
              "<param name=\"Local\" value=\"a.htm\"></OBJECT>";
  }
  for (int i = 0; i < 20000; ++i) nested += "</UL>";
  test::BookBuilder b;
  b.AddFile("#SYSTEM", std::string("\x03\0\0\0", 4) + test::SystemRecord(1, std::string("k.hhk") + '\0'));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/k.hhk", nested);
  b.AddFile("/a.htm", test::Page("Deep", "deep"));
  return b.Build();
}

std::vector<std::uint8_t> BadDirectoryBook() {
  test::BookBuilder b;
  b.AddFile("#SYSTEM", std::string("\x03\0\0\0", 4));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/a.htm", test::Page("Bad", "fine"));
  b.AddRawEntry("/past.htm", 0, 0x7FFFFFF0, 0x100000);
  return b.Build();
}

TEST(LibraryRescan, HostileFilesAreListedWithTheirReasonAndStopNothing) {
  const test::ScratchLibrary scratch;
  library::Library library = scratch.Open();
  const fs::path folder = scratch.Books();
  test::WriteBytes(folder / "good.chm", Book("Good", "fine"));
  test::WriteBytes(folder / "noise.chm", std::vector<std::uint8_t>(5000, 0x5A));
  test::WriteBytes(folder / "aliased.chm", AliasedBook());
  test::WriteBytes(folder / "deep.chm", DeepIndexBook());
  test::WriteBytes(folder / "bad.chm", BadDirectoryBook());
  test::WriteBytes(folder / "shelf.chm" / "inner.chm", Book("Inner", "inside"));  // a folder named like a book
  ASSERT_EQ(mkfifo((folder / "pipe.chm").c_str(), 0600), 0);                    // would block a reader
  fs::create_directory_symlink(folder, folder / "loop");                         // back up: no loop
  fs::create_symlink(folder / "missing.chm", folder / "dangling.chm");

  library.Add(folder, scratch.Converter());
  const library::IndexSummary summary = library.IndexPending(scratch.Converter());
  const std::vector<LibraryBook> books = library.Books();
  std::vector<std::string> names;
  for (const LibraryBook& b : books) names.push_back(fs::path(b.path).filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"aliased.chm", "bad.chm", "deep.chm", "good.chm", "inner.chm",
                                             "noise.chm"}));

  const LibraryBook* noise = Find(books, "noise.chm");
  ASSERT_NE(noise, nullptr);
  EXPECT_EQ(noise->state, BookState::kDamaged);
  EXPECT_FALSE(noise->reason.empty());
  for (const char* readable : {"good.chm", "aliased.chm", "deep.chm", "bad.chm", "inner.chm"}) {
    SCOPED_TRACE(readable);
    ASSERT_NE(Find(books, readable), nullptr);
    EXPECT_EQ(Find(books, readable)->state, BookState::kIndexed) << Find(books, readable)->reason;
  }
  EXPECT_TRUE(summary.problems.empty()) << summary.problems.front();
  // The deep index's keywords are all there, once each.
  EXPECT_EQ(library.Lookup("deep").size(), 1u);
  // The aliased page is searched once.
  const library::LibraryResults rare = library.OpenSearch().Search("rare");
  ASSERT_EQ(rare.pages.size(), 1u);
  EXPECT_EQ(rare.pages[0].bookTitle, "aliased");
}

}  // namespace
}  // namespace tessaly
