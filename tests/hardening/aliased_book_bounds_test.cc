// A book whose directory names one large compressed page thousands of times,
// and names stretches of it that overlap: its text is read, written and
// indexed once per stored page, its objects extracted from one read of
// each, and never past the budget that the book's distinct bytes allow.
// Each command stays within 512 MiB, 10 s of processor time and a bounded
// output.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "book/book.h"
#include "support/book_builder.h"
#include "support/chm_builder.h"
#include "support/json_reader.h"
#include "support/run_cli.h"
#include "textindex/text_index.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;
using test::CliRun;
using test::Quote;
using test::RunCli;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// The kernel ends a run past either bound. Memory is bounded as data (what
// the run writes to), not as address space: glibc reserves address space
// for each malloc arena that threads make, more or less of it by how they
// meet. A sanitizer reserves far beyond the bound, and runs slower: there
// only time is bound, looser.
std::string Bounds() { return kSanitized ? "ulimit -t 60; exec" : "ulimit -d 524288; ulimit -t 10; exec"; }

constexpr std::size_t kPageBytes = 5 << 20;
constexpr int kAliases = 3000;
constexpr std::uint32_t kOverlapping = 400;

// 5 MiB of text with one rare word near its start; aliases of it, and
// stretches of it past the word that start a byte further each.
std::vector<std::uint8_t> AliasedBook() {
  std::string page = "<html><head><title>Big</title></head><body><p>wombat ";
  while (page.size() < kPageBytes) page += "filler text of a page that is large ";
  page += "</p></body></html>";
  test::BookBuilder b;
  b.AddFile("#SYSTEM", std::string("\x03\0\0\0", 4), false);
  b.AddFile("#STRINGS", std::string(1, '\0'), false);
  b.AddFile("/big.htm", page);
  const auto length = static_cast<std::uint32_t>(page.size());
  for (int i = 0; i < kAliases; ++i) b.AddRawEntry("/a" + std::to_string(i) + ".htm", 1, 0, length);
  for (std::uint32_t i = 1; i <= kOverlapping; ++i) {
    b.AddRawEntry("/s" + std::to_string(i) + ".htm", 1, 100 + i, length - 100 - i);
  }
  return b.Build();
}

class AliasedBookBounds : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("XDG_DATA_HOME", data_.Path().c_str(), 1);
    setenv("XDG_CACHE_HOME", (data_.Path() + "/cache").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_CACHE_HOME");
  }
  static std::uint64_t FolderBytes(const fs::path& folder) {
    std::uint64_t total = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      if (entry.is_regular_file()) total += entry.file_size();
    }
    return total;
  }
  test::TempDir data_;
};

TEST_F(AliasedBookBounds, AliasedAndOverlappingPagesAreReadOnceWithinTheBudget) {
  const test::TempFile book(AliasedBook());
  Book opened;
  opened.Open(book.Path());
  // Sized by what the book holds (its page is stored uncompressed, so it
  // holds about its file's size), not by how often it names it.
  ASSERT_LT(opened.DistinctBytes(), 2 * fs::file_size(book.Path()));
  const std::uint64_t budget = textindex::TextBudget(opened.DistinctBytes());

  for (const char* command : {"text", "text --jsonl"}) {
    SCOPED_TRACE(command);
    const CliRun run = RunCli(std::string(command) + " " + Quote(book.Path()), Bounds());
    EXPECT_EQ(run.status, 1) << run.err.substr(0, 300);
    EXPECT_NE(run.err.find("the text stops after"), std::string::npos) << run.err.substr(0, 300);
    EXPECT_LT(run.out.size(), budget + (1 << 20));
    // The page once, under its first name, not under any alias.
    EXPECT_NE(run.out.find("big.htm"), std::string::npos);
    EXPECT_EQ(run.out.find("a0.htm"), std::string::npos);
    EXPECT_EQ(run.out.find("a2999.htm"), std::string::npos);
  }

  const CliRun search = RunCli("search --text --json " + Quote(book.Path()) + " wombat", Bounds());
  ASSERT_EQ(search.status, 0) << search.err.substr(0, 300);
  EXPECT_NE(search.err.find("pages are indexed"), std::string::npos) << search.err;
  const test::JsonValue found = test::ParseJson(search.out);
  ASSERT_EQ(found.items.size(), 2u);
  ASSERT_EQ(found.items[1].items.size(), 1u);  // the overlapping stretches start after the word
  EXPECT_EQ(found.items[1].items[0].items[1].text, "big.htm");
  EXPECT_LT(FolderBytes(data_.Path()), 2 * budget);
}

TEST_F(AliasedBookBounds, ExtractWritesTheAliasesWithinTwiceTheDistinctBytes) {
  const test::TempFile book(AliasedBook());
  Book opened;
  opened.OpenStorage(book.Path());
  const std::uint64_t budget = 2 * opened.DistinctBytes() + (1 << 20);
  const std::string target = data_.Path() + "/out";

  const CliRun run = RunCli("extract " + Quote(book.Path()) + " " + Quote(target), Bounds());
  EXPECT_EQ(run.status, 1) << run.err.substr(0, 300);
  EXPECT_NE(run.err.find("the extraction stops after"), std::string::npos) << run.err.substr(0, 300);
  EXPECT_LE(FolderBytes(target), budget);
  // What was written is whole: the page under its own name first.
  EXPECT_EQ(fs::file_size(target + "/big.htm"), fs::file_size(target + "/a0.htm"));
  EXPECT_GT(fs::file_size(target + "/big.htm"), kPageBytes);
}

}  // namespace
}  // namespace tessaly
