// info, toc and topics on the compiled test book and on real books.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/chm_builder.h"
#include "support/run_cli.h"

namespace tessaly {
namespace {

using test::CliRun;
using test::Quote;
using test::RunCli;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(CliBook, InfoPrintsOneKeyPerLine) {
  CliRun run = RunCli("info " + Quote(test::TestBook("basic")));
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 12u) << run.out;
  EXPECT_EQ(lines[0], "title: Tessaly Test Book");
  EXPECT_EQ(lines[1], "default topic: index.htm");
  EXPECT_EQ(lines[2], "home topic: index.htm");
  EXPECT_EQ(lines[3], "contents file: basic.hhc");
  EXPECT_EQ(lines[4], "index file: basic.hhk");
  EXPECT_EQ(lines[5], "language id: 1033");
  EXPECT_EQ(lines[6], "code page: 1252");
  EXPECT_EQ(lines[7].rfind("jump label:", 0), 0u);
  EXPECT_EQ(lines[8].rfind("jump target:", 0), 0u);
  EXPECT_EQ(lines[9].rfind("topics: ", 0), 0u);
  EXPECT_EQ(lines[10], "contents nodes: 6");
  EXPECT_EQ(lines[11].rfind("entries: ", 0), 0u);
}

TEST(CliBook, TocIndentsByDepthInDocumentOrder) {
  CliRun run = RunCli("toc " + Quote(test::TestBook("basic")));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "Welcome\tindex.htm\n"
            "Chapter 1\tchapter1/intro.htm\n"
            "  Details\tchapter1/details.htm\n"
            "  Part two\tchapter1/details.htm#part2\n"
            "Chapter 2 & frames\tchapter2/frames.htm\n"
            "  My Page\tchapter2/My Page.htm\n");
}

TEST(CliBook, TopicsListNumberTitleAndPath) {
  CliRun run = RunCli("topics " + Quote(test::TestBook("basic")));
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_FALSE(lines.empty());
  for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].rfind(std::to_string(i) + "\t", 0), 0u);
  EXPECT_NE(run.out.find("\tIntroduction\tchapter1/intro.htm\n"), std::string::npos) << run.out;
}

TEST(CliBook, BookTextIsPrintedInUtf8) {
  // A Chinese book: its sitemap is written in GBK.
  const std::string path = std::string(TESSALY_CORPUS) + "/files/pbootcms-pbootcms-help.chm";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "corpus folder ../shared/corpus is absent";
  CliRun info = RunCli("info " + Quote(path));
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("code page: 936\n"), std::string::npos);
  CliRun toc = RunCli("toc " + Quote(path));
  ASSERT_EQ(toc.status, 0) << toc.err;
  EXPECT_NE(toc.out.find("API\xE6\x8E\xA5\xE5\x8F\xA3"), std::string::npos) << toc.out;  // "API接口" in UTF-8
}

}  // namespace
}  // namespace tessaly
