#include "pages/pages.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "support/chm_builder.h"

namespace tessaly {
namespace {

using Kind = BookRequest::Kind;

// The books that "exist" for these tests.
bool KnownBook(const std::string& path) {
  static const std::set<std::string> books = {"/b/BOOK.chm", "BOOK.chm", "/x/a::b.chm", "/b/sp ace.chm",
                                              "/b/C#.chm"};
  return books.contains(path);
}

struct ParseCase {
  std::string text;
  bool named;
  std::string book, page, fragment;
};

TEST(BookAddress, ParsesEveryWayOfNamingAPage) {
  const ParseCase cases[] = {
      {"ms-its:/b/BOOK.chm::/dir/page.htm#frag", true, "/b/BOOK.chm", "dir/page.htm", "frag"},
      {"MS-ITS:BOOK.chm::/p.htm", true, "BOOK.chm", "p.htm", ""},
      {"mk:@MSITStore:/b/BOOK.chm::/p.htm", true, "/b/BOOK.chm", "p.htm", ""},
      {"Its:/b/BOOK.chm::p.htm", true, "/b/BOOK.chm", "p.htm", ""},
      {"file:///b/BOOK.chm::/p.htm", true, "/b/BOOK.chm", "p.htm", ""},
      {"FILE://localhost/b/BOOK.chm", true, "/b/BOOK.chm", "", ""},
      {"  /b/BOOK.chm::/p.htm\n", true, "/b/BOOK.chm", "p.htm", ""},
      {"/b/BOOK.chm", true, "/b/BOOK.chm", "", ""},
      // "::" in the book's name and in the page's: split where a book exists.
      {"/x/a::b.chm", true, "/x/a::b.chm", "", ""},
      {"/x/a::b.chm::/Foo::Bar.htm#m", true, "/x/a::b.chm", "Foo::Bar.htm", "m"},
      {"ms-its:/x/a::b.chm::/Foo::Bar.htm", true, "/x/a::b.chm", "Foo::Bar.htm", ""},
      // Escapes decoded once; the query dropped; the plain form's book literal.
      {"ms-its:/b/sp%20ace.chm::/My%20Page.htm?x=1#top%20a", true, "/b/sp ace.chm", "My Page.htm", "top a"},
      {"ms-its:/b/BOOK.chm::/100%2525.htm", true, "/b/BOOK.chm", "100%25.htm", ""},
      {"/b/C#.chm::/p.htm#s", true, "/b/C#.chm", "p.htm", "s"},
      {"ms-its:/b/BOOK.chm%3A%3A/p.htm", true, "/b/BOOK.chm::/p.htm", "", ""},
      // Every spelling of a way up stays inside the book.
      {"ms-its:/b/BOOK.chm::/a/%2E%2E/%2e%2e/..%2F..%5Cetc/passwd", true, "/b/BOOK.chm", "etc/passwd", ""},
      {"ms-its:/b/BOOK.chm::/a%2Fb%5Cc.htm", true, "/b/BOOK.chm", "a/b/c.htm", ""},
      {"/b/BOOK.chm::\\..\\..\\x/./y//z.htm", true, "/b/BOOK.chm", "x/y/z.htm", ""},
      // A book the file system lacks: the URL still says which; plain text is one name.
      {"ms-its:/b/missing.chm::/p.htm", true, "/b/missing.chm", "p.htm", ""},
      {"/b/missing.chm::/p.htm", true, "/b/missing.chm::/p.htm", "", ""},
      // Not an address of a book.
      {"http://example.com/a.chm::/x", false, "", "", ""},
      {"javascript:alert('BOOK.chm::/x')", false, "", "", ""},
      {"file://evil.example/b/BOOK.chm::/p.htm", false, "", "", ""},
      {"ms-its:/b/BOOK.chm::/a%00.gif", false, "", "", ""},
      {std::string("/b/BOOK.chm::/a\0.htm", 20), false, "", "", ""},
      {"", false, "", "", ""},
      {"ms-its:", false, "", "", ""},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<BookAddress> address = ParseBookAddress(c.text, KnownBook);
    ASSERT_EQ(address.has_value(), c.named);
    if (!c.named) continue;
    EXPECT_EQ(address->book, c.book);
    EXPECT_EQ(address->page, c.page);
    EXPECT_EQ(address->fragment, c.fragment);
  }
}

TEST(BookAddress, OnlyLinksThatNameABookLeaveIt) {
  const std::pair<std::string, std::string> intoBooks[] = {
      {"BOOK.chm::/p.htm", "BOOK.chm"},
      {"ms-its:other.chm::/p.htm", "other.chm"},
      {"mk:@MSITStore:BOOK.chm::/p.htm", "BOOK.chm"},
  };
  for (const auto& [link, book] : intoBooks) {
    const std::optional<BookAddress> address = ParseBookLink(link, KnownBook);
    ASSERT_TRUE(address.has_value()) << link;
    EXPECT_EQ(address->book, book);
    EXPECT_EQ(address->page, "p.htm");
  }
  for (const char* link : {"Foo::Bar.htm", "Class::Member.htm#x", "other.chm::/p.htm", "file:///b/BOOK.chm::/p",
                           "/b/BOOK.chm", "page.htm", "http://h/BOOK.chm::/p.htm"}) {
    EXPECT_FALSE(ParseBookLink(link, KnownBook).has_value()) << link;
  }
}

TEST(BookAddress, AnAddressRepeatingBookNamesAsksTheTestAFewTimes) {
  int asked = 0;
  const BookFileTest counting = [&](const std::string&) {
    ++asked;
    return false;
  };
  std::string address = "ms-its:";
  for (int i = 0; i < 20000; ++i) address += "x.chm::";
  address += "p.htm";
  const BookRequest request = ResolveBookRequest(address, counting);
  EXPECT_EQ(request.kind, Kind::kOtherBook);
  EXPECT_EQ(request.book, "x.chm");
  EXPECT_LT(asked, 100);
}

TEST(BookAddress, FormatEscapesWhatAPathCannotHold) {
  const struct {
    std::string book, path, fragment, address;
  } cases[] = {
      {"/b/BOOK.chm", "dir/page.htm", "", "ms-its:/b/BOOK.chm::/dir/page.htm"},
      {"/b/BOOK.chm", "/dir/page.htm", "top", "ms-its:/b/BOOK.chm::/dir/page.htm#top"},
      {"/b/my books/C#.chm", "a b/100%.htm", "sec 2", "ms-its:/b/my%20books/C%23.chm::/a%20b/100%25.htm#sec%202"},
      {"//b//x.chm", "p?.htm", "", "ms-its:/b/x.chm::/p%3F.htm"},
      {"/b/x.chm", "\xe4\xb8\xad\x01\"<>\\;'.htm", "", "ms-its:/b/x.chm::/%E4%B8%AD%01%22%3C%3E%5C%3B%27.htm"},
      {"/x/a::b.chm", "Foo::Bar.htm", "", "ms-its:/x/a::b.chm::/Foo::Bar.htm"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatBookAddress(c.book, c.path, c.fragment), c.address) << c.path;
}

TEST(BookAddress, FormattedAddressesResolveToTheirObject) {
  const std::string books[] = {"/b/BOOK.chm", "/x/a::b.chm", "/b/sp ace.chm", "/b/C#.chm", "/b/%41.chm"};
  const std::string paths[] = {"page.htm",      "a b/c d.htm", "C#.htm",       "100%.htm",     "q?.htm",
                               "Foo::Bar.htm",  "%41.htm",     "x'y;.htm",     "\xe4\xb8\xad.htm", "d/x.chm::/y.htm",
                               "",              "%2e%2e/x"};
  for (const std::string& book : books) {
    const BookFileTest isThisBook = [&](const std::string& path) { return path == book; };
    for (const std::string& path : paths) {
      const BookRequest request = ResolveBookRequest(FormatBookAddress(book, path, "s 1#2"), isThisBook);
      SCOPED_TRACE(book + " :: " + path);
      EXPECT_EQ(request.kind, Kind::kObject);
      EXPECT_EQ(request.book, book);
      EXPECT_EQ(request.path, path);
      EXPECT_EQ(request.fragment, "s 1#2");
    }
  }
}

TEST(BookAddress, RequestsResolveInsideTheirBookOrAreReported) {
  const struct {
    std::string url;
    Kind kind;
    std::string book, path, fragment;
  } cases[] = {
      // What a page's relative references become, resolved by the engine.
      {"ms-its:/b/BOOK.chm::/img/a.png", Kind::kObject, "/b/BOOK.chm", "img/a.png", ""},
      {"ms-its:/b/BOOK.chm::/a.htm?q=1#f", Kind::kObject, "/b/BOOK.chm", "a.htm", "f"},
      {"MK:@MSITSTORE:/b/BOOK.chm::/a/./b//c/../d.htm", Kind::kObject, "/b/BOOK.chm", "a/b/d.htm", ""},
      {"ms-its:/b/BOOK.chm::/", Kind::kObject, "/b/BOOK.chm", "", ""},
      {"its:/x/a::b.chm::/Foo::Bar.htm", Kind::kObject, "/x/a::b.chm", "Foo::Bar.htm", ""},
      // Ways up in every spelling stop at the book's root.
      {"ms-its:/b/BOOK.chm::/../../etc/passwd", Kind::kObject, "/b/BOOK.chm", "etc/passwd", ""},
      {"ms-its:/b/BOOK.chm::/%2e%2e%2f%2E%2E%2Fetc%2fpasswd", Kind::kObject, "/b/BOOK.chm", "etc/passwd", ""},
      {"ms-its:/b/BOOK.chm::/..%5c..%5Cwin.ini", Kind::kObject, "/b/BOOK.chm", "win.ini", ""},
      {"ms-its:/b/BOOK.chm::/a/..\\..\\..\\b.htm", Kind::kObject, "/b/BOOK.chm", "b.htm", ""},
      {"ms-its:/b/BOOK.chm::/%252e%252e/x", Kind::kObject, "/b/BOOK.chm", "%2e%2e/x", ""},
      // No book: an absolute reference, or one that climbed out of the book.
      {"ms-its:/x.htm", Kind::kOutsideBook, "", "x.htm", ""},
      {"ms-its:/etc/passwd", Kind::kOutsideBook, "", "etc/passwd", ""},
      {"ms-its:/b/../../dev/zero", Kind::kOutsideBook, "", "dev/zero", ""},
      {"ms-its:/b/Foo::Bar.htm", Kind::kOutsideBook, "", "b/Foo::Bar.htm", ""},
      // A book the test refused is named, never taken.
      {"ms-its:/b/other.chm::/x.htm", Kind::kOtherBook, "/b/other.chm", "x.htm", ""},
      {"ms-its:/b/%2E%2E/b/BOOK.chm::/x", Kind::kOtherBook, "/b/../b/BOOK.chm", "x", ""},
      {"ms-its:/etc/passwd%00.chm::/x", Kind::kRefused, "", "", ""},
      {"ms-its:/b/BOOK.chm::/a%00.htm", Kind::kRefused, "", "", ""},
      {"file:///etc/passwd", Kind::kRefused, "", "", ""},
      {"http://example.com/", Kind::kRefused, "", "", ""},
      {"/b/BOOK.chm::/a.htm", Kind::kRefused, "", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    const BookRequest request = ResolveBookRequest(c.url, KnownBook);
    EXPECT_EQ(request.kind, c.kind);
    EXPECT_EQ(request.book, c.book);
    EXPECT_EQ(request.path, c.path);
    EXPECT_EQ(request.fragment, c.fragment);
  }
}

TEST(BookAddress, TheFileSystemTestTakesRegularFilesThroughLinks) {
  test::TempDir dir;
  const std::string book = dir.Path() + "/a::b.chm";
  std::ofstream(book) << "ITSF";
  std::filesystem::create_symlink(book, dir.Path() + "/link.chm");
  std::filesystem::create_directory(dir.Path() + "/folder.chm");
  EXPECT_TRUE(IsBookFile(book));
  EXPECT_TRUE(IsBookFile(dir.Path() + "/link.chm"));
  EXPECT_FALSE(IsBookFile(dir.Path() + "/folder.chm"));
  EXPECT_FALSE(IsBookFile(dir.Path() + "/a"));
  EXPECT_FALSE(IsBookFile(""));

  const std::optional<BookAddress> address = ParseBookAddress(book + "::/Foo::Bar.htm", IsBookFile);
  ASSERT_TRUE(address.has_value());
  EXPECT_EQ(address->book, book);
  EXPECT_EQ(address->page, "Foo::Bar.htm");
  EXPECT_EQ(ParseBookAddress(dir.Path() + "/folder.chm::/x.htm", IsBookFile)->page, "");
}

}  // namespace
}  // namespace tessaly
