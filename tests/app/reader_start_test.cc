// Start-up, the temporary folder, the instance values in the store, the
// second start, the clean close and the clean-up after a reader that died.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "app/recording_platform.h"
#include "app/temp_folder.h"
#include "book/book.h"

namespace tessaly::app::test {
namespace {

namespace fs = std::filesystem;
using tessaly::test::TestBook;

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// The reader folders in a root: names that start with "temptallis".
std::vector<std::string> ReaderFolders(const std::string& root) {
  std::vector<std::string> found;
  for (const auto& entry : fs::directory_iterator(root)) {
    if (entry.path().filename().string().starts_with("temptallis")) found.push_back(entry.path().string());
  }
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
  EXPECT_TRUE(ui().VisibleControls().empty());
  EXPECT_TRUE(ui().navigations.empty());
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

TEST_F(StartTest, TemporaryFolderIsPrivateLockedAndRegistered) {
  ASSERT_TRUE(Start());
  const std::string folder = reader().TempFolder();
  // "temptallis" and six random characters.
  ASSERT_TRUE(folder.starts_with(root.Path() + "/temptallis")) << folder;
  EXPECT_EQ(folder.size(), root.Path().size() + 18);
  struct stat info {};
  ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_FALSE(LockFolder(folder)) << "the running reader holds it";
  EXPECT_EQ(desktop.store[StoreKey::kPrev]["HWND"], std::to_string(ui().OwnInstance()));
  EXPECT_EQ(desktop.store[StoreKey::kPrev]["WorkDirectory"], folder);
}

TEST_F(StartTest, NamesTakenFirstAreNeverUsed) {
  // Another user made the names an earlier reader would have used: a
  // folder, a plain file, and a link to a folder of theirs.
  tessaly::test::TempDir elsewhere;
  fs::create_directory(root.Path() + "/temptallis");
  WriteFile(root.Path() + "/temptallis_", "not a folder");
  fs::create_directory_symlink(elsewhere.Path(), root.Path() + "/temptallis__");
  ASSERT_TRUE(Start(tessaly::test::TestBook("basic")));
  const std::string folder = reader().TempFolder();
  for (const char* taken : {"/temptallis/", "/temptallis_/", "/temptallis__/"}) {
    EXPECT_NE(folder, root.Path() + taken);
  }
  EXPECT_FALSE(fs::is_empty(folder));
  EXPECT_TRUE(fs::is_empty(root.Path() + "/temptallis"));
  EXPECT_TRUE(fs::is_regular_file(root.Path() + "/temptallis_"));
  EXPECT_TRUE(fs::is_empty(elsewhere.Path()));
}

TEST_F(StartTest, FolderThatCannotBeMadeClosesTheReader) {
  // A root so deep that no folder name fits the path limit.
  std::string deep = root.Path();
  while (deep.size() < 255) deep += "/dddddddddddddddddddddddddddddd";
  fs::create_directories(deep);
  desktop.tempRoot = deep;
  EXPECT_FALSE(Start());
  EXPECT_TRUE(reader().Closed());
  ASSERT_EQ(ui().messages.size(), 1u);
  EXPECT_EQ(ui().messages[0].text, "Can't create temporary folder");
  EXPECT_EQ(ui().messages[0].caption, "Tallis Message");
  EXPECT_EQ(ui().messages[0].icon, MessageIcon::kError);
  EXPECT_TRUE(ui().windowDestroyed);
  // It never registered.
  EXPECT_EQ(desktop.store[StoreKey::kPrev]["HWND"], "0");
}

TEST_F(StartTest, WindowThatCannotBeMadeEndsQuietly) {
  ui().failWindow = true;
  EXPECT_FALSE(Start());
  EXPECT_TRUE(ui().messages.empty());
  EXPECT_TRUE(ReaderFolders(root.Path()).empty());
}

TEST_F(StartTest, CleanCloseLeavesNoFolderAndClearsTheStoredValues) {
  ASSERT_TRUE(Start(tessaly::test::TestBook("basic")));
  const std::string folder = reader().TempFolder();
  ASSERT_FALSE(fs::is_empty(folder));  // the default topic is extracted
  reader().OnClose();
  EXPECT_TRUE(reader().Closed());
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_EQ(desktop.store[StoreKey::kPrev]["HWND"], "0");
  EXPECT_EQ(desktop.store[StoreKey::kPrev]["WorkDirectory"], "");
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
  EXPECT_TRUE(ReaderFolders(root.Path()).empty());
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
  desktop.store[StoreKey::kPrev]["WorkDirectory"] = "/somewhere/else/";
  reader().OnClose();
  EXPECT_EQ(desktop.store[StoreKey::kPrev]["HWND"], "424242");
  EXPECT_EQ(desktop.store[StoreKey::kPrev]["WorkDirectory"], "/somewhere/else/");
}

TEST_F(StartTest, WithoutTheStoreKeyNothingIsKept) {
  desktop.store.erase(StoreKey::kPrev);
  ASSERT_TRUE(Start());
  EXPECT_FALSE(desktop.store.count(StoreKey::kPrev));
  for (const std::string& call : ui().log) EXPECT_FALSE(call.starts_with("Store ")) << call;
  reader().OnClose();
  EXPECT_TRUE(ReaderFolders(root.Path()).empty());
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
    EXPECT_TRUE(stray.platform.navigations.empty());
    EXPECT_TRUE(stray.platform.VisibleControls().empty());
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
  // A close closes at once, unregistered, its folder gone.
  reader().OnClose();
  EXPECT_TRUE(reader().Closed());
  EXPECT_TRUE(ui().windowDestroyed);
  EXPECT_TRUE(ReaderFolders(root.Path()).empty());
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
  // The first reader's values stand; no second folder was made.
  EXPECT_EQ(desktop.store[StoreKey::kPrev]["HWND"], std::to_string(ui().OwnInstance()));
  EXPECT_EQ(ReaderFolders(root.Path()).size(), 1u);
}

// --- A reader that died ------------------------------------------------------------

class StaleFolderTest : public ReaderTest {
 protected:
  // A folder as a dead reader left it: pages, a copy and a sub-folder.
  std::string MakeStale(const std::string& name) {
    const std::string folder = root.Path() + "/" + name;
    fs::create_directory(folder);
    WriteFile(folder + "/index3.htm", "<p>old</p>");
    WriteFile(folder + "/0file.gif", "GIF89a");
    return folder;
  }
  void Remember(InstanceId id, const std::string& folder) {
    desktop.store[StoreKey::kPrev]["HWND"] = std::to_string(id);
    desktop.store[StoreKey::kPrev]["WorkDirectory"] = folder;
  }
};

TEST_F(StaleFolderTest, FolderOfAVanishedReaderIsRemoved) {
  const std::string stale = MakeStale("temptallis_");
  Remember(99, stale + "/");
  ASSERT_TRUE(Start());
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_EQ(desktop.store[StoreKey::kPrev]["HWND"], std::to_string(ui().OwnInstance()));
  EXPECT_EQ(desktop.store[StoreKey::kPrev]["WorkDirectory"], reader().TempFolder());
}

TEST_F(StaleFolderTest, SubFoldersAreNotDescendedInto) {
  const std::string stale = MakeStale("temptallis_");
  fs::create_directory(stale + "/inner");
  WriteFile(stale + "/inner/keep.txt", "kept");
  Remember(99, stale + "/");
  ASSERT_TRUE(Start());
  EXPECT_TRUE(fs::exists(stale + "/inner/keep.txt"));
  EXPECT_FALSE(fs::exists(stale + "/index3.htm"));
  EXPECT_FALSE(fs::exists(stale + "/0file.gif"));
}

TEST_F(StaleFolderTest, FolderOfARunningReaderIsKept) {
  const std::string stale = MakeStale("temptallis_");
  desktop.foreign[99] = "Some Book";
  Remember(99, stale + "/");
  // A reader runs, and this one was given a file that is no book: the
  // other reader is not handed anything and stays; this one still registers.
  tessaly::test::TempFile junk(std::string("not a book at all"));
  ASSERT_TRUE(Start(junk.Path()));
  ASSERT_EQ(ui().messages.size(), 1u);
  EXPECT_EQ(ui().messages[0].caption, "Tallis Exception");
  EXPECT_TRUE(desktop.foreign.count(99));
  EXPECT_TRUE(fs::exists(stale + "/index3.htm"));
  EXPECT_EQ(desktop.store[StoreKey::kPrev]["HWND"], std::to_string(ui().OwnInstance()));
}

TEST_F(StaleFolderTest, OnlyTheReadersOwnFoldersAreEverRemoved) {
  // A store that names a user's folder, a folder outside the root, a
  // relative path, a path that climbs out, and a link to a user's folder.
  const std::string documents = MakeStale("Documents");
  tessaly::test::TempDir elsewhere;
  const std::string outside = elsewhere.Path() + "/temptallis";
  fs::create_directory(outside);
  WriteFile(outside + "/index1.htm", "x");
  fs::create_directory_symlink(documents, root.Path() + "/temptallis_link");

  for (const std::string& named :
       {documents + "/", outside + "/", std::string("temptallis/"), root.Path() + "/temptallis_/../Documents/",
        root.Path() + "/temptallis_link/", std::string("/")}) {
    SCOPED_TRACE(named);
    Session other(desktop);
    desktop.store[StoreKey::kPrev]["HWND"] = "99";
    desktop.store[StoreKey::kPrev]["WorkDirectory"] = named;
    ASSERT_TRUE(other.reader.Start(""));
    other.platform.Drain();
    other.platform.Drain();
    EXPECT_TRUE(fs::exists(documents + "/index3.htm"));
    EXPECT_TRUE(fs::exists(outside + "/index1.htm"));
    // The store now names this reader.
    EXPECT_EQ(desktop.store[StoreKey::kPrev]["HWND"], std::to_string(other.platform.OwnInstance()));
    other.reader.OnClose();
  }
}

TEST_F(StaleFolderTest, AFolderItsReaderStillHoldsIsKeptWhateverTheChannelSays) {
  // A reader runs, but its channel cannot be reached (someone took its
  // name), and the store names it by an id nobody answers to: the next
  // reader must not take its folder for a dead one.
  ASSERT_TRUE(Start(tessaly::test::TestBook("basic")));
  const std::string running = reader().TempFolder();
  desktop.readers.erase(ui().OwnInstance());
  Remember(99, running);
  Session next(desktop);
  ASSERT_TRUE(next.reader.Start(""));
  next.platform.Drain();
  next.platform.Drain();
  EXPECT_TRUE(fs::is_regular_file(running + "index0.htm")) << "the running reader's page is still there";
  EXPECT_EQ(desktop.store[StoreKey::kPrev]["HWND"], std::to_string(next.platform.OwnInstance()));
  next.reader.OnClose();
  // A folder nobody holds any more goes, though it was made the same way.
  const std::string abandoned = MakeStale("temptallisQ7xZ2p");
  Remember(99, abandoned + "/");
  Session last(desktop);
  ASSERT_TRUE(last.reader.Start(""));
  last.platform.Drain();
  last.platform.Drain();
  EXPECT_FALSE(fs::exists(abandoned));
  EXPECT_TRUE(fs::is_regular_file(running + "index0.htm"));
}

TEST_F(StaleFolderTest, ValuesThatNameThisReaderAreNotTakenForADeadOne) {
  // The store names the id this reader is about to get (ids of readers that
  // are gone may come back).
  const std::string stale = MakeStale("temptallis_");
  Remember(desktop.nextId, stale + "/");
  ASSERT_TRUE(Start());
  ASSERT_EQ(ui().OwnInstance(), desktop.nextId - 1);
  EXPECT_TRUE(fs::exists(stale + "/index3.htm"));
}

// --- The folder helpers --------------------------------------------------------------

TEST(TempFolder, RootThatIsNotAFolderFallsBackToTheFileSystemRoot) {
  tessaly::test::TempDir dir;
  EXPECT_EQ(UsableTempRoot(dir.Path()), dir.Path());
  EXPECT_EQ(UsableTempRoot(dir.Path() + "///"), dir.Path());
  EXPECT_EQ(UsableTempRoot(""), "/");
  EXPECT_EQ(UsableTempRoot(dir.Path() + "/missing"), "/");
  WriteFile(dir.Path() + "/file", "x");
  EXPECT_EQ(UsableTempRoot(dir.Path() + "/file"), "/");
}

TEST(TempFolder, MakesFreshLockedNamesAndStopsAtTheLimit) {
  tessaly::test::TempDir dir;
  const std::size_t size = dir.Path().size() + 1 + 16;
  std::optional<LockedFolder> first = MakeTempFolder(dir.Path(), size);
  std::optional<LockedFolder> second = MakeTempFolder(dir.Path(), size);
  ASSERT_TRUE(first && second);
  EXPECT_TRUE(first->path.starts_with(dir.Path() + "/temptallis"));
  EXPECT_EQ(first->path.size(), size);
  EXPECT_NE(first->path, second->path);
  // Held while the lock lives, free once it is gone.
  const std::string path = first->path;
  EXPECT_FALSE(LockFolder(path));
  first.reset();
  EXPECT_TRUE(LockFolder(path));
  // A name one byte too long for the limit is not made.
  EXPECT_EQ(MakeTempFolder(dir.Path(), size - 1), std::nullopt);
  EXPECT_EQ(ReaderFolders(dir.Path()).size(), 2u);
  EXPECT_EQ(MakeTempFolder(dir.Path() + "/missing", 4000), std::nullopt);
}

TEST(TempFolder, RecognisesOnlyItsOwnFolders) {
  tessaly::test::TempDir dir;
  fs::create_directory(dir.Path() + "/temptallis__");
  fs::create_directory(dir.Path() + "/tempTALLIS");
  fs::create_directory(dir.Path() + "/sub");
  fs::create_directory(dir.Path() + "/sub/temptallis");
  EXPECT_TRUE(IsReaderTempFolder(dir.Path() + "/temptallis__/", dir.Path()));
  EXPECT_TRUE(IsReaderTempFolder(dir.Path() + "/temptallis__", dir.Path() + "/"));
  EXPECT_TRUE(IsReaderTempFolder(dir.Path() + "//./temptallis__/", dir.Path()));
  EXPECT_FALSE(IsReaderTempFolder(dir.Path() + "/tempTALLIS/", dir.Path()));
  EXPECT_FALSE(IsReaderTempFolder(dir.Path() + "/sub/temptallis/", dir.Path()));
  EXPECT_FALSE(IsReaderTempFolder(dir.Path() + "/temptallis_missing/", dir.Path()));
  EXPECT_FALSE(IsReaderTempFolder("temptallis__/", dir.Path()));
  EXPECT_FALSE(IsReaderTempFolder("", dir.Path()));
  EXPECT_FALSE(IsReaderTempFolder(dir.Path() + "/temptallis__/", ""));
  EXPECT_TRUE(SameFolder(dir.Path() + "/temptallis__/", dir.Path() + "//temptallis__"));
  EXPECT_FALSE(SameFolder(dir.Path() + "/temptallis__", dir.Path() + "/temptallis_"));
}

TEST(TempFolder, RemovingKeepsWhatLinksPointTo) {
  tessaly::test::TempDir dir;
  tessaly::test::TempDir target;
  WriteFile(target.Path() + "/precious.txt", "keep");
  const std::string folder = dir.Path() + "/temptallis";
  fs::create_directory(folder);
  WriteFile(folder + "/index0.htm", "x");
  fs::create_symlink(target.Path() + "/precious.txt", folder + "/link.txt");
  fs::create_directory_symlink(target.Path(), folder + "/linkdir");
  EXPECT_TRUE(RemoveFolder(folder + "/"));
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_TRUE(fs::exists(target.Path() + "/precious.txt"));
  // A link in the folder's own place is not followed.
  fs::create_directory_symlink(target.Path(), dir.Path() + "/temptallis_");
  EXPECT_FALSE(RemoveFolder(dir.Path() + "/temptallis_"));
  EXPECT_TRUE(fs::exists(target.Path() + "/precious.txt"));
}

}  // namespace
}  // namespace tessaly::app::test
