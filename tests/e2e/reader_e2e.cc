// The reader's window, end to end: real readers on test books under a
// private X server, driven through their instance channel.
#include <arpa/inet.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/gtk/key_value_store.h"
#include "book/book.h"
#include "harness.h"
#include "support/book_builder.h"

namespace tessaly::e2e {
namespace {

namespace fs = std::filesystem;

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = Display();
    if (server_ == nullptr) GTEST_SKIP() << "no X server (Xvfb) could be started";
    input_ = std::make_unique<XInput>(server_->Display());
  }

  std::unique_ptr<Reader> Start(const std::string& book, const std::string& executable = std::string()) {
    auto reader = std::make_unique<Reader>(sandbox_, server_->Display(), book, Milliseconds(60000), executable);
    EXPECT_TRUE(reader->Running()) << "first line: " << reader->FirstLine() << "\n" << reader->Log();
    return reader;
  }

  // Waits until `count` pages have been asked for and the last one shows.
  static void Settle(const Reader& reader, int count) {
    std::string reply;
    ASSERT_TRUE(reader.Wait(count, &reply)) << "no answer to wait " << count << "\n" << reader.Log();
    ASSERT_EQ(reply, "idle") << reader.Ask("dialog?").value_or("");
  }

  // Clicks, through the X server, the first link of the page whose href is
  // written as `selector` says (a CSS attribute test such as
  // [href="details.htm"]).
  void ClickLink(const Reader& reader, const std::string& selector) {
    const std::string where =
        reader.Eval("(function(){var a=document.querySelector('a" + selector +
                    "'); if(!a) return 'none';"
                    "a.scrollIntoView({block:'center'}); var r=a.getClientRects()[0];"
                    "return Math.round(r.left+Math.min(r.width/2,20))+' '+Math.round(r.top+r.height/2);})()");
    ASSERT_NE(where, "none") << "no link " << selector << " on " << reader.Eval("document.title");
    int x = 0;
    int y = 0;
    std::istringstream(where) >> x >> y;
    int left = 0;
    int top = 0;
    char comma = 0;
    std::istringstream(reader.State()["screen.page"]) >> left >> comma >> top;
    ASSERT_TRUE(input_->Ready());
    input_->Click(left + x, top + y);
  }

  // Follows a link for real and waits for the page it leads to.
  void FollowLink(const Reader& reader, const std::string& href) {
    const int before = reader.Navigations();
    ASSERT_NO_FATAL_FAILURE(ClickLink(reader, "[href=\"" + href + "\"]"));
    ASSERT_NO_FATAL_FAILURE(Settle(reader, before + 1));
  }

  // Presses a key in the reader's window, the pointer resting in its page
  // view (or whatever control shows).
  void PressKey(const Reader& reader, const std::string& name) {
    const auto state = reader.State();
    auto place = state.find("screen.page");
    if (place == state.end()) place = state.lower_bound("screen.");
    ASSERT_NE(place, state.end()) << "no control on the screen";
    int left = 0;
    int top = 0;
    char comma = 0;
    std::istringstream(place->second) >> left >> comma >> top;
    input_->MoveTo(left + 5, top + 5);
    ASSERT_TRUE(input_->Key(name)) << name;
  }

  static std::string Title(const Reader& reader) { return reader.Eval("document.title"); }

  XServer* server_ = nullptr;
  std::unique_ptr<XInput> input_;
  Sandbox sandbox_;
};

using ReaderWindow = ReaderTest;
using ReaderPanels = ReaderTest;
using ReaderView = ReaderTest;
using ReaderInstances = ReaderTest;
using ReaderInstalled = ReaderTest;

TEST_F(ReaderWindow, OpensTheBookAtItsDefaultPageAndFollowsLinksAsWritten) {
  auto reader = Start(TestBook("basic/basic.chm"));
  ASSERT_TRUE(reader->Running());
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, 1));
  auto state = reader->State();
  EXPECT_EQ(state["title"], "Tessaly Test Book");
  EXPECT_EQ(state["visible"], "page");
  EXPECT_EQ(state["filter"], "1");
  // The page's own address: the book's path, "::" and the page.
  EXPECT_EQ(reader->Eval("location.href"), "ms-its:" + TestBook("basic/basic.chm") + "::/index.htm");
  EXPECT_EQ(state["toolbuttons"], "306+ 303- 302- 304+ 305+") << "Locate, Back, Forward, Refresh, Home";
  EXPECT_EQ(Title(*reader), "Welcome");
  EXPECT_EQ(reader->Eval("document.body.innerText.indexOf('aardvark') >= 0"), "true");
  EXPECT_EQ(reader->Eval("getComputedStyle(document.querySelector('h1')).color"), "rgb(51, 51, 102)")
      << "the book's style sheet applies";
  EXPECT_EQ(reader->Eval("Array.from(document.images).filter(i => i.complete && i.naturalWidth > 0).length"),
            "1");

  // Links are followed the way the page writes them, relative ones too.
  ASSERT_NO_FATAL_FAILURE(FollowLink(*reader, "chapter1/intro.htm"));
  EXPECT_EQ(Title(*reader), "Introduction");
  ASSERT_NO_FATAL_FAILURE(FollowLink(*reader, "details.htm"));
  EXPECT_EQ(Title(*reader), "Details");
  ASSERT_NO_FATAL_FAILURE(FollowLink(*reader, "../index.htm"));
  EXPECT_EQ(Title(*reader), "Welcome");
  state = reader->State();
  EXPECT_EQ(state["toolbuttons"], "306+ 303+ 302- 304+ 305+");
  EXPECT_EQ(state["messages"], "0");

  // Back and Forward.
  int count = reader->Navigations();
  ASSERT_EQ(reader->Ask("button 303"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, ++count));
  EXPECT_EQ(Title(*reader), "Details");
  ASSERT_EQ(reader->Ask("button 303"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, ++count));
  EXPECT_EQ(Title(*reader), "Introduction");
  EXPECT_EQ(reader->State()["toolbuttons"], "306+ 303+ 302+ 304+ 305+");
  ASSERT_EQ(reader->Ask("button 302"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, ++count));
  EXPECT_EQ(Title(*reader), "Details");
  EXPECT_EQ(reader->State()["toolbuttons"], "306+ 303+ 302+ 304+ 305+");

  // Refresh loads the same file again without a history entry.
  const std::string uri = reader->State()["uri"];
  ASSERT_EQ(reader->Ask("button 304"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, ++count));
  state = reader->State();
  EXPECT_EQ(state["uri"], uri);
  EXPECT_EQ(state["toolbuttons"], "306+ 303+ 302+ 304+ 305+");

  // A link out of the book goes to the desktop, and the page stays.
  ASSERT_EQ(reader->Ask("button 305"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, ++count));
  EXPECT_EQ(Title(*reader), "Welcome");
  ASSERT_NO_FATAL_FAILURE(ClickLink(*reader, "[href^=\"http:\"]"));
  EXPECT_EQ(reader->Ask("until external=http://example.com/"), "idle");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, count));
  EXPECT_EQ(Title(*reader), "Welcome");
  state = reader->State();
  EXPECT_EQ(state["external"], "http://example.com/");
  EXPECT_EQ(state["navigations"], std::to_string(count));
  EXPECT_EQ(state["messages"], "0");
}

TEST_F(ReaderPanels, ContentsIndexAndSearchOpenTheirTopics) {
  auto reader = Start(TestBook("basic/basic.chm"));
  ASSERT_TRUE(reader->Running());
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, 1));
  int count = 1;

  const std::string menu = reader->Ask("menu?").value_or("");
  EXPECT_NE(menu.find("1030\t1\ton\tShow images\n1005\t1\ton\tFit to window\n1006\t1\ton\tClearType\n"),
            std::string::npos)
      << menu;
  EXPECT_NE(
      menu.find("1003\t1\toff\t_Search\n1002\t1\toff\tI_ndex\n1001\t1\toff\t_Contents\n1004\t1\ton\t_Html\n"),
      std::string::npos)
      << menu;

  // Contents: the book's entries with their pictures, the default topic selected.
  ASSERT_EQ(reader->Ask("menu 1001"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, count));
  auto state = reader->State();
  EXPECT_EQ(state["visible"], "tree");
  EXPECT_EQ(state["focus"], "tree");
  const std::string tree = reader->Ask("tree?").value_or("");
  EXPECT_EQ(tree,
            "0\t10\t*\tWelcome\n0\t4\t-\tChapter 1\n1\t10\t-\tDetails\n1\t10\t-\tPart two\n"
            "0\t4\t-\tChapter 2 & frames\n1\t10\t-\tMy Page\n");
  ASSERT_EQ(reader->Ask("tree-expand Chapter 1"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, count));
  EXPECT_NE(reader->Ask("tree?").value_or("").find("0\t5\t-\tChapter 1\n"), std::string::npos)
      << "an open heading shows the open folder";
  ASSERT_EQ(reader->Ask("tree-tap Details"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, ++count));
  EXPECT_EQ(Title(*reader), "Details");
  EXPECT_EQ(reader->State()["visible"], "page");

  // Locate finds the page's entry.
  ASSERT_EQ(reader->Ask("button 306"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, count));
  EXPECT_EQ(reader->State()["visible"], "tree");
  EXPECT_NE(reader->Ask("tree?").value_or("").find("1\t10\t*\tDetails\n"), std::string::npos);
  ASSERT_EQ(reader->Ask("menu 1004"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, count));

  // Index: one target opens directly, two through "Topics Found".
  ASSERT_EQ(reader->Ask("menu 1002"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, count));
  EXPECT_EQ(reader->State()["focus"], "index-edit");
  const std::string lines = reader->Ask("list? index-list").value_or("");
  std::vector<std::string> index;
  std::istringstream split(lines);
  for (std::string line; std::getline(split, line);) index.push_back(line);
  const auto find = [&index](const std::string& text) {
    return static_cast<int>(std::find(index.begin(), index.end(), text) - index.begin());
  };
  ASSERT_LT(find("_aardvark"), static_cast<int>(index.size())) << lines;
  ASSERT_LT(find("zebra"), static_cast<int>(index.size())) << lines;
  ASSERT_EQ(reader->Ask("list-activate index-list " + std::to_string(find("_aardvark"))), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, ++count));
  EXPECT_EQ(Title(*reader), "Welcome");

  ASSERT_EQ(reader->Ask("menu 1002"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, count));
  ASSERT_EQ(reader->Ask("list-activate index-list " + std::to_string(find("zebra"))), "ok");
  std::string reply;
  ASSERT_TRUE(reader->Wait(count, &reply));
  ASSERT_EQ(reply, "dialog");
  const std::string dialog = reader->Ask("dialog?").value_or("");
  EXPECT_EQ(dialog.substr(0, dialog.find('\n')), "choice\tTopics Found\tClick a topic, than click Dysplay.");
  EXPECT_EQ(dialog.substr(dialog.find('\n') + 1), "Introduction\nDetails\n");
  ASSERT_EQ(reader->Ask("dialog-respond 1"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, ++count));
  EXPECT_EQ(Title(*reader), "Details");

  // Search: List Topics waits for a word; hits open their topics.
  ASSERT_EQ(reader->Ask("menu 1003"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, count));
  EXPECT_EQ(reader->State()["focus"], "search-edit");
  EXPECT_EQ(reader->Ask("control-click list-topics"), "insensitive");
  ASSERT_EQ(reader->Ask("set-text search-edit lazy"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, count));
  ASSERT_EQ(reader->Ask("control-click list-topics"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, count));
  const std::string results = reader->Ask("list? results-list").value_or("");
  // The book's full-text index has the word on one page; the text of the
  // pages finds it on two, and is shown.
  EXPECT_TRUE(results == "Details\nIntroduction\n" || results == "Introduction\nDetails\n") << results;
  EXPECT_EQ(reader->State()["resultsnote"], "Found in the text of the pages: 2.");
  const int introduction = results.starts_with("Introduction") ? 0 : 1;
  ASSERT_EQ(reader->Ask("list-activate results-list " + std::to_string(introduction)), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, ++count));
  EXPECT_EQ(Title(*reader), "Introduction");

  // A word that is nowhere: "No topics found" in the panel, no box.
  ASSERT_EQ(reader->Ask("menu 1003"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, count));
  ASSERT_EQ(reader->Ask("set-text search-edit qqqqq"), "ok");
  ASSERT_EQ(reader->Ask("control-click list-topics"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, count));
  EXPECT_EQ(reader->State()["resultsnote"], "No topics found");
  EXPECT_EQ(reader->State()["dialog"], "none");
  EXPECT_EQ(reader->Ask("list? results-list"), "");

  // Two words: the text of the pages answers, and the page opened shows
  // where they are.
  ASSERT_EQ(reader->Ask("set-text search-edit quick lazy"), "ok");
  ASSERT_EQ(reader->Ask("control-click list-topics"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, count));
  const std::string found = reader->Ask("list? results-list").value_or("");
  ASSERT_EQ(found.substr(0, found.find('\n')), "Introduction") << found;
  // The page on screen is that page: it is marked where it is.
  ASSERT_EQ(reader->Ask("list-activate results-list 0"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, count));
  EXPECT_EQ(Title(*reader), "Introduction");
  std::string marked;
  for (int tries = 0; tries < 50 && marked != "quick lazy"; ++tries) {
    if (tries > 0) g_usleep(100 * 1000);
    marked = reader->Eval("Array.from(document.querySelectorAll('mark.tessaly-found'), m => m.textContent).join(' ')");
  }
  EXPECT_EQ(marked, "quick lazy");
}

TEST_F(ReaderView, TextSizeImagesFitAndClearTypeReachThePage) {
  auto reader = Start(TestBook("basic/basic.chm"));
  ASSERT_TRUE(reader->Running());
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, 1));
  int count = 1;
  EXPECT_EQ(reader->State()["zoom"], "1");
  const std::string normal = reader->Eval("document.querySelector('p').getBoundingClientRect().height");

  ASSERT_EQ(reader->Ask("menu 1011"), "ok");  // Largest
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, count));
  auto state = reader->State();
  EXPECT_EQ(state["zoom"], "1.45");
  EXPECT_EQ(state["textsize"], "4");
  const std::string menu = reader->Ask("menu?").value_or("");
  EXPECT_NE(menu.find(">1011\t1\ton\tLargest\n>1010\t1\toff\tLarge\n>1009\t1\toff\tMedium\n"),
            std::string::npos)
      << menu;
  EXPECT_GT(std::stod(reader->Eval("document.querySelector('p').getBoundingClientRect().height")),
            std::stod(normal) * 1.2)
      << "the text is larger";
  ASSERT_EQ(reader->Ask("menu 1007"), "ok");  // Smallest
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, count));
  EXPECT_EQ(reader->State()["zoom"], "0.7");

  // Images off: the page is written again without them, with no history entry.
  const std::string loaded = "Array.from(document.images).filter(i => i.complete && i.naturalWidth > 0).length";
  EXPECT_EQ(reader->Eval(loaded), "1");
  ASSERT_EQ(reader->Ask("menu 1030"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, ++count));
  EXPECT_EQ(reader->Eval(loaded), "0");
  EXPECT_EQ(Title(*reader), "Welcome");
  state = reader->State();
  EXPECT_EQ(state["images"], "0");
  EXPECT_NE(state["toolbuttons"].find("303-"), std::string::npos) << "no history entry";
  ASSERT_EQ(reader->Ask("menu 1030"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, ++count));
  EXPECT_EQ(reader->Eval(loaded), "1");

  // Fit to window and ClearType are style rules of the view.
  EXPECT_EQ(reader->Eval("getComputedStyle(document.images[0]).maxWidth"), "100%");
  ASSERT_EQ(reader->Ask("menu 1005"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, count));
  EXPECT_EQ(reader->Eval("getComputedStyle(document.images[0]).maxWidth"), "none");
  ASSERT_EQ(reader->Ask("menu 1005"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, count));
  EXPECT_EQ(reader->Eval("getComputedStyle(document.images[0]).maxWidth"), "100%");
  EXPECT_EQ(reader->Eval("getComputedStyle(document.body).webkitFontSmoothing"), "subpixel-antialiased");
  ASSERT_EQ(reader->Ask("menu 1006"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, count));
  EXPECT_EQ(reader->Eval("getComputedStyle(document.body).webkitFontSmoothing"), "antialiased");
  EXPECT_EQ(reader->State()["cleartype"], "0");
}

TEST_F(ReaderView, ArrowKeysStepTopicsAtThePageEdgeAndReturnLocates) {
  auto reader = Start(TestBook("basic/basic.chm"));
  ASSERT_TRUE(reader->Running());
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, 1));
  int count = 1;
  // The welcome page fits the window: down is at its end.
  ASSERT_EQ(reader->Eval("document.documentElement.scrollHeight <= innerHeight"), "true");
  PressKey(*reader, "Down");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, ++count));
  EXPECT_EQ(Title(*reader), "Introduction") << "the next contents entry";
  PressKey(*reader, "Up");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, ++count));
  EXPECT_EQ(Title(*reader), "Welcome");

  // Return with nothing focused in the page: the contents, at this page.
  PressKey(*reader, "Return");
  EXPECT_EQ(reader->Ask("until visible=tree"), "idle");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, count));
  auto state = reader->State();
  EXPECT_EQ(state["visible"], "tree");
  EXPECT_EQ(state["navigations"], std::to_string(count)) << "the Enter of the same press opens nothing";
  EXPECT_NE(reader->Ask("tree?").value_or("").find("0\t10\t*\tWelcome\n"), std::string::npos);
}

TEST_F(ReaderView, ArrowKeysScrollALongPageBeforeStepping) {
  auto reader = Start(TestBook("basic/basic.chm"));
  ASSERT_TRUE(reader->Running());
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, 1));
  // A window made too low for the page while the contents are shown: the
  // page fits the window it comes back to.
  ASSERT_EQ(reader->Ask("menu 1001"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, 1));
  ASSERT_EQ(reader->Ask("resize 500 180"), "ok");
  EXPECT_EQ(reader->Ask("until area=500x113"), "idle") << reader->State()["area"];
  ASSERT_EQ(reader->Ask("menu 1004"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, 1));
  EXPECT_EQ(reader->Ask("eval-async return await new Promise(r => { const check = () => "
                        "innerWidth == 500 && innerHeight == 113 ? r('fits') : requestAnimationFrame(check); "
                        "check(); });"),
            "fits");
  EXPECT_EQ(reader->Ask("eval-async return await new Promise(r => { const check = () => "
                        "document.documentElement.scrollHeight > innerHeight + 20 ? r('long') : "
                        "requestAnimationFrame(check); check(); });"),
            "long");
  const int count = reader->Navigations();
  // At the top, Down scrolls the page (once the view has heard that the
  // page is longer than it).
  EXPECT_EQ(reader->Ask("until scroll=0 113 " + reader->Eval("document.scrollingElement.scrollHeight")), "idle");
  PressKey(*reader, "Down");
  EXPECT_EQ(reader->Ask("eval-async return await new Promise(r => { const check = () => "
                        "scrollY > 0 ? r('scrolled') : requestAnimationFrame(check); check(); });"),
            "scrolled");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, count));
  EXPECT_EQ(reader->Navigations(), count);
  EXPECT_EQ(Title(*reader), "Welcome");
  // At the bottom it steps to the next topic.
  PressKey(*reader, "End");
  EXPECT_EQ(reader->Ask("eval-async return await new Promise(r => { const check = () => "
                        "innerHeight + scrollY >= document.documentElement.scrollHeight - 1 ? r('end') : "
                        "requestAnimationFrame(check); check(); });"),
            "end");
  EXPECT_EQ(reader->Ask("until scroll=" + reader->Eval("(function(){var e=document.scrollingElement;"
                                                       "return Math.max(0,e.scrollHeight-e.clientHeight)+' '+"
                                                       "e.clientHeight+' '+e.scrollHeight;})()")),
            "idle")
      << "the view has heard where the page stands";
  PressKey(*reader, "Down");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, count + 1));
  EXPECT_EQ(Title(*reader), "Introduction");
}

TEST_F(ReaderWindow, StartsWithoutABookAndShowsABadOneAsAnError) {
  auto reader = Start("");
  ASSERT_TRUE(reader->Running());
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, 0));
  auto state = reader->State();
  EXPECT_EQ(state["title"], "Tessaly");
  EXPECT_EQ(state["toolbuttons"], "");
  // The start view in the page's place: a way to open a book, and the
  // recent ones (none yet).
  EXPECT_EQ(state["visible"], "page");
  const std::string shown =
      "(function(){for(let i=0;i<50&&!document.body;++i);"
      "return document.body ? document.body.innerText : ''})()";
  EXPECT_NE(reader->Eval(shown).find("No book has been opened yet."), std::string::npos) << reader->Eval(shown);
  EXPECT_EQ(reader->Ask("menu?"),
            "[_File]\n1031\t1\tnone\tOpen\n0\t0\tnone\tRecent Books\n0\t1\tnone\t-\n0\t0\tnone\tText Size\n"
            ">1011\t1\toff\tLargest\n>1010\t1\toff\tLarge\n>1009\t1\toff\tMedium\n>1008\t1\toff\tSmall\n"
            ">1007\t1\toff\tSmallest\n0\t1\tnone\t-\n1000\t1\tnone\tExit\n"
            "[_Library]\n1060\t1\tnone\t_Search All Books\n1061\t1\tnone\tShow _Library\n"
            "1062\t1\tnone\t_Add Folder...\n1064\t1\tnone\t_Organize Bookmarks...\n0\t1\tnone\t-\n1063\t0\tnone\t_Bookmark This Page\n"
            "0\t0\tnone\tThis Book's Bookmarks\n0\t0\tnone\tAll Bookmarks\n"
            "[_Help]\n1032\t1\tnone\tHelp Topics\n1033\t1\tnone\tAbout\n");

  // About, and File > Open cancelled.
  ASSERT_EQ(reader->Ask("menu 1033"), "ok");
  std::string reply;
  ASSERT_TRUE(reader->Wait(0, &reply));
  ASSERT_EQ(reply, "dialog");
  // The reader's own version and the system it runs on.
  const std::string about = reader->Ask("dialog?").value_or("");
  EXPECT_TRUE(about.starts_with("about\tAbout\tVarnhold Tessaly Reader\nfor Linux (")) << about;
  EXPECT_TRUE(about.ends_with(")\nhttps://tessaly.varnhold.example/\nVersion " TESSALY_VERSION "\n")) << about;
  ASSERT_EQ(reader->Ask("dialog-respond 0"), "ok");
  ASSERT_EQ(reader->Ask("menu 1031"), "ok");
  ASSERT_TRUE(reader->Wait(0, &reply));
  ASSERT_EQ(reply, "dialog");
  EXPECT_EQ(reader->Ask("dialog?"), "file\tOpen\tCHM files (*.chm)\n");
  ASSERT_EQ(reader->Ask("dialog-respond -1"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, 0));
  EXPECT_EQ(reader->State()["title"], "Tessaly");

  // A file that is no book, started from outside: the running reader
  // says "Tallis Exception" and carries on without a tab for it.
  Reader bad(sandbox_, server_->Display(), TestBook("basic/basic.hhp"));
  EXPECT_EQ(bad.WaitExit(), 0);
  ASSERT_TRUE(reader->Wait(0, &reply));
  ASSERT_EQ(reply, "dialog");
  const std::string dialog = reader->Ask("dialog?").value_or("");
  EXPECT_EQ(dialog.substr(0, dialog.find('\t', 8) + 1), "message\tTallis Exception\t") << dialog;
  ASSERT_EQ(reader->Ask("dialog-respond 0"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, 0));
  state = reader->State();
  EXPECT_EQ(state["title"], "Tessaly");
  EXPECT_EQ(state["toolbuttons"], "");
  EXPECT_EQ(state["tabs"], "1");
  EXPECT_EQ(reader->Ask("close"), "closed");
  EXPECT_EQ(reader->WaitExit(), 0);
}

TEST_F(ReaderView, PagesDecodeWithTheBooksCodePageAndFetchNothing) {
  auto reader = Start(TestBook("basic/basic.chm"));
  ASSERT_TRUE(reader->Running());
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, 1));
  EXPECT_EQ(reader->Eval("document.characterSet"), "windows-1252");
  // Nothing leaves the machine, and no file outside the reader's folder is read.
  EXPECT_EQ(reader->Eval("(function(){var i=new Image(); i.src='http://127.0.0.1:9/x.png'; "
                         "document.body.appendChild(i); return 'ok';})()"),
            "ok");
  EXPECT_EQ(reader->Ask("eval-async return fetch('file:///etc/hostname').then(() => 'read', () => 'blocked');"),
            "blocked");
  // Nor does anything reach a server on this machine.
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  socklen_t length = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  const std::string server = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  EXPECT_EQ(reader->Ask("eval-async return fetch('" + server + "/a').then(() => 'fetched', () => 'blocked');"),
            "blocked");
  EXPECT_EQ(reader->Ask("eval-async return await new Promise(r => { const i = new Image(); "
                        "i.onload = () => r('loaded'); i.onerror = () => r('blocked'); i.src = '" +
                        server + "/b.png'; });"),
            "blocked");
  // An image file elsewhere on the disk is not shown either.
  EXPECT_EQ(reader->Ask("eval-async return await new Promise(r => { const i = new Image(); "
                        "i.onload = () => r('loaded'); i.onerror = () => r('blocked'); "
                        "i.src = 'file://" +
                        TestBook("basic/images/photo.png") + "'; });"),
            "blocked");
  EXPECT_LT(accept(listener, nullptr, nullptr), 0) << "a connection reached the server";
  close(listener);
  // A link made by the page's own script is not followed on its behalf.
  const int before = reader->Navigations();
  EXPECT_EQ(reader->Eval("document.querySelector('a[href=\"chapter1/intro.htm\"]').click(); 'clicked'"),
            "clicked");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, before));
  EXPECT_EQ(Title(*reader), "Welcome");
  EXPECT_EQ(reader->Navigations(), before);
}

TEST_F(ReaderView, PagesWithoutACharsetReadInTheBooksCodePage) {
  struct Case {
    std::uint32_t language;
    std::string title;      // in the code page
    std::string text;       // in the code page
    std::string charset;    // what the page is read as
    std::string titleUtf8;  // the window title
    std::string textUtf8;
  };
  const Case cases[] = {
      {0x419, "\xCA\xED\xE8\xE3\xE0", "\xCA\xEE\xF2 \xE8 \xEF\xE5\xF1", "windows-1251", "Книга", "Кот и пес"},
      {0x804, "\xCA\xE9", "\xD6\xD0\xCE\xC4", "GBK", "书", "中文"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.charset);
    test::BookBuilder builder;
    builder.AddFile("#SYSTEM", SystemObject("a.htm", c.title, c.language));
    builder.AddFile("#STRINGS", std::string(1, '\0'));
    builder.AddFile("/a.htm", "<html><head><title>t</title></head><body><p>" + c.text + "</p></body></html>");
    test::TempFile book(builder.Build());
    Sandbox sandbox;
    Reader reader(sandbox, server_->Display(), book.Path());
    ASSERT_TRUE(reader.Running()) << reader.Log();
    ASSERT_NO_FATAL_FAILURE(Settle(reader, 1));
    EXPECT_EQ(reader.State()["title"], c.titleUtf8);
    EXPECT_EQ(reader.Eval("document.characterSet"), c.charset);
    EXPECT_EQ(reader.Eval("document.body.innerText.trim()"), c.textUtf8);
  }
}

TEST_F(ReaderView, MissingPartsShowANoticeAndJavascriptLinksRun) {
  test::BookBuilder builder;
  builder.AddFile("#SYSTEM", SystemObject("a.htm", "Scripts", 0x409));
  builder.AddFile("#STRINGS", std::string(1, '\0'));
  builder.AddFile("/a.htm", "<html><head><title>A</title></head><body><a href=\"b.htm\">b</a></body></html>");
  builder.AddFile("/b.htm",
                  "<html><head><title>B</title><script src=\"yelp.js\"></script></head><body>"
                  "<img src=\"missing.gif\"><p><a href=\"javascript:history.back(1)\">back</a></p></body></html>");
  test::TempFile book(builder.Build());
  auto reader = Start(book.Path());
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, 1));
  ASSERT_NO_FATAL_FAILURE(FollowLink(*reader, "b.htm"));
  // One notice above the page, no box.
  auto state = reader->State();
  // (Parts are read side by side: the lines come in the order they failed.)
  const std::string notice = state["notice"];
  EXPECT_TRUE(notice == "Can't find entry for file yelp.js|Can't find entry for file missing.gif" ||
              notice == "Can't find entry for file missing.gif|Can't find entry for file yelp.js")
      << notice;
  EXPECT_EQ(state["dialog"], "none");
  EXPECT_EQ(state["messages"], "0");
  // The page's own script goes back, as the reader's Back does.
  ASSERT_NO_FATAL_FAILURE(ClickLink(*reader, "[href^=\"javascript:\"]"));
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, 3));
  EXPECT_EQ(Title(*reader), "A");
  state = reader->State();
  EXPECT_EQ(state["messages"], "0");
  EXPECT_NE(state["toolbuttons"].find("303- 302+"), std::string::npos) << state["toolbuttons"];
  EXPECT_EQ(state.count("notice"), 0u);
}

TEST_F(ReaderInstances, ASecondStartRaisesOrHandsOverAndACleanCloseLeavesNothing) {
  auto first = Start(TestBook("basic/basic.chm"));
  ASSERT_TRUE(first->Running());
  ASSERT_NO_FATAL_FAILURE(Settle(*first, 1));
  app::gtk::KeyValueStore store(sandbox_.StoreFile());
  EXPECT_EQ(store.Read("Prev", "HWND"), std::to_string(first->Id()));
  EXPECT_EQ(store.Read("chmfile", "HelpPath"), TESSALY_MANUAL) << "installed by the first start";

  // Without a book: the running reader comes to the front, this one ends.
  Reader plain(sandbox_, server_->Display(), "");
  EXPECT_EQ(plain.FirstLine(), "ended");
  EXPECT_EQ(plain.WaitExit(), 0);
  EXPECT_EQ(first->State()["raised"], "1");

  // With another book: it comes into the running reader as a tab of its
  // own, and this one ends.
  Reader second(sandbox_, server_->Display(), TestBook("plain/plain.chm"));
  EXPECT_EQ(second.WaitExit(), 0);
  ASSERT_NO_FATAL_FAILURE(Settle(*first, 2));
  auto state = first->State();
  EXPECT_EQ(state["title"], "Plain Test Book");
  EXPECT_EQ(state["tabs"], "2");
  EXPECT_EQ(state["toolbuttons"], "303- 302- 304+ 305+ 307+") << "no contents: no Locate; a jump button";
  EXPECT_EQ(state["tips"], "Back|Forward|Refresh|Home|Go to ten");
  ASSERT_EQ(first->Ask("button 307"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*first, 3));
  EXPECT_EQ(Title(*first), "Page 10");
  EXPECT_EQ(store.Read("Prev", "HWND"), std::to_string(first->Id()));

  // The same file again, under another name: its tab, no third one.
  const fs::path alias = fs::path(sandbox_.Root()) / "alias.chm";
  fs::create_symlink(TestBook("plain/plain.chm"), alias);
  Reader same(sandbox_, server_->Display(), alias.string());
  EXPECT_EQ(same.WaitExit(), 0);
  ASSERT_NO_FATAL_FAILURE(Settle(*first, 3));
  EXPECT_EQ(first->State()["tabs"], "2");
  EXPECT_EQ(store.Read("Prev", "HWND"), std::to_string(first->Id()))
      << "the one that ended registered nothing";
  // A clean close: the answer comes once it has run.
  EXPECT_EQ(first->Ask("close"), "closed");
  EXPECT_EQ(first->WaitExit(), 0);
  EXPECT_EQ(store.Read("Prev", "HWND"), "0");
  EXPECT_TRUE(fs::is_empty(sandbox_.ChannelFolder())) << "no socket is left behind";
}

TEST_F(ReaderInstances, FileExitClosesAtOnceWhileAWorkerNeverEnds) {
  auto reader = Start(TestBook("search/search.chm"));
  ASSERT_TRUE(reader->Running());
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, 1));
  EXPECT_EQ(reader->State()["title"], "Search test");

  // Help > Help Topics opens the book the store names.
  {
    app::gtk::KeyValueStore store(sandbox_.StoreFile());
    ASSERT_TRUE(store.Write("chmfile", "HelpPath", TestBook("basic/basic.chm")));
  }
  ASSERT_EQ(reader->Ask("menu 1032"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, 2));
  EXPECT_EQ(reader->State()["title"], "Tessaly Test Book");
  EXPECT_EQ(Title(*reader), "Welcome");
  ASSERT_EQ(reader->Ask("menu 1000"), "ok");
  EXPECT_EQ(reader->WaitExit(), 0);
  app::gtk::KeyValueStore store(sandbox_.StoreFile());
  EXPECT_EQ(store.Read("Prev", "HWND"), "0");

  // A book whose open never ends on its worker: Exit does not wait for it.
  sandbox_.extraEnvironment.push_back("TESSALY_TEST_BOOK_DELAY_MS=3600000");
  auto stuck = Start(TestBook("plain/plain.chm"));
  ASSERT_TRUE(stuck->Running());
  EXPECT_EQ(stuck->State()["working"], "1");
  ASSERT_EQ(stuck->Ask("menu 1000"), "ok");
  EXPECT_EQ(stuck->WaitExit(Milliseconds(10000)), 0);
}

// Installed as a user installs it: opened by a file manager with a file
// address, it finds its own manual beside it, in place of one that has gone.
TEST_F(ReaderInstalled, OpensFileAddressesAndItsInstalledManual) {
  const std::string prefix = sandbox_.Root() + "/prefix";
  const std::string install =
      "'" TESSALY_CMAKE "' --install '" TESSALY_BUILD_DIR "' --prefix '" + prefix + "' >/dev/null";
  ASSERT_EQ(std::system(install.c_str()), 0) << install;
  const std::string manual = prefix + "/share/tessaly/help.chm";
  ASSERT_TRUE(fs::is_regular_file(manual));
  {
    // A manual stored by an earlier install that has since been removed.
    app::gtk::KeyValueStore store(sandbox_.StoreFile());
    fs::create_directories(fs::path(sandbox_.StoreFile()).parent_path());
    ASSERT_TRUE(store.Install("/gone/tessaly/help.chm"));
  }
  const std::string folder = sandbox_.Root() + "/My Books #1";
  fs::create_directories(folder);
  fs::copy_file(TestBook("basic/basic.chm"), folder + "/basic copy.chm");
  gchar* address = g_filename_to_uri((folder + "/basic copy.chm").c_str(), nullptr, nullptr);
  ASSERT_NE(address, nullptr);
  const std::string uri(address);
  g_free(address);
  ASSERT_NE(uri.find("%20"), std::string::npos) << uri;

  auto reader = Start(uri, prefix + "/bin/tessaly");
  ASSERT_TRUE(reader->Running());
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, 1));
  EXPECT_EQ(reader->State()["title"], "Tessaly Test Book");
  EXPECT_EQ(Title(*reader), "Welcome");
  {
    app::gtk::KeyValueStore store(sandbox_.StoreFile());
    EXPECT_EQ(store.Read("chmfile", "HelpPath"), manual);
  }

  // Help > Help Topics opens the installed manual at its first page.
  Book book;
  book.Open(manual);
  ASSERT_NE(book.Title(), "");
  ASSERT_EQ(reader->Ask("menu 1032"), "ok");
  ASSERT_NO_FATAL_FAILURE(Settle(*reader, 2));
  EXPECT_EQ(reader->State()["title"], book.Title());
  EXPECT_NE(Title(*reader), "");

  ASSERT_EQ(reader->Ask("menu 1000"), "ok");
  EXPECT_EQ(reader->WaitExit(), 0);
}

}  // namespace
}  // namespace tessaly::e2e
