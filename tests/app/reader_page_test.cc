// The page view: pages and their parts served straight from the book (and
// nothing else), links and fragments, Back and Forward across books,
// Refresh, Home and Jump, the busy state, images off and on, text size and
// the other view settings, and the keys that step to the previous or next
// topic.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "pages/pages.h"
#include "app/recording_platform.h"

namespace tessaly::app::test {
namespace {

namespace fs = std::filesystem;
using tessaly::test::TestBook;

class PageTest : public ReaderTest {
 protected:
  // A tapped link, loaded to the end.
  void Tap(std::string_view link) {
    ASSERT_TRUE(ui().TapLink(link)) << link;
    if (ui().Loading()) ui().Complete();
  }
  void Button(int command) {
    ASSERT_TRUE(ui().Click(command)) << command;
    if (ui().Loading()) ui().Complete();
  }
  void Key(PageKey key) {
    EXPECT_TRUE(ui().PressPageKey(key));
    if (ui().Loading()) ui().Complete();
  }
  bool BackEnabled() const { return session->platform.FindButton(kCmdBack)->enabled; }
  bool ForwardEnabled() const { return session->platform.FindButton(kCmdForward)->enabled; }
  // The address of a page of a test book.
  static std::string Address(const std::string& book, const std::string& page) { return FormatBookAddress(book, page); }
};

TEST_F(PageTest, LinksAndTheHistory) {
  ASSERT_TRUE(Start(TestBook("basic")));
  EXPECT_FALSE(BackEnabled());
  EXPECT_FALSE(ForwardEnabled());
  EXPECT_FALSE(ui().Click(kCmdBack));

  Tap("chapter1/intro.htm");
  EXPECT_EQ(CurrentPath(), "chapter1/intro.htm");
  EXPECT_TRUE(BackEnabled());
  EXPECT_FALSE(ForwardEnabled());
  Tap("details.htm");  // relative to the page's folder
  EXPECT_EQ(CurrentPath(), "chapter1/details.htm");
  EXPECT_EQ(ui().LastNavigation(), Address(TestBook("basic"), "chapter1/details.htm"));

  // Back to a page in the same folder, then to one at the root.
  Button(kCmdBack);
  EXPECT_EQ(CurrentPath(), "chapter1/intro.htm");
  EXPECT_TRUE(BackEnabled());
  EXPECT_TRUE(ForwardEnabled());
  Button(kCmdBack);
  EXPECT_EQ(CurrentPath(), "index.htm");
  EXPECT_FALSE(BackEnabled());
  EXPECT_TRUE(ForwardEnabled());
  EXPECT_TRUE(ui().messages.empty());

  // Forward twice returns to the last page.
  Button(kCmdForward);
  Button(kCmdForward);
  EXPECT_EQ(CurrentPath(), "chapter1/details.htm");
  EXPECT_FALSE(ForwardEnabled());

  // A new link after Back drops the later entries.
  Button(kCmdBack);
  Tap("/chapter2/My%20Page.htm");
  EXPECT_EQ(CurrentPath(), "chapter2/My Page.htm");
  EXPECT_FALSE(ForwardEnabled());
  EXPECT_TRUE(BackEnabled());
  Button(kCmdBack);
  EXPECT_EQ(CurrentPath(), "chapter1/intro.htm");
  Button(kCmdBack);
  EXPECT_EQ(CurrentPath(), "index.htm");
  EXPECT_FALSE(BackEnabled());
  EXPECT_TRUE(ui().messages.empty());
}

TEST_F(PageTest, BackShowsTheHtmlPanel) {
  ASSERT_TRUE(Start(TestBook("basic")));
  Tap("chapter1/intro.htm");
  Button(kCmdContents);
  ASSERT_TRUE(ui().Visible(Control::kTree));
  Button(kCmdBack);
  EXPECT_EQ(ui().VisibleControls(), (std::vector<Control>{Control::kPageView}));
  EXPECT_EQ(ui().FileMenuText()[11], "(*) &Html");
  EXPECT_EQ(CurrentPath(), "index.htm");
}

TEST_F(PageTest, FragmentsJumpWithinThePage) {
  ASSERT_TRUE(Start(TestBook("basic")));
  Tap("chapter1/details.htm");
  const std::string page = ui().LastNavigation();
  Tap("#part2");
  EXPECT_EQ(ui().LastNavigation(), page + "#part2");
  EXPECT_EQ(CurrentPath(), "chapter1/details.htm#part2");
  // The same fragment again shows nothing new.
  const std::size_t navigations = ui().tab().navigations.size();
  Tap("#part2");
  EXPECT_EQ(ui().tab().navigations.size(), navigations);
  EXPECT_FALSE(ui().Loading());
  // Back to the page without the fragment.
  Button(kCmdBack);
  EXPECT_EQ(ui().LastNavigation(), page);
  EXPECT_EQ(CurrentPath(), "chapter1/details.htm");
}

TEST_F(PageTest, BusyWhileLoading) {
  ASSERT_TRUE(Start(TestBook("basic")));
  ui().scroll = ScrollInfo{0, 100, 100};
  ASSERT_TRUE(ui().TapLink("chapter1/intro.htm"));
  EXPECT_TRUE(ui().Loading());
  EXPECT_EQ(ui().cursor, Cursor::kWait);
  EXPECT_EQ(ui().FindButton(kCmdRefresh)->image, 2);
  EXPECT_FALSE(ui().menuBarEnabled);
  EXPECT_FALSE(ui().At(Control::kPageView).enabled);
  // Nothing starts another navigation meanwhile: no buttons, no taps, no
  // keys, and a link that comes anyway is ignored.
  const std::size_t navigations = ui().tab().navigations.size();
  EXPECT_FALSE(ui().Click(kCmdHome));
  EXPECT_FALSE(ui().TapLink("details.htm"));
  EXPECT_TRUE(ui().PressPageKey(PageKey::kDown));
  ui().tab().owner.Page().OnLinkTapped("details.htm");
  EXPECT_EQ(ui().tab().navigations.size(), navigations);
  EXPECT_EQ(CurrentPath(), "chapter1/intro.htm");

  ui().Complete();
  EXPECT_FALSE(ui().Loading());
  EXPECT_EQ(ui().cursor, Cursor::kNormal);
  EXPECT_EQ(ui().FindButton(kCmdRefresh)->image, 3);
  EXPECT_TRUE(ui().menuBarEnabled);
  EXPECT_TRUE(ui().At(Control::kPageView).enabled);
  EXPECT_EQ(ui().tab().focus, Control::kPageView);
  // The contents follow the page the link led to; the key steps on from
  // its entry.
  EXPECT_EQ(ui().tab().treeSelection, ui().TreeItemNamed("Chapter 1"));
  Key(PageKey::kDown);
  EXPECT_EQ(ui().tab().treeSelection, ui().TreeItemNamed("Details"));
  EXPECT_EQ(CurrentPath(), "chapter1/details.htm");
}

TEST_F(PageTest, TheContentsFollowThePageWhateverBroughtIt) {
  ASSERT_TRUE(Start(TestBook("basic")));
  EXPECT_EQ(ui().tab().treeSelection, ui().TreeItemNamed("Welcome"));
  Tap("chapter1/details.htm");
  EXPECT_EQ(ui().tab().treeSelection, ui().TreeItemNamed("Details"));
  Tap("#part2");
  EXPECT_EQ(ui().tab().treeSelection, ui().TreeItemNamed("Part two"));
  // A page the contents lack leaves no entry selected: the keys then go
  // by the topic table, not from an entry left behind.
  Tap("/chapter2/left.htm");
  EXPECT_EQ(ui().tab().treeSelection, 0u);
  Button(kCmdBack);
  EXPECT_EQ(ui().tab().treeSelection, ui().TreeItemNamed("Part two"));
  Button(kCmdHome);
  EXPECT_EQ(ui().tab().treeSelection, ui().TreeItemNamed("Welcome"));
}

TEST_F(PageTest, RefreshLoadsTheSamePageAgain) {
  ASSERT_TRUE(Start(TestBook("basic")));
  Tap("chapter1/intro.htm");
  Button(kCmdIndex);
  const std::string page = ui().LastNavigation();
  Button(kCmdRefresh);
  EXPECT_EQ(ui().LastNavigation(), page);
  EXPECT_EQ(ui().tab().navigations.size(), 3u);
  EXPECT_EQ(ui().VisibleControls(), (std::vector<Control>{Control::kPageView}));
  Button(kCmdBack);
  EXPECT_EQ(CurrentPath(), "index.htm");
  EXPECT_FALSE(BackEnabled());
}

TEST_F(PageTest, HomeAndJump) {
  ASSERT_TRUE(Start(TestBook("plain")));
  Button(kCmdHome);
  EXPECT_EQ(CurrentPath(), "page9.htm");
  Button(kCmdJump);
  EXPECT_EQ(CurrentPath(), "page10.htm");
  // Home in a book without a home button is the default topic.
  OpenThroughMenu(TestBook("basic"));
  Tap("chapter1/intro.htm");
  Button(kCmdHome);
  EXPECT_EQ(CurrentPath(), "index.htm");
  EXPECT_FALSE(ui().Click(kCmdJump));
}

TEST_F(PageTest, ImagesOffAndOnLoadThePageAgainWithoutAHistoryEntry) {
  ASSERT_TRUE(Start(TestBook("basic")));
  Tap("chapter1/details.htm");
  Tap("#part2");
  const std::string page = ui().LastNavigation();
  Button(kCmdShowImages);
  EXPECT_FALSE(ui().tab().showImages);
  EXPECT_FALSE(ui().tab().showImages);
  EXPECT_EQ(ui().FileMenuText()[3], "[ ] Show images");
  EXPECT_EQ(CurrentPath(), "chapter1/details.htm#part2");
  EXPECT_EQ(ui().LastNavigation(), page);
  Button(kCmdShowImages);
  EXPECT_TRUE(ui().tab().showImages);
  EXPECT_EQ(ui().FileMenuText()[3], "[x] Show images");
  EXPECT_EQ(ui().tab().navigations.size(), 5u);
  Button(kCmdBack);
  EXPECT_EQ(CurrentPath(), "chapter1/details.htm");
}

TEST_F(PageTest, ViewSettings) {
  ASSERT_TRUE(Start(TestBook("basic")));
  Button(kCmdLargest);
  EXPECT_EQ(ui().tab().zoomLevels.back(), 4);
  EXPECT_EQ(ui().tab().zoomLevels.back(), 4);
  EXPECT_EQ(ui().TextSizeMenuText(),
            (std::vector<std::string>{"[x] Largest", "[ ] Large", "[ ] Medium", "[ ] Small", "[ ] Smallest"}));
  Button(kCmdSmallest);
  EXPECT_EQ(ui().tab().zoomLevels.back(), 0);
  EXPECT_EQ(ui().TextSizeMenuText()[4], "[x] Smallest");
  EXPECT_EQ(ui().TextSizeMenuText()[0], "[ ] Largest");

  Button(kCmdFitToWindow);
  EXPECT_EQ(ui().tab().shrinkToFit.back(), false);
  EXPECT_EQ(ui().FileMenuText()[4], "[ ] Fit to window");
  Button(kCmdFitToWindow);
  EXPECT_EQ(ui().tab().shrinkToFit.back(), true);
  Button(kCmdClearType);
  EXPECT_EQ(ui().tab().clearType.back(), false);
  EXPECT_EQ(ui().FileMenuText()[5], "[ ] ClearType");
  // None of them shows the page again or touches the history.
  EXPECT_EQ(ui().tab().navigations.size(), 1u);
  EXPECT_FALSE(BackEnabled());
}

TEST_F(PageTest, LinksThatLeaveTheBook) {
  ASSERT_TRUE(Start(TestBook("plain")));
  Tap("http://example.com/");
  Tap("mailto:reader@example.com?subject=Hi&attach=/etc/passwd");
  EXPECT_EQ(ui().opened, (std::vector<std::string>{"http://example.com/", "mailto:reader@example.com?subject=Hi"}));
  EXPECT_TRUE(ui().messages.empty());
  EXPECT_FALSE(ui().tab().notice.has_value());
  // Where no program opens it, the window says so.
  ui().externalFails = true;
  Tap("https://example.com/a");
  EXPECT_EQ(ui().tab().notice, "No program on this computer opens https://example.com/a");
  ui().externalFails = false;
  ui().opened.clear();
  // Links the book lacks open nothing and say so; a javascript: link is
  // the page's own (its script runs it) and says nothing.
  Tap("missing.htm");
  Tap("file:///etc/passwd");
  Tap(" JavaScript:history.back(1)");
  EXPECT_TRUE(ui().opened.empty());
  ASSERT_EQ(ui().messages.size(), 2u);
  EXPECT_EQ(ui().messages[0].text, "This page is not in the book:\nmissing.htm");
  EXPECT_EQ(ui().messages[1].text, "This page is not in the book:\nfile:///etc/passwd");
  EXPECT_EQ(ui().messages[0].caption, "Tallis Message");
  EXPECT_EQ(ui().messages[0].icon, MessageIcon::kExclamation);
  // A link is taken up to 255 bytes.
  Tap(std::string(300, 'x'));
  ASSERT_EQ(ui().messages.size(), 3u);
  EXPECT_EQ(ui().messages[2].text, "This page is not in the book:\n" + std::string(255, 'x'));
  // The page on screen stays, and the reader is not left busy.
  EXPECT_EQ(CurrentPath(), "index.htm");
  EXPECT_FALSE(ui().Loading());
  EXPECT_FALSE(BackEnabled());
}

TEST_F(PageTest, NothingLeavesWithoutAClick) {
  // A book whose first page is a web address, with the mail program's
  // attachment asked for.
  tessaly::test::BookBuilder b;
  b.AddFile("#SYSTEM", SystemObject({{2, Text("mailto:x@example.com?attach=/etc/passwd")}, {3, Text("Away")}}));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/a.htm", "<p>a</p>");
  BuiltBook book(b);
  ASSERT_TRUE(Start(book.Path()));
  // Each way a book or a page could send the reader out: a page of the
  // reader's own names the address instead, and nothing is opened.
  ASSERT_FALSE(ui().tab().ownPages.empty());
  EXPECT_NE(ui().tab().ownPages.back().find("mailto:x@example.com?attach=/etc/passwd"), std::string::npos);
  EXPECT_NE(ui().tab().ownPages.back().find("Open it"), std::string::npos);
  Button(kCmdHome);
  Tap("a.htm");
  for (const char* away : {"http://example.com/refresh", "https://example.com/script", "ftp://example.com/frame"}) {
    const std::size_t pages = ui().tab().ownPages.size();
    ui().tab().owner.Page().OnRedirect(away);
    ui().Complete();
    ASSERT_EQ(ui().tab().ownPages.size(), pages + 1) << away;
    EXPECT_NE(ui().tab().ownPages.back().find(away), std::string::npos);
  }
  // A page that moves within the books is not answered at all.
  const std::size_t pages = ui().tab().ownPages.size();
  ui().tab().owner.Page().OnRedirect(FormatBookAddress(book.Path(), "a.htm"));
  EXPECT_EQ(ui().tab().ownPages.size(), pages);
  EXPECT_TRUE(ui().opened.empty());
  // The user's click on the address opens it, without the attachment.
  Tap("mailto:x@example.com?attach=/etc/passwd");
  EXPECT_EQ(ui().opened, (std::vector<std::string>{"mailto:x@example.com"}));
}

TEST_F(PageTest, LinksFromAPageInAFolder) {
  ASSERT_TRUE(Start(TestBook("plain")));
  Tap("notes/note1.htm");
  Tap("../page09.htm");
  EXPECT_EQ(CurrentPath(), "page09.htm");
  Button(kCmdBack);
  EXPECT_EQ(CurrentPath(), "notes/note1.htm");
  Tap("../index.htm");
  EXPECT_EQ(CurrentPath(), "index.htm");
  EXPECT_TRUE(ui().messages.empty());
}

TEST_F(PageTest, LinkTextIsTakenAsTheBooksCodePage) {
  // The view reports links as UTF-8; a book in code page 1252 writes
  // "café.htm" as its bytes, and that is what preparation looks for.
  tessaly::test::BookBuilder b;
  b.AddFile("#SYSTEM", SystemObject({{2, Text("start.htm")}, {3, Text("Links")}}));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/start.htm", "<a href=\"caf\xE9.htm\">x</a>");
  b.AddFile("/caf\xE9.htm", "<p>caf\xE9</p>");
  BuiltBook book(b);
  ASSERT_TRUE(Start(book.Path()));
  Tap("café.htm");
  EXPECT_EQ(CurrentPath(), "caf\xC3\xA9.htm");  // the address names it in UTF-8
  EXPECT_TRUE(ui().messages.empty());
  // The view is told the page in UTF-8, and finds it when it asks.
  EXPECT_TRUE(ui().LastNavigation().ends_with("::/caf%C3%A9.htm")) << ui().LastNavigation();
  const PageObject page = ui().Fetch(ui().LastNavigation());
  EXPECT_EQ(page.bytes, "<p>caf\xE9</p>");
}

// --- Stepping with the up and down keys ---------------------------------------------

TEST_F(PageTest, StepsThroughTheContentsAtTheEdgesOnly) {
  ASSERT_TRUE(Start(TestBook("basic")));
  // In the middle of a page the view scrolls; nothing else happens.
  ui().scroll = ScrollInfo{50, 100, 400};
  Key(PageKey::kDown);
  Key(PageKey::kUp);
  EXPECT_EQ(CurrentPath(), "index.htm");

  ui().scroll = ScrollInfo{300, 100, 400};  // at the bottom
  Key(PageKey::kDown);
  EXPECT_EQ(CurrentPath(), "chapter1/intro.htm");
  EXPECT_EQ(ui().tab().treeSelection, ui().TreeItemNamed("Chapter 1"));
  Key(PageKey::kDown);
  Key(PageKey::kDown);
  EXPECT_EQ(CurrentPath(), "chapter1/details.htm#part2");
  EXPECT_EQ(ui().tab().treeSelection, ui().TreeItemNamed("Part two"));
  // Up only at the top.
  Key(PageKey::kUp);
  EXPECT_EQ(CurrentPath(), "chapter1/details.htm#part2");
  ui().scroll = ScrollInfo{0, 100, 400};
  Key(PageKey::kUp);
  EXPECT_EQ(ui().tab().treeSelection, ui().TreeItemNamed("Details"));
  EXPECT_EQ(CurrentPath(), "chapter1/details.htm");
  // An unknown scroll state counts as the edge.
  ui().scroll.reset();
  Key(PageKey::kUp);
  Key(PageKey::kUp);
  EXPECT_EQ(CurrentPath(), "index.htm");
  // Before the first entry there is nothing.
  const std::size_t navigations = ui().tab().navigations.size();
  Key(PageKey::kUp);
  EXPECT_EQ(ui().tab().navigations.size(), navigations);
}

TEST_F(PageTest, StepsThroughTheTopicTableWithoutContents) {
  // No contents; the topic table lists index.htm, a.htm .. f.htm in turn.
  ASSERT_TRUE(Start(TestBook("search")));
  ASSERT_FALSE(ui().Exists(Control::kTree));
  Key(PageKey::kDown);
  EXPECT_EQ(CurrentPath(), "a.htm");
  Key(PageKey::kDown);
  EXPECT_EQ(CurrentPath(), "b.htm");
  Key(PageKey::kUp);
  Key(PageKey::kUp);
  EXPECT_EQ(CurrentPath(), "index.htm");
  const std::size_t navigations = ui().tab().navigations.size();
  Key(PageKey::kUp);  // topic -1
  EXPECT_EQ(ui().tab().navigations.size(), navigations);
  EXPECT_TRUE(ui().messages.empty());
}

TEST_F(PageTest, StepsThroughNumberedFileNames) {
  // No contents and no topic table: the number in the file name counts.
  ASSERT_TRUE(Start(TestBook("plain")));
  Tap("page09.htm");
  Key(PageKey::kDown);
  EXPECT_EQ(CurrentPath(), "page10.htm");
  Key(PageKey::kUp);  // leading zeros are not kept
  EXPECT_EQ(CurrentPath(), "page9.htm");
  // page8.htm is not in the book: nothing happens, nothing is reported.
  const std::size_t navigations = ui().tab().navigations.size();
  Key(PageKey::kUp);
  EXPECT_EQ(ui().tab().navigations.size(), navigations);
  EXPECT_TRUE(ui().messages.empty());
  // A page without a number stays.
  Button(kCmdHome);
  Tap("index.htm");
  Key(PageKey::kDown);
  EXPECT_EQ(CurrentPath(), "index.htm");
}

TEST_F(PageTest, ActionKeyWithoutContentsGoesToTheView) {
  ASSERT_TRUE(Start(TestBook("plain")));
  EXPECT_TRUE(ui().PressPageKey(PageKey::kAction));
  EXPECT_EQ(ui().VisibleControls(), (std::vector<Control>{Control::kPageView}));
}

TEST_F(PageTest, AFramesetIsOnePageWhoseFramesTheViewAsksFor) {
  ASSERT_TRUE(Start(TestBook("basic")));
  Tap("chapter2/frames.htm");
  EXPECT_FALSE(ui().Loading());
  EXPECT_TRUE(ui().messages.empty());
  EXPECT_EQ(CurrentPath(), "chapter2/frames.htm");
  const std::string base = FormatBookAddress(TestBook("basic"), "chapter2/");
  EXPECT_NE(ui().Fetch(base + "frames.htm").bytes.find("left.htm"), std::string::npos);
  EXPECT_FALSE(ui().Fetch(base + "left.htm").error.has_value());
  EXPECT_FALSE(ui().Fetch(base + "right.htm").error.has_value());
  Button(kCmdBack);
  EXPECT_EQ(CurrentPath(), "index.htm");
}

TEST_F(PageTest, OnlyObjectsOfTheOpenBookAreServed) {
  ASSERT_TRUE(Start(TestBook("basic")));
  const std::string book = TestBook("basic");
  // A page's absolute link ("/style.css") comes without the book's path:
  // it is a name inside the book.
  EXPECT_FALSE(ui().Fetch("ms-its:/style.css").error.has_value());
  // Things outside the book, however the address is written, are names in
  // the book it lacks: no file of the machine is ever opened for a request.
  tessaly::test::TempDir scratch;
  const std::string fifo = scratch.Path() + "/fifo.chm";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string huge = scratch.Path() + "/huge.chm";
  std::ofstream(huge).put('x');
  std::filesystem::resize_file(huge, 4ull << 30);  // sparse
  const std::string other = TestBook("plain");
  for (const std::string& address : std::vector<std::string>{
           "ms-its:/etc/passwd",
           "ms-its:" + book + "::/../../../../../etc/passwd",
           "ms-its:" + book + "::/%2e%2e%2f%2e%2e%2f%2e%2e%2fetc%2fpasswd",
           "ms-its:" + book + "::%2F..%2F..%2Fetc%2Fpasswd",
           "ms-its:" + other + "::/index.htm",
           "ms-its:/etc/passwd::/",
           "ms-its:/dev/zero::/x.htm",
           "ms-its:" + fifo + "::/index.htm",
           "ms-its:" + huge + "::/index.htm",
           "ms-its:" + book + "::/missing.htm",
           "ms-its:" + book + "::/style.css%",
           "file:///etc/passwd",
           "tessaly-page:///index0.htm",
       }) {
    const PageObject object = ui().Fetch(address);
    EXPECT_TRUE(object.error.has_value()) << address;
    EXPECT_TRUE(object.bytes.empty()) << address;
  }
}

// A Russian book (code page 1251) whose pages name parts it lacks.
tessaly::test::BookBuilder PartsBook() {
  tessaly::test::BookBuilder b;
  b.AddFile("#SYSTEM", SystemObject({{2, Text("a.htm")}, {3, Text("Parts")}, {4, LanguageRecord(0x419)}}));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/a.htm",
            "<script src=\"jquery.js\"></script><img src=\"\xCB\xE8\xF1\xF2.gif\"><img src=\"jquery.js\">"
            "<a name=\"x\">x</a><img src=\"ok.gif\">");
  b.AddFile("/ok.gif", "GIF");
  b.AddFile("/b.htm", "<img src=\"ok.gif\">");
  std::string many;
  for (int i = 0; i < 25; ++i) many += "<img src=\"m" + std::to_string(i) + ".gif\">";
  b.AddFile("/many.htm", many);
  b.AddRawEntry("/\xD0\x91\xD0\xB0\xD0\xB4.htm", 0, 0x7fffff00, 100);
  return b;
}

TEST_F(PageTest, MissingPartsOfAPageShowOneNoticeNotABoxEach) {
  BuiltBook book(PartsBook());
  ASSERT_TRUE(Start(book.Path()));
  EXPECT_EQ(CurrentPath(), "a.htm");
  // What the view asks for and the book lacks: each text once, in the
  // book's letters (the view names them in UTF-8), and no box.
  const std::string base = FormatBookAddress(book.Path(), "");
  const auto fetchParts = [&](const std::vector<std::string>& names) {
    for (const std::string& name : names) EXPECT_TRUE(ui().Fetch(base + name).error.has_value()) << name;
  };
  fetchParts({"jquery.js", "%D0%9B%D0%B8%D1%81%D1%82.gif", "jquery.js"});
  EXPECT_FALSE(ui().Fetch(base + "ok.gif").error.has_value());
  EXPECT_TRUE(ui().messages.empty());
  ASSERT_TRUE(ui().tab().notice.has_value());
  EXPECT_EQ(*ui().tab().notice,
            "Can't find entry for file jquery.js\n"
            "Can't find entry for file \xD0\x9B\xD0\xB8\xD1\x81\xD1\x82.gif");
  // A jump within the page keeps its notice; another page starts without
  // one, and an answer that comes after it belongs to the page before.
  const int shown = ui().tab().noticesShown;
  Tap("#x");
  EXPECT_TRUE(ui().tab().notice.has_value());
  EXPECT_EQ(ui().tab().noticesShown, shown);
  ui().tab().owner.Page().OnObjectRequest(base + "late.gif", [](PageObject) {});
  Tap("b.htm");
  EXPECT_FALSE(ui().tab().notice.has_value());
  // A page that lacks many parts names the first ten and counts the rest.
  Tap("many.htm");
  std::vector<std::string> many;
  for (int i = 0; i < 25; ++i) many.push_back("m" + std::to_string(i) + ".gif");
  fetchParts(many);
  ASSERT_TRUE(ui().tab().notice.has_value());
  EXPECT_EQ(std::count(ui().tab().notice->begin(), ui().tab().notice->end(), '\n'), 10);
  EXPECT_NE(ui().tab().notice->find("m9.gif\n... and 15 more."), std::string::npos) << *ui().tab().notice;
  EXPECT_TRUE(ui().messages.empty());
}

TEST_F(PageTest, APageThatCannotBeReadIsToldInTheBooksLetters) {
  BuiltBook book(PartsBook());
  ASSERT_TRUE(Start(book.Path()));
  Tap("\xC1\xE0\xE4.htm");  // "Bad.htm" in Russian, as a page of the book writes it
  const PageObject page = ui().Fetch(ui().LastNavigation());
  ASSERT_TRUE(page.error.has_value());
  ASSERT_TRUE(ui().tab().notice.has_value());
  EXPECT_NE(ui().tab().notice->find("\xD0\x91\xD0\xB0\xD0\xB4.htm"), std::string::npos) << *ui().tab().notice;
  EXPECT_TRUE(ui().messages.empty());
}

}  // namespace
}  // namespace tessaly::app::test
