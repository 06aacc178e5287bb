// Page preparation on crafted books: names, counters, the rewriting rules,
// fragments and the same page, frames, images off, errors.
#include "pages/pages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/book_error.h"
#include "pages/page_recorder.h"

namespace tessaly {
namespace {

using test::BookBuilder;
using test::PageFixture;
using Files = std::vector<std::string>;

const std::string kLogo = std::string("GIF89a\0\x01\xff\xfe logo bytes\r\n\0", 21);

TEST(PageCache, ImageInASubfolderIsCopiedUnderTheCounterName) {
  BookBuilder b;
  b.AddFile("/docs/page.htm", "<html><body><IMG SRC=\"pic/Logo.GIF\" alt=x></body></html>");
  b.AddFile("/docs/pic/Logo.GIF", kLogo, false);
  PageFixture f(b);

  ASSERT_TRUE(f.ShowTopic("docs/page.htm"));
  EXPECT_EQ(test::Names(f.Files()), (Files{"0file.gif", "index0.htm"}));
  EXPECT_EQ(f.File("index0.htm"), "<html><body><IMG SRC=\"0file.gif\" alt=x></body></html>");
  EXPECT_EQ(f.File("0file.gif"), kLogo);

  EXPECT_EQ(f.cache.CurrentPageFile(), f.Address("index0.htm"));
  EXPECT_EQ(f.cache.CurrentPagePath(), "docs/page.htm");
  EXPECT_EQ(f.cache.CurrentPageDir(), "docs/");
  EXPECT_EQ(f.cache.PageCounter(), 1u);
  EXPECT_EQ(f.cache.FileCounter(), 1u);
  EXPECT_EQ(f.cache.CreatedCount(), 2u);
  EXPECT_EQ(f.cache.LastFilePath(), f.folder + "/0file.gif");
  EXPECT_EQ(f.history.Count(), 1);
  EXPECT_EQ(f.history.HistoryCurrent(), "docs/page.htm");
  EXPECT_TRUE(f.platform.errors.empty());
}

TEST(PageCache, EachObjectIsCopiedOncePerPageHoweverItIsSpelled) {
  BookBuilder b;
  b.AddFile("/d/p.htm",
            "<img src=\"a.gif\"><img src=\"A.GIF\"><img src=\"./a.gif\"><img src=\"x/../a.gif\">"
            "<img src=\"%61.gif\"><img src=\"/d/a.gif#f\"><img src=\"../d//a.gif\"><img src=\"/a.gif\">");
  b.AddFile("/d/a.gif", "A");
  b.AddFile("/a.gif", "R");
  PageFixture f(b);
  ASSERT_TRUE(f.ShowTopic("d/p.htm"));
  EXPECT_EQ(f.File("index0.htm"),
            "<img src=\"0file.gif\"><img src=\"0file.gif\"><img src=\"0file.gif\"><img src=\"0file.gif\">"
            "<img src=\"0file.gif\"><img src=\"0file.gif#f\"><img src=\"0file.gif\"><img src=\"1file.gif\">");
  EXPECT_EQ(test::Names(f.Files()), (Files{"0file.gif", "1file.gif", "index0.htm"}));
  EXPECT_EQ(f.File("0file.gif"), "A");
  EXPECT_EQ(f.File("1file.gif"), "R");
}

TEST(PageCache, WhatAPageWritesIsBoundByWhatItsBookHolds) {
  // One picture stored once and named by 60 directory entries; the page
  // names each of them, and the picture again in 60 spellings.
  const std::string picture(100 << 10, 'P');
  std::string page;
  BookBuilder b;
  b.AddFile("/big.png", picture, false);  // the first stored bytes of section 0
  for (int i = 0; i < 60; ++i) {
    b.AddRawEntry("/d" + std::to_string(i) + "/big.png", 0, 0, picture.size());
    page += "<img src=\"d" + std::to_string(i) + "/big.png\"><img src=\"d" + std::to_string(i) + "/../big.png\">";
  }
  b.AddFile("/p.htm", page);
  b.AddFile("/q.htm", "<img src=\"d7/../big.png\">");
  PageFixture f(b);
  const std::uint64_t distinct = picture.size() + page.size();
  f.cache.SetBook(&f.book, distinct);
  ASSERT_TRUE(f.ShowTopic("p.htm"));

  std::uint64_t written = 0;
  std::size_t copies = 0;
  for (const auto& [name, bytes] : f.Files()) {
    written += bytes.size();
    if (name != "index0.htm") {
      EXPECT_EQ(bytes, picture);
      ++copies;
    }
  }
  EXPECT_LE(written, 2 * distinct + PageCache::kPageBytesFloor);
  EXPECT_GE(copies, 2u);
  EXPECT_LT(copies, 61u);
  // The page says that parts were left out, once.
  ASSERT_EQ(f.platform.parts.size(), 1u);
  EXPECT_EQ(f.platform.parts[0],
            std::to_string(61 - copies) + " parts of this page were left out: it names more than one page may show.");
  // The next page has a budget of its own.
  ASSERT_TRUE(f.ShowTopic("q.htm"));
  EXPECT_EQ(test::Names(f.Files()), (Files{"61file.png", "index1.htm"}));
  EXPECT_EQ(f.File("61file.png"), picture);
  EXPECT_EQ(f.platform.parts.size(), 1u);
}

TEST(PageCache, OnlyReferencesToCopiesAreRewritten) {
  BookBuilder b;
  b.AddFile("/p.htm",
            "<link rel=stylesheet href=\"s.css\"><img src=a.gif><script src=\"x.js\"></script>"
            "<img src='b.png'><a href=\"o.htm\">o</a><A HREF=\"a.gif\">pic</A><body background=\"bg.jpg\">"
            "<embed src=\"m.swf\"><a href=\"x.js\">js</a>");
  for (const char* name : {"/s.css", "/a.gif", "/x.js", "/b.png", "/o.htm", "/bg.jpg", "/m.swf"})
    b.AddFile(name, std::string("bytes of ") + name);
  PageFixture f(b);
  ASSERT_TRUE(f.ShowTopic("/p.htm"));
  // Single quotes are part of an attribute value; trimming removes them, and
  // the trimmed value is what the tag gets in place.
  EXPECT_EQ(f.File("index0.htm"),
            "<link rel=stylesheet href=\"0file.css\"><img src=1file.gif><script src=\"2file.js\"></script>"
            "<img src='3file.png'><a href=\"o.htm\">o</a><A HREF=\"1file.gif\">pic</A><body "
            "background=\"4file.jpg\">"
            "<embed src=\"m.swf\"><a href=\"x.js\">js</a>");
  EXPECT_EQ(f.File("0file.css"), "bytes of /s.css");
  EXPECT_EQ(f.File("2file.js"), "bytes of /x.js");
  EXPECT_EQ(f.File("3file.png"), "bytes of /b.png");
  EXPECT_EQ(f.File("4file.jpg"), "bytes of /bg.jpg");
  EXPECT_EQ(test::Names(f.Files()),
            (Files{"0file.css", "1file.gif", "2file.js", "3file.png", "4file.jpg", "index0.htm"}));
}

TEST(PageCache, AValueIsReplacedWhereTheAttributeHasIt) {
  BookBuilder b;
  b.AddFile("/p.htm", "<img alt=\"logo.gif\" src=\"logo.gif\"><img src=\"a&amp;b.gif\">");
  b.AddFile("/logo.gif", "L");
  b.AddFile("/a&b.gif", "AB");
  PageFixture f(b);
  ASSERT_TRUE(f.ShowTopic("p.htm"));
  // The alt text stays; a value changed by entity decoding is not in the tag
  // as written, so that tag stays as it is and nothing is copied for it.
  EXPECT_EQ(f.File("index0.htm"), "<img alt=\"logo.gif\" src=\"0file.gif\"><img src=\"a&amp;b.gif\">");
  EXPECT_EQ(test::Names(f.Files()), (Files{"0file.gif", "index0.htm"}));
}

TEST(PageCache, SrcIsTriedBeforeBackgroundAndHref) {
  BookBuilder b;
  b.AddFile("/p.htm", "<td background=\"bg.gif\" src=\"x.htm\"><a href=\"s.css\" background=\"bg.gif\">");
  b.AddFile("/bg.gif", "G");
  b.AddFile("/s.css", "S");
  PageFixture f(b);
  ASSERT_TRUE(f.ShowTopic("p.htm"));
  // x.htm is not in the book: its placeholder stays and no frame is followed.
  EXPECT_EQ(f.File("index0.htm"),
            "<td background=\"bg.gif\" src=\"0file.htm\"><a href=\"s.css\" background=\"1file.gif\">");
  EXPECT_EQ(f.File("0file.htm"), "");
  EXPECT_TRUE(f.platform.shown.empty());
}

TEST(PageCache, TextOutsideTagsPassesThroughByteForByte) {
  const std::string text = std::string("a > b >> c\0\xff\xfe\r\n\t", 16);
  BookBuilder b;
  b.AddFile("/p.htm", text + "<p class=\"x\">" + text + "<br><" + text + "<p unclosed");
  PageFixture f(b);
  ASSERT_TRUE(f.ShowTopic("p.htm"));
  // A '<' inside a tag is tag text; a tag open at the end is not written.
  EXPECT_EQ(f.File("index0.htm"), text + "<p class=\"x\">" + text + "<br><" + text);
}

TEST(PageCache, ATagIsKeptToItsFirst3000Bytes) {
  const std::string longTag = "p title=\"" + std::string(3100 - 10, 'x') + "\"";
  ASSERT_EQ(longTag.size(), 3100u);
  const std::string exact = "p title=\"" + std::string(3000 - 10, 'y') + "\"";
  BookBuilder b;
  b.AddFile("/p.htm", "<" + longTag + ">after<" + exact + ">end");
  PageFixture f(b);
  ASSERT_TRUE(f.ShowTopic("p.htm"));
  EXPECT_EQ(f.File("index0.htm"), "<" + longTag.substr(0, 3000) + ">after<" + exact + ">end");
}

TEST(PageCache, ImagesOffRenamesTheTagsAndCopiesNoImage) {
  BookBuilder b;
  b.AddFile(
      "/p.htm",
      "<body background=\"b.jpg\"><img src=\"a.gif\"><IMG SRC=\"a.gif\"><input type=image src=\"c.gif\">"
      "<link href=\"s.css\"><table BACKGROUND=\"b.jpg\">");
  for (const char* name : {"/a.gif", "/b.jpg", "/c.gif", "/s.css"}) b.AddFile(name, name);
  PageFixture f(b);
  f.platform.images = false;
  ASSERT_TRUE(f.ShowTopic("p.htm"));
  // No "img" in the input tag: it goes on to be copied like any image.
  EXPECT_EQ(
      f.File("index0.htm"),
      "<body bxckground=\"b.jpg\"><ixg src=\"a.gif\"><IxG SRC=\"a.gif\"><input type=image src=\"0file.gif\">"
      "<link href=\"1file.css\"><table BxCKGROUND=\"b.jpg\">");
  EXPECT_EQ(test::Names(f.Files()), (Files{"0file.gif", "1file.css", "index0.htm"}));
}

TEST(PageCache, ExternalReferencesStayAndExternalLinksGoToTheSystem) {
  BookBuilder b;
  b.AddFile("/p.htm", "<img src=\"http://example.com/a.gif\"><link href=\"HTTPS://example.com/s.css\">");
  PageFixture f(b);
  ASSERT_TRUE(f.ShowTopic("p.htm"));
  EXPECT_EQ(f.File("index0.htm"),
            "<img src=\"http://example.com/a.gif\"><link href=\"HTTPS://example.com/s.css\">");
  EXPECT_EQ(f.cache.FileCounter(), 0u);

  for (const char* link : {"http://example.com/", "https://example.com/x", "ftp://host/file.zip",
                           "mailto:someone@example.com", " http://padded.example.com/ "}) {
    EXPECT_FALSE(f.cache.PreparePage(link)) << link;
  }
  EXPECT_EQ(f.platform.opened, (Files{"http://example.com/", "https://example.com/x", "ftp://host/file.zip",
                                      "mailto:someone@example.com", "http://padded.example.com/"}));
  EXPECT_TRUE(f.platform.missing.empty());
  // Nothing changed on screen.
  EXPECT_EQ(f.cache.PageCounter(), 1u);
  EXPECT_EQ(f.cache.CurrentPagePath(), "p.htm");
  EXPECT_EQ(test::Names(f.Files()), (Files{"index0.htm"}));
  EXPECT_EQ(f.history.Count(), 1);
}

TEST(PageCache, LinksTheBookLacksAreReportedAndNeverOpened) {
  BookBuilder b;
  b.AddFile("/p.htm", "page");
  PageFixture f(b);
  ASSERT_TRUE(f.ShowTopic("p.htm"));
  const Files links = {"javascript:alert(1)",
                       "file:///etc/passwd",
                       "/etc/passwd",
                       "missing.htm",
                       "C:\\Windows\\notepad.exe",
                       "vbscript:msgbox",
                       "../../../../etc/passwd",
                       "ms-its:other.chm::/a.htm"};
  for (const std::string& link : links) EXPECT_FALSE(f.cache.PreparePage(link)) << link;
  EXPECT_TRUE(f.platform.opened.empty());
  EXPECT_EQ(f.platform.missing, links);
  EXPECT_EQ(f.cache.PageCounter(), 1u);
  EXPECT_EQ(test::Names(f.Files()), (Files{"index0.htm"}));
}

TEST(PageCache, FragmentOnTheSamePageWritesNothing) {
  BookBuilder b;
  b.AddFile("/dir/a.htm", "<a href=\"#sec2\">2</a><a name=sec2>");
  b.AddFile("/dir/b.htm", "b");
  PageFixture f(b);
  ASSERT_TRUE(f.ShowTopic("dir/a.htm"));
  const std::string page = f.Address("index0.htm");

  ASSERT_TRUE(f.cache.PreparePage("#sec2"));
  EXPECT_EQ(f.cache.CurrentPageFile(), page + "#sec2");
  EXPECT_EQ(f.cache.CurrentPagePath(), "dir/a.htm#sec2");
  EXPECT_EQ(f.cache.PageCounter(), 1u);
  EXPECT_EQ(test::Names(f.Files()), (Files{"index0.htm"}));
  EXPECT_EQ(f.history.Count(), 2);
  EXPECT_EQ(f.history.HistoryCurrent(), "dir/a.htm#sec2");

  // The same fragment again, in either form: nothing to show.
  EXPECT_FALSE(f.cache.PreparePage("#sec2"));
  EXPECT_FALSE(f.cache.PreparePage("a.htm#SEC2"));
  EXPECT_EQ(f.history.Count(), 2);

  // Another fragment, written with the page's name: the fragment is replaced.
  ASSERT_TRUE(f.cache.PreparePage("A.htm#Top"));
  EXPECT_EQ(f.cache.CurrentPageFile(), page + "#Top");
  EXPECT_EQ(f.cache.CurrentPagePath(), "dir/a.htm#Top");
  EXPECT_EQ(f.history.HistoryCurrent(), "dir/a.htm#top");

  // The page itself without a fragment.
  ASSERT_TRUE(f.cache.PreparePage("a.htm"));
  EXPECT_EQ(f.cache.CurrentPageFile(), page);
  EXPECT_EQ(f.cache.CurrentPagePath(), "dir/a.htm");

  // While the view re-shows a page from the history, nothing is pushed.
  f.history.SetNavigating(true);
  ASSERT_TRUE(f.cache.PreparePage("#x"));
  EXPECT_EQ(f.history.Count(), 4);
  f.history.SetNavigating(false);

  // Another page at a fragment: written anew; the path has no fragment, the
  // address and the history entry have it.
  ASSERT_TRUE(f.cache.PreparePage("b.htm#Part"));
  EXPECT_EQ(f.cache.CurrentPageFile(), f.Address("index1.htm") + "#Part");
  EXPECT_EQ(f.cache.CurrentPagePath(), "dir/b.htm");
  EXPECT_EQ(f.history.HistoryCurrent(), "dir/b.htm#part");
  EXPECT_EQ(test::Names(f.Files()), (Files{"index1.htm"}));
}

TEST(PageCache, APageIsNotAnotherPageWhoseNameItBegins) {
  BookBuilder b;
  b.AddFile("/a.html", "long");
  b.AddFile("/a.htm", "short");
  PageFixture f(b);
  ASSERT_TRUE(f.ShowTopic("a.html"));
  ASSERT_TRUE(f.cache.PreparePage("a.htm"));
  EXPECT_EQ(f.File("index1.htm"), "short");
  EXPECT_EQ(f.cache.CurrentPagePath(), "a.htm");
}

TEST(PageCache, NoPageBeforeTheFirstAndNoBook) {
  BookBuilder b;
  b.AddFile("/a.htm", "a");
  PageFixture f(b);
  EXPECT_FALSE(f.cache.PreparePage(""));
  EXPECT_FALSE(f.cache.PreparePage("#top"));  // no page on screen to jump in
  EXPECT_EQ(f.cache.PageCounter(), 0u);
  EXPECT_EQ(f.history.Count(), 0);
  f.cache.SetBook(nullptr);
  EXPECT_FALSE(f.cache.PreparePage("a.htm"));
  EXPECT_TRUE(f.Files().empty());
}

TEST(PageCache, EachPageReplacesTheFilesOfTheLastAndCountersGoOn) {
  BookBuilder b;
  b.AddFile("/one.htm", "<img src=\"x.gif\"><a href=\"sub/two.htm\">");
  b.AddFile("/sub/two.htm", "<img src=\"../x.gif\"><link href=\"../s.css\">");
  b.AddFile("/x.gif", "X");
  b.AddFile("/s.css", "p{}");
  PageFixture f(b);
  ASSERT_TRUE(f.ShowTopic("one.htm"));
  EXPECT_EQ(test::Names(f.Files()), (Files{"0file.gif", "index0.htm"}));
  ASSERT_TRUE(f.cache.PreparePage("sub/two.htm"));
  EXPECT_EQ(test::Names(f.Files()), (Files{"1file.gif", "2file.css", "index1.htm"}));
  EXPECT_EQ(f.File("index1.htm"), "<img src=\"1file.gif\"><link href=\"2file.css\">");
  EXPECT_EQ(f.File("1file.gif"), "X");
  EXPECT_EQ(f.cache.CurrentPageDir(), "sub/");

  // Back: no new entry, a fresh page file. Entries are book paths, so the
  // view passes them book-absolute (relative to sub/, one.htm would be
  // sub/one.htm).
  f.history.HistoryBack();
  f.history.SetNavigating(true);
  ASSERT_TRUE(f.cache.PreparePage("/" + std::string(f.history.HistoryCurrent())));
  f.history.SetNavigating(false);
  EXPECT_EQ(f.history.Count(), 2);
  EXPECT_EQ(f.history.Position(), 1);
  EXPECT_EQ(test::Names(f.Files()), (Files{"3file.gif", "index2.htm"}));
  EXPECT_EQ(f.cache.CurrentPagePath(), "one.htm");

  f.cache.ClearPageFiles(false);
  EXPECT_TRUE(f.Files().empty());
  EXPECT_EQ(f.cache.CreatedCount(), 0u);
}

TEST(PageCache, ClearWithTheFolderRemovesOnlyAnEmptyFolder) {
  BookBuilder b;
  b.AddFile("/a.htm", "<img src=a.gif>");
  b.AddFile("/a.gif", "A");
  {
    PageFixture f(b);
    ASSERT_TRUE(f.ShowTopic("a.htm"));
    f.cache.ClearPageFiles(true);
    EXPECT_FALSE(std::filesystem::exists(f.folder));
  }
  {
    PageFixture f(b);
    ASSERT_TRUE(f.ShowTopic("a.htm"));
    test::TempFile guard(std::string("keep"));
    std::filesystem::copy_file(guard.Path(), f.folder + "/user.txt");
    f.cache.ClearPageFiles(true);
    EXPECT_EQ(test::Names(f.Files()), (Files{"user.txt"}));
  }
}

TEST(PageCache, FramesAreShownInThePlaceOfTheirFrameset) {
  PageFixture f(test::TestBook("basic"));
  std::vector<std::map<std::string, std::string>> seen;  // the folder as each frame is shown
  f.platform.beforeShow = [&](std::string_view) { seen.push_back(f.Files()); };

  ASSERT_TRUE(f.ShowTopic("chapter2/frames.htm"));
  EXPECT_EQ(f.platform.shown, (Files{"/chapter2/left.htm", "/chapter2/right.htm"}));
  // Each frame is prepared in turn; the frameset's files are gone and the
  // last frame is the page on screen.
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_TRUE(seen[0].empty());
  EXPECT_EQ(test::Names(seen[1]), Files{});
  EXPECT_EQ(f.cache.CurrentPageFile(), f.Address("index2.htm"));
  EXPECT_EQ(f.cache.CurrentPagePath(), "chapter2/right.htm");
  EXPECT_EQ(test::Names(f.Files()), (Files{"index2.htm"}));
  EXPECT_EQ(f.cache.PageCounter(), 3u);
  EXPECT_EQ(f.cache.FileCounter(), 2u);
  // The frameset is not pushed; each frame pushed its own entry.
  EXPECT_EQ(f.history.Count(), 2);
  EXPECT_EQ(f.history.HistoryCurrent(), "chapter2/right.htm");
  f.history.HistoryBack();
  EXPECT_EQ(f.history.HistoryCurrent(), "chapter2/left.htm");
}

TEST(PageCache, FramesInASubfolderAreEachFound) {
  BookBuilder b;
  b.AddFile("/fs.htm", "<frameset><FRAME SRC=\"sub/l.htm#top\"><frame src=\"sub/r.htm\"></frameset>");
  b.AddFile("/sub/l.htm", "left");
  b.AddFile("/sub/r.htm", "right");
  PageFixture f(b);
  std::vector<std::string> dirs;  // currentPageDir as each frame is shown
  f.platform.beforeShow = [&](std::string_view) { dirs.push_back(f.cache.CurrentPageDir()); };
  ASSERT_TRUE(f.ShowTopic("fs.htm"));
  // Showing the first frame moves currentPageDir to sub/: the second is
  // still found because frames are passed book-absolute.
  EXPECT_EQ(dirs, (Files{"", "sub/"}));
  EXPECT_EQ(f.platform.shown, (Files{"/sub/l.htm", "/sub/r.htm"}));
  EXPECT_EQ(f.cache.CurrentPagePath(), "sub/r.htm");
  EXPECT_EQ(f.File("index2.htm"), "right");
  EXPECT_TRUE(f.platform.missing.empty());
}

TEST(PageCache, RewritePageRecordsTheNamePairsInOrder) {
  BookBuilder b;
  b.AddFile("/d/fs.htm",
            "<frameset><FRAME SRC=\"l.htm#top\"><frame src=\"../r.html\"><img src=\"l.htm\"></frameset>");
  PageFixture f(b);
  test::TempFile out(std::string(), ".htm");
  std::FILE* file = std::fopen(out.Path().c_str(), "wb");
  ASSERT_NE(file, nullptr);
  const std::uint32_t pairs = f.cache.RewritePage(f.book, "d/fs.htm", file, true);
  std::fclose(file);
  EXPECT_EQ(pairs, 2u);
  const std::vector<std::uint8_t> bytes = test::ReadFileBytes(out.Path());
  // Any src naming a page gets the page's placeholder, whatever the tag.
  EXPECT_EQ(
      std::string(bytes.begin(), bytes.end()),
      "<frameset><FRAME SRC=\"0file.htm#top\"><frame src=\"1file.html\"><img src=\"0file.htm\"></frameset>");

  file = std::fopen(out.Path().c_str(), "wb");
  ASSERT_NE(file, nullptr);
  EXPECT_THROW(f.cache.RewritePage(f.book, "d/none.htm", file, true), BookError);
  std::fclose(file);
}

TEST(PageCache, AFramesetWhoseFramesAreAllMissingIsShownItself) {
  BookBuilder b;
  b.AddFile("/fs.htm", "<frameset><frame src=\"gone.htm#x\"><frame src=\"GONE.HTM\"></frameset>");
  PageFixture f(b);
  ASSERT_TRUE(f.ShowTopic("fs.htm"));
  EXPECT_TRUE(f.platform.shown.empty());
  EXPECT_EQ(f.File("index0.htm"),
            "<frameset><frame src=\"0file.htm#x\"><frame src=\"0file.htm\"></frameset>");
  EXPECT_EQ(f.File("0file.htm"), "");
  EXPECT_TRUE(f.platform.errors.empty());  // a placeholder is not read
  EXPECT_EQ(f.history.Count(), 1);
  EXPECT_EQ(f.history.HistoryCurrent(), "fs.htm");
}

TEST(PageCache, FramesetsThatFrameEachOtherEnd) {
  BookBuilder b;
  b.AddFile("/a.htm", "<frameset><frame src=\"b.htm\"><frame src=\"a.htm\"></frameset>");
  b.AddFile("/b.htm", "<frameset><frame src=\"a.htm\"><frame src=\"b.htm\"></frameset>");
  PageFixture f(b);
  ASSERT_TRUE(f.ShowTopic("a.htm"));
  EXPECT_LE(f.platform.shown.size(), 64u);
  EXPECT_GE(f.platform.shown.size(), 2u);
  // A page on screen in the end, with its files.
  EXPECT_FALSE(f.Files().empty());
  EXPECT_EQ(f.File(f.cache.CurrentPageFile().substr(f.Address("").size())).substr(0, 10), "<frameset>");
}

TEST(PageCache, FramesetsOfFramesetsShowABoundedNumberOfFrames) {
  // Three levels of eight frames each: 584 frames to show, each replacing
  // the last.
  BookBuilder b;
  auto frameset = [](const std::string& prefix) {
    std::string page = "<frameset>";
    for (int i = 0; i < 8; ++i) page += "<frame src=\"" + prefix + std::to_string(i) + ".htm\">";
    return page + "</frameset>";
  };
  b.AddFile("/top.htm", frameset("a"));
  for (int i = 0; i < 8; ++i) {
    const std::string a = "a" + std::to_string(i);
    b.AddFile("/" + a + ".htm", frameset(a + "b"));
    for (int k = 0; k < 8; ++k) {
      const std::string ab = a + "b" + std::to_string(k);
      b.AddFile("/" + ab + ".htm", frameset(ab + "c"));
      for (int m = 0; m < 8; ++m) b.AddFile("/" + ab + "c" + std::to_string(m) + ".htm", "leaf");
    }
  }
  PageFixture f(b);
  ASSERT_TRUE(f.ShowTopic("top.htm"));
  EXPECT_EQ(f.platform.shown.size(), static_cast<std::size_t>(PageCache::kMaxFrames));
  // The page on screen is one of the frames shown, with its file.
  EXPECT_EQ("/" + f.cache.CurrentPagePath(), f.platform.shown.back());
  EXPECT_EQ(test::Names(f.Files()).size(), 1u);
  ASSERT_EQ(f.platform.parts.size(), 1u);
  EXPECT_TRUE(f.platform.parts[0].ends_with(" parts of this page were left out: it names more than one page may show."))
      << f.platform.parts[0];
}

TEST(PageCache, FramesShownWhileNavigatingPushNothing) {
  PageFixture f(test::TestBook("basic"));
  f.history.SetNavigating(true);
  ASSERT_TRUE(f.ShowTopic("chapter2/frames.htm"));
  EXPECT_EQ(f.history.Count(), 0);
}

TEST(PageCache, AnUnreadablePageShowsTheErrorAndNothingNew) {
  BookBuilder b;
  b.AddFile("/a.htm", "a");
  b.AddRawEntry("/bad.htm", 0, 0x7fffff00, 100);
  PageFixture f(b);
  ASSERT_TRUE(f.ShowTopic("a.htm"));
  EXPECT_FALSE(f.cache.PreparePage("bad.htm"));
  ASSERT_EQ(f.platform.errors.size(), 1u);
  EXPECT_NE(f.platform.errors[0].find("bad.htm"), std::string::npos) << f.platform.errors[0];
  EXPECT_EQ(f.history.Count(), 1);
  EXPECT_EQ(f.cache.PageCounter(), 2u);
  // The old page's files are gone: no jump lands in a file that is not
  // there, and the old page can be prepared again.
  EXPECT_EQ(f.cache.CurrentPageFile(), "");
  EXPECT_EQ(f.cache.CurrentPagePath(), "");
  EXPECT_EQ(f.cache.CurrentPageDir(), "");
  EXPECT_FALSE(f.cache.PreparePage("#x"));
  ASSERT_TRUE(f.cache.PreparePage("a.htm"));
  EXPECT_EQ(f.cache.CurrentPageFile(), f.Address("index2.htm"));
  EXPECT_EQ(test::Names(f.Files()), (Files{"index2.htm"}));
  EXPECT_EQ(f.history.Count(), 2);
}

TEST(PageCache, AnUnreadableCopyIsReportedAsAMissingPartAndThePageStays) {
  BookBuilder b;
  b.AddFile("/a.htm", "<img src=\"bad.gif\"><img src=\"none.gif\"><img src=\"ok.gif\">");
  b.AddRawEntry("/bad.gif", 0, 0x7fffff00, 100);
  b.AddFile("/ok.gif", "OK");
  PageFixture f(b);
  ASSERT_TRUE(f.ShowTopic("a.htm"));
  // Parts the page can do without stop no page: no error box, two parts.
  EXPECT_TRUE(f.platform.errors.empty());
  EXPECT_EQ(f.platform.parts.size(), 2u);
  // What could not be read gets no file.
  EXPECT_EQ(test::Names(f.Files()), (Files{"2file.gif", "index0.htm"}));
  EXPECT_EQ(f.File("2file.gif"), "OK");
  EXPECT_EQ(f.history.Count(), 1);
}

TEST(PageCache, ShowImagesIsReadForEachPage) {
  BookBuilder b;
  b.AddFile("/a.htm", "<img src=\"a.gif\">");
  b.AddFile("/a.gif", "A");
  PageFixture f(b);
  ASSERT_TRUE(f.ShowTopic("a.htm"));
  EXPECT_EQ(f.File("index0.htm"), "<img src=\"0file.gif\">");
  // The images switch: the page is prepared again, without a history entry.
  f.platform.images = false;
  const std::string path = f.cache.CurrentPagePath();
  f.cache.SetCurrentPagePath("");
  f.cache.SetCurrentPageDir("");
  f.history.SetNavigating(true);
  ASSERT_TRUE(f.cache.PreparePage(path));
  f.history.SetNavigating(false);
  EXPECT_EQ(test::Names(f.Files()), (Files{"index1.htm"}));
  EXPECT_EQ(f.File("index1.htm"), "<ixg src=\"a.gif\">");
  EXPECT_EQ(f.history.Count(), 1);
}

TEST(PageCache, ReferencesInsideCommentsAreNeitherCopiedNorReported) {
  // Each page holds a commented-out script that the book lacks, then one
  // picture outside the comment that it holds; the page passes through
  // byte for byte but for that picture.
  const std::string comments[] = {
      "<!-- <script src=\"jquery.js\"></script> -->",
      "<!--[if IE]><script src=\"ie.js\"></script><link href=\"ie.css\"><![endif]-->",
      "<!-- a > b <img src=\"gone.gif\"> -- still <img src=\"gone.png\"> --!>",
      "<!----><!--><!---><img src=\"in.gif\" alt=\"not a comment\">",
  };
  for (const std::string& comment : comments) {
    SCOPED_TRACE(comment);
    BookBuilder b;
    b.AddFile("/p.htm", "<p>" + comment + "<img src=\"a.gif\"><!-- never closed <img src=\"x.gif\">");
    b.AddFile("/a.gif", "A");
    b.AddFile("/in.gif", "I");
    PageFixture f(b);
    ASSERT_TRUE(f.ShowTopic("p.htm"));
    EXPECT_TRUE(f.platform.parts.empty());
    const std::string page = f.File("index0.htm");
    std::string expected = "<p>" + comment + "<img src=\"0file.gif\"><!-- never closed <img src=\"x.gif\">";
    if (comment.ends_with("comment\">")) {
      // "<!---->", "<!-->" and "<!--->" each end where they start: the tag after them counts.
      expected = "<p><!----><!--><!---><img src=\"0file.gif\" alt=\"not a comment\">"
                 "<img src=\"1file.gif\"><!-- never closed <img src=\"x.gif\">";
    }
    EXPECT_EQ(page, expected);
    EXPECT_EQ(f.Files().size(), comment.ends_with("comment\">") ? 3u : 2u);
  }
}

}  // namespace
}  // namespace tessaly
