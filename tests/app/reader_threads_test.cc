// The reader on its own threads (ThreadWorkers): the page lane keeps its
// order, pages are read on it, a close returns at once while a book still
// opens on its thread, and the destructor waits for that thread. Run under
// ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "app/recording_platform.h"
#include "app/workers.h"

namespace tessaly::app::test {
namespace {

using tessaly::test::TestBook;

TEST(ThreadWorkersTest, PageJobsRunInOrderAndFinishWaitsForThem) {
  ThreadWorkers workers;
  std::vector<int> order;  // written by the lane only, read after the wait
  for (int i = 0; i < 50; ++i) workers.RunPageJob([&order, i] { order.push_back(i); });
  workers.FinishPageJobs();
  ASSERT_EQ(order.size(), 50u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);

  // Book jobs run beside each other; the destructor waits for them.
  std::atomic<int> done{0};
  {
    ThreadWorkers more;
    for (int i = 0; i < 4; ++i) more.RunBookJob([&done] { ++done; });
  }
  EXPECT_EQ(done.load(), 4);
}

TEST(ThreadedReaderTest, OpensShowsPagesAndClosesDuringAnOpen) {
  tessaly::test::TempDir root;
  Desktop desktop(root.Path());
  RecordingPlatform platform(desktop);
  Reader reader(platform);  // its own threads
  platform.Attach(reader);

  reader.Start(TestBook("basic"));
  ASSERT_TRUE(platform.RunPostedUntil([&] { return !reader.Working() && platform.navigations.size() == 1; }));
  reader.OnDocumentComplete();
  EXPECT_EQ(platform.title, "Tessaly Test Book");
  reader.OnLinkTapped("chapter1/intro.htm");
  ASSERT_TRUE(platform.RunPostedUntil([&] { return platform.navigations.size() == 2; }));
  reader.OnDocumentComplete();
  EXPECT_EQ(reader.CurrentPagePath(), "chapter1/intro.htm");
  // The view's request is answered later, on the interface thread.
  std::optional<PageObject> page;
  reader.OnObjectRequest(platform.navigations.back(), [&page](PageObject object) { page = std::move(object); });
  ASSERT_TRUE(platform.RunPostedUntil([&] { return page.has_value(); }));
  EXPECT_FALSE(page->error.has_value());
  EXPECT_FALSE(page->bytes.empty());

  // Another book starts opening; the close does not wait for it.
  platform.files.push_back(TestBook("plain"));
  reader.OnCommand(kCmdOpen);
  reader.OnClose();
  EXPECT_TRUE(reader.Closed());
  EXPECT_TRUE(platform.windowDestroyed);
  EXPECT_EQ(platform.title, "Tessaly");
}

TEST(ThreadedReaderTest, SearchesItsIndexAndThePageTextOnItsThreads) {
  tessaly::test::TempDir root;
  Desktop desktop(root.Path());
  RecordingPlatform platform(desktop);
  Reader reader(platform);
  platform.Attach(reader);
  reader.Start(TestBook("search"));
  ASSERT_TRUE(platform.RunPostedUntil([&] { return !reader.Working() && platform.navigations.size() == 1; }));
  reader.OnDocumentComplete();

  // The book's index, then the page text (built while the search waits).
  reader.OnCommand(kCmdSearch);
  for (const char* query : {"alpha", "quokka numbat"}) {
    platform.results.clear();
    // As typed and clicked, without the queued workers' settling.
    platform.SetEditText(Control::kSearchEdit, query);
    reader.OnControlEvent(Control::kListTopicsButton, ControlEvent::kClicked);
    ASSERT_TRUE(platform.RunPostedUntil([&] { return !reader.Working() && !platform.results.empty(); })) << query;
    EXPECT_EQ(platform.results.size(), 2u) << query;
  }
  EXPECT_EQ(platform.resultsNote, "Found in the text of the pages: 2.");

  // A book without an index starts its page-text index at once; closing
  // the reader meanwhile stops it and does not wait for the book.
  platform.files.push_back(TestBook("plain"));
  reader.OnCommand(kCmdOpen);
  ASSERT_TRUE(platform.RunPostedUntil([&] { return !reader.Working() && platform.navigations.size() == 2; }));
  reader.OnDocumentComplete();
  reader.OnCommand(kCmdSearch);
  reader.OnClose();
  EXPECT_TRUE(reader.Closed());
}

}  // namespace
}  // namespace tessaly::app::test
