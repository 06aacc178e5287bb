// The page view: links and fragments, Back and Forward, Refresh, Home and
// Jump, the busy state, images off and on, text size and the other view
// settings, and the keys that step to the previous or next topic.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/recording_platform.h"
#include "pages/history.h"

namespace tessaly::app::test {
namespace {

namespace fs = std::filesystem;
using tessaly::test::TestBook;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class PageTest : public ReaderTest {
 protected:
  // A tapped link, loaded to the end.
  void Tap(std::string_view link) {
    ASSERT_TRUE(ui().TapLink(link)) << link;
    if (reader().Busy()) ui().Complete();
  }
  void Button(int command) {
    ASSERT_TRUE(ui().Click(command)) << command;
    if (reader().Busy()) ui().Complete();
  }
  void Key(PageKey key) {
    EXPECT_TRUE(ui().PressPageKey(key));
    if (reader().Busy()) ui().Complete();
  }
  bool BackEnabled() const { return session->platform.FindButton(kCmdBack)->enabled; }
  bool ForwardEnabled() const { return session->platform.FindButton(kCmdForward)->enabled; }
  std::string Folder() { return reader().TempFolder(); }
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
  EXPECT_EQ(reader().GetHistory().Count(), 3);

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
  EXPECT_EQ(reader().GetHistory().Count(), 3);
  EXPECT_EQ(reader().GetHistory().Position(), 3);

  // A new link after Back drops the later entries.
  Button(kCmdBack);
  Tap("/chapter2/My%20Page.htm");
  EXPECT_EQ(CurrentPath(), "chapter2/My Page.htm");
  EXPECT_FALSE(ForwardEnabled());
  EXPECT_TRUE(BackEnabled());
  EXPECT_EQ(reader().GetHistory().Count(), 3);
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

TEST_F(PageTest, FragmentsReuseThePageFile) {
  ASSERT_TRUE(Start(TestBook("basic")));
  Tap("chapter1/details.htm");
  const std::string file = ui().LastNavigation();
  const auto files = fs::directory_iterator(Folder());
  const std::size_t before = std::distance(fs::begin(files), fs::end(files));
  Tap("#part2");
  EXPECT_EQ(ui().LastNavigation(), file + "#part2");
  EXPECT_EQ(CurrentPath(), "chapter1/details.htm#part2");
  EXPECT_EQ(reader().GetHistory().Count(), 3);
  const auto after = fs::directory_iterator(Folder());
  EXPECT_EQ(static_cast<std::size_t>(std::distance(fs::begin(after), fs::end(after))), before);
  // The same fragment again shows nothing new.
  const std::size_t navigations = ui().navigations.size();
  Tap("#part2");
  EXPECT_EQ(ui().navigations.size(), navigations);
  EXPECT_FALSE(reader().Busy());
  // Back to the page without the fragment.
  Button(kCmdBack);
  EXPECT_EQ(ui().LastNavigation(), file);
  EXPECT_EQ(CurrentPath(), "chapter1/details.htm");
}

TEST_F(PageTest, BusyWhileLoading) {
  ASSERT_TRUE(Start(TestBook("basic")));
  ui().scroll = ScrollInfo{0, 100, 100};
  ASSERT_TRUE(ui().TapLink("chapter1/intro.htm"));
  EXPECT_TRUE(reader().Busy());
  EXPECT_EQ(ui().cursor, Cursor::kWait);
  EXPECT_EQ(ui().FindButton(kCmdRefresh)->image, 2);
  EXPECT_FALSE(ui().menuBarEnabled);
  EXPECT_FALSE(ui().At(Control::kPageView).enabled);
  // Nothing starts another navigation meanwhile: no buttons, no taps, no
  // keys, and a link that comes anyway is ignored.
  const std::size_t navigations = ui().navigations.size();
  EXPECT_FALSE(ui().Click(kCmdHome));
  EXPECT_FALSE(ui().TapLink("details.htm"));
  EXPECT_TRUE(ui().PressPageKey(PageKey::kDown));
  reader().OnLinkTapped("details.htm");
  EXPECT_EQ(ui().navigations.size(), navigations);
  EXPECT_EQ(CurrentPath(), "chapter1/intro.htm");

  ui().Complete();
  EXPECT_FALSE(reader().Busy());
  EXPECT_EQ(ui().cursor, Cursor::kNormal);
  EXPECT_EQ(ui().FindButton(kCmdRefresh)->image, 3);
  EXPECT_TRUE(ui().menuBarEnabled);
  EXPECT_TRUE(ui().At(Control::kPageView).enabled);
  EXPECT_EQ(ui().focus, Control::kPageView);
  // Now the key steps on, through the contents entry selected.
  Key(PageKey::kDown);
  EXPECT_EQ(ui().treeSelection, ui().TreeItemNamed("Chapter 1"));
}

TEST_F(PageTest, RefreshLoadsTheSameFileAgain) {
  ASSERT_TRUE(Start(TestBook("basic")));
  Tap("chapter1/intro.htm");
  Button(kCmdIndex);
  const std::string file = ui().LastNavigation();
  const std::vector<std::string> names = [&] {
    std::vector<std::string> n;
    for (const auto& e : fs::directory_iterator(Folder())) n.push_back(e.path().filename().string());
    std::sort(n.begin(), n.end());
    return n;
  }();
  Button(kCmdRefresh);
  EXPECT_EQ(ui().LastNavigation(), file);
  EXPECT_EQ(ui().navigations.size(), 3u);
  EXPECT_EQ(reader().GetHistory().Count(), 2);
  EXPECT_EQ(ui().VisibleControls(), (std::vector<Control>{Control::kPageView}));
  std::vector<std::string> now;
  for (const auto& e : fs::directory_iterator(Folder())) now.push_back(e.path().filename().string());
  std::sort(now.begin(), now.end());
  EXPECT_EQ(now, names);
}

TEST_F(PageTest, HomeAndJump) {
  ASSERT_TRUE(Start(TestBook("plain")));
  Button(kCmdHome);
  EXPECT_EQ(CurrentPath(), "page9.htm");
  Button(kCmdJump);
  EXPECT_EQ(CurrentPath(), "page10.htm");
  EXPECT_EQ(reader().GetHistory().Count(), 3);
  // Home in a book without a home button is the default topic.
  OpenThroughMenu(TestBook("basic"));
  Tap("chapter1/intro.htm");
  Button(kCmdHome);
  EXPECT_EQ(CurrentPath(), "index.htm");
  EXPECT_FALSE(ui().Click(kCmdJump));
}

TEST_F(PageTest, ImagesOffAndOnRewriteThePageWithoutAHistoryEntry) {
  ASSERT_TRUE(Start(TestBook("basic")));
  ASSERT_TRUE(fs::exists(Folder() + "/1file.gif"));
  Button(kCmdShowImages);
  EXPECT_FALSE(reader().ShowImages());
  EXPECT_EQ(ui().FileMenuText()[3], "[ ] Show images");
  EXPECT_EQ(CurrentPath(), "index.htm");
  EXPECT_EQ(reader().GetHistory().Count(), 1);
  EXPECT_EQ(ShownFile(), "index1.htm");
  const std::string page = ReadText(Folder() + "/index1.htm");
  EXPECT_NE(page.find("<ixg src=\"images/logo.gif\""), std::string::npos) << page;
  for (const auto& e : fs::directory_iterator(Folder())) {
    EXPECT_NE(e.path().extension(), ".gif") << e.path();
  }
  Button(kCmdShowImages);
  EXPECT_TRUE(reader().ShowImages());
  EXPECT_EQ(ui().FileMenuText()[3], "[x] Show images");
  EXPECT_EQ(ShownFile(), "index2.htm");
  EXPECT_NE(ReadText(Folder() + "/index2.htm").find("<img src="), std::string::npos);
  EXPECT_EQ(reader().GetHistory().Count(), 1);
  EXPECT_FALSE(BackEnabled());
}

TEST_F(PageTest, ImagesSwitchKeepsTheFragment) {
  ASSERT_TRUE(Start(TestBook("basic")));
  Tap("chapter1/details.htm");
  Tap("#part2");
  Button(kCmdShowImages);
  EXPECT_EQ(CurrentPath(), "chapter1/details.htm");
  EXPECT_TRUE(ui().LastNavigation().ends_with("index2.htm#part2")) << ui().LastNavigation();
  EXPECT_EQ(reader().GetHistory().Count(), 3);
}

TEST_F(PageTest, ViewSettings) {
  ASSERT_TRUE(Start(TestBook("basic")));
  Button(kCmdLargest);
  EXPECT_EQ(reader().TextSize(), 4);
  EXPECT_EQ(ui().zoomLevels.back(), 4);
  EXPECT_EQ(ui().TextSizeMenuText(),
            (std::vector<std::string>{"[x] Largest", "[ ] Large", "[ ] Medium", "[ ] Small", "[ ] Smallest"}));
  Button(kCmdSmallest);
  EXPECT_EQ(ui().zoomLevels.back(), 0);
  EXPECT_EQ(ui().TextSizeMenuText()[4], "[x] Smallest");
  EXPECT_EQ(ui().TextSizeMenuText()[0], "[ ] Largest");

  Button(kCmdFitToWindow);
  EXPECT_EQ(ui().shrinkToFit.back(), false);
  EXPECT_EQ(ui().FileMenuText()[4], "[ ] Fit to window");
  Button(kCmdFitToWindow);
  EXPECT_EQ(ui().shrinkToFit.back(), true);
  Button(kCmdClearType);
  EXPECT_EQ(ui().clearType.back(), false);
  EXPECT_EQ(ui().FileMenuText()[5], "[ ] ClearType");
  // None of them shows the page again or touches the history.
  EXPECT_EQ(ui().navigations.size(), 1u);
  EXPECT_EQ(reader().GetHistory().Count(), 1);
}

TEST_F(PageTest, LinksThatLeaveTheBook) {
  ASSERT_TRUE(Start(TestBook("plain")));
  Tap("http://example.com/");
  Tap("mailto:reader@example.com");
  EXPECT_EQ(ui().opened, (std::vector<std::string>{"http://example.com/", "mailto:reader@example.com"}));
  EXPECT_TRUE(ui().messages.empty());
  // Links the book lacks open nothing and say so; a javascript: link is
  // the page's own (its script runs it) and says nothing.
  Tap("missing.htm");
  Tap("file:///etc/passwd");
  Tap(" JavaScript:history.back(1)");
  EXPECT_EQ(ui().opened.size(), 2u);
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
  EXPECT_FALSE(reader().Busy());
  EXPECT_EQ(reader().GetHistory().Count(), 1);
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
  EXPECT_EQ(CurrentPath(), "caf\xE9.htm");
  EXPECT_TRUE(ui().messages.empty());
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
  EXPECT_EQ(ui().treeSelection, ui().TreeItemNamed("Chapter 1"));
  Key(PageKey::kDown);
  Key(PageKey::kDown);
  EXPECT_EQ(CurrentPath(), "chapter1/details.htm#part2");
  EXPECT_EQ(ui().treeSelection, ui().TreeItemNamed("Part two"));
  // Up only at the top.
  Key(PageKey::kUp);
  EXPECT_EQ(CurrentPath(), "chapter1/details.htm#part2");
  ui().scroll = ScrollInfo{0, 100, 400};
  Key(PageKey::kUp);
  EXPECT_EQ(ui().treeSelection, ui().TreeItemNamed("Details"));
  EXPECT_EQ(CurrentPath(), "chapter1/details.htm");
  // An unknown scroll state counts as the edge.
  ui().scroll.reset();
  Key(PageKey::kUp);
  Key(PageKey::kUp);
  EXPECT_EQ(CurrentPath(), "index.htm");
  // Before the first entry there is nothing.
  const std::size_t navigations = ui().navigations.size();
  Key(PageKey::kUp);
  EXPECT_EQ(ui().navigations.size(), navigations);
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
  const std::size_t navigations = ui().navigations.size();
  Key(PageKey::kUp);  // topic -1
  EXPECT_EQ(ui().navigations.size(), navigations);
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
  const std::size_t navigations = ui().navigations.size();
  Key(PageKey::kUp);
  EXPECT_EQ(ui().navigations.size(), navigations);
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

TEST_F(PageTest, FramesetShowsItsFrames) {
  ASSERT_TRUE(Start(TestBook("basic")));
  Tap("chapter2/frames.htm");
  EXPECT_FALSE(reader().Busy());
  EXPECT_TRUE(ui().messages.empty());
  // The last frame is the page left on screen.
  EXPECT_EQ(CurrentPath(), "chapter2/right.htm");
  Button(kCmdBack);
  EXPECT_EQ(CurrentPath(), "chapter2/left.htm");
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
  // Each text once, in the book's letters, and no box stops the reader.
  EXPECT_TRUE(ui().messages.empty());
  ASSERT_TRUE(ui().notice.has_value());
  EXPECT_EQ(*ui().notice,
            "Can't find entry for file jquery.js\n"
            "Can't find entry for file \xD0\x9B\xD0\xB8\xD1\x81\xD1\x82.gif");
  // A jump within the page keeps its notice; a page with all its parts has
  // none; coming back shows it again.
  const int shown = ui().noticesShown;
  Tap("#x");
  EXPECT_TRUE(ui().notice.has_value());
  EXPECT_EQ(ui().noticesShown, shown);
  Tap("b.htm");
  EXPECT_FALSE(ui().notice.has_value());
  Button(kCmdBack);
  EXPECT_TRUE(ui().notice.has_value());
  // A page that lacks many parts names the first ten and counts the rest.
  Tap("many.htm");
  ASSERT_TRUE(ui().notice.has_value());
  EXPECT_EQ(std::count(ui().notice->begin(), ui().notice->end(), '\n'), 10);
  EXPECT_NE(ui().notice->find("m9.gif\n... and 15 more."), std::string::npos) << *ui().notice;
  EXPECT_TRUE(ui().messages.empty());
}

TEST_F(PageTest, APageThatCannotBeReadIsABoxInTheBooksLetters) {
  BuiltBook book(PartsBook());
  ASSERT_TRUE(Start(book.Path()));
  Tap("\xC1\xE0\xE4.htm");  // "Bad.htm" in Russian, as a page of the book writes it
  ASSERT_EQ(ui().messages.size(), 1u);
  EXPECT_EQ(ui().messages[0].caption, "Tallis Exception");
  EXPECT_NE(ui().messages[0].text.find("\xD0\x91\xD0\xB0\xD0\xB4.htm"), std::string::npos) << ui().messages[0].text;
  EXPECT_FALSE(reader().Busy());
}

}  // namespace
}  // namespace tessaly::app::test
