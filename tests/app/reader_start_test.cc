// Start-up, the instance value in the store, the second start and the clean
// close; nothing is written to disk on the way.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "app/recording_platform.h"
#include "book/book.h"

namespace tessaly::app::test {
namespace {

namespace fs = std::filesystem;
using tessaly::test::TestBook;

// Everything under the desktop's scratch root: the reader writes nothing.
std::vector<std::string> Written(const std::string& root) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(root)) found.push_back(entry.path().string());
  return found;
}

using StartTest = ReaderTest;

TEST_F(StartTest, WithoutBookShowsMenusOnlyAndTheTitle) {
  ASSERT_TRUE(Start());
  EXPECT_FALSE(ui().windowDestroyed);
  EXPECT_TRUE(ui().windowCreated);
  EXPECT_EQ(ui().title, "Tessaly");
  EXPECT_EQ(ui().menuLabels, (std::vector<std::string>{"File", "Library", "Help"}));
  EXPECT_EQ(ui().FileMenuText(), (std::vector<std::string>{"Open", "~Recent Books", "---", "~Text Size", "---", "Exit"}));
  EXPECT_EQ(ui().HelpMenuText(), (std::vector<std::string>{"Help Topics", "About"}));
  EXPECT_EQ(ui().TextSizeMenuText(),
            (std::vector<std::string>{"[ ] Largest", "[ ] Large", "[ ] Medium", "[ ] Small", "[ ] Smallest"}));
  EXPECT_EQ(ui().ButtonCommands(), (std::vector<int>{kFileMenuButton, kHelpMenuButton}));
  // The start view stands in the page's place.
  EXPECT_EQ(ui().VisibleControls(), (std::vector<Control>{Control::kPageView}));
  EXPECT_EQ(ui().tab().ownPages.size(), 1u);
  EXPECT_TRUE(ui().notifyIcon);
  EXPECT_TRUE(ui().messages.empty());
  // A disabled sub-menu takes no taps.
  EXPECT_FALSE(ui().Click(kCmdLargest));
  // A book's view settings start at their defaults.
  OpenThroughMenu(TestBook("basic"));
  ASSERT_FALSE(ui().tab().zoomLevels.empty());
  EXPECT_TRUE(ui().tab().shrinkToFit.back());
  EXPECT_TRUE(ui().tab().showImages);
  EXPECT_TRUE(ui().tab().clearType.back());
  EXPECT_EQ(ui().tab().zoomLevels.back(), 2);
}

TEST_F(StartTest, TheStartViewListsTheRecentBooksAndOpensThem) {
  ASSERT_TRUE(Start());
  ASSERT_EQ(ui().tab().ownPages.size(), 1u);
  EXPECT_NE(ui().tab().ownPages[0].find("Open a book..."), std::string::npos);
  EXPECT_NE(ui().tab().ownPages[0].find("No book has been opened yet."), std::string::npos);
  // Its open link is File > Open.
  ui().files.push_back(TestBook("basic"));
  ASSERT_TRUE(ui().TapLink("tessaly:open"));
  if (ui().Loading()) ui().Complete();
  EXPECT_EQ(ui().title, "Tessaly Test Book");
  OpenThroughMenu(TestBook("plain"));
  // With its tabs closed the window shows the start view again, and a book
  // that fails leaves it there: both books, each by its title, its file and
  // when it was opened, most recent first.
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(ui().Key(kCmdCloseTab));
    if (ui().Loading()) ui().Complete();
  }
  OpenThroughMenu("/no/such/book.chm");
  ASSERT_EQ(ui().messages.size(), 1u);
  ui().messages.clear();
  ASSERT_FALSE(ui().tab().ownPages.empty());
  const std::string& view = ui().tab().ownPages.back();
  const std::size_t plain = view.find("Plain Test Book");
  const std::size_t basic = view.find("Tessaly Test Book");
  ASSERT_NE(plain, std::string::npos) << view;
  ASSERT_NE(basic, std::string::npos) << view;
  EXPECT_LT(plain, basic);
  EXPECT_NE(view.find(TestBook("basic")), std::string::npos);
  // A click on a book opens it; a link to anything else opens nothing.
  ASSERT_TRUE(ui().TapLink("ms-its:/etc/passwd::/"));
  EXPECT_EQ(ui().title, "Tessaly");
  EXPECT_TRUE(ui().messages.empty());
  if (ui().Loading()) ui().Complete();
  ASSERT_TRUE(ui().TapLink("ms-its:" + TestBook("basic") + "::/"));
  if (ui().Loading()) ui().Complete();
  EXPECT_EQ(ui().title, "Tessaly Test Book");
}

TEST_F(StartTest, WindowThatCannotBeMadeEndsQuietly) {
  ui().failWindow = true;
  EXPECT_FALSE(Start());
  EXPECT_TRUE(ui().messages.empty());
  EXPECT_TRUE(Written(root.Path()).empty());
}

TEST_F(StartTest, CleanCloseClearsTheStoredValue) {
  ASSERT_TRUE(Start(tessaly::test::TestBook("basic")));
  EXPECT_EQ(desktop.store[StoreKey::kPrev]["HWND"], std::to_string(ui().OwnInstance()));
  reader().OnClose();
  EXPECT_TRUE(ui().windowDestroyed);
  EXPECT_EQ(desktop.store[StoreKey::kPrev]["HWND"], "0");
  EXPECT_TRUE(Written(root.Path()).empty());
  EXPECT_TRUE(ui().windowDestroyed);
  EXPECT_FALSE(ui().menuBarCreated);
  EXPECT_FALSE(ui().notifyIcon);
  // The close path runs once; later events are ignored.
  const std::size_t calls = ui().log.size();
  reader().OnClose();
  ui().Click(kCmdHome);
  EXPECT_EQ(ui().log.size(), calls);
}

TEST_F(StartTest, ExitAndTheSystemsCloseEndEveryTab) {
  for (const bool throughMenu : {true, false}) {
    Session reader(desktop);
    ASSERT_TRUE(reader.reader.Start(tessaly::test::TestBook("basic")));
    reader.platform.Drain();
    reader.platform.Complete();
    ASSERT_EQ(reader.platform.tabs.size(), 1u);
    if (throughMenu) {
      ASSERT_TRUE(reader.platform.Click(kCmdExit));
    } else {
      reader.reader.OnClose();
    }
    EXPECT_TRUE(reader.platform.tabs.empty()) << throughMenu;
    EXPECT_TRUE(reader.platform.windowDestroyed);
    EXPECT_TRUE(Written(root.Path()).empty());
  }
}

TEST_F(StartTest, ReplacedReaderLeavesTheNewValuesAlone) {
  ASSERT_TRUE(Start());
  desktop.store[StoreKey::kPrev]["HWND"] = "424242";
  reader().OnClose();
  EXPECT_EQ(desktop.store[StoreKey::kPrev]["HWND"], "424242");
}

TEST_F(StartTest, WithoutTheStoreKeyNothingIsKept) {
  desktop.store.erase(StoreKey::kPrev);
  ASSERT_TRUE(Start());
  EXPECT_FALSE(desktop.store.count(StoreKey::kPrev));
  for (const std::string& call : ui().log) EXPECT_FALSE(call.starts_with("Store ")) << call;
  reader().OnClose();
  EXPECT_TRUE(Written(root.Path()).empty());
}

TEST_F(StartTest, NotificationIconBringsTheReaderToTheFront) {
  ASSERT_TRUE(Start());
  reader().OnNotifyIconTap();
  EXPECT_EQ(ui().raised, 1);
}

TEST_F(StartTest, StrayCommandsWithoutABookAreHarmless) {
  // Commands whose items and buttons do not exist, sent anyway: before any
  // book, and after a book that failed to open.
  for (const std::string& start : {std::string(), std::string("/no/such/book.chm")}) {
    SCOPED_TRACE(start);
    Session stray(desktop);
    ASSERT_TRUE(stray.reader.Start(start));
    stray.platform.Drain();
    stray.platform.Drain();
    const std::size_t messages = stray.platform.messages.size();
    for (int command :
         {302, 303, 304, 305, 306, 307, 1001, 1002, 1003, 1004, 1005, 1006, 1007, 1011, 1030, 4242}) {
      stray.reader.OnCommand(command);
    }
    BookTab& tab = stray.platform.tab().owner;
    tab.Contents().OnEnter();
    tab.Contents().OnTap(1);
    tab.Page().OnLinkTapped("index.htm");
    stray.platform.Drain();
    EXPECT_TRUE(tab.Page().OnKey(PageKey::kDown));
    EXPECT_TRUE(tab.Page().OnKey(PageKey::kAction));
    EXPECT_EQ(stray.platform.messages.size(), messages);
    EXPECT_EQ(stray.platform.tab().navigations, (std::vector<std::string>{"about:blank"})) << "the start view only";
    EXPECT_EQ(stray.platform.VisibleControls(), (std::vector<Control>{Control::kPageView}));
    stray.reader.OnCommand(kCmdExit);
    EXPECT_TRUE(stray.platform.windowDestroyed);
  }
}

TEST_F(StartTest, InputDuringAnOpenIsAnsweredAndACloseCancelsIt) {
  // The open runs on a worker that the test holds back.
  ui().holdWork = true;
  reader().Start(TestBook("basic"));
  ASSERT_TRUE((ui().cursor == Cursor::kWait));
  EXPECT_EQ(ui().progressLog, (std::vector<std::string>{"show Contents creation...", "0"}));
  EXPECT_EQ(ui().cursor, Cursor::kWait);
  // The window answers meanwhile.
  ASSERT_TRUE(ui().Click(kCmdAbout));
  EXPECT_EQ(ui().aboutBoxes.size(), 1u);
  // A close closes at once, unregistered, without waiting for the open.
  reader().OnClose();
  EXPECT_TRUE(ui().windowDestroyed);
  EXPECT_TRUE(ui().windowDestroyed);
  EXPECT_TRUE(Written(root.Path()).empty());
  // The open finishes on its worker; nothing of it reaches the window.
  ui().Drain();
  EXPECT_EQ(ui().title, "Tessaly");
  EXPECT_TRUE(ui().tabs.empty());
  EXPECT_EQ(desktop.store[StoreKey::kPrev]["HWND"], "0");
}

TEST_F(StartTest, AnotherOpenDuringOneUnderWayOpensBesideIt) {
  ui().holdWork = true;
  reader().Start(TestBook("basic"));
  ui().files.push_back(TestBook("plain"));
  ASSERT_TRUE(ui().Click(kCmdOpen));
  ui().Drain();
  ui().CompleteAll();
  // Each book in its tab; the one opened last in front, with its title,
  // its page, its panels.
  EXPECT_EQ(ui().TabLabels(), (std::vector<std::string>{"Tessaly Test Book", "Plain Test Book"}));
  EXPECT_EQ(ui().title, "Plain Test Book");
  EXPECT_EQ(ui().tab().navigations.size(), 1u);
  EXPECT_FALSE(ui().Exists(Control::kTree));
  EXPECT_FALSE(ui().progressVisible);
  ui().TapTab(0);
  EXPECT_EQ(ui().title, "Tessaly Test Book");
  EXPECT_TRUE(ui().Exists(Control::kTree));
}

// --- Two readers -------------------------------------------------------------------

TEST_F(StartTest, SecondStartWithoutABookRaisesTheFirstAndEnds) {
  ASSERT_TRUE(Start());
  Session second(desktop);
  EXPECT_FALSE(second.reader.Start(""));
  second.platform.Drain();
  second.platform.Drain();
  EXPECT_FALSE(second.platform.windowCreated);
  EXPECT_EQ(ui().raised, 1);
  EXPECT_EQ(desktop.events, (std::vector<std::string>{"raise " + std::to_string(ui().OwnInstance())}));
  // The first reader's value stands.
  EXPECT_EQ(desktop.store[StoreKey::kPrev]["HWND"], std::to_string(ui().OwnInstance()));
}

}  // namespace
}  // namespace tessaly::app::test
