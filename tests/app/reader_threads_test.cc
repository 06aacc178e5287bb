// The reader on its own threads (ThreadJobs): jobs run beside each other
// and their completions come back on the interface thread unless their
// owner went; pages are read by jobs; a close returns at once while a book
// still opens on its thread. Run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "app/jobs.h"
#include "app/recording_platform.h"

namespace tessaly::app::test {
namespace {

using tessaly::test::TestBook;

class CountingJob final : public Job {
 public:
  CountingJob(CancelFlag cancel, std::atomic<int>& ran) : Job(std::move(cancel)), ran_(ran) {}
  void Run() override {
    Catching([this] {
      ++ran_;
      result = 1;
      if (fail) throw std::runtime_error("read failed");
    });
  }
  bool fail = false;
  int result = 0;

 private:
  std::atomic<int>& ran_;
};

TEST(ThreadJobsTest, CompletionsComeBackOnTheInterfaceThreadOnlyWhileTheirOwnerLives) {
  tessaly::test::TempDir root;
  Desktop desktop(root.Path());
  RecordingPlatform platform(desktop);
  ThreadJobs jobs(2);
  jobs.SetPost([&platform](std::function<void()> task) { platform.Post(std::move(task)); });
  std::atomic<int> ran{0};
  const CancelFlag kept = NewCancelFlag();
  const CancelFlag dropped = NewCancelFlag();
  int results = 0;
  std::vector<std::string> errors;
  for (int i = 0; i < 8; ++i) {
    auto job = std::make_shared<CountingJob>(i % 2 == 0 ? kept : dropped, ran);
    job->fail = i == 4;
    jobs.Submit<CountingJob>(job, [&](CountingJob& done) {
      results += done.result;
      if (done.Error()) errors.push_back(*done.Error());
    });
  }
  dropped->store(true);
  ASSERT_TRUE(platform.RunPostedUntil([&] { return results == 4; }));
  EXPECT_EQ(errors, (std::vector<std::string>{"read failed"}));
  // Nothing of the dropped owner's jobs arrives, however long one waits.
  EXPECT_FALSE(platform.RunPostedUntil([&] { return results > 4; }, std::chrono::milliseconds(200)));
  EXPECT_GE(ran.load(), 4);
}

TEST(ThreadedReaderTest, OpensShowsPagesAndClosesDuringAnOpen) {
  tessaly::test::TempDir root;
  Desktop desktop(root.Path());
  RecordingPlatform platform(desktop);
  Reader reader(platform);  // its own threads
  platform.Attach(reader);

  reader.Start(TestBook("basic"));
  ASSERT_TRUE(platform.RunPostedUntil([&] { return platform.title != "Tessaly" && platform.tab().navigations.size() == 1; }));
  platform.Complete();
  EXPECT_EQ(platform.title, "Tessaly Test Book");
  platform.tab().owner.Page().OnLinkTapped("chapter1/intro.htm");
  ASSERT_TRUE(platform.RunPostedUntil([&] { return platform.tab().navigations.size() == 2; }));
  platform.Complete();
  EXPECT_NE(platform.tab().navigations.back().find("::/chapter1/intro.htm"), std::string::npos);
  // The view's request is answered later, on the interface thread.
  std::optional<PageObject> page;
  platform.tab().owner.Page().OnObjectRequest(platform.tab().navigations.back(), [&page](PageObject object) { page = std::move(object); });
  ASSERT_TRUE(platform.RunPostedUntil([&] { return page.has_value(); }));
  EXPECT_FALSE(page->error.has_value());
  EXPECT_FALSE(page->bytes.empty());

  // Another book starts opening; the close does not wait for it.
  platform.files.push_back(TestBook("plain"));
  reader.OnCommand(kCmdOpen);
  reader.OnClose();
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
  ASSERT_TRUE(platform.RunPostedUntil([&] { return platform.title != "Tessaly" && platform.tab().navigations.size() == 1; }));
  platform.Complete();

  // The book's index, then the page text (built while the search waits).
  reader.OnCommand(kCmdSearch);
  for (const char* query : {"alpha", "quokka numbat"}) {
    platform.tab().results.clear();
    // As typed and clicked, without the queued workers' settling.
    platform.tab().Get(Control::kSearchEdit).text = query;
    platform.tab().owner.Search().OnTextChanged();
    platform.tab().owner.Search().OnListTopics();
    ASSERT_TRUE(platform.RunPostedUntil([&] { return !platform.tab().results.empty(); })) << query;
    EXPECT_EQ(platform.tab().results.size(), 2u) << query;
  }
  EXPECT_EQ(platform.tab().resultsNote, "Found in the text of the pages: 2.");

  // A book without an index starts its page-text index at once; closing
  // the reader meanwhile stops it and does not wait for the book.
  platform.files.push_back(TestBook("plain"));
  reader.OnCommand(kCmdOpen);
  ASSERT_TRUE(platform.RunPostedUntil([&] { return platform.title == "Plain Test Book" && platform.tab().navigations.size() == 1; }));
  platform.Complete();
  reader.OnCommand(kCmdSearch);
  reader.OnClose();
  EXPECT_TRUE(platform.windowDestroyed);
}

}  // namespace
}  // namespace tessaly::app::test
