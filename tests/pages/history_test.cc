#include "pages/pages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessaly {
namespace {

// The entries as the list holds them, oldest first.
std::vector<std::string> Entries(const History& history) {
  std::vector<std::string> entries;
  const ByteBuffer& buffer = history.Entries();
  for (std::size_t at = 0; at < buffer.Length();) {
    entries.emplace_back(buffer.StringAt(at));
    at += entries.back().size() + 1;
  }
  return entries;
}

TEST(History, StartsEmpty) {
  History history;
  EXPECT_EQ(history.Count(), 0);
  EXPECT_EQ(history.Position(), 0);
  EXPECT_FALSE(history.Navigating());
  EXPECT_EQ(history.HistoryCurrent(), "");
  EXPECT_EQ(history.Entries().Capacity(), 200u);
  EXPECT_EQ(history.Entries().GrowBy(), 50u);
  // Moving an empty history changes nothing.
  history.HistoryBack();
  history.HistoryForward();
  EXPECT_EQ(history.Position(), 0);
  EXPECT_EQ(history.Count(), 0);
}

TEST(History, PushAfterBackDropsTheLaterEntries) {
  History history;
  history.HistoryPush("a");
  history.HistoryPush("b");
  history.HistoryPush("c");
  EXPECT_EQ(history.Count(), 3);
  EXPECT_EQ(history.Position(), 3);
  EXPECT_EQ(history.HistoryCurrent(), "c");

  history.HistoryBack();
  EXPECT_EQ(history.HistoryCurrent(), "b");
  history.HistoryBack();
  EXPECT_EQ(history.Position(), 1);
  EXPECT_EQ(history.Count(), 3);
  EXPECT_EQ(history.HistoryCurrent(), "a");

  history.HistoryPush("d");
  EXPECT_EQ(history.Count(), 2);
  EXPECT_EQ(history.Position(), 2);
  EXPECT_EQ(Entries(history), (std::vector<std::string>{"a", "d"}));
  EXPECT_EQ(history.Entries().Length(), 4u);  // "a\0d\0": b and c are gone
  EXPECT_EQ(history.HistoryCurrent(), "d");
}

TEST(History, ForwardStopsAtTheLastEntry) {
  History history;
  history.HistoryPush("one.htm");
  history.HistoryPush("two.htm");
  history.HistoryForward();
  EXPECT_EQ(history.Position(), 2);
  EXPECT_EQ(history.HistoryCurrent(), "two.htm");
  history.HistoryBack();
  history.HistoryForward();
  EXPECT_EQ(history.Position(), 2);
  EXPECT_EQ(history.HistoryCurrent(), "two.htm");
}

TEST(History, BackStopsAtTheFirstEntry) {
  History history;
  history.HistoryPush("only.htm");
  history.HistoryBack();
  EXPECT_EQ(history.Position(), 1);
  EXPECT_EQ(history.HistoryCurrent(), "only.htm");

  // With more entries, Back on the first one keeps a current entry too.
  history.HistoryPush("next.htm");
  history.HistoryBack();
  history.HistoryBack();
  EXPECT_EQ(history.Position(), 1);
  EXPECT_EQ(history.HistoryCurrent(), "only.htm");
}

TEST(History, CurrentAfterBackIsThePathAsPushed) {
  History history;
  history.HistoryPush("dir/a.htm#Sec2");
  history.HistoryPush("dir/b.htm");
  history.HistoryBack();
  EXPECT_EQ(history.HistoryCurrent(), "dir/a.htm#Sec2");
}

TEST(History, PushingPastTheCapacityGrowsBySteps) {
  History history;
  std::vector<std::string> pushed;
  for (int i = 0; i < 30; ++i) {
    pushed.push_back("chapter/page" + std::to_string(i) + ".htm");  // 20 or 21 bytes each with NUL
    history.HistoryPush(pushed.back());
  }
  EXPECT_EQ(history.Count(), 30);
  EXPECT_EQ(Entries(history), pushed);
  const std::size_t length = history.Entries().Length();
  const std::size_t capacity = history.Entries().Capacity();
  EXPECT_GT(length, 200u);
  EXPECT_GE(capacity, length);
  EXPECT_EQ((capacity - 200) % 50, 0u);
  EXPECT_LT(capacity - length, 50u);  // grown by steps of 50, not doubled
  for (int i = 29; i >= 0; --i) {
    EXPECT_EQ(history.HistoryCurrent(), pushed[static_cast<std::size_t>(i)]);
    history.HistoryBack();
  }
}

TEST(History, ReplacingTheTailOfAFullBufferKeepsEveryEntry) {
  // Pushes that fill the buffer exactly to its capacity, then a push after
  // Back: the cut-back must work right at the edge.
  History history;
  const std::string first(99, 'a');   // 100 bytes with its NUL
  const std::string second(99, 'b');  // 200 bytes in all: the capacity
  history.HistoryPush(first);
  history.HistoryPush(second);
  EXPECT_EQ(history.Entries().Length(), 200u);
  history.HistoryPush("c");
  EXPECT_EQ(Entries(history), (std::vector<std::string>{first, second, "c"}));
  history.HistoryBack();
  history.HistoryBack();
  history.HistoryPush("d");
  EXPECT_EQ(Entries(history), (std::vector<std::string>{first, "d"}));
  EXPECT_EQ(history.HistoryCurrent(), "d");
}

TEST(History, ClearEmptiesEverything) {
  History history;
  history.HistoryPush("a");
  history.HistoryPush("b");
  history.SetNavigating(true);
  history.HistoryClear();
  EXPECT_EQ(history.Count(), 0);
  EXPECT_EQ(history.Position(), 0);
  EXPECT_FALSE(history.Navigating());
  EXPECT_EQ(history.Entries().Length(), 0u);
  EXPECT_EQ(history.HistoryCurrent(), "");
  history.HistoryPush("c");
  EXPECT_EQ(Entries(history), (std::vector<std::string>{"c"}));
}

TEST(History, PathEndsAtItsFirstNul) {
  History history;
  history.HistoryPush(std::string_view("a.htm\0junk", 10));
  history.HistoryPush("b.htm");
  EXPECT_EQ(Entries(history), (std::vector<std::string>{"a.htm", "b.htm"}));
}

}  // namespace
}  // namespace tessaly
