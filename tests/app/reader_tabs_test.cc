// Tabs: books side by side, links and history across them, a link in a tab
// of its own, tabs kept between runs, and a tab closed with work under way.
#include <gtest/gtest.h>

#include "app/recording_platform.h"

namespace tessaly::app::test {
namespace {

using tessaly::test::TestBook;
using TabsTest = ReaderTest;

TEST_F(TabsTest, ALinkIntoAnotherBookOpensItsTabAndBackReturns) {
  ASSERT_TRUE(Start(TestBook("basic")));
  ASSERT_TRUE(ui().TapLink("chapter1/intro.htm"));
  ui().Complete();
  // (The test books sit in folders of their own.)
  ASSERT_TRUE(ui().TapLink("ms-its:../plain/plain.chm::/index.htm"));
  ui().CompleteAll();
  EXPECT_EQ(ui().TabLabels(), (std::vector<std::string>{"Tessaly Test Book", "Plain Test Book"}));
  EXPECT_EQ(ui().title, "Plain Test Book");
  // Back crosses into the first book's tab, at its page; Forward there
  // leads nowhere new, and the second book's tab stays.
  ASSERT_TRUE(ui().Click(kCmdBack));
  ui().CompleteAll();
  EXPECT_EQ(ui().title, "Tessaly Test Book");
  EXPECT_EQ(CurrentPath(), "chapter1/intro.htm");
  EXPECT_EQ(ui().TabLabels().size(), 2u);
  // The same link again reuses the second book's tab.
  ASSERT_TRUE(ui().TapLink("ms-its:../plain/plain.chm::/index.htm"));
  ui().CompleteAll();
  EXPECT_EQ(ui().TabLabels().size(), 2u);
  EXPECT_EQ(ui().title, "Plain Test Book");
  // With the first book's tab closed, Back opens that book again at the page.
  ui().MiddleClickTab(0);
  ASSERT_TRUE(ui().Click(kCmdBack));
  ui().CompleteAll();
  EXPECT_EQ(ui().title, "Tessaly Test Book");
  EXPECT_EQ(CurrentPath(), "chapter1/intro.htm");
}

TEST_F(TabsTest, ATabOutOfSightLetsGoOfItsViewAndComesBackAsItWasLeft) {
  ASSERT_TRUE(Start(TestBook("basic")));
  ASSERT_TRUE(ui().TapLink("chapter1/intro.htm"));
  ui().Complete();
  ASSERT_TRUE(ui().TapLink("details.htm"));
  ui().Complete();
  ASSERT_TRUE(ui().Click(kCmdLarge));
  ui().scroll = ScrollInfo{640, 300, 2000};
  RecordingTab& first = ui().tab();
  OpenThroughMenu(TestBook("plain"));
  EXPECT_FALSE(first.discarded) << "the tab just left keeps its view";
  OpenThroughMenu(TestBook("search"));
  ASSERT_TRUE(first.discarded);
  ui().scroll.reset();  // a new view knows nothing of where the page was
  const std::size_t loads = first.navigations.size();

  ui().TapTab(0);
  EXPECT_EQ(first.navigations.size(), loads + 1);
  EXPECT_EQ(CurrentPath(), "chapter1/details.htm");
  EXPECT_EQ(first.zoomLevels, (std::vector<int>{3})) << "its text size";
  ui().Complete();
  EXPECT_EQ(first.scrolledTo, (std::vector<int>{640})) << "as far down as it was read";
  EXPECT_FALSE(ui().tabs[2]->discarded) << "the tab just left";
  EXPECT_TRUE(ui().tabs[1]->discarded);
  ASSERT_TRUE(ui().Click(kCmdBack));
  ui().Complete();
  EXPECT_EQ(CurrentPath(), "chapter1/intro.htm") << "its history";
}

TEST_F(TabsTest, ALinkOpensInATabOfItsOwnWhenAsked) {
  ASSERT_TRUE(Start(TestBook("basic")));
  const std::string first = ui().LastNavigation();
  ASSERT_TRUE(ui().TapLink("chapter1/intro.htm", true));
  ui().CompleteAll();
  ASSERT_EQ(ui().tabs.size(), 2u);
  EXPECT_EQ(ui().tabs[0]->LastNavigation(), first) << "the page the link was on stays";
  EXPECT_NE(ui().tabs[1]->LastNavigation().find("::/chapter1/intro.htm"), std::string::npos);
}

TEST_F(TabsTest, TheTabsComeBackAfterARestart) {
  {
    Session before(desktop);
    ASSERT_TRUE(before.reader.Start(TestBook("basic")));
    before.platform.Drain();
    before.platform.CompleteAll();
    ASSERT_TRUE(before.platform.TapLink("chapter1/details.htm"));
    before.platform.CompleteAll();
    before.platform.files.push_back(TestBook("plain"));
    ASSERT_TRUE(before.platform.Click(kCmdOpen));
    before.platform.CompleteAll();
    before.platform.TapTab(0);
    before.reader.OnClose();
  }
  ASSERT_TRUE(Start());
  ui().CompleteAll();
  EXPECT_EQ(ui().TabLabels(), (std::vector<std::string>{"Tessaly Test Book", "Plain Test Book"}));
  EXPECT_EQ(ui().title, "Tessaly Test Book") << "the tab that was in front";
  EXPECT_EQ(CurrentPath(), "chapter1/details.htm");
  // A book given on the command line joins them.
  ui().Click(kCmdExit);
  Session again(desktop);
  ASSERT_TRUE(again.reader.Start(TestBook("search")));
  again.platform.Drain();
  EXPECT_EQ(again.platform.TabLabels().size(), 3u);
  EXPECT_EQ(again.platform.title, "Search test");
}

TEST_F(TabsTest, ClosingATabWithWorkUnderWayDoesNotWaitForIt) {
  ASSERT_TRUE(Start(TestBook("basic")));
  ui().holdWork = true;
  ui().files.push_back(TestBook("search"));
  ASSERT_TRUE(ui().Click(kCmdOpen));
  ASSERT_FALSE(ui().jobs.queue.empty()) << "the open is under way";
  ASSERT_TRUE(ui().Key(kCmdCloseTab));
  EXPECT_EQ(ui().TabLabels(), (std::vector<std::string>{"Tessaly Test Book"}));
  // The open finishes later: nothing of it reaches the window.
  const std::size_t messages = ui().messages.size();
  ui().Drain();
  EXPECT_EQ(ui().TabLabels(), (std::vector<std::string>{"Tessaly Test Book"}));
  EXPECT_EQ(ui().title, "Tessaly Test Book");
  EXPECT_EQ(ui().messages.size(), messages);
}

}  // namespace
}  // namespace tessaly::app::test
