// tessaly-cli text and search --text on the page-text test book.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/chm_builder.h"
#include "support/json_reader.h"
#include "support/run_cli.h"

namespace tessaly {
namespace {

using test::CliRun;
using test::Quote;
using test::RunCli;

// The tool keeps its index in scratch data and cache folders, not the user's.
class CliText : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tessaly-cli-cache-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    cache_ = root_ + "/cache";
    data_ = root_ + "/data";
    setenv("XDG_CACHE_HOME", cache_.c_str(), 1);
    setenv("XDG_DATA_HOME", data_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("XDG_CACHE_HOME");
    unsetenv("XDG_DATA_HOME");
    std::filesystem::remove_all(root_);
  }
  std::string root_, cache_, data_;
  const std::string book_ = Quote(test::TestBook("textsearch"));
};

TEST_F(CliText, TextPrintsEveryPageAndJsonLines) {
  const CliRun plain = RunCli("text " + book_);
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_NE(plain.out.find("=== 函数参考\tfunctions.htm\n本页说明函数的用法。\n"), std::string::npos) << plain.out;
  EXPECT_EQ(plain.out.find("hiddenword"), std::string::npos);

  const CliRun jsonl = RunCli("text --jsonl " + book_);
  ASSERT_EQ(jsonl.status, 0) << jsonl.err;
  std::istringstream lines(jsonl.out);
  std::string line;
  int pages = 0;
  while (std::getline(lines, line)) {
    const test::JsonValue page = test::ParseJson(line);
    EXPECT_EQ(page.keys, (std::vector<std::string>{"book", "title", "path", "text"}));
    ++pages;
  }
  EXPECT_EQ(pages, 5);

  // Several books: each book's pages in the order the books were named,
  // whichever finished first.
  const std::string other = test::TestBook("basic");
  const CliRun shelf = RunCli("text --jsonl " + book_ + " " + Quote(other) + " " + book_);
  ASSERT_EQ(shelf.status, 0) << shelf.err;
  std::istringstream shelfLines(shelf.out);
  std::vector<std::string> order;
  while (std::getline(shelfLines, line)) {
    const std::string book = test::ParseJson(line).items[0].text;
    if (order.empty() || order.back() != book) order.push_back(book);
  }
  EXPECT_EQ(order, (std::vector<std::string>{test::TestBook("textsearch"), other, test::TestBook("textsearch")}));
}

TEST_F(CliText, SearchTextRanksAndKeepsItsIndex) {
  // An index an earlier version kept in the cache folder, which the page
  // process can write, goes; the folder's other files stay.
  namespace fs = std::filesystem;
  fs::create_directories(cache_ + "/tessaly");
  const std::string old = cache_ + "/tessaly/" + std::string(64, 'e') + ".sqlite";
  std::ofstream(old) << "old";
  std::ofstream(cache_ + "/tessaly/store") << "other";

  const CliRun first = RunCli("search --text " + book_ + " " + Quote("fox quokka"));
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.out.substr(0, first.out.find('\n')), "Red fox\tfox.htm\t3\tThe **fox** is red. A **quokka** is not.");
  EXPECT_EQ(std::count(first.out.begin(), first.out.end(), '\n'), 2);
  const std::string folder = data_ + "/tessaly/index";
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1);
  EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all);
  EXPECT_EQ(fs::status(data_ + "/tessaly").permissions(), fs::perms::owner_all);
  EXPECT_FALSE(fs::exists(old));
  EXPECT_TRUE(fs::exists(cache_ + "/tessaly/store"));

  const CliRun json = RunCli("search --text --json " + book_ + " 函数");
  ASSERT_EQ(json.status, 0) << json.err;
  const test::JsonValue document = test::ParseJson(json.out);
  ASSERT_EQ(document.keys, (std::vector<std::string>{"query", "pages"}));
  ASSERT_EQ(document.items[1].items.size(), 1u);
  EXPECT_EQ(document.items[1].items[0].keys, (std::vector<std::string>{"title", "path", "hits", "snippet"}));

  // Queries with nothing to find find nothing, and say no more.
  for (const char* nothing : {"OR", "-A", "?!", "-quokka OR"}) {
    const CliRun none = RunCli("search --text " + book_ + " " + Quote(nothing));
    EXPECT_EQ(none.status, 0) << nothing;
    EXPECT_EQ(none.out, "") << nothing;
    EXPECT_EQ(none.err, "") << nothing;
  }

  const CliRun bad = RunCli("search --text " + book_ + " " + Quote("\"open"));
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.out, "");
  EXPECT_EQ(bad.err, "tessaly-cli: The quotation mark before \"open\" is not closed.\n");
}

}  // namespace
}  // namespace tessaly
