// The Contents, Index and Search panels: the tree with its images and
// progress, expanding, opening entries, Locate and the action key; the
// keyword list with type-ahead and "Topics Found"; full-text search; and
// failures shown once.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/recording_platform.h"
#include "app/utf8.h"
#include "search/fti_builder.h"

namespace tessaly::app::test {
namespace {

using tessaly::test::BookBuilder;
using tessaly::test::TestBook;

class PanelTest : public ReaderTest {
 protected:
  void Button(int command) {
    ASSERT_TRUE(ui().Click(command)) << command;
    if (ui().Loading()) ui().Complete();
  }
  void Loaded() {
    if (ui().Loading()) ui().Complete();
  }
  const std::vector<std::string>& Lines(Control list) { return ui().At(list).lines; }
};

std::string Entry(const std::string& name, const std::string& local, int image = -1) {
  std::string object = "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"" + name + "\">";
  if (!local.empty()) object += "<param name=\"Local\" value=\"" + local + "\">";
  if (image >= 0) object += "<param name=\"ImageNumber\" value=\"" + std::to_string(image) + "\">";
  return object + "</OBJECT>";
}

// A book whose contents give image numbers of their own, with a heading
// that has no page, and a Russian name.
BookBuilder ImageBook(const std::string& siteProperties) {
  BookBuilder b;
  b.AddFile("#SYSTEM", SystemObject({{0, Text("toc.hhc")}, {2, Text("a.htm")}, {3, Text("Images")},
                                     {4, LanguageRecord(0x419)}}));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/toc.hhc", siteProperties + "<UL>" + Entry("One", "a.htm", 1) + "<UL>" +
                            Entry("Leaf twelve", "b.htm", 12) + Entry("Leaf zero", "c.htm", 0) + "</UL>" +
                            Entry("Heading", "", 13) + "<UL>" + Entry("Leaf thirteen", "b.htm", 13) +
                            Entry("\xCB\xE8\xF1\xF2", "c.htm") + "</UL>" + Entry("Last", "c.htm") + "</UL>");
  for (const char* page : {"/a.htm", "/b.htm", "/c.htm"}) b.AddFile(page, "<p>page</p>");
  return b;
}

TEST_F(PanelTest, ContentsImagesAndProgress) {
  BuiltBook book(ImageBook("<OBJECT type=\"text/site properties\"><param name=\"Window Styles\" value=\"0x2\">"
                           "</OBJECT>"));
  ASSERT_TRUE(Start(book.Path()));
  EXPECT_TRUE(ui().tab().treeLines);
  std::vector<std::string> shown;
  for (TreeItem item : ui().tab().treeOrder) {
    const RecordedTreeItem& t = ui().tab().treeItems.at(item);
    const std::string parent = t.parent == 0 ? "" : ui().tab().treeItems.at(t.parent).text + " > ";
    shown.push_back(parent + t.text + " " + std::to_string(t.image));
  }
  // Image numbers 1 to 12 name their image; 0 and 13 fall back on the book
  // or the page (no "folder" image type here).
  EXPECT_EQ(shown, (std::vector<std::string>{"One 0", "One > Leaf twelve 11", "One > Leaf zero 8", "Heading 0",
                                             "Heading > Leaf thirteen 8", "Heading > Лист 8", "Last 8"}));
  // The bar stands at multiples of ten only, while the book opens: the
  // tree fills after that, in sight.
  EXPECT_EQ(ui().progressLog, (std::vector<std::string>{"show Contents creation...", "0", "10", "hide"}));
}

TEST_F(PanelTest, LargeContentsShowTheirFirstEntriesAtOnceAndThePageEntrySelectedWhenItComes) {
  // More entries than the tree is first given; the first page's entry is
  // among the last.
  constexpr std::size_t kEntries = 1000;
  std::string toc = "<UL>";
  for (std::size_t i = 0; i < kEntries; ++i) toc += Entry("E" + std::to_string(i), "p" + std::to_string(i) + ".htm");
  BookBuilder b;
  b.AddFile("#SYSTEM", SystemObject({{0, Text("toc.hhc")}, {2, Text("p990.htm")}, {3, Text("Large")}}));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/toc.hhc", toc + "</UL>");
  for (const char* page : {"/p990.htm", "/p999.htm"}) b.AddFile(page, "<p>page</p>");
  BuiltBook book(b);
  ASSERT_TRUE(reader().Start(book.Path()));
  // One job or one task of the interface thread at a time, until the tree
  // shows entries.
  const auto step = [&] {
    if (ui().posted.empty()) return ui().jobs.RunOne();
    std::function<void()> task = std::move(ui().posted.front());
    ui().posted.pop_front();
    task();
    return true;
  };
  while ((ui().tabs.empty() || ui().tab().treeOrder.empty()) && step()) {
  }
  ASSERT_FALSE(ui().tabs.empty());
  const RecordingTab& tab = ui().tab();
  ASSERT_FALSE(tab.treeOrder.empty());
  EXPECT_LT(tab.treeOrder.size(), kEntries);
  EXPECT_EQ(tab.treeItems.at(tab.treeOrder.front()).text, "E0");
  EXPECT_EQ(tab.treeSelection, 0) << "the page's entry has not come yet";
  ui().Drain();
  ASSERT_EQ(tab.treeOrder.size(), kEntries);
  ASSERT_NE(tab.treeSelection, 0);
  EXPECT_EQ(tab.treeItems.at(tab.treeSelection).text, "E990");
  // An entry that came late opens its own page.
  Loaded();
  Button(kCmdContents);
  ui().TapTreeItem(tab.treeOrder.back());
  Loaded();
  EXPECT_EQ(CurrentPath(), "p999.htm");
}

TEST_F(PanelTest, FolderImagesAndExpanding) {
  ASSERT_TRUE(Start(TestBook("basic")));
  EXPECT_FALSE(ui().tab().treeLines);  // Window Styles 0x800025 has no 0x2
  const TreeItem chapter = ui().TreeItemNamed("Chapter 1");
  EXPECT_EQ(ui().tab().treeItems.at(chapter).image, 4);
  EXPECT_EQ(ui().tab().treeItems.at(ui().TreeItemNamed("Details")).image, 10);
  EXPECT_EQ(ui().tab().treeItems.at(ui().TreeItemNamed("Welcome")).image, 10);
  ui().ToggleTreeItem(chapter, true);
  EXPECT_EQ(ui().tab().treeItems.at(chapter).image, 5);
  ui().ToggleTreeItem(chapter, false);
  EXPECT_EQ(ui().tab().treeItems.at(chapter).image, 4);
  // Expanding opens nothing.
  EXPECT_EQ(ui().tab().navigations.size(), 1u);
}

TEST_F(PanelTest, CollapsingAHeadingClosesTheImagesOfItsOpenSubHeadings) {
  BookBuilder b;
  b.AddFile("#SYSTEM", SystemObject({{0, Text("toc.hhc")}, {2, Text("a.htm")}, {3, Text("Nested")}}));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/toc.hhc", "<UL>" + Entry("Outer", "") + "<UL>" + Entry("Inner", "") + "<UL>" +
                            Entry("Leaf", "a.htm") + "</UL></UL></UL>");
  b.AddFile("/a.htm", "<p>a</p>");
  BuiltBook book(b);
  ASSERT_TRUE(Start(book.Path()));
  const TreeItem outer = ui().TreeItemNamed("Outer");
  const TreeItem inner = ui().TreeItemNamed("Inner");
  auto images = [&] { return std::vector<int>{ui().tab().treeItems.at(outer).image, ui().tab().treeItems.at(inner).image}; };
  ui().ToggleTreeItem(outer, true);
  ui().ToggleTreeItem(inner, true);
  EXPECT_EQ(images(), (std::vector<int>{1, 1}));
  // Only the outer heading is told; the inner one closed with it.
  ui().ToggleTreeItem(outer, false);
  EXPECT_EQ(images(), (std::vector<int>{0, 0}));
  // Opening both again lands on the open image, not one further; a second
  // report of the same state changes nothing.
  ui().ToggleTreeItem(outer, true);
  ui().ToggleTreeItem(inner, true);
  ui().ToggleTreeItem(inner, true);
  EXPECT_EQ(images(), (std::vector<int>{1, 1}));
}

TEST_F(PanelTest, DeepContentsAndIndexShowAtMostSixtyFourLevels) {
  constexpr int kLevels = 20000;
  std::string nested;
  for (int i = 0; i < kLevels; ++i) nested += "<UL>" + Entry("e" + std::to_string(i), "a.htm");
  nested += std::string(5 * kLevels, ' ');
  for (int i = 0; i < kLevels; ++i) nested += "</UL>";
  BookBuilder b;
  b.AddFile("#SYSTEM", SystemObject({{0, Text("toc.hhc")}, {1, Text("k.hhk")}, {2, Text("a.htm")}}));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/toc.hhc", nested);
  b.AddFile("/k.hhk", nested);
  b.AddFile("/a.htm", "<p>a</p>");
  BuiltBook book(b);
  ASSERT_TRUE(Start(book.Path()));
  // Every entry is there, in document order, and none deeper than 64 levels.
  ASSERT_EQ(ui().tab().treeOrder.size(), static_cast<std::size_t>(kLevels));
  int deepest = 0;
  for (std::size_t i = 0; i < ui().tab().treeOrder.size(); ++i) {
    const TreeItem item = ui().tab().treeOrder[i];
    EXPECT_EQ(ui().tab().treeItems.at(item).text, "e" + std::to_string(i));
    int depth = 0;
    for (TreeItem at = item; ui().tab().treeItems.at(at).parent != 0; at = ui().tab().treeItems.at(at).parent) ++depth;
    deepest = std::max(deepest, depth);
  }
  EXPECT_EQ(deepest, 63);
  Button(kCmdIndex);
  const std::vector<std::string> lines = Lines(Control::kIndexList);
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kLevels));
  EXPECT_EQ(lines.back(), std::string(126, ' ') + "e" + std::to_string(kLevels - 1));
}

TEST_F(PanelTest, EntriesOpenByTapAndEnter) {
  BuiltBook book(ImageBook(""));
  ASSERT_TRUE(Start(book.Path()));
  Button(kCmdContents);
  EXPECT_EQ(ui().VisibleControls(), (std::vector<Control>{Control::kTree}));
  EXPECT_EQ(ui().tab().focus, Control::kTree);
  EXPECT_EQ(ui().FileMenuText()[9], "(*) &Contents");

  // A heading without a page opens nothing, and the panel stays.
  ui().TapTreeItem(ui().TreeItemNamed("Heading"));
  EXPECT_EQ(ui().tab().treeSelection, ui().TreeItemNamed("Heading"));
  EXPECT_TRUE(ui().Visible(Control::kTree));
  EXPECT_EQ(ui().tab().navigations.size(), 1u);

  ui().TapTreeItem(ui().TreeItemNamed("Leaf twelve"));
  Loaded();
  EXPECT_EQ(CurrentPath(), "b.htm");
  EXPECT_EQ(ui().VisibleControls(), (std::vector<Control>{Control::kPageView}));

  Button(kCmdContents);
  ui().tab().treeSelection = ui().TreeItemNamed("Last");  // moved with the arrow keys
  ui().PressEnterInTree();
  Loaded();
  EXPECT_EQ(CurrentPath(), "c.htm");
}

TEST_F(PanelTest, LocateInItsThreeCases) {
  ASSERT_TRUE(Start(TestBook("basic")));
  // A page that the contents hold: its entry is selected.
  ASSERT_TRUE(ui().TapLink("chapter1/details.htm"));
  Loaded();
  Button(kCmdLocate);
  EXPECT_EQ(ui().VisibleControls(), (std::vector<Control>{Control::kTree}));
  EXPECT_EQ(ui().tab().treeSelection, ui().TreeItemNamed("Details"));
  EXPECT_EQ(ui().FileMenuText()[10], "(*) &Contents");

  // With the tree visible, Locate opens the selected entry instead.
  ui().tab().treeSelection = ui().TreeItemNamed("My Page");
  Button(kCmdLocate);
  EXPECT_EQ(CurrentPath(), "chapter2/My Page.htm");
  EXPECT_EQ(ui().VisibleControls(), (std::vector<Control>{Control::kPageView}));

  // A page the contents lack: the panel, with no entry selected.
  ASSERT_TRUE(ui().TapLink("/chapter2/left.htm"));
  Loaded();
  Button(kCmdLocate);
  EXPECT_TRUE(ui().Visible(Control::kTree));
  EXPECT_EQ(ui().tab().treeSelection, 0u);

  // A page at a fragment finds the entry with that fragment.
  Button(kCmdHtml);
  ASSERT_TRUE(ui().TapLink("/chapter1/details.htm"));
  Loaded();
  ASSERT_TRUE(ui().TapLink("#part2"));
  Loaded();
  Button(kCmdLocate);
  EXPECT_EQ(ui().tab().treeSelection, ui().TreeItemNamed("Part two"));
}

TEST_F(PanelTest, LocateWithoutABookDoesNothing) {
  ASSERT_TRUE(Start());
  const std::size_t navigations = ui().tab().navigations.size();
  ASSERT_TRUE(ui().Key(kCmdLocate));
  EXPECT_EQ(ui().VisibleControls(), (std::vector<Control>{Control::kPageView}));
  EXPECT_EQ(ui().tab().navigations.size(), navigations);
}

TEST_F(PanelTest, ActionKeyLocatesAndItsEnterIsSwallowed) {
  ASSERT_TRUE(Start(TestBook("basic")));
  ASSERT_TRUE(ui().TapLink("chapter1/intro.htm"));
  Loaded();
  const std::size_t navigations = ui().tab().navigations.size();
  // The key is not passed to the view; the Enter it brings does not open
  // the entry again.
  EXPECT_FALSE(ui().PressPageKey(PageKey::kAction));
  EXPECT_EQ(ui().VisibleControls(), (std::vector<Control>{Control::kTree}));
  EXPECT_EQ(ui().tab().treeSelection, ui().TreeItemNamed("Chapter 1"));
  EXPECT_EQ(ui().tab().navigations.size(), navigations);
  EXPECT_EQ(CurrentPath(), "chapter1/intro.htm");
  // The next Enter is the user's own.
  ui().tab().treeSelection = ui().TreeItemNamed("Details");
  ui().PressEnterInTree();
  Loaded();
  EXPECT_EQ(CurrentPath(), "chapter1/details.htm");
  // With the tree on screen the action key is not the page's.
  Button(kCmdContents);
  EXPECT_TRUE(ui().PressPageKey(PageKey::kAction));
}

// --- Index ----------------------------------------------------------------------------

TEST_F(PanelTest, IndexIsFilledOnFirstShow) {
  ASSERT_TRUE(Start(TestBook("basic")));
  ui().progressLog.clear();
  Button(kCmdIndex);
  EXPECT_EQ(Lines(Control::kIndexList), (std::vector<std::string>{"_aardvark", "Frames", "  left pane",
                                                                   "  right pane", "giraffe", "zebra"}));
  EXPECT_EQ(ui().At(Control::kIndexList).selection, 0);
  EXPECT_EQ(ui().At(Control::kIndexEdit).text, "");  // selecting by itself copies nothing
  // Four keywords: 10 after the build, then each new multiple of ten.
  EXPECT_EQ(ui().progressLog, (std::vector<std::string>{"show Index creation...", "0", "10", "hide"}));
  EXPECT_EQ(ui().VisibleControls(), (std::vector<Control>{Control::kIndexLabel, Control::kIndexEdit,
                                                          Control::kIndexList, Control::kIndexDisplayButton}));
  EXPECT_EQ(ui().tab().focus, Control::kIndexEdit);
  EXPECT_EQ(ui().FileMenuText()[9], "(*) I&ndex");
  EXPECT_EQ(ui().cursor, Cursor::kNormal);
  // The second time it is only shown.
  Button(kCmdHtml);
  Button(kCmdIndex);
  EXPECT_EQ(Lines(Control::kIndexList).size(), 6u);
  EXPECT_EQ(std::count(ui().progressLog.begin(), ui().progressLog.end(), "show Index creation..."), 1);
}

TEST_F(PanelTest, TypingScrollsToTheFirstMatchingLine) {
  ASSERT_TRUE(Start(TestBook("basic")));
  Button(kCmdIndex);
  ui().Type(Control::kIndexEdit, "GI");
  EXPECT_EQ(ui().At(Control::kIndexList).top, 4);
  ui().Type(Control::kIndexEdit, "fr");
  EXPECT_EQ(ui().At(Control::kIndexList).top, 1);
  // Sub-keywords match only with their indentation.
  ui().Type(Control::kIndexEdit, "ri");
  EXPECT_EQ(ui().At(Control::kIndexList).top, 1);
  ui().Type(Control::kIndexEdit, "  RI");
  EXPECT_EQ(ui().At(Control::kIndexList).top, 3);
  ui().Type(Control::kIndexEdit, "_A");
  EXPECT_EQ(ui().At(Control::kIndexList).top, 0);
  // No match: the list stays; typing never changes the selection.
  ui().Type(Control::kIndexEdit, "quagga");
  EXPECT_EQ(ui().At(Control::kIndexList).top, 0);
  EXPECT_EQ(ui().At(Control::kIndexList).selection, 0);
}

TEST_F(PanelTest, SelectingALineCopiesItIntoTheEdit) {
  ASSERT_TRUE(Start(TestBook("basic")));
  Button(kCmdIndex);
  ui().Type(Control::kIndexEdit, "z");
  ASSERT_EQ(ui().At(Control::kIndexList).top, 5);
  ui().SelectLine(Control::kIndexList, 3);
  EXPECT_EQ(ui().At(Control::kIndexEdit).text, "  right pane");
  // The copy does not scroll the list.
  EXPECT_EQ(ui().At(Control::kIndexList).top, 5);
}

TEST_F(PanelTest, KeywordsShowTheirTopics) {
  ASSERT_TRUE(Start(TestBook("basic")));
  Button(kCmdIndex);
  // One target: shown at once.
  ui().SelectLine(Control::kIndexList, 2);  // "  left pane"
  ASSERT_TRUE(ui().Press(Control::kIndexDisplayButton));
  Loaded();
  EXPECT_EQ(CurrentPath(), "chapter2/left.htm");
  EXPECT_EQ(ui().VisibleControls(), (std::vector<Control>{Control::kPageView}));
  EXPECT_TRUE(ui().choiceDialogs.empty());

  // Several targets: "Topics Found", named as the index names them.
  Button(kCmdIndex);
  ui().choices.push_back(1);
  ui().DoubleClickLine(Control::kIndexList, 5);  // zebra
  Loaded();
  ASSERT_EQ(ui().choiceDialogs.size(), 1u);
  const RecordedChoice& dialog = ui().choiceDialogs[0];
  EXPECT_EQ(dialog.title, "Topics Found");
  EXPECT_EQ(dialog.prompt, "Click a topic, than click Dysplay.");
  EXPECT_EQ(dialog.confirm, "Display");
  EXPECT_EQ(dialog.cancel, "Cancel");
  EXPECT_EQ(dialog.lines, (std::vector<std::string>{"Introduction", "Details"}));
  EXPECT_EQ(CurrentPath(), "chapter1/details.htm");

  // Unnamed targets are called by their topics' titles; Cancel goes back.
  Button(kCmdIndex);
  const std::size_t navigations = ui().tab().navigations.size();
  ui().DoubleClickLine(Control::kIndexList, 4);  // giraffe
  ASSERT_EQ(ui().choiceDialogs.size(), 2u);
  EXPECT_EQ(ui().choiceDialogs[1].lines, (std::vector<std::string>{"Right frame", "My Page"}));
  EXPECT_EQ(ui().tab().navigations.size(), navigations);
  EXPECT_EQ(ui().VisibleControls(), (std::vector<Control>{Control::kIndexLabel, Control::kIndexEdit,
                                                          Control::kIndexList, Control::kIndexDisplayButton}));
  EXPECT_EQ(ui().FileMenuText()[9], "(*) I&ndex");
}

TEST_F(PanelTest, EnterInTheEntriesDoesWhatTheirButtonsDo) {
  ASSERT_TRUE(Start(TestBook("basic")));
  Button(kCmdIndex);
  // The keyword typed, though typing only scrolled the list to it.
  ui().Type(Control::kIndexEdit, "  le");
  ui().PressEnter(Control::kIndexEdit);
  Loaded();
  EXPECT_EQ(CurrentPath(), "chapter2/left.htm");
  // A line chosen in the list is what its copy in the entry displays.
  Button(kCmdIndex);
  ui().SelectLine(Control::kIndexList, 3);  // "  right pane"
  ui().PressEnter(Control::kIndexEdit);
  Loaded();
  EXPECT_EQ(CurrentPath(), "chapter2/right.htm");

  OpenThroughMenu(TestBook("search"));
  Button(kCmdSearch);
  ui().PressEnter(Control::kSearchEdit);  // nothing to find: nothing happens
  EXPECT_TRUE(ui().messages.empty());
  EXPECT_TRUE(Lines(Control::kResultsList).empty());
  ui().Type(Control::kSearchEdit, "Alpha");
  ui().PressEnter(Control::kSearchEdit);
  EXPECT_EQ(Lines(Control::kResultsList), (std::vector<std::string>{"Alpha", "Alpha"}));
}

BookBuilder KeywordBook(const std::string& sitemap, bool withIndexObject = true) {
  BookBuilder b;
  b.AddFile("#SYSTEM", SystemObject({{1, Text("k.hhk")}, {2, Text("a.htm")}, {3, Text("Keywords")}}));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  if (withIndexObject) b.AddFile("/k.hhk", sitemap);
  b.AddFile("/a.htm", "<p>a</p>");
  b.AddFile("/b.htm", "<p>b</p>");
  return b;
}

TEST_F(PanelTest, TargetsWithoutATopicAreCalledByTheKeyword) {
  // No topic table at all: unnamed targets take the keyword's name.
  BuiltBook book(KeywordBook(
      "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"kw\">"
      "<param name=\"Local\" value=\"a.htm\"><param name=\"Local\" value=\"b.htm\"></OBJECT>"
      "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"lonely\"></OBJECT></UL>"));
  ASSERT_TRUE(Start(book.Path()));
  Button(kCmdIndex);
  ASSERT_EQ(Lines(Control::kIndexList), (std::vector<std::string>{"kw", "lonely"}));
  ui().choices.push_back(0);
  ui().DoubleClickLine(Control::kIndexList, 0);
  ASSERT_EQ(ui().choiceDialogs.size(), 1u);
  EXPECT_EQ(ui().choiceDialogs[0].lines, (std::vector<std::string>{"kw", "kw"}));
  Loaded();
  EXPECT_EQ(CurrentPath(), "a.htm");
  // A keyword with one target without a page shows the page view as it
  // was: nothing is loaded and nothing is reported.
  Button(kCmdIndex);
  const std::size_t navigations = ui().tab().navigations.size();
  ui().DoubleClickLine(Control::kIndexList, 1);
  EXPECT_EQ(ui().tab().navigations.size(), navigations);
  EXPECT_EQ(ui().choiceDialogs.size(), 1u);
  EXPECT_TRUE(ui().messages.empty());
  EXPECT_EQ(ui().VisibleControls(), (std::vector<Control>{Control::kPageView}));
  EXPECT_FALSE(ui().Loading());
}

TEST_F(PanelTest, IndexFailureIsShownOnceAndNotRetried) {
  BuiltBook book(KeywordBook("", false));
  ASSERT_TRUE(Start(book.Path()));
  Button(kCmdIndex);
  ASSERT_EQ(ui().messages.size(), 1u);
  EXPECT_EQ(ui().messages[0].caption, "Tallis Exception");
  EXPECT_EQ(ui().messages[0].text, "Can't find entry for file k.hhk\n");
  EXPECT_TRUE(Lines(Control::kIndexList).empty());
  EXPECT_TRUE(ui().Visible(Control::kIndexList));
  EXPECT_FALSE(ui().progressVisible);
  EXPECT_EQ(ui().cursor, Cursor::kNormal);
  Button(kCmdHtml);
  Button(kCmdIndex);
  EXPECT_EQ(ui().messages.size(), 1u);
  EXPECT_TRUE(ui().Visible(Control::kIndexList));
  // Nothing to display in an empty list.
  EXPECT_TRUE(ui().Press(Control::kIndexDisplayButton));
  EXPECT_TRUE(ui().Visible(Control::kIndexList));
}

// --- Search ---------------------------------------------------------------------------

TEST_F(PanelTest, SearchListsAndOpensTopics) {
  ASSERT_TRUE(Start(TestBook("search")));
  ui().progressLog.clear();
  Button(kCmdSearch);
  EXPECT_EQ(ui().progressLog,
            (std::vector<std::string>{"show Search list creation...", "0", "100", "hide"}));
  EXPECT_EQ(ui().VisibleControls(),
            (std::vector<Control>{Control::kSearchLabel, Control::kSearchEdit, Control::kListTopicsButton,
                                  Control::kResultsLabel, Control::kResultsList, Control::kSearchDisplayButton}));
  EXPECT_EQ(ui().tab().focus, Control::kSearchEdit);

  // List Topics follows the edit's text.
  EXPECT_FALSE(ui().Press(Control::kListTopicsButton));
  ui().Type(Control::kSearchEdit, "Alpha");
  EXPECT_TRUE(ui().At(Control::kListTopicsButton).enabled);
  ui().Type(Control::kSearchEdit, "");
  EXPECT_FALSE(ui().At(Control::kListTopicsButton).enabled);
  ui().Type(Control::kSearchEdit, "Alpha");
  ASSERT_TRUE(ui().Press(Control::kListTopicsButton));
  EXPECT_EQ(Lines(Control::kResultsList), (std::vector<std::string>{"Alpha", "Alpha"}));
  EXPECT_TRUE(ui().At(Control::kSearchDisplayButton).enabled);

  // No hits, and a query of operators or punctuation alone: the panel says
  // so (no box), and there is nothing to display.
  for (const char* query : {"quagga", "OR", "-A", "?!", "\"quokka"}) {
    ui().Type(Control::kSearchEdit, query);
    ASSERT_TRUE(ui().Press(Control::kListTopicsButton));
    EXPECT_TRUE(ui().messages.empty()) << query;
    EXPECT_EQ(ui().tab().resultsNote, "No topics found") << query;
    EXPECT_TRUE(Lines(Control::kResultsList).empty()) << query;
    EXPECT_FALSE(ui().At(Control::kSearchDisplayButton).enabled) << query;
  }
  ui().Type(Control::kSearchEdit, "Alpha");
  ASSERT_TRUE(ui().Press(Control::kListTopicsButton));

  // The earlier hits still open their topics.
  ui().SelectLine(Control::kResultsList, 1);
  ASSERT_TRUE(ui().Press(Control::kSearchDisplayButton));
  Loaded();
  EXPECT_EQ(CurrentPath(), "d.htm");
  Button(kCmdSearch);
  ui().DoubleClickLine(Control::kResultsList, 0);
  Loaded();
  EXPECT_EQ(CurrentPath(), "b.htm");
  EXPECT_EQ(ui().VisibleControls(), (std::vector<Control>{Control::kPageView}));
}

TEST_F(PanelTest, DisplayWithoutASelectionDoesNothing) {
  ASSERT_TRUE(Start(TestBook("search")));
  Button(kCmdSearch);
  ui().Type(Control::kSearchEdit, "alpha");
  ASSERT_TRUE(ui().Press(Control::kListTopicsButton));
  ASSERT_TRUE(ui().Press(Control::kSearchDisplayButton));
  EXPECT_TRUE(ui().Visible(Control::kResultsList));
}

// --- Search in the text of the pages ---------------------------------------------------

std::vector<std::string> Sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

TEST_F(PanelTest, WhatTheBooksIndexCannotAnswerTheTextOfThePagesDoes) {
  ASSERT_TRUE(Start(TestBook("search")));
  Button(kCmdSearch);
  struct Case {
    const char* query;
    std::vector<std::string> titles;  // sorted
    bool pageText;
  };
  const Case cases[] = {
      {"Alpha", {"Alpha", "Alpha"}, false},                  // one word the index holds
      {"quokka numbat", {"Quokka facts", "Quokka gallery"}, true},  // several words: all of them
      {"\"a quokka\"", {"beta"}, true},                       // a phrase
      {"numb*", {"Quokka facts", "Quokka gallery"}, true},         // a prefix
      {"quokka -numbat -wombat", {"Alpha", "Alpha"}, true},          // left out
      {"zebra OR beta", {"Zebra", "beta"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query);
    ui().Type(Control::kSearchEdit, c.query);
    ASSERT_TRUE(ui().Press(Control::kListTopicsButton));
    EXPECT_TRUE(ui().messages.empty());
    EXPECT_EQ(Sorted(Lines(Control::kResultsList)), c.titles);
    EXPECT_EQ(ui().tab().resultsNote,
              c.pageText ? "Found in the text of the pages: " + std::to_string(c.titles.size()) + "." : "");
    for (const ResultLine& line : ui().tab().results) {
      EXPECT_EQ(line.hits > 0, c.pageText);
      EXPECT_EQ(!line.snippet.empty(), c.pageText);
      EXPECT_EQ(line.snippet.find_first_of("\n\t"), std::string::npos) << "one line";
    }
  }

  // A result of the page text opens its page with the words marked, once
  // the page has loaded.
  ui().Type(Control::kSearchEdit, "quokka numbat");
  ASSERT_TRUE(ui().Press(Control::kListTopicsButton));
  ASSERT_FALSE(ui().tab().results.empty());
  EXPECT_NE(ui().tab().results[0].snippet.find(std::string(kMarkOpen) + "numbat" + std::string(kMarkClose)),
            std::string::npos)
      << ui().tab().results[0].snippet;
  ui().SelectLine(Control::kResultsList, 0);
  ASSERT_TRUE(ui().Press(Control::kSearchDisplayButton));
  EXPECT_TRUE(ui().tab().markedWords.empty());
  Loaded();
  EXPECT_TRUE(CurrentPath() == "c.htm" || CurrentPath() == "e.htm") << CurrentPath();
  ASSERT_EQ(ui().tab().markedWords.size(), 1u);
  EXPECT_EQ(ui().tab().markedWords[0], (std::vector<std::string>{"quokka", "numbat"}));
  EXPECT_EQ(ui().tab().markedOn[0], ui().LastNavigation());
  // The same result again: the page on screen is marked where it is.
  Button(kCmdSearch);
  ASSERT_TRUE(ui().Press(Control::kSearchDisplayButton));
  ASSERT_EQ(ui().tab().markedWords.size(), 2u);
  EXPECT_EQ(ui().tab().markedOn[1], ui().tab().markedOn[0]);
  // A page reached otherwise is not marked.
  ASSERT_TRUE(ui().TapLink("a.htm"));
  Loaded();
  EXPECT_EQ(ui().tab().markedWords.size(), 2u);

}

TEST_F(PanelTest, ASnippetStartsNearTheWordFoundSoThatTheSidebarShowsIt) {
  std::string text;
  for (int i = 0; i < 40; ++i) text += "filler" + std::to_string(i) + " ";
  BookBuilder b;
  b.AddFile("#SYSTEM", SystemObject({{2, Text("a.htm")}, {3, Text("Long")}}));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/a.htm", "<html><head><title>Long</title></head><body><p>" + text + "aardvark at last.</p></body></html>");
  BuiltBook book(b);
  ASSERT_TRUE(Start(book.Path()));
  Button(kCmdSearch);
  ui().Type(Control::kSearchEdit, "aardvark");
  ASSERT_TRUE(ui().Press(Control::kListTopicsButton));
  ASSERT_EQ(ui().tab().results.size(), 1u);
  const std::string& snippet = ui().tab().results[0].snippet;
  const std::size_t mark = snippet.find(kMarkOpen);
  ASSERT_NE(mark, std::string::npos) << snippet;
  EXPECT_LE(CountChars(snippet.substr(0, mark)), 26u) << snippet;
  EXPECT_TRUE(snippet.starts_with("\xE2\x80\xA6")) << snippet;
}

TEST_F(PanelTest, ABookWithoutAnIndexIsSearchedInItsPageTextKeptBetweenRuns) {
  ASSERT_TRUE(Start(TestBook("plain")));
  ui().progressLog.clear();
  Button(kCmdSearch);
  // Made ready when the panel first shows, with progress in the window.
  ASSERT_FALSE(ui().progressLog.empty());
  EXPECT_EQ(ui().progressLog.front(), "show Page text index creation...");
  EXPECT_EQ(ui().progressLog.back(), "hide");
  EXPECT_FALSE((ui().cursor == Cursor::kWait));
  ui().Type(Control::kSearchEdit, "numbered");
  ASSERT_TRUE(ui().Press(Control::kListTopicsButton));
  EXPECT_EQ(Lines(Control::kResultsList), (std::vector<std::string>{"Plain"}));
  EXPECT_EQ(ui().tab().resultsNote, "Found in the text of the pages: 1.");

  // Kept under the book's content: the book opened again (or a copy of it
  // under another name) finds its index without building it.
  std::size_t kept = 0;
  for (const auto& entry : std::filesystem::directory_iterator(*ui().PageTextFolder())) {
    kept += entry.path().extension() == ".sqlite" ? 1 : 0;
  }
  EXPECT_EQ(kept, 1u);
  const std::filesystem::path copy = std::filesystem::path(root.Path()) / "renamed.chm";
  std::filesystem::copy_file(TestBook("plain"), copy);
  OpenThroughMenu(copy.string());
  ui().progressLog.clear();
  Button(kCmdSearch);
  EXPECT_TRUE(ui().progressLog.empty());
  ui().Type(Control::kSearchEdit, "numbered");
  ASSERT_TRUE(ui().Press(Control::kListTopicsButton));
  EXPECT_EQ(Lines(Control::kResultsList), (std::vector<std::string>{"Plain"}));
  EXPECT_TRUE(ui().messages.empty());
}

TEST_F(PanelTest, SearchPreparationFailureIsShownOnceAndNotRetried) {
  BookBuilder b;
  b.AddFile("#SYSTEM", SystemObject({{2, Text("a.htm")}, {3, Text("Damaged search")}}));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/a.htm", "<p>a</p>");
  b.AddFile("/$FIftiMain", std::string(20, '\x7F'));  // no header that holds
  BuiltBook book(b);
  ASSERT_TRUE(Start(book.Path()));
  ASSERT_EQ(ui().FileMenuText()[8], "( ) &Search");
  Button(kCmdSearch);
  ASSERT_EQ(ui().messages.size(), 1u);
  EXPECT_EQ(ui().messages[0].caption, "Tallis Exception");
  EXPECT_TRUE(ui().Visible(Control::kSearchEdit));
  EXPECT_FALSE(ui().progressVisible);
  Button(kCmdHtml);
  Button(kCmdSearch);
  EXPECT_EQ(ui().messages.size(), 1u);
  // The index that did not load finds nothing: the text of the pages
  // answers, and the panel says so.
  ui().Type(Control::kSearchEdit, "a");
  ASSERT_TRUE(ui().Press(Control::kListTopicsButton));
  EXPECT_EQ(ui().messages.size(), 1u);
  EXPECT_EQ(Lines(Control::kResultsList).size(), 1u);
  EXPECT_EQ(ui().tab().resultsNote, "Found in the text of the pages: 1.");
}

TEST_F(PanelTest, SearchFailureKeepsTheEarlierResults) {
  // "alpha" finds topics 0 and 1; "broken" has a list of ones whose first
  // code never ends.
  tessaly::test::FtiBuilder fti;
  fti.Add("alpha", {0, 1});
  fti.Add("broken", {0}).list = std::vector<std::uint8_t>{0xFF, 0xFF};
  const std::vector<std::uint8_t> index = fti.Build().data;
  BookBuilder b;
  b.AddFile("#SYSTEM", SystemObject({{2, Text("a.htm")}, {3, Text("Broken search")}}));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/a.htm", "<p>a</p>");
  b.AddFile("/$FIftiMain", index);
  BuiltBook book(b);
  ASSERT_TRUE(Start(book.Path()));
  Button(kCmdSearch);
  ASSERT_TRUE(ui().messages.empty());
  ui().Type(Control::kSearchEdit, "alpha");
  ASSERT_TRUE(ui().Press(Control::kListTopicsButton));
  // Without a topic table the titles say so.
  ASSERT_EQ(Lines(Control::kResultsList),
            (std::vector<std::string>{"Incorrect topic id", "Incorrect topic id"}));
  ui().Type(Control::kSearchEdit, "broken");
  ASSERT_TRUE(ui().Press(Control::kListTopicsButton));
  ASSERT_EQ(ui().messages.size(), 1u);
  EXPECT_EQ(ui().messages[0].caption, "Tallis Exception");
  EXPECT_NE(ui().messages[0].text.find("$FIftiMain is damaged"), std::string::npos) << ui().messages[0].text;
  EXPECT_EQ(Lines(Control::kResultsList).size(), 2u);
  EXPECT_TRUE(ui().At(Control::kSearchDisplayButton).enabled);
  // A topic without a path shows nothing.
  ui().SelectLine(Control::kResultsList, 0);
  const std::size_t navigations = ui().tab().navigations.size();
  ASSERT_TRUE(ui().Press(Control::kSearchDisplayButton));
  EXPECT_EQ(ui().tab().navigations.size(), navigations);
  EXPECT_EQ(ui().VisibleControls(), (std::vector<Control>{Control::kPageView}));
}

}  // namespace
}  // namespace tessaly::app::test
