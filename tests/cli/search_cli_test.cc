// tessaly-cli search: one line per topic found, in the reader's order.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>

#include "book/book.h"
#include "support/chm_builder.h"
#include "support/run_cli.h"

namespace tessaly {
namespace {

using test::CliRun;
using test::Quote;
using test::RunCli;

TEST(CliSearch, PrintsNumberTitleAndPathInTitleOrder) {
  CliRun run = RunCli("search " + Quote(test::TestBook("search")) + " Quokka");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "2\tAlpha\tb.htm\n"
            "4\tAlpha\td.htm\n"
            "1\tbeta\ta.htm\n"
            "3\tQuokka facts\tc.htm\n"
            "5\tQuokka gallery\te.htm\n");
  EXPECT_EQ(run.err, "");
}

TEST(CliSearch, NothingFoundIsNoFailure) {
  for (const std::string word : {"okapi", "'quokka wombat'", "quok"}) {
    CliRun run = RunCli("search " + Quote(test::TestBook("search")) + " " + word);
    EXPECT_EQ(run.status, 0) << word << run.err;
    EXPECT_EQ(run.out, "") << word;
  }
}

TEST(CliSearch, MatchesTheLibraryOnALargeResult) {
  const std::string path = test::TestBook("bigsearch");
  CliRun run = RunCli("search " + Quote(path) + " ZEBRA");
  ASSERT_EQ(run.status, 0) << run.err;
  Book book;
  book.Open(path);
  book.LoadFullTextIndex();
  const PointerArray<SearchResult> results = book.Search("zebra");
  std::string expected;
  for (const SearchResult* result : results) {
    const auto topic = static_cast<std::int32_t>(result->topic);
    expected += std::to_string(result->topic) + "\t" + std::string(book.Topics().Title(topic)) + "\t" +
                std::string(book.Topics().Path(topic).value_or("")) + "\n";
  }
  EXPECT_EQ(results.Count(), 5000);
  EXPECT_EQ(run.out, expected);
}

TEST(CliSearch, FailuresGoToStandardError) {
  CliRun tooLong = RunCli("search " + Quote(test::TestBook("search")) + " " + std::string(201, 'q'));
  EXPECT_EQ(tooLong.status, 1);
  EXPECT_EQ(tooLong.out, "");
  EXPECT_EQ(tooLong.err, "Word too big for search, max length 200.\n");

  CliRun exact = RunCli("search " + Quote(test::TestBook("search")) + " " + std::string(200, 'q'));
  EXPECT_EQ(exact.status, 0) << exact.err;

  EXPECT_EQ(RunCli("search " + Quote(test::TestBook("search"))).status, 2);
  EXPECT_EQ(RunCli("search " + Quote(test::TestBook("search")) + " a b").status, 2);
}

TEST(CliSearch, BookWithoutIndexFails) {
  // Halibut writes no full-text index.
  const std::string path = std::string(TESSALY_CORPUS) + "/files/unxed-putty4far2l-putty-a.chm";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "corpus book absent";
  CliRun missing = RunCli("search " + Quote(path) + " putty");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "No $FIftiMain file in CHM.\n");
}

TEST(CliSearch, TheWordIsLookedUpInTheBooksCodePage) {
  // A Japanese book (code page 932): the word typed in UTF-8 finds what the
  // index holds in Shift-JIS; a word the code page cannot hold is said so.
  const std::string path = std::string(TESSALY_CORPUS) + "/files/aki426-gaucheofflinehelp-gauche-refman-ja.chm";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "corpus book absent";
  CliRun run = RunCli("search " + Quote(path) + " \xE6\x96\x87");  // 文
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_GT(std::count(run.out.begin(), run.out.end(), '\n'), 100) << run.out.substr(0, 300);
  EXPECT_EQ(run.err, "");
  CliRun euro = RunCli("search " + Quote(path) + " \xE2\x82\xAC");  // €
  EXPECT_EQ(euro.status, 0);
  EXPECT_EQ(euro.err, "tessaly-cli: \xE2\x82\xAC cannot be written in the book's code page 932: looked up as typed.\n");
}

TEST(CliSearch, EmptyIndexIsNotedAndFindsNothing) {
  const std::string path = std::string(TESSALY_CORPUS) + "/files/mostlydef-snake-help-small.chm";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "corpus book absent";
  CliRun run = RunCli("search " + Quote(path) + " the");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("has an empty full-text index"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace tessaly
