// What the desktop adds to the reader: the sidebar beside the page, the keys
// that stand for commands, the recent books with each book's page and text
// size, and pages named with the book ("BOOK.chm::/page.htm", ms-its: links).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/command_line.h"
#include "app/web_address.h"
#include "pages/pages.h"
#include "app/recent_books.h"
#include "app/recording_platform.h"
#include "book/book.h"

namespace tessaly::app::test {
namespace {

using tessaly::test::BookBuilder;
using tessaly::test::TestBook;
using DesktopTest = ReaderTest;

TEST_F(DesktopTest, SidebarBesideThePageAndOnePaneWhenNarrow) {
  ui().layout = Layout::kSidebar;
  ASSERT_TRUE(Start(TestBook("basic")));
  // The contents show beside the page; the page has the focus.
  EXPECT_EQ(ui().VisibleControls(), (std::vector<Control>{Control::kTree, Control::kPageView}));
  EXPECT_EQ(ui().tab().focus, Control::kPageView);
  EXPECT_EQ(ui().FileMenuText()[10], "(*) &Contents");

  // An entry opens beside the tree, which stays.
  ASSERT_TRUE(ui().Click(kCmdContents));
  ui().TapTreeItem(ui().TreeItemNamed("Details"));
  ui().Complete();
  EXPECT_EQ(CurrentPath(), "chapter1/details.htm");
  EXPECT_EQ(ui().VisibleControls(), (std::vector<Control>{Control::kTree, Control::kPageView}));

  // Html and F9 hide the sidebar; F9 brings back the tab it had; both kept.
  ASSERT_TRUE(ui().Click(kCmdIndex));
  ASSERT_TRUE(ui().Key(kCmdSidebar));
  EXPECT_EQ(ui().VisibleControls(), (std::vector<Control>{Control::kPageView}));
  EXPECT_EQ(desktop.store[StoreKey::kPrev]["SidebarVisible"], "0");
  ASSERT_TRUE(ui().Key(kCmdSidebar));
  EXPECT_TRUE(ui().Visible(Control::kIndexList));
  EXPECT_EQ(desktop.store[StoreKey::kPrev]["SidebarVisible"], "1");
  reader().OnSidebarResized(321);
  EXPECT_EQ(desktop.store[StoreKey::kPrev]["SidebarWidth"], "321");

  // Another book opens with the tab that was showing, filled; one without
  // that panel with its first one.
  OpenThroughMenu(TestBook("basic"));
  EXPECT_TRUE(ui().Visible(Control::kIndexList));
  EXPECT_FALSE(ui().At(Control::kIndexList).lines.empty());
  OpenThroughMenu(TestBook("plain"));
  EXPECT_TRUE(ui().Visible(Control::kSearchEdit));
  EXPECT_TRUE(ui().Visible(Control::kPageView));
  OpenThroughMenu(TestBook("basic"));

  // Narrow: one pane, as a handheld shows it; Locate opens the entry.
  ASSERT_TRUE(ui().Click(kCmdIndex));
  ui().SetLayout(Layout::kSinglePane);
  EXPECT_EQ(ui().VisibleControls().size(), 4u) << "the Index panel alone";
  ASSERT_TRUE(ui().Click(kCmdHtml));
  EXPECT_EQ(ui().VisibleControls(), (std::vector<Control>{Control::kPageView}));
}

TEST_F(DesktopTest, StoredSidebarStateIsTakenAtStart) {
  desktop.store[StoreKey::kPrev]["SidebarWidth"] = "250";
  desktop.store[StoreKey::kPrev]["SidebarVisible"] = "0";
  ui().layout = Layout::kSidebar;
  ASSERT_TRUE(Start(TestBook("basic")));
  EXPECT_EQ(ui().sidebarWidth, 250);
  EXPECT_EQ(ui().VisibleControls(), (std::vector<Control>{Control::kPageView}));
}

TEST_F(DesktopTest, KeysStepTheTextSizeAndOpenTheFindBar) {
  ASSERT_TRUE(Start(TestBook("basic")));
  const struct {
    int command;
    int size;
  } steps[] = {{kCmdTextLarger, 3}, {kCmdTextLarger, 4}, {kCmdTextLarger, 4}, {kCmdTextNormal, 2},
               {kCmdTextSmaller, 1}, {kCmdTextSmaller, 0}, {kCmdTextSmaller, 0}};
  for (const auto& step : steps) {
    ASSERT_TRUE(ui().Key(step.command));
    EXPECT_EQ(ui().tab().zoomLevels.back(), step.size) << step.command;
    EXPECT_EQ(ui().tab().zoomLevels.back(), step.size);
  }
  EXPECT_EQ(ui().TextSizeMenuText()[4], "[x] Smallest");
  ASSERT_TRUE(ui().Key(kCmdFind));
  EXPECT_EQ(ui().tab().findBars, 1);
}

TEST_F(DesktopTest, ABookReopensAtItsPageAndTextSizeAndIsRecent) {
  ASSERT_TRUE(Start(TestBook("basic")));
  ASSERT_TRUE(ui().TapLink("chapter1/details.htm"));
  ui().Complete();
  ASSERT_TRUE(ui().Click(kCmdLarge));
  ui().scroll = ScrollInfo{640, 300, 2000};  // read down to here
  OpenThroughMenu(TestBook("plain"));
  EXPECT_TRUE(ui().tab().scrolledTo.empty()) << "a book opened for the first time starts at the top";
  // Its tab closed, the book is kept where it was read.
  ui().TapTab(0);
  ASSERT_TRUE(ui().Key(kCmdCloseTab));
  ui().scroll.reset();
  EXPECT_EQ(ui().RecentMenuText(), (std::vector<std::string>{"plain.chm", "basic.chm"}));
  EXPECT_EQ(ui().recentBooks, (std::vector<std::string>{TestBook("basic"), TestBook("plain")}));

  // Recent Books > basic.chm: back at its page and size.
  ASSERT_TRUE(ui().Click(kCmdRecentFirst + 1));
  ui().Complete();
  EXPECT_EQ(ui().title, "Tessaly Test Book");
  EXPECT_EQ(CurrentPath(), "chapter1/details.htm");
  EXPECT_EQ(ui().tab().zoomLevels.back(), 3);
  // And as far down as it was read, once the page has loaded.
  EXPECT_EQ(ui().tab().scrolledTo, (std::vector<int>{640}));

  // The list survives the reader; a book whose file has gone is dropped.
  const std::string stored = desktop.store[StoreKey::kPrev]["RecentBooks"];
  RecentBooks recent;
  recent.Load(stored + "\n2\tx.htm\t/no/such/book.chm\nnot a line");
  ASSERT_EQ(recent.Books().size(), 2u);
  EXPECT_EQ(recent.Books()[0].path, TestBook("basic"));
  EXPECT_EQ(recent.Books()[0].page, "chapter1/details.htm");
  EXPECT_EQ(recent.Books()[0].textSize, 3);
  EXPECT_EQ(recent.Books()[0].title, "Tessaly Test Book");
  EXPECT_GT(recent.Books()[0].opened, 1700000000);
  // A line of an older reader (no title, no time) still reads.
  recent.Load("1	p.htm	" + TestBook("plain"));
  ASSERT_EQ(recent.Books().size(), 1u);
  EXPECT_EQ(recent.Books()[0], (RecentBook{TestBook("plain"), "p.htm", 1, "", 0, 0}));
  for (int i = 0; i < 12; ++i) recent.Touch("/b" + std::to_string(i) + ".chm", "B\tx", i);
  EXPECT_EQ(recent.Books().size(), RecentBooks::kMax);
  EXPECT_EQ(recent.Books()[0].path, "/b11.chm");
  EXPECT_EQ(recent.Books()[0].title, "B x");
}

TEST_F(DesktopTest, ABookInItsOwnCodePageReopensAtItsPage) {
  // A Russian book (code page 1251) with a page named in Russian.
  BookBuilder b;
  b.AddFile("#SYSTEM", SystemObject({{2, Text("a.htm")}, {3, Text("Russian")}, {4, LanguageRecord(0x419)}}));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/a.htm", "<a href=\"\xCF.htm\">P</a>");
  b.AddFile("/\xCF.htm", "<p>page</p>");
  BuiltBook book(b);
  ASSERT_TRUE(Start(book.Path()));
  ASSERT_TRUE(ui().TapLink("\xD0\x9F.htm"));  // as the view reports it
  ui().Complete();
  // The view's address names the page in UTF-8.
  ASSERT_EQ(CurrentPath(), "\xD0\x9F.htm");
  // Stored in UTF-8, as every stored value is.
  EXPECT_NE(desktop.store[StoreKey::kPrev]["RecentBooks"].find("\t\xD0\x9F.htm\t"), std::string::npos)
      << desktop.store[StoreKey::kPrev]["RecentBooks"];
  OpenThroughMenu(TestBook("plain"));
  ui().TapTab(0);
  ASSERT_TRUE(ui().Key(kCmdCloseTab));
  OpenThroughMenu(book.Path());
  EXPECT_EQ(CurrentPath(), "\xD0\x9F.htm");
}

TEST(CommandLineTest, SplitsTheBookFromThePageOnlyAfterABookFile) {
  // The book files there are: "a::b.chm" is one, and a page may be called
  // "Class::Member.htm".
  tessaly::test::TempDir dir;
  const std::string a = dir.Path() + "/a.chm";
  const std::string ab = dir.Path() + "/a::b.chm";
  for (const std::string& path : {a, ab}) std::ofstream(path) << "x";
  const struct {
    std::string text;
    std::string path, page;
  } cases[] = {
      {a, a, ""},
      {a + "::/x/page.htm", a, "x/page.htm"},
      {"file:\\" + a + "::/x/page.htm", a, "x/page.htm"},
      {ab, ab, ""},
      {ab + "::/Class::Member.htm", ab, "Class::Member.htm"},
      {"ms-its:" + a + "::/p.htm#top", a, "p.htm#top"},
      {"MS-ITS:" + a, a, ""},
      {"mk:@MSITStore:" + a + "::/p.htm", a, "p.htm"},
      // A book that is not there is still named (to say so).
      {"ms-its:" + dir.Path() + "/missing.chm::/index.htm", dir.Path() + "/missing.chm", "index.htm"},
      {"Class::Member.htm", "Class::Member.htm", ""},
  };
  for (const auto& c : cases) {
    const NamedBook named = ParseNamedBook(c.text);
    EXPECT_EQ(named.path, c.path) << c.text;
    EXPECT_EQ(named.page, c.page) << c.text;
  }
}

TEST(WebAddressTest, MailGetsOnlyTheAddressSubjectAndBody) {
  const struct {
    std::string_view link, handed;
  } cases[] = {
      {"mailto:a@b.example", "mailto:a@b.example"},
      {"mailto:a@b.example?subject=Hi&attach=/etc/passwd&body=x", "mailto:a@b.example?subject=Hi&body=x"},
      {"MAILTO:a@b.example?Attach=%2Fetc%2Fpasswd", "MAILTO:a@b.example"},
      {"mailto:?attach=/etc/passwd", ""},
      {"https://example.com/?attach=1", "https://example.com/?attach=1"},
  };
  for (const auto& c : cases) EXPECT_EQ(AddressForDesktop(c.link), c.handed) << c.link;
}

TEST_F(DesktopTest, PagesNamedWithTheBookOpenThere) {
  // On the command line.
  ASSERT_TRUE(Start(TestBook("basic") + "::/chapter1/details.htm"));
  EXPECT_EQ(ui().title, "Tessaly Test Book");
  EXPECT_EQ(CurrentPath(), "chapter1/details.htm");
  EXPECT_EQ(ShownBook(), TestBook("basic"));

  // A link into this book by its name, and into another beside it.
  const std::string name = std::filesystem::path(TestBook("basic")).filename().string();
  ASSERT_TRUE(ui().TapLink("ms-its:" + name + "::/index.htm"));
  ui().Complete();
  EXPECT_EQ(CurrentPath(), "index.htm");
  EXPECT_EQ(ui().title, "Tessaly Test Book");
  // A book that is not there: the page says so, this book stays.
  ASSERT_TRUE(ui().TapLink("ms-its:missing.chm::/index.htm"));
  ASSERT_EQ(ui().messages.size(), 1u);
  EXPECT_EQ(ui().messages[0].text, "This page is not in the book:\nms-its:missing.chm::/index.htm");
  EXPECT_EQ(ui().title, "Tessaly Test Book");
  EXPECT_EQ(CurrentPath(), "index.htm");
  ui().messages.clear();
  // (The test books sit in folders of their own.)
  ASSERT_TRUE(ui().TapLink("mk:@MSITStore:../plain/plain.chm::/index.htm"));
  ui().Complete();
  EXPECT_EQ(ui().title, "Plain Test Book");
  EXPECT_EQ(std::filesystem::canonical(ShownBook()), std::filesystem::canonical(TestBook("plain")));
  EXPECT_TRUE(ui().messages.empty());
}

}  // namespace
}  // namespace tessaly::app::test
