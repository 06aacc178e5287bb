// The reader and the user's library: `tessaly --keyword WORD [BOOK]` (one
// topic opens, several are offered, none falls back to the pages that hold
// the word), `--library-add`, books opened joining the library, and how
// these requests travel on the command line and to a running reader.
#include <gtest/gtest.h>

#include <fstream>

#include "app/command_line.h"
#include "library/library_books.h"
#include "recording_platform.h"

namespace tessaly::app::test {
namespace {

namespace fs = std::filesystem;
using tessaly::test::Page;
using tessaly::test::SmallBook;

TEST(RequestTest, ArgumentsAndTheHandedLineCarryEveryRequest) {
  const struct {
    std::vector<std::string_view> arguments;
    std::optional<ReaderRequest> request;
  } cases[] = {
      {{}, ReaderRequest{}},
      {{"/b/x.chm::/a b.htm"}, ReaderRequest{RequestKind::kOpen, "", "/b/x.chm::/a b.htm"}},
      {{"--keyword", "printf"}, ReaderRequest{RequestKind::kKeyword, "printf", ""}},
      {{"--keyword", "a b%20\n", "/my books/c.chm"}, ReaderRequest{RequestKind::kKeyword, "a b%20\n", "/my books/c.chm"}},
      {{"--library-add", "/docs/my manuals"}, ReaderRequest{RequestKind::kLibraryAdd, "", "/docs/my manuals"}},
      {{"--keyword"}, std::nullopt},
      {{"--keyword", ""}, std::nullopt},
      {{"--keyword", "w", "b.chm", "more"}, std::nullopt},
      {{"--library-add"}, std::nullopt},
      {{"--library-add", "a", "b"}, std::nullopt},
      {{"--other"}, std::nullopt},
      {{"a.chm", "b.chm"}, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.empty() ? "(none)" : std::string(c.arguments[0]));
    const std::optional<ReaderRequest> parsed = ParseArguments(c.arguments);
    EXPECT_EQ(parsed, c.request);
    if (!parsed) continue;
    // The line handed to a running reader is one line, and reads back whole.
    const std::string line = RequestLine(*parsed);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(ParseRequestLine(line), *parsed);
  }
  // An absolute book path never reads as a request.
  EXPECT_EQ(ParseRequestLine("/home/u/--keyword x.chm").kind, RequestKind::kOpen);
}

// Two books in a folder: "Aardvark Guide" lists gearbox twice; "Zebra
// Manual" lists gearbox once and Frobnicate once, and has a page on the
// zorblax that no keyword names. A third book lies elsewhere, opened alone.
class LibraryReaderTest : public ReaderTest {
 protected:
  void SetUp() override {
    desktop.libraryFile = fs::path(root.Path()) / "data" / "library.sqlite";
    const fs::path folder = Folder();
    SmallBook aardvark{"Aardvark Guide", {}, {{"gearbox", "gears.htm"}, {"gearbox", "more.htm"}}};
    aardvark.pages = {{"gears.htm", Page("Gears", "gears of the gearbox")}, {"more.htm", Page("More", "the gearbox")}};
    SmallBook zebra{"Zebra Manual", {}, {{"Frobnicate", "tools.htm"}, {"gearbox", "gb.htm#top"}}};
    zebra.pages = {{"tools.htm", Page("Tools", "frobnicate with care")},
                   {"gb.htm", Page("Gearbox", "<a name=\"top\"></a>the box")},
                   {"zorblax.htm", Page("Zorblax", "all about the zorblax")}};
    SmallBook okapi{"Okapi Notes", {{"quux.htm", Page("Quux", "quux")}}, {{"quux", "quux.htm"}}};
    tessaly::test::WriteBytes(folder / "aardvark.chm", tessaly::test::MakeBook(aardvark));
    tessaly::test::WriteBytes(folder / "zebra.chm", tessaly::test::MakeBook(zebra));
    tessaly::test::WriteBytes(Alone(), tessaly::test::MakeBook(okapi));
  }
  fs::path Folder() const { return fs::path(root.Path()) / "books"; }
  fs::path Alone() const { return fs::path(root.Path()) / "elsewhere" / "okapi.chm"; }
  std::string Book(const char* name) const { return (Folder() / name).string(); }

  // A request as a second start of the reader hands it to this one.
  void Request(const ReaderRequest& request) {
    Session second(desktop);
    EXPECT_FALSE(second.reader.Start(RequestLine(request)));
    ui().Drain();
    ui().CompleteAll();
  }
};

TEST_F(LibraryReaderTest, KeywordOpensOneTopicOffersSeveralAndFallsBackToThePageText) {
  ASSERT_TRUE(Start(RequestLine({RequestKind::kLibraryAdd, "", Folder().string()})));
  const struct {
    const char* word;
    std::string book;
    std::vector<int> choices;               // the person's answers to "Topics Found"
    std::vector<std::string> offered;       // its lines; empty: no box
    std::string shownTitle, shownPage;      // the window's title; the page, when one is named
    bool saysNone = false;
  } cases[] = {
      {"frobnicate", "", {}, {}, "Zebra Manual", "tools.htm"},
      {"gearbox", Book("zebra.chm"), {}, {}, "Zebra Manual", "gb.htm#top"},
      {"GearBox", "", {2},
       {"Aardvark Guide: gearbox", "Aardvark Guide: gearbox", "Zebra Manual: gearbox"},
       "Zebra Manual", "gb.htm#top"},
      {"gearbox", "aardvark", {1}, {"gearbox", "gearbox"}, "Aardvark Guide", "more.htm"},
      {"zorblax", "", {0}, {"Zorblax (2 hits)"}, "Zebra Manual", "zorblax.htm"},
      {"gearbox", "", {}, {"Aardvark Guide: gearbox", "Aardvark Guide: gearbox", "Zebra Manual: gearbox"},
       std::string(kNoBookTitle), ""},
      {"nowhere", Book("aardvark.chm"), {}, {}, "Aardvark Guide", "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.word) + " in " + c.book);
    // Each case starts from the start view, so that what opens is its own.
    while (!ui().tabs.empty() && ui().tab().owner.Session() != nullptr) ui().Click(kCmdCloseTab);
    ui().choiceDialogs.clear();
    ui().messages.clear();
    ui().choices = c.choices;
    Request({RequestKind::kKeyword, c.word, c.book});
    std::vector<std::string> offered;
    if (!ui().choiceDialogs.empty()) offered = ui().choiceDialogs.back().lines;
    EXPECT_EQ(offered, c.offered);
    EXPECT_EQ(ui().title, c.shownTitle);
    if (!c.shownPage.empty()) {
      EXPECT_EQ(CurrentPath(), c.shownPage);
    }
    EXPECT_EQ(!ui().messages.empty() && ui().messages.back().text == kNoTopicsFound, c.saysNone);
  }
}

TEST_F(LibraryReaderTest, ABookTheUserOpensJoinsTheLibrary) {
  ASSERT_TRUE(Start());
  // Not yet in the library: its keyword is found nowhere.
  Request({RequestKind::kKeyword, "quux", ""});
  EXPECT_EQ(ui().title, kNoBookTitle);
  ui().Drop(Alone().string());
  ui().CompleteAll();
  ui().Click(kCmdCloseTab);
  Request({RequestKind::kKeyword, "quux", ""});
  EXPECT_EQ(ui().title, "Okapi Notes");
  EXPECT_EQ(CurrentPath(), "quux.htm");
  EXPECT_TRUE(ui().choiceDialogs.empty());
}

TEST_F(LibraryReaderTest, WithoutALibraryTheNamedBookStillOpens) {
  desktop.libraryFile.reset();
  ASSERT_TRUE(Start(RequestLine({RequestKind::kKeyword, "gearbox", Book("zebra.chm")})));
  EXPECT_EQ(ui().title, "Zebra Manual");
  EXPECT_TRUE(ui().messages.empty());
}

}  // namespace
}  // namespace tessaly::app::test

namespace tessaly::app::test {
namespace {

TEST_F(LibraryReaderTest, SearchAcrossBooksOpensAResultAndANewerQueryDropsTheOlder) {
  ASSERT_TRUE(Start(RequestLine({RequestKind::kLibraryAdd, "", Folder().string()})));
  ui().Key(kCmdLibrarySearch);
  EXPECT_EQ(ui().library.focused, 1);
  // Two queries before any search ran: only the newer one's results show.
  ui().holdWork = true;
  ui().TypeLibraryQuery("gearbox");
  ui().TypeLibraryQuery("zorblax");
  ui().Drain();
  ASSERT_EQ(ui().library.results.size(), 1u);
  EXPECT_EQ(ui().library.resultShows, 1);
  EXPECT_EQ(ui().library.results[0].book, "Zebra Manual");
  EXPECT_EQ(ui().library.results[0].title, "Zorblax");
  EXPECT_NE(ui().library.results[0].snippet.find(std::string(kMarkOpen) + "zorblax"), std::string::npos);
  ui().holdWork = false;
  ui().ActivateLibraryResult(0);
  ui().CompleteAll();
  EXPECT_EQ(ui().title, "Zebra Manual");
  EXPECT_EQ(CurrentPath(), "zorblax.htm");
  // Its book's tab is reused for the next result of that book.
  ui().TypeLibraryQuery("frobnicate");
  ASSERT_FALSE(ui().library.results.empty());
  ui().ActivateLibraryResult(0);
  ui().CompleteAll();
  EXPECT_EQ(ui().tabs.size(), 1u);
  EXPECT_EQ(CurrentPath(), "tools.htm");
  ui().TypeLibraryQuery("nothingatall");
  EXPECT_TRUE(ui().library.results.empty());
  EXPECT_EQ(ui().library.note, kNoTopicsFound);
}

TEST_F(LibraryReaderTest, EachSearchFieldRecallsItsOwnQueriesAcrossRuns) {
  // The field above the tabs and a book's Search panel: queries searched
  // in each, then Up (1) and Down (-1) in the next run.
  const auto showSearchPanel = [&] {
    ASSERT_TRUE(ui().Click(kCmdSearch));
    ui().CompleteAll();
  };
  ASSERT_TRUE(Start(Book("zebra.chm")));
  ui().CompleteAll();
  showSearchPanel();
  for (const char* query : {"gears", "zorblax"}) {
    ui().TypeLibraryQuery(query);
    ui().LibraryKey(0);  // Enter
  }
  for (const char* query : {"tools", "care", "tools"}) {
    ui().Type(Control::kSearchEdit, query);
    ui().PressEnter(Control::kSearchEdit);
  }
  reader().OnClose();
  session = std::make_unique<Session>(desktop);
  ASSERT_TRUE(Start(Book("zebra.chm")));
  ui().CompleteAll();
  showSearchPanel();
  const struct {
    bool book;  // the Search panel's field, else the one above the tabs
    int step;
    const char* shown;
  } keys[] = {{false, 1, "zorblax"}, {false, 1, "gears"}, {false, 1, "gears"}, {false, -1, "zorblax"},
              {false, -1, ""},       {false, -1, ""},     {true, 1, "tools"},  {true, 1, "care"},
              {true, 1, "care"},     {true, -1, "tools"}, {true, -1, ""},      {true, -1, ""}};
  for (const auto& key : keys) {
    SCOPED_TRACE(std::string(key.book ? "book " : "library ") + std::to_string(key.step) + " " + key.shown);
    if (key.book) {
      ui().tab().owner.Search().OnHistory(key.step);
      EXPECT_EQ(ui().At(Control::kSearchEdit).text, key.shown);
    } else {
      ui().LibraryKey(key.step);
      EXPECT_EQ(ui().library.query, key.shown);
    }
  }
  // A recalled query is searched as a typed one is.
  ui().tab().owner.Search().OnHistory(1);
  EXPECT_TRUE(ui().At(Control::kListTopicsButton).enabled);
}

TEST_F(LibraryReaderTest, TheLibraryViewListsBooksWithDamageAndFollowsItsFolders) {
  std::ofstream(Folder() / "broken.chm") << "not a book at all";
  ASSERT_TRUE(Start());
  // Library > Add Folder..., cancelled, then a folder chosen.
  ui().Key(kCmdAddFolder);
  ui().library.folders = {Folder().string()};
  ui().Key(kCmdAddFolder);
  // The start view's link shows the Library view, as Library > Show Library does.
  ASSERT_TRUE(ui().TapLink(std::string(kStartLibraryLink)));
  ui().Drain();
  std::vector<std::string> listed;
  for (const LibraryRow& row : ui().library.books) {
    listed.push_back(row.title + (row.damaged ? " damaged" : " " + row.state));
  }
  EXPECT_EQ(listed, (std::vector<std::string>{"Aardvark Guide indexed", "broken damaged", "Zebra Manual indexed"}));
  EXPECT_NE(ui().library.books[1].state.find("damaged: "), std::string::npos);
  EXPECT_EQ(ui().library.books[2].where, Book("zebra.chm"));
  ui().ActivateLibraryBook(2);
  EXPECT_EQ(ui().title, "Zebra Manual");
  // A book put in the folder while the reader runs is found when the
  // window comes back to the front, and the view shows it.
  tessaly::test::WriteBytes(Folder() / "okapi.chm", tessaly::test::ReadFileBytes(Alone().string()));
  reader().OnActivate(false);
  reader().OnActivate(true);
  ui().Drain();
  ASSERT_EQ(ui().library.books.size(), 4u);
  EXPECT_EQ(ui().library.books[2].title, "Okapi Notes");
  // The folder is watched; a book removed there leaves when the watch says so.
  EXPECT_EQ(ui().library.watched, (std::vector<std::string>{Folder().string()}));
  fs::remove(Folder() / "aardvark.chm");
  reader().Library().OnFoldersChanged();
  ui().Drain();
  std::vector<std::string> left;
  for (const LibraryRow& row : ui().library.books) left.push_back(row.title);
  EXPECT_EQ(left, (std::vector<std::string>{"broken", "Okapi Notes", "Zebra Manual"}));
}

TEST_F(LibraryReaderTest, CtrlDBookmarksThePageForItsBookAndForAllBooksAcrossRuns) {
  ASSERT_TRUE(Start(RequestLine({RequestKind::kKeyword, "frobnicate", Book("zebra.chm")})));
  ui().CompleteAll();
  ASSERT_EQ(CurrentPath(), "tools.htm");
  // Named after the page's title; this book has no topic table, so its
  // page's path stands for the title.
  ui().Key(kCmdBookmarkPage);
  const auto submenu = [&](std::string_view label) {
    std::vector<std::string> texts;
    for (const RecordedMenuItem& item : ui().libraryMenu) {
      if (item.text != label) continue;
      for (const RecordedMenuItem& entry : item.submenu) texts.push_back(entry.text);
    }
    return texts;
  };
  EXPECT_EQ(submenu(kBookBookmarksLabel), (std::vector<std::string>{"tools.htm"}));
  // Another book's tab: the page is among all books' bookmarks, not its own.
  ui().Drop(Alone().string());
  ui().CompleteAll();
  EXPECT_TRUE(submenu(kBookBookmarksLabel).empty());
  EXPECT_EQ(submenu(kAllBookmarksLabel), (std::vector<std::string>{"tools.htm (zebra.chm)"}));
  reader().OnClose();
  session = std::make_unique<Session>(desktop);
  ASSERT_TRUE(Start());
  ASSERT_EQ(submenu(kAllBookmarksLabel), (std::vector<std::string>{"tools.htm (zebra.chm)"}));
  ui().Key(kCmdBookmarkFirst);
  ui().CompleteAll();
  EXPECT_EQ(ui().title, "Zebra Manual");
  EXPECT_EQ(CurrentPath(), "tools.htm");
}

TEST_F(LibraryReaderTest, TheBookmarksWindowOpensRenamesAndDeletesThemAcrossRuns) {
  ASSERT_TRUE(Start(RequestLine({RequestKind::kKeyword, "frobnicate", Book("zebra.chm")})));
  ui().CompleteAll();
  ui().Key(kCmdBookmarkPage);
  Request({RequestKind::kKeyword, "gearbox", Book("zebra.chm")});
  ui().Key(kCmdBookmarkPage);
  ui().Key(kCmdShowBookmarks);
  const auto names = [&] {
    std::vector<std::string> shown;
    for (const BookmarkRow& row : ui().library.bookmarks) shown.push_back(row.name + " " + row.book + " " + row.page);
    return shown;
  };
  using Names = std::vector<std::string>;
  ASSERT_EQ(names(), (Names{"gb.htm#top zebra.chm gb.htm#top", "tools.htm zebra.chm tools.htm"}));
  const struct {
    const char* action;  // "rename" or "delete"
    int row;
    const char* name;
    Names after;
  } steps[] = {
      {"rename", 1, "Tools, with care", {"gb.htm#top zebra.chm gb.htm#top", "Tools, with care zebra.chm tools.htm"}},
      {"rename", 0, "  ", {"gb.htm#top zebra.chm gb.htm#top", "Tools, with care zebra.chm tools.htm"}},
      {"rename", 5, "nothing there", {"gb.htm#top zebra.chm gb.htm#top", "Tools, with care zebra.chm tools.htm"}},
      {"delete", 0, "", {"Tools, with care zebra.chm tools.htm"}},
      {"delete", -1, "", {"Tools, with care zebra.chm tools.htm"}},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(std::string(step.action) + " " + std::to_string(step.row));
    if (std::string_view(step.action) == "rename") {
      reader().Library().OnBookmarkRenamed(step.row, step.name);
    } else {
      reader().Library().OnBookmarkDeleted(step.row);
    }
    ui().Drain();
    EXPECT_EQ(names(), step.after);
  }
  // Kept across runs: in the next one, the menu and the window name it so,
  // and it opens from the window.
  reader().OnClose();
  session = std::make_unique<Session>(desktop);
  ASSERT_TRUE(Start());
  ui().Key(kCmdShowBookmarks);
  EXPECT_EQ(names(), (Names{"Tools, with care zebra.chm tools.htm"}));
  reader().Library().OnBookmarkActivated(0);
  ui().CompleteAll();
  EXPECT_EQ(ui().title, "Zebra Manual");
  EXPECT_EQ(CurrentPath(), "tools.htm");
}

}  // namespace
}  // namespace tessaly::app::test
