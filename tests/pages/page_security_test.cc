// What a book can make page preparation do to the file system: names are the
// cache's own, paths are bounded, and only the book is ever read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pages/page_recorder.h"

namespace tessaly {
namespace {

using test::BookBuilder;
using test::PageFixture;
using Files = std::vector<std::string>;

// Every file in the folder has a name the cache makes.
void ExpectOnlyCacheNames(const PageFixture& f) {
  for (const auto& [name, bytes] : f.Files()) EXPECT_TRUE(test::IsCacheFileName(name)) << name;
  // Beside the folder, nothing appeared.
  EXPECT_EQ(test::Names(test::FolderFiles(f.root.Path())), (Files{"pages/"}));
}

TEST(PageSecurity, TheNameCheckOfTheseTests) {
  for (const char* good : {"index0.htm", "index123.htm", "0file", "12file.gif", "3file.abcdefghi"})
    EXPECT_TRUE(test::IsCacheFileName(good)) << good;
  for (const char* bad : {"index.htm", "indexA.htm", "file.gif", "x0file.gif", "0file.", "0file.a/b",
                          "0filex", "0file.abcdefghij", "0file..", "../0file.gif", "index0.html"})
    EXPECT_FALSE(test::IsCacheFileName(bad)) << bad;
}

TEST(PageSecurity, ReferencesOutOfTheBookReadOnlyTheBook) {
  BookBuilder b;
  b.AddFile("/a/p.htm",
            "<img src=\"../../../../etc/x.gif\"><link href=\"../../../../../tmp/evil.css\">"
            "<script src=\"..\\..\\..\\x.js\"></script><img src=\"/../../etc/passwd.gif\">"
            "<img src=\"file:///etc/hostname.gif\"><img src=\"C:\\boot.bmp\">");
  b.AddFile("/etc/x.gif", "book's own x");
  b.AddFile("/tmp/evil.css",
            "b{background:url(../../../../../etc/passwd)} i{background:url(/../../../root/k.png)}");
  PageFixture f(b);
  ASSERT_TRUE(f.ShowTopic("a/p.htm"));
  // Leading "../" cannot climb out of the book: the book's /etc/x.gif.
  EXPECT_EQ(f.File("0file.gif"), "book's own x");
  EXPECT_EQ(f.File("1file.css"),
            "b{background:url(../../../../../etc/passwd)} i{background:url(/../../../root/k.png)}");
  // Plain paths the book lacks: no copies, reported as missing parts.
  for (const char* name : {"2file.js", "3file.gif"}) EXPECT_FALSE(f.Files().contains(name)) << name;
  EXPECT_TRUE(f.platform.errors.empty());
  EXPECT_EQ(f.platform.parts.size(), 2u);
  for (const std::string& part : f.platform.parts)
    EXPECT_EQ(part.rfind("Can't find entry for file ", 0), 0u);
  // Addresses of another system the book lacks stay as written: nothing is
  // copied for them and nothing outside the book is read.
  EXPECT_EQ(f.Files().size(), 3u);
  EXPECT_NE(f.File("index0.htm").find("<img src=\"file:///etc/hostname.gif\"><img src=\"C:\\boot.bmp\">"),
            std::string::npos);
  EXPECT_TRUE(f.platform.opened.empty());
  ExpectOnlyCacheNames(f);
}

TEST(PageSecurity, AddressesOfOtherSystemsUseTheBooksCopyOrStayAsWritten) {
  BookBuilder b;
  b.AddFile("/p.htm",
            "<link href=\"ms-help://Hx/HxRuntime/HxLink.css\"><img src=\"C:\\work\\art\\logo.gif\">"
            "<link rel=\"stylesheet\" href=\"mk:@MSITStore:x.chm::/s.css\">");
  b.AddFile("/images/logo.gif", "the book's logo");
  b.AddFile("/s.css", "s");
  PageFixture f(b);
  ASSERT_TRUE(f.ShowTopic("p.htm"));
  // No error box for the sheet the book does not carry.
  EXPECT_TRUE(f.platform.errors.empty());
  EXPECT_EQ(f.File("0file.gif"), "the book's logo");
  EXPECT_EQ(f.File("1file.css"), "s");
  EXPECT_EQ(f.File("index0.htm"),
            "<link href=\"ms-help://Hx/HxRuntime/HxLink.css\"><img src=\"0file.gif\">"
            "<link rel=\"stylesheet\" href=\"1file.css\">");
  ExpectOnlyCacheNames(f);
}

TEST(PageSecurity, AnExtensionThatIsNotLettersAndDigitsIsDropped) {
  BookBuilder b;
  b.AddFile("/p.htm", "<link href=\"s.css\">");
  b.AddFile(
      "/s.css",
      "a{x:url(dir.v2/pic)} b{x:url('a b.x y')} c{x:url(sp.%41)} d{x:url(dots..)} e{x:url(k.abcdefghijklm)}"
      " f{x:url(\"q.%2e%2e%2fz\")} g{x:url(t.a%00b)}");
  b.AddFile("/dir.v2/pic", "1");
  b.AddFile("/a b.x y", "2");
  b.AddFile("/sp.A", "3");
  b.AddFile("/dots..", "4");
  b.AddFile("/k.abcdefghijklm", "5");
  b.AddFile("/q.../z", "6");
  b.AddFile("/t.a", "7");
  PageFixture f(b);
  ASSERT_TRUE(f.ShowTopic("p.htm"));
  EXPECT_EQ(f.File("0file.css"),
            "a{x:url(1file)} b{x:url('2file')} c{x:url(3file)} d{x:url(4file)} e{x:url(5file.abcdefghi)}"
            " f{x:url(\"6file\")} g{x:url(7file)}");
  EXPECT_EQ(f.File("1file"), "1");
  EXPECT_EQ(f.File("2file"), "2");
  EXPECT_EQ(f.File("3file"), "3");
  EXPECT_EQ(f.File("4file"), "4");
  EXPECT_EQ(f.File("5file.abcdefghi"), "5");
  EXPECT_EQ(f.File("6file"), "6");
  EXPECT_EQ(f.File("7file"), "7");
  EXPECT_TRUE(f.platform.errors.empty());
  ExpectOnlyCacheNames(f);
}

TEST(PageSecurity, CreatePageFileMakesOnlyPlainNamesInTheFolder) {
  BookBuilder b;
  b.AddFile("/p.htm", "p");
  PageFixture f(b);
  const Files badNames = {"../escape.htm",        "sub/x.htm",      "..",      ".", "", "a\\b.htm",
                          std::string("a\0b", 3), "#only-fragment", "/abs.htm"};
  for (const std::string& name : badNames) {
    EXPECT_EQ(f.cache.CreatePageFile(name), nullptr) << name;
  }
  EXPECT_EQ(f.cache.LastFilePath(), f.folder + "//abs.htm");  // set even when nothing is opened
  EXPECT_EQ(f.cache.CreatedCount(), 0u);
  EXPECT_TRUE(f.Files().empty());

  // A name is cut at its '#'.
  PageFile file = f.cache.CreatePageFile("x.htm#frag");
  ASSERT_NE(file, nullptr);
  file.reset();
  EXPECT_EQ(f.cache.LastFilePath(), f.folder + "/x.htm");
  EXPECT_EQ(test::Names(f.Files()), (Files{"x.htm"}));
  EXPECT_EQ(f.cache.CreatedCount(), 1u);

  // The folder and the name together are bounded.
  const std::string longName(PageCache::kMaxFilePath - f.folder.size() - 1 + 1, 'n');
  EXPECT_EQ(f.cache.CreatePageFile(longName), nullptr);
  EXPECT_NE(f.cache.CreatePageFile(longName.substr(1)), nullptr);
  EXPECT_EQ(test::Names(f.Files()), (Files{longName.substr(1), "x.htm"}));
}

TEST(PageSecurity, ADeepFolderTooLongForAPageFileShowsNothing) {
  BookBuilder b;
  b.AddFile("/p.htm", "p");
  PageFixture f(b);
  // A folder of 250 bytes: "index0.htm" would make 261.
  std::string deep = f.folder;
  while (deep.size() < 250) deep += "/" + std::string(std::min<std::size_t>(40, 249 - deep.size()), 'd');
  ASSERT_EQ(deep.size(), 250u);
  std::filesystem::create_directories(deep);
  test::RecordingPlatform platform;
  History history;
  PageCache cache(platform, history, deep);
  platform.cache = &cache;
  cache.SetBook(&f.book);
  EXPECT_FALSE(cache.PreparePage("p.htm"));
  EXPECT_EQ(cache.LastFilePath(), cache.TempFolder() + "index0.htm");
  EXPECT_EQ(cache.CurrentPageFile(), "");
  EXPECT_EQ(history.Count(), 0);
  EXPECT_TRUE(test::FolderFiles(deep).empty());
}

TEST(PageSecurity, LongLinksAndPathsAreCut) {
  const std::string dir(249, 'd');  // with its '/', 250 bytes: values of up to 5 bytes are read
  BookBuilder b;
  b.AddFile("/" + dir + "/p.htm", "<img src=\"a.gif\"><img src=\"ab.gif\"><img src=\"abcdefgh.gif\">");
  b.AddFile("/" + dir + "/a.gif", "A");
  PageFixture f(b);
  ASSERT_TRUE(f.ShowTopic(dir + "/p.htm"));
  // "ab.gif" is read as "ab.gi", which is no image: its tag stays.
  EXPECT_EQ(f.File("index0.htm"), "<img src=\"0file.gif\"><img src=\"ab.gif\"><img src=\"abcdefgh.gif\">");
  EXPECT_EQ(f.File("0file.gif"), "A");
  EXPECT_EQ(f.cache.CurrentPageDir(), dir + "/");

  // A link of 1000 bytes is taken as its first 255.
  const std::string link = "javascript:" + std::string(989, 'x');
  EXPECT_FALSE(f.cache.PreparePage(link));
  ASSERT_EQ(f.platform.missing.size(), 1u);
  EXPECT_EQ(f.platform.missing[0], link.substr(0, 255));
  EXPECT_FALSE(f.cache.PreparePage(std::string(5000, '/') + "a.gif"));
  EXPECT_FALSE(f.cache.PreparePage(std::string(300, '#')));
  ExpectOnlyCacheNames(f);
}

}  // namespace
}  // namespace tessaly
