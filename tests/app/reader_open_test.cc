// Opening books: the window with a full book and with a plain one, a second
// book, a bad file, the ways in (command line, File > Open, Help Topics),
// the hand-over between two readers, titles, and the About box.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/display_text.h"
#include "pages/pages.h"
#include "app/recording_platform.h"
#include "book/book.h"

namespace tessaly::app::test {
namespace {

namespace fs = std::filesystem;
using tessaly::test::BookBuilder;
using tessaly::test::TestBook;

const std::vector<std::string> kNoBookFileMenu{"Open", "~Recent Books", "---", "~Text Size", "---", "Exit"};

using OpenTest = ReaderTest;

TEST_F(OpenTest, BookWithContentsIndexAndSearch) {
  ASSERT_TRUE(Start(TestBook("basic")));
  EXPECT_EQ(ui().title, "Tessaly Test Book");
  EXPECT_EQ(ui().FileMenuText(),
            (std::vector<std::string>{"Open", "Recent Books", "---", "[x] Show images", "[x] Fit to window", "[x] ClearType",
                                      "Text Size", "---", "( ) &Search", "( ) I&ndex", "( ) &Contents",
                                      "(*) &Html", "---", "Print...", "Export...", "---", "Close Tab", "Exit"}));
  std::vector<int> commands;
  for (const RecordedMenuItem& item : ui().fileMenu) commands.push_back(item.command);
  EXPECT_EQ(commands, (std::vector<int>{1031, 0, 0, 1030, 1005, 1006, 0, 0, 1003, 1002, 1001, 1004, 0, 1048, 1049, 0, 1045, 1000}));
  EXPECT_EQ(ui().TextSizeMenuText(),
            (std::vector<std::string>{"[ ] Largest", "[ ] Large", "[x] Medium", "[ ] Small", "[ ] Smallest"}));

  // Buttons after the two menus, with their images, states and tips.
  EXPECT_EQ(ui().ButtonCommands(), (std::vector<int>{401, 402, 306, 303, 302, 304, 305}));
  const std::vector<std::pair<int, bool>> states{{5, true}, {0, false}, {1, false}, {3, true}, {4, true}};
  for (std::size_t i = 0; i < states.size(); ++i) {
    EXPECT_EQ(ui().buttons[i + 2].image, states[i].first) << i;
    EXPECT_EQ(ui().buttons[i + 2].enabled, states[i].second) << i;
  }
  EXPECT_EQ(ui().tips, (std::vector<std::string>{"", "", "Locate", "Back", "Forward", "Refresh", "Home"}));

  // The Html panel shows the default topic; its contents entry is selected.
  EXPECT_EQ(ui().VisibleControls(), (std::vector<Control>{Control::kPageView}));
  EXPECT_EQ(ui().tab().focus, Control::kPageView);
  ASSERT_EQ(ui().tab().navigations.size(), 1u);
  EXPECT_EQ(ui().tab().navigations[0], "ms-its:" + TestBook("basic") + "::/index.htm");
  EXPECT_EQ(CurrentPath(), "index.htm");
  EXPECT_EQ(ui().tab().treeSelection, ui().TreeItemNamed("Welcome"));
  EXPECT_NE(ui().tab().treeSelection, 0u);

  // The view got its settings; loading ended.
  EXPECT_EQ(ui().tab().zoomLevels, (std::vector<int>{2}));
  EXPECT_EQ(ui().tab().shrinkToFit, (std::vector<bool>{true}));
  EXPECT_EQ(ui().tab().clearType, (std::vector<bool>{true}));
  EXPECT_FALSE(ui().Loading());
  EXPECT_EQ(ui().cursor, Cursor::kNormal);
  EXPECT_TRUE(ui().menuBarEnabled);

  // The progress dialog: "Contents creation...", 10 after the open, gone
  // as the page shows (the tree fills in sight after that).
  EXPECT_EQ(ui().progressLog, (std::vector<std::string>{"show Contents creation...", "0", "10", "hide"}));

  // Index and Search panels exist, empty and hidden, until first shown.
  EXPECT_TRUE(ui().Exists(Control::kIndexList));
  EXPECT_TRUE(ui().Exists(Control::kResultsList));
  EXPECT_TRUE(ui().At(Control::kIndexList).lines.empty());
  EXPECT_FALSE(ui().At(Control::kListTopicsButton).enabled);
  EXPECT_FALSE(ui().At(Control::kSearchDisplayButton).enabled);

  // The page and what it references come straight from the book when the
  // view asks; nothing is written anywhere.
  const std::string base = "ms-its:" + TestBook("basic") + "::/";
  const PageObject page = ui().Fetch(base + "index.htm");
  EXPECT_FALSE(page.error.has_value());
  EXPECT_NE(page.bytes.find("images/logo.gif"), std::string::npos);
  EXPECT_FALSE(ui().Fetch(base + "style.css").bytes.empty());
  EXPECT_FALSE(ui().Fetch(base + "images/logo.gif").bytes.empty());
  EXPECT_TRUE(fs::is_empty(desktop.tempRoot));
  EXPECT_EQ(desktop.store[StoreKey::kPrev]["HWND"], std::to_string(ui().OwnInstance()));
}

TEST_F(OpenTest, PanelsCarryTheReadersTexts) {
  ASSERT_TRUE(Start(TestBook("basic")));
  EXPECT_EQ(ui().At(Control::kIndexLabel).text, "Type in the keyword to find:");
  EXPECT_EQ(ui().At(Control::kSearchLabel).text, "Type in the keyword to find:");
  EXPECT_EQ(ui().At(Control::kResultsLabel).text, "Select Topic to display:");
  EXPECT_EQ(ui().At(Control::kListTopicsButton).text, "List Topics");
  EXPECT_EQ(ui().At(Control::kIndexDisplayButton).text, "Display");
  EXPECT_EQ(ui().At(Control::kSearchDisplayButton).text, "Display");
}

TEST_F(OpenTest, BookWithoutContentsIndexOrSearchStillHasSearch) {
  ASSERT_TRUE(Start(TestBook("plain")));
  EXPECT_EQ(ui().title, "Plain Test Book");
  // Searched in the text of its pages.
  EXPECT_EQ(ui().FileMenuText(),
            (std::vector<std::string>{"Open", "Recent Books", "---", "[x] Show images", "[x] Fit to window", "[x] ClearType",
                                      "Text Size", "---", "( ) &Search", "(*) &Html", "---", "Print...", "Export...", "---", "Close Tab", "Exit"}));
  // No Locate; the Jump button moves to index 6 with the book's label.
  EXPECT_EQ(ui().ButtonCommands(), (std::vector<int>{401, 402, 303, 302, 304, 305, 307}));
  EXPECT_EQ(ui().buttons[6].image, 6);
  EXPECT_EQ(ui().tips, (std::vector<std::string>{"", "", "Back", "Forward", "Refresh", "Home", "Go to ten"}));
  EXPECT_FALSE(ui().Exists(Control::kTree));
  EXPECT_FALSE(ui().Exists(Control::kIndexList));
  EXPECT_EQ(ui().VisibleControls(), (std::vector<Control>{Control::kPageView}));
  EXPECT_EQ(CurrentPath(), "index.htm");
  // Only "Contents creation..." and the step after the open.
  EXPECT_EQ(ui().progressLog, (std::vector<std::string>{"show Contents creation...", "0", "10", "hide"}));
  // Menu items of panels the book lacks do nothing.
  EXPECT_FALSE(ui().Click(kCmdContents));
  EXPECT_FALSE(ui().Click(kCmdLocate));
}

TEST_F(OpenTest, ASecondBookOpensInATabOfItsOwnAndEachTabKeepsItsSettings) {
  ASSERT_TRUE(Start(TestBook("basic")));
  ASSERT_TRUE(ui().TapLink("chapter1/intro.htm"));
  ui().Complete();
  ASSERT_TRUE(ui().Click(kCmdFitToWindow));
  ASSERT_TRUE(ui().Click(kCmdLargest));
  ASSERT_TRUE(ui().Click(kCmdClearType));

  OpenThroughMenu(TestBook("plain"));
  EXPECT_EQ(ui().title, "Plain Test Book");
  EXPECT_EQ(ui().TabLabels(), (std::vector<std::string>{"Tessaly Test Book", "Plain Test Book"}));
  using Dialog = std::pair<std::string, std::string>;
  EXPECT_EQ(ui().fileDialogs, (std::vector<Dialog>{{"CHM files (*.chm)", "*.chm"}}));
  // The new tab has its book's panels and buttons, its own history and the
  // settings a book starts with.
  EXPECT_FALSE(ui().Exists(Control::kTree));
  EXPECT_FALSE(ui().Exists(Control::kIndexEdit));
  EXPECT_EQ(ui().ButtonCommands(), (std::vector<int>{401, 402, 303, 302, 304, 305, 307}));
  EXPECT_FALSE(ui().FindButton(kCmdBack)->enabled);
  EXPECT_EQ(ui().FileMenuText(),
            (std::vector<std::string>{"Open", "Recent Books", "---", "[x] Show images", "[x] Fit to window",
                                      "[x] ClearType", "Text Size", "---", "( ) &Search", "(*) &Html", "---",
                                      "Print...", "Export...", "---", "Close Tab", "Exit"}));
  EXPECT_EQ(ui().tab().zoomLevels.back(), 2);
  // Ctrl+PageUp: the first tab, as it was left.
  ASSERT_TRUE(ui().Key(kCmdPreviousTab));
  EXPECT_EQ(ui().title, "Tessaly Test Book");
  EXPECT_EQ(CurrentPath(), "chapter1/intro.htm");
  EXPECT_TRUE(ui().FindButton(kCmdBack)->enabled);
  EXPECT_EQ(ui().TextSizeMenuText(),
            (std::vector<std::string>{"[x] Largest", "[ ] Large", "[ ] Medium", "[ ] Small", "[ ] Smallest"}));
  EXPECT_EQ(ui().tab().shrinkToFit.back(), false);
  EXPECT_EQ(ui().tab().clearType.back(), false);
  EXPECT_EQ(ui().tab().zoomLevels.back(), 4);
  // Ctrl+PageDown wraps around the row; Ctrl+W closes the tab in front and
  // the one beside it comes forward; a middle click closes any tab.
  ASSERT_TRUE(ui().Key(kCmdNextTab));
  ASSERT_TRUE(ui().Key(kCmdNextTab));
  EXPECT_EQ(ui().title, "Tessaly Test Book");
  ASSERT_TRUE(ui().Key(kCmdCloseTab));
  EXPECT_EQ(ui().TabLabels(), (std::vector<std::string>{"Plain Test Book"}));
  EXPECT_EQ(ui().title, "Plain Test Book");
  ui().MiddleClickTab(0);
  EXPECT_EQ(ui().TabLabels(), (std::vector<std::string>{"Tessaly"}));
  EXPECT_EQ(ui().title, "Tessaly");
  EXPECT_FALSE(ui().tab().ownPages.empty()) << "the start view";
}

TEST_F(OpenTest, CancelledOpenDialogChangesNothing) {
  ASSERT_TRUE(Start(TestBook("basic")));
  const std::size_t navigations = ui().tab().navigations.size();
  ui().files.push_back(std::nullopt);
  ASSERT_TRUE(ui().Click(kCmdOpen));
  EXPECT_EQ(ui().title, "Tessaly Test Book");
  EXPECT_EQ(ui().tab().navigations.size(), navigations);
  EXPECT_TRUE(ui().Exists(Control::kTree));
}

TEST_F(OpenTest, ReopeningTheSameBookWorks) {
  ASSERT_TRUE(Start(TestBook("basic")));
  OpenThroughMenu(TestBook("basic"));
  EXPECT_FALSE(ui().windowDestroyed);
  EXPECT_EQ(ui().title, "Tessaly Test Book");
  // Its tab comes to the front; no second tab.
  EXPECT_EQ(ui().TabLabels(), (std::vector<std::string>{"Tessaly Test Book"}));
  EXPECT_EQ(CurrentPath(), "index.htm");
}

TEST_F(OpenTest, BadFileIsReportedAndTheReaderGoesOn) {
  tessaly::test::TempFile junk(std::string(600, 'x'));
  ASSERT_TRUE(Start(TestBook("basic")));
  // Beside another book, the bad one leaves no tab.
  OpenThroughMenu(junk.Path());
  ASSERT_EQ(ui().messages.size(), 1u);
  EXPECT_EQ(ui().TabLabels(), (std::vector<std::string>{"Tessaly Test Book"}));
  EXPECT_EQ(ui().title, "Tessaly Test Book");
  ui().messages.clear();
  // Alone, it leaves the start view.
  ASSERT_TRUE(ui().Key(kCmdCloseTab));
  ui().Complete();
  OpenThroughMenu(junk.Path());
  EXPECT_FALSE(ui().windowDestroyed);
  ASSERT_EQ(ui().messages.size(), 1u);
  EXPECT_EQ(ui().messages[0].caption, "Tallis Exception");
  EXPECT_EQ(ui().messages[0].icon, MessageIcon::kError);
  EXPECT_FALSE(ui().messages[0].text.empty());
  // Back to the no-book state.
  EXPECT_EQ(ui().title, "Tessaly");
  // The book read before stays among the recent ones.
  EXPECT_EQ(ui().FileMenuText(),
            (std::vector<std::string>{"Open", "Recent Books", "---", "~Text Size", "---", "Exit"}));
  EXPECT_EQ(ui().RecentMenuText(), (std::vector<std::string>{"basic.chm"}));
  EXPECT_EQ(ui().ButtonCommands(), (std::vector<int>{401, 402}));
  // The start view, listing the book read before.
  EXPECT_EQ(ui().VisibleControls(), (std::vector<Control>{Control::kPageView}));
  ASSERT_FALSE(ui().tab().ownPages.empty());
  EXPECT_NE(ui().tab().ownPages.back().find("Tessaly Test Book"), std::string::npos);
  EXPECT_FALSE(ui().Exists(Control::kTree));
  EXPECT_FALSE(ui().progressVisible);
  EXPECT_EQ(ui().cursor, Cursor::kNormal);
  // And a good book opens again.
  OpenThroughMenu(TestBook("plain"));
  EXPECT_EQ(ui().title, "Plain Test Book");
}

TEST_F(OpenTest, BadFileOnTheCommandLineStillRegisters) {
  ASSERT_TRUE(Start("/no/such/book.chm"));
  ASSERT_EQ(ui().messages.size(), 1u);
  // With the system's reason.
  EXPECT_EQ(ui().messages[0].text, "Can't open chm file: /no/such/book.chm. (No such file or directory)");
  EXPECT_EQ(ui().title, "Tessaly");
  EXPECT_EQ(desktop.store[StoreKey::kPrev]["HWND"], std::to_string(ui().OwnInstance()));
}

TEST_F(OpenTest, FilePrefixOnTheCommandLineIsRemoved) {
  ASSERT_TRUE(Start("file:\\" + TestBook("basic")));
  EXPECT_EQ(ui().title, "Tessaly Test Book");
  EXPECT_TRUE(ui().messages.empty());
}

TEST_F(OpenTest, HelpTopicsOpensTheStoredHelpBook) {
  ASSERT_TRUE(Start());
  // Not installed: the key is missing.
  ASSERT_TRUE(ui().Click(kCmdHelpTopics));
  ASSERT_EQ(ui().messages.size(), 1u);
  EXPECT_EQ(ui().messages[0].text, "Can't find Tessaly Reader's help file.");
  EXPECT_EQ(ui().messages[0].caption, "Error");
  EXPECT_EQ(ui().title, "Tessaly");

  desktop.store[StoreKey::kChmFile]["HelpPath"] = TestBook("plain");
  ASSERT_TRUE(ui().Click(kCmdHelpTopics));
  if (ui().Loading()) ui().Complete();
  EXPECT_EQ(ui().title, "Plain Test Book");
  EXPECT_EQ(ShownBook(), TestBook("plain"));
}

TEST_F(OpenTest, AboutShowsTheReadersTexts) {
  ASSERT_TRUE(Start());
  ASSERT_TRUE(ui().Click(kCmdAbout));
  ASSERT_EQ(ui().aboutBoxes.size(), 1u);
  // The version the reader is, and the system it runs on (not a handheld's).
  EXPECT_TRUE(ui().aboutBoxes[0].starts_with("Varnhold Tessaly Reader\rfor Linux (")) << ui().aboutBoxes[0];
  EXPECT_TRUE(ui().aboutBoxes[0].ends_with(")|https://tessaly.varnhold.example/|Version " TESSALY_VERSION "|Ok"))
      << ui().aboutBoxes[0];
}

// --- Titles ----------------------------------------------------------------------------

BookBuilder TitledBook(const std::string& title, std::uint32_t language = 0x409) {
  BookBuilder b;
  std::vector<std::pair<int, std::string>> records{{2, Text("start.htm")}, {4, LanguageRecord(language)}};
  if (!title.empty()) records.push_back({3, Text(title)});
  b.AddFile("#SYSTEM", SystemObject(records));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/start.htm", "<html><body>start</body></html>");
  return b;
}

TEST_F(OpenTest, LongTitleIsCutTo200Characters) {
  BuiltBook book(TitledBook(std::string(250, 'T')));
  ASSERT_TRUE(Start(book.Path()));
  EXPECT_EQ(ui().title, std::string(200, 'T'));
}

TEST_F(OpenTest, TitleIsConvertedFromTheBooksCodePage) {
  // "Книга о чтении" in code page 1251, in a Russian book.
  BuiltBook book(TitledBook("\xCA\xED\xE8\xE3\xE0 \xEE \xF7\xF2\xE5\xED\xE8\xE8", 0x419));
  ASSERT_TRUE(Start(book.Path()));
  EXPECT_EQ(ui().title, "Книга о чтении");
  // The book's own code page for every text shown; 1252 for a code page
  // the system lacks.
  const TextCodec& codec = ui().Codec();
  EXPECT_EQ(DisplayText(codec, "\xF7", 10, 1251), "ч");
  EXPECT_EQ(DisplayText(codec, "caf\xE9", 10, 1252), "café");
  EXPECT_EQ(DisplayText(codec, "caf\xE9", 10, 12345), "café");
  EXPECT_EQ(DisplayText(codec, "caf\xE9", 3, 12345), "caf");
  EXPECT_EQ(DisplayText(codec, std::string("ab\0cd", 5), 10, 1251), "ab");
}

TEST_F(OpenTest, BookWithoutTitleIsCalledByItsPath) {
  BuiltBook book(TitledBook(""), "-книга.chm");
  ASSERT_TRUE(Start(book.Path()));
  EXPECT_EQ(ui().title, book.Path());
}

// --- Two readers and one book --------------------------------------------------------

TEST_F(OpenTest, ABookOpenedFromOutsideComesIntoTheRunningReader) {
  ASSERT_TRUE(Start(TestBook("plain")));
  const std::string firstId = std::to_string(ui().OwnInstance());
  // Another book: a tab of its own in the running reader, in front; the
  // second reader ends without a window.
  Session second(desktop);
  EXPECT_FALSE(second.reader.Start(TestBook("basic")));
  EXPECT_FALSE(second.platform.windowCreated);
  ui().CompleteAll();
  EXPECT_EQ(ui().TabLabels(), (std::vector<std::string>{"Plain Test Book", "Tessaly Test Book"}));
  EXPECT_EQ(ui().title, "Tessaly Test Book");
  EXPECT_EQ(ui().raised, 1);
  EXPECT_EQ(desktop.store[StoreKey::kPrev]["HWND"], firstId);

  // The same file again, under its name or another (a link to it): the tab
  // it has comes to the front, at the page named.
  const std::filesystem::path alias = std::filesystem::path(root.Path()) / "alias.chm";
  std::filesystem::create_symlink(TestBook("plain"), alias);
  for (const std::string& line : {TestBook("plain"), alias.string() + "::/index.htm"}) {
    ui().TapTab(1);
    Session third(desktop);
    EXPECT_FALSE(third.reader.Start(line));
    ui().CompleteAll();
    EXPECT_EQ(ui().TabLabels().size(), 2u) << line;
    EXPECT_EQ(ui().title, "Plain Test Book") << line;
  }
  // A reader known only by its id takes the book or not: when it does not,
  // this reader opens the book itself.
  desktop.foreign[42] = "busy";
  ui().Click(kCmdExit);
  Session fourth(desktop);
  EXPECT_TRUE(fourth.reader.Start(TestBook("basic")));
  EXPECT_TRUE(fourth.platform.windowCreated);
}

TEST_F(OpenTest, BooksOfTheSameTitleOpenSideBySide) {
  // Two files with the same bytes, so the same title: two tabs.
  tessaly::test::TempDir dir;
  const std::string copy = dir.Path() + "/copy.chm";
  std::filesystem::copy_file(TestBook("basic"), copy);
  ASSERT_TRUE(Start(TestBook("basic")));
  Session second(desktop);
  EXPECT_FALSE(second.reader.Start(copy));
  ui().CompleteAll();
  EXPECT_EQ(ui().TabLabels(), (std::vector<std::string>{"Tessaly Test Book", "Tessaly Test Book"}));
  EXPECT_EQ(ShownBook(), copy);
}

}  // namespace
}  // namespace tessaly::app::test
