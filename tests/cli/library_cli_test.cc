// tessaly-cli library, search --text --library and lookup over a scratch
// library of the test books.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/chm_builder.h"
#include "support/json_reader.h"
#include "support/run_cli.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;
using test::CliRun;
using test::JsonValue;
using test::Quote;
using test::RunCli;

class CliLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("XDG_CACHE_HOME", (root_ / "cache").c_str(), 1);
    setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
    fs::create_directories(books_ / "more");
    fs::copy_file(test::TestBook("basic"), books_ / "basic.chm");
    fs::copy_file(test::TestBook("textsearch"), books_ / "more" / "textsearch.chm");
    std::ofstream(books_ / "broken.chm") << "no book at all";
  }
  void TearDown() override {
    unsetenv("XDG_CACHE_HOME");
    unsetenv("XDG_DATA_HOME");
  }
  JsonValue Json(const std::string& args) {
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.status, 0) << args << ": " << run.err;
    return test::ParseJson(run.out);
  }

  test::TempDir scratch_;
  const fs::path root_ = scratch_.Path();
  const fs::path books_ = root_ / "books";
  const std::string folder_ = Quote(books_.string());
};

TEST_F(CliLibrary, AddListSearchLookupAndRemoveWithTheirJsonFields) {
  const CliRun added = RunCli("library add " + folder_);
  ASSERT_EQ(added.status, 0) << added.err;
  EXPECT_NE(added.out.find("added\t" + (books_ / "more" / "textsearch.chm").string() + "\n"), std::string::npos);

  const JsonValue list = Json("library list --json");
  EXPECT_EQ(list.keys, (std::vector<std::string>{"folders", "books"}));
  EXPECT_EQ(list["folders"][0].Str(), books_.string());
  ASSERT_EQ(list["books"].Size(), 3u);
  for (const JsonValue& book : list["books"].items) {
    EXPECT_EQ(book.keys, (std::vector<std::string>{"title", "language_id", "size", "path", "folder", "state",
                                                   "reason"}));
    const bool broken = fs::path(book["path"].Str()).filename() == "broken.chm";
    EXPECT_EQ(book["state"].Str(), broken ? "damaged" : "indexed");
    EXPECT_EQ(book["reason"].IsNull(), !broken);
    EXPECT_EQ(book["size"].Int(), static_cast<std::int64_t>(fs::file_size(book["path"].Str())));
  }

  // Across books, as lines and as JSON; a book filter.
  const CliRun plain = RunCli("search --text --library quokka");
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_NE(plain.out.find("\tRed fox\t" + (books_ / "more" / "textsearch.chm").string() + "::/fox.htm\t1\t"),
            std::string::npos)
      << plain.out;
  const JsonValue found = Json("search --json --text --library 'textsearch: fox'");
  EXPECT_EQ(found.keys, (std::vector<std::string>{"query", "book_filter", "pages"}));
  EXPECT_EQ(found["book_filter"].Str(), "textsearch");
  ASSERT_GE(found["pages"].Size(), 1u);
  EXPECT_EQ(found["pages"][0].keys, (std::vector<std::string>{"book", "book_title", "title", "path", "hits",
                                                              "snippet", "keyword"}));
  EXPECT_EQ(found["pages"][0]["path"].Str(), "fox.htm");
  EXPECT_EQ(Json("search --json --text --library 'basic: quokka'")["pages"].Size(), 0u);

  // Lookup: several topics, one (a sub-keyword under its parent), none.
  const JsonValue several = Json("lookup --json zebra");
  EXPECT_EQ(several.keys, (std::vector<std::string>{"word", "book", "topics", "pages"}));
  ASSERT_EQ(several["topics"].Size(), 2u);
  EXPECT_EQ(several["topics"][0].keys, (std::vector<std::string>{"book", "book_title", "keyword", "name", "path"}));
  EXPECT_EQ(several["topics"][1]["name"].Str(), "Details");
  const CliRun one = RunCli("lookup 'LEFT PANE' " + Quote((books_ / "basic.chm").string()));
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_NE(one.out.find("\tFrames, left pane\t\t" + (books_ / "basic.chm").string() + "::/chapter2/left.htm\n"),
            std::string::npos)
      << one.out;
  const CliRun none = RunCli("lookup quokka");
  ASSERT_EQ(none.status, 0) << none.err;
  EXPECT_EQ(none.err, "tessaly-cli: no keyword 'quokka'; pages that hold it:\n");
  EXPECT_NE(none.out.find("::/fox.htm\t1\t"), std::string::npos);
  EXPECT_EQ(Json("lookup --json quokka basic")["pages"].Size(), 0u);  // only in that book

  const JsonValue removed = Json("library remove --json " + Quote((books_ / "more" / "..").string()));
  EXPECT_EQ(removed["removed"].Str(), books_.string());
  EXPECT_EQ(Json("library list --json")["books"].Size(), 0u);
  EXPECT_EQ(RunCli("library remove " + folder_).status, 1);
}

TEST_F(CliLibrary, BadUsageAndAnUnusableStore) {
  const struct {
    const char* args;
    int status;
  } cases[] = {
      {"library", 2}, {"library frob", 2}, {"library add", 2}, {"library list extra", 2},
      {"search --library quokka", 2}, {"search --text --library", 2}, {"search --text --library a b", 2},
      {"lookup", 2}, {"lookup a b c", 2}, {"search --text --library '\"open'", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const CliRun run = RunCli(c.args);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_FALSE(run.err.empty());
  }
  const CliRun help = RunCli("search --help");
  EXPECT_NE(help.out.find("search --text --library [--json] QUERY"), std::string::npos) << help.out;
  EXPECT_NE(RunCli("library --help").out.find("\"language_id\""), std::string::npos);

  // The data folder is a file: nothing can be kept, and the tool says so.
  std::ofstream(root_ / "file") << "a file";
  setenv("XDG_DATA_HOME", (root_ / "file").c_str(), 1);
  const CliRun stuck = RunCli("library list");
  EXPECT_EQ(stuck.status, 1);
  EXPECT_NE(stuck.err.find("can't be kept"), std::string::npos) << stuck.err;
}

}  // namespace
}  // namespace tessaly
