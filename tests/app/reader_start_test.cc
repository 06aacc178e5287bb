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
  EXPECT_FALSE(reader().Closed());
  EXPECT_TRUE(ui().windowCreated);
  EXPECT_EQ(ui().title, "Tessaly");
  EXPECT_EQ(reader().WindowTitle(), "Tessaly");
  EXPECT_EQ(ui().menuLabels, (std::vector<std::string>{"File", "Help"}));
  EXPECT_EQ(ui().FileMenuText(), (std::vector<std::string>{"Open", "~Recent Books", "---", "~Text Size", "---", "Exit"}));
  EXPECT_EQ(ui().HelpMenuText(), (std::vector<std::string>{"Help Topics", "About"}));
  EXPECT_EQ(ui().TextSizeMenuText(),
            (std::vector<std::string>{"[ ] Largest", "[ ] Large", "[ ] Medium", "[ ] Small", "[ ] Smallest"}));
  EXPECT_EQ(ui().ButtonCommands(), (std::vector<int>{kFileMenuButton, kHelpMenuButton}));
  // The start view stands in the page's place.
  EXPECT_EQ(ui().VisibleControls(), (std::vector<Control>{Control::kPageView}));
  EXPECT_EQ(ui().ownPages.size(), 1u);
  EXPECT_TRUE(ui().notifyIcon);
  EXPECT_TRUE(ui().messages.empty());
  // A disabled sub-menu takes no taps.
  EXPECT_FALSE(ui().Click(kCmdLargest));
  // The view settings start at their defaults.
  EXPECT_TRUE(reader().FitToWindow());
  EXPECT_TRUE(reader().ShowImages());
  EXPECT_TRUE(reader().ClearType());
  EXPECT_EQ(reader().TextSize(), 2);
}

TEST_F(StartTest, TheStartViewListsTheRecentBooksAndOpensThem) {
  ASSERT_TRUE(Start());
  ASSERT_EQ(ui().ownPages.size(), 1u);
  EXPECT_NE(ui().ownPages[0].find("Open a book..."), std::string::npos);
  EXPECT_NE(ui().ownPages[0].find("No book has been opened yet."), std::string::npos);
  // Its open link is File > Open.
  ui().files.push_back(TestBook("basic"));
  ASSERT_TRUE(ui().TapLink("tessaly:open"));
  if (reader().Busy()) ui().Complete();
  EXPECT_EQ(ui().title, "Tessaly Test Book");
  OpenThroughMenu(TestBook("plain"));
  // A book that fails shows the start view again: both books, each by its
  // title, its file and when it was opened, most recent first.
  OpenThroughMenu("/no/such/book.chm");
  const std::string& view = ui().ownPages.back();
  const std::size_t plain = view.find("Plain Test Book");
  const std::size_t basic = view.find("Tessaly Test Book");
  ASSERT_NE(plain, std::string::npos) << view;
  ASSERT_NE(basic, std::string::npos) << view;
  EXPECT_LT(plain, basic);
  EXPECT_NE(view.find(TestBook("basic")), std::string::npos);
  // A click on a book opens it; a link to anything else opens nothing.
  ASSERT_TRUE(ui().TapLink("ms-its:/etc/passwd::/"));
  EXPECT_EQ(ui().title, "Tessaly");
  ASSERT_TRUE(ui().TapLink("ms-its:" + TestBook("basic") + "::/"));
  if (reader().Busy()) ui().Complete();
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
  EXPECT_TRUE(reader().Closed());
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

TEST_F(StartTest, ExitFreesTheBookThenCloses) {
  ASSERT_TRUE(Start(tessaly::test::TestBook("basic")));
  ASSERT_NE(reader().CurrentBook(), nullptr);
  ASSERT_TRUE(ui().Click(kCmdExit));
  EXPECT_EQ(reader().CurrentBook(), nullptr);
  EXPECT_TRUE(reader().Closed());
  EXPECT_TRUE(Written(root.Path()).empty());
}

TEST_F(StartTest, ClosingThroughTheSystemKeepsTheBookUntilTheEnd) {
  ASSERT_TRUE(Start(tessaly::test::TestBook("basic")));
  reader().OnClose();
  EXPECT_NE(reader().CurrentBook(), nullptr);
  EXPECT_TRUE(reader().Closed());
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
    for (Control control : {Control::kIndexEdit, Control::kResultsList, Control::kListTopicsButton}) {
      stray.reader.OnControlEvent(control, ControlEvent::kClicked);
    }
    stray.reader.OnTreeEnter();
    stray.reader.OnTreeTap(1);
    stray.reader.OnLinkTapped("index.htm");
    EXPECT_TRUE(stray.reader.OnPageKey(PageKey::kDown));
    EXPECT_TRUE(stray.reader.OnPageKey(PageKey::kAction));
    EXPECT_EQ(stray.platform.messages.size(), messages);
    EXPECT_EQ(stray.platform.navigations, (std::vector<std::string>{"about:blank"})) << "the start view only";
    EXPECT_EQ(stray.platform.VisibleControls(), (std::vector<Control>{Control::kPageView}));
    stray.reader.OnCommand(kCmdExit);
    EXPECT_TRUE(stray.reader.Closed());
  }
}

TEST_F(StartTest, InputDuringAnOpenIsAnsweredAndACloseCancelsIt) {
  // The open runs on a worker that the test holds back.
  ui().holdWork = true;
  reader().Start(TestBook("basic"));
  ASSERT_TRUE(reader().Working());
  EXPECT_EQ(ui().progressLog, (std::vector<std::string>{"show Contents creation...", "0"}));
  EXPECT_EQ(ui().cursor, Cursor::kWait);
  // The window answers meanwhile.
  ASSERT_TRUE(ui().Click(kCmdAbout));
  EXPECT_EQ(ui().aboutBoxes.size(), 1u);
  // A close closes at once, unregistered, without waiting for the open.
  reader().OnClose();
  EXPECT_TRUE(reader().Closed());
  EXPECT_TRUE(ui().windowDestroyed);
  EXPECT_TRUE(Written(root.Path()).empty());
  // The open finishes on its worker; nothing of it reaches the window.
  ui().Drain();
  EXPECT_EQ(ui().title, "Tessaly");
  EXPECT_TRUE(ui().navigations.empty());
  EXPECT_EQ(desktop.store[StoreKey::kPrev]["HWND"], "0");
}

TEST_F(StartTest, AnotherOpenDropsTheOneUnderWay) {
  ui().holdWork = true;
  reader().Start(TestBook("basic"));
  ui().files.push_back(TestBook("plain"));
  ASSERT_TRUE(ui().Click(kCmdOpen));
  ui().Drain();
  // Only the second book arrived: its title, its page, its menus.
  EXPECT_EQ(ui().title, "Plain Test Book");
  EXPECT_EQ(reader().CurrentBook()->Title(), "Plain Test Book");
  EXPECT_EQ(ui().navigations.size(), 1u);
  EXPECT_FALSE(ui().Exists(Control::kTree));
  EXPECT_EQ(std::count(ui().progressLog.begin(), ui().progressLog.end(), "hide"), 2)
      << "the first open's progress went with it";
}

// --- Two readers -------------------------------------------------------------------

TEST_F(StartTest, SecondStartWithoutABookRaisesTheFirstAndEnds) {
  ASSERT_TRUE(Start());
  Session second(desktop);
  EXPECT_FALSE(second.reader.Start(""));
  second.platform.Drain();
  second.platform.Drain();
  EXPECT_TRUE(second.reader.Closed());
  EXPECT_FALSE(second.platform.windowCreated);
  EXPECT_EQ(ui().raised, 1);
  EXPECT_EQ(desktop.events, (std::vector<std::string>{"raise " + std::to_string(ui().OwnInstance())}));
  // The first reader's value stands.
  EXPECT_EQ(desktop.store[StoreKey::kPrev]["HWND"], std::to_string(ui().OwnInstance()));
}

}  // namespace
}  // namespace tessaly::app::test
