// Page preparation over real books: the compiled test book page by page, and
// the default topic (or every page) of every book of the shared corpus.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/book_error.h"
#include "base/book_path.h"
#include "pages/page_recorder.h"
#include "support/book_entries.h"

namespace tessaly {
namespace {

using test::PageFixture;

bool IsStoredPage(std::string_view name) { return name.starts_with('/') && IsHtmlPage(name); }

// The book's default topic, or its first page in directory order.
std::string DefaultTopic(PageFixture& f, const std::string& bookPath) {
  std::string topic;
  try {
    Book full;
    full.Open(bookPath);
    topic = std::string(full.DefaultTopic());
  } catch (const BookError&) {
    // A book whose metadata does not read still has its pages.
  }
  if (!topic.empty() && f.book.HasObject(topic)) return topic;
  for (const DirectoryEntry& entry : test::Entries(f.book)) {
    if (IsStoredPage(entry.name)) return std::string(entry.name);
  }
  return {};
}

// What must hold after any preparation: only the cache's names, nothing
// beside the folder, and the address names a file that is there.
void ExpectSaneFolder(const PageFixture& f, bool prepared) {
  const auto files = f.Files();
  for (const auto& [name, bytes] : files) EXPECT_TRUE(test::IsCacheFileName(name)) << name;
  EXPECT_EQ(test::Names(test::FolderFiles(f.root.Path())), (std::vector<std::string>{"pages/"}));
  if (prepared) {
    const std::string prefix = "file://" + f.folder + "/";
    const std::string& address = f.cache.CurrentPageFile();
    ASSERT_EQ(address.rfind(prefix, 0), 0u) << address;
    const std::string name = address.substr(prefix.size(), address.find('#') - prefix.size());
    EXPECT_EQ(files.count(name), 1u) << name;
    EXPECT_EQ(f.cache.CreatedCount(), files.size());
  }
}

TEST(PageCorpus, EveryPageOfTheTestBook) {
  PageFixture f(test::TestBook("basic"));
  int pages = 0;
  for (const DirectoryEntry& entry : test::Entries(f.book)) {
    if (!IsStoredPage(entry.name)) continue;
    SCOPED_TRACE(entry.name);
    f.cache.SetCurrentPageDir("");
    ASSERT_TRUE(f.cache.PreparePage(entry.name));
    ExpectSaneFolder(f, true);
    ++pages;
  }
  EXPECT_EQ(pages, 7);
  EXPECT_TRUE(f.platform.errors.empty());
  EXPECT_TRUE(f.platform.missing.empty());
  EXPECT_TRUE(f.platform.opened.empty());
}

TEST(PageCorpus, DefaultTopicOfEveryBook) {
  const auto books = test::CorpusFiles();
  if (books.empty()) GTEST_SKIP() << "corpus folder ../shared/corpus is absent";
  int prepared = 0;
  for (const std::string& path : books) {
    SCOPED_TRACE(path);
    PageFixture f(path);
    const std::string topic = DefaultTopic(f, path);
    if (topic.empty()) continue;            // a book without pages
    f.platform.images = prepared % 2 == 0;  // both image settings across the corpus
    EXPECT_TRUE(f.ShowTopic(topic)) << topic;
    ExpectSaneFolder(f, true);
    EXPECT_TRUE(f.platform.opened.empty());
    ++prepared;
  }
  EXPECT_GE(prepared, static_cast<int>(books.size()) - 2);
}

// A book whose pages name their scripts only inside comments: every page
// shows without a notice of missing parts.
TEST(PageCorpus, CommentedScriptsAreNoMissingParts) {
  const std::string path = std::string(TESSALY_CORPUS) + "/files/leigh123linux-streamtuner2-help.chm";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " is absent";
  PageFixture f(path);
  int pages = 0;
  for (const DirectoryEntry& entry : test::Entries(f.book)) {
    if (!IsStoredPage(entry.name)) continue;
    f.cache.SetCurrentPageDir("");
    EXPECT_TRUE(f.cache.PreparePage(entry.name)) << entry.name;
    ++pages;
  }
  EXPECT_GT(pages, 20);
  EXPECT_EQ(f.platform.parts, std::vector<std::string>{});
}

// Every page of every corpus book (about 10,000 pages, minutes): run it with
// TESSALY_ALL_PAGES=1.
TEST(PageCorpus, EveryPageOfEveryBook) {
  if (std::getenv("TESSALY_ALL_PAGES") == nullptr) GTEST_SKIP() << "set TESSALY_ALL_PAGES=1 to run";
  const auto books = test::CorpusFiles();
  if (books.empty()) GTEST_SKIP() << "corpus folder ../shared/corpus is absent";
  for (const std::string& path : books) {
    SCOPED_TRACE(path);
    PageFixture f(path);
    for (const DirectoryEntry& entry : test::Entries(f.book)) {
      if (!IsStoredPage(entry.name)) continue;
      f.cache.SetCurrentPageDir("");
      f.cache.PreparePage(entry.name);
      ExpectSaneFolder(f, false);
      if (::testing::Test::HasFailure()) return;
    }
    EXPECT_TRUE(f.platform.opened.empty());
  }
}

}  // namespace
}  // namespace tessaly
