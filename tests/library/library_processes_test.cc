// The store as the user's data: an indexer killed part way loses nothing
// committed before and resumes where it was; two processes adding and
// indexing at once leave one sound store. The processes are real ones
// (tessaly-cli library add).
#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "library_books.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;
using library::BookState;

// Books of distinct content, each with enough text to take a while to index.
void WriteBooks(const fs::path& folder, int count, int pages) {
  for (int b = 0; b < count; ++b) {
    test::SmallBook book{"Book " + std::to_string(b), {}, {{"word" + std::to_string(b), "p0.htm"}}};
    for (int p = 0; p < pages; ++p) {
      std::string text;
      for (int w = 0; w < 300; ++w) text += "w" + std::to_string((b * 7919 + p * 104729 + w * 31) % 100000) + " ";
      book.pages.push_back({"p" + std::to_string(p) + ".htm", test::Page("Page " + std::to_string(p), text)});
    }
    test::WriteBytes(folder / ("book" + std::to_string(b) + ".chm"), test::MakeBook(book));
  }
}

// tessaly-cli library add FOLDER with the scratch library as the user's data.
pid_t StartAdding(const test::ScratchLibrary& scratch, const fs::path& folder) {
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("XDG_DATA_HOME", (scratch.Root() / "data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (scratch.Root() / "cache").c_str(), 1);
    const int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, STDOUT_FILENO);
    dup2(quiet, STDERR_FILENO);
    execl(TESSALY_CLI, TESSALY_CLI, "library", "add", folder.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

int Finish(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::size_t Indexed(const std::vector<library::LibraryBook>& books) {
  return static_cast<std::size_t>(std::count_if(books.begin(), books.end(), [](const library::LibraryBook& b) {
    return b.state == BookState::kIndexed;
  }));
}

TEST(LibraryProcesses, AnIndexerKilledPartWayLosesNothingAndResumes) {
  constexpr int kBooks = 24;
  const test::ScratchLibrary scratch;
  WriteBooks(scratch.Books(), kBooks, 150);
  const pid_t indexer = StartAdding(scratch, scratch.Books());

  // Watched from this process while the other writes: kill it once some
  // books are committed and others are not.
  std::size_t seen = 0;
  for (int wait = 0; wait < 60'000 && seen == 0; wait += 5) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (fs::exists(scratch.StoreFile())) seen = Indexed(scratch.Open().Books());
  }
  kill(indexer, SIGKILL);
  Finish(indexer);
  ASSERT_GT(seen, 0u);

  library::Library library = scratch.Open();
  EXPECT_TRUE(library.Note().empty()) << library.Note();
  const std::size_t kept = Indexed(library.Books());
  ASSERT_GE(kept, seen);
  ASSERT_LT(kept, static_cast<std::size_t>(kBooks)) << "the indexer ended before it was killed";
  EXPECT_EQ(library.Books().size(), static_cast<std::size_t>(kBooks));

  // The next run does only what is left (an index kept but not yet recorded
  // is found sound and taken), and every book ends up searchable.
  const library::IndexSummary rest = library.IndexPending(scratch.Converter());
  EXPECT_EQ(rest.built + rest.reused, kBooks - kept);
  EXPECT_LE(rest.reused, 2u);  // at most one per worker was between its index and its record
  EXPECT_EQ(Indexed(library.Books()), static_cast<std::size_t>(kBooks));
  EXPECT_EQ(library.Lookup("word7").size(), 1u);
}

TEST(LibraryProcesses, TwoProcessesAddingAtOnceLeaveOneSoundStore) {
  constexpr int kBooks = 8;
  const test::ScratchLibrary scratch;
  WriteBooks(scratch.Books(), kBooks, 20);
  const pid_t first = StartAdding(scratch, scratch.Books());
  const pid_t second = StartAdding(scratch, scratch.Books());
  // And this process reads and writes meanwhile.
  for (int i = 0; i < 20; ++i) {
    library::Library library = scratch.Open();
    library.RememberQuery("library", "query " + std::to_string(i));
    library.Books();
  }
  EXPECT_EQ(Finish(first), 0);
  EXPECT_EQ(Finish(second), 0);

  library::Library library = scratch.Open();
  EXPECT_TRUE(library.Note().empty()) << library.Note();
  const std::vector<library::LibraryBook> books = library.Books();
  EXPECT_EQ(books.size(), static_cast<std::size_t>(kBooks));
  EXPECT_EQ(Indexed(books), static_cast<std::size_t>(kBooks));
  EXPECT_EQ(library.RecentQueries("library").size(), 20u);
  EXPECT_EQ(library.Lookup("word3").size(), 1u);  // keywords kept once, not twice
  EXPECT_EQ(library.OpenSearch().Search("page").pages.size(), static_cast<std::size_t>(kBooks * 20));
}

}  // namespace
}  // namespace tessaly
