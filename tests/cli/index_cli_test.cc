// tessaly-cli index: keywords in the reader's order with their targets.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/book_builder.h"
#include "support/chm_builder.h"
#include "support/run_cli.h"

namespace tessaly {
namespace {

using test::CliRun;
using test::Quote;
using test::RunCli;

// A #SYSTEM object: version 3, then records of code, length and data.
std::string SystemObject(const std::vector<std::pair<int, std::string>>& records) {
  std::string out("\x03\x00\x00\x00", 4);
  for (const auto& [code, data] : records) {
    out += static_cast<char>(code & 0xFF);
    out += static_cast<char>(code >> 8);
    out += static_cast<char>(data.size() & 0xFF);
    out += static_cast<char>(data.size() >> 8);
    out += data;
  }
  return out;
}

std::string Text(const std::string& text) { return text + '\0'; }

std::string Keyword(const std::string& params) {
  return "<LI><OBJECT type=\"text/sitemap\">" + params + "</OBJECT>\n";
}

std::string Param(const std::string& name, const std::string& value) {
  return "<param name=\"" + name + "\" value=\"" + value + "\">";
}

// A book whose #SYSTEM names index.hhk (unless index is empty) in the given
// language.
test::TempFile IndexBook(const std::string& index,
                         const std::string& language = std::string("\x09\x04\0\0", 4)) {
  test::BookBuilder builder;
  std::vector<std::pair<int, std::string>> records = {{4, language}};
  if (!index.empty()) records.push_back({1, Text("index.hhk")});
  builder.AddFile("/#SYSTEM", SystemObject(records), false);
  builder.AddFile("/#STRINGS", std::string(1, '\0'), false);
  if (!index.empty()) builder.AddFile("/index.hhk", index);
  return test::TempFile(builder.Build());
}

TEST(CliIndex, TheTestBookInTheReadersOrder) {
  CliRun run = RunCli("index " + Quote(test::TestBook("basic")));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "_aardvark\n"
            "  \tindex.htm\n"
            "Frames\n"
            "  \tchapter2/frames.htm\n"
            "  left pane\n"
            "    \tchapter2/left.htm\n"
            "  right pane\n"
            "    \tchapter2/right.htm\n"
            "giraffe\n"
            "  \tchapter2/right.htm\n"
            "  \tchapter2/My Page.htm\n"
            "zebra\n"
            "  Introduction\tchapter1/intro.htm\n"
            "  Details\tchapter1/details.htm\n");
  EXPECT_EQ(run.err, "");
}

TEST(CliIndex, DeeperLevelsAndSortOnlyAtTheTop) {
  test::TempFile book =
      IndexBook("<UL>" + Keyword(Param("Name", "b") + Param("Local", "b.htm")) + "<UL>" +
                Keyword(Param("Name", "z") + Param("Local", "z.htm")) + "<UL>" +
                Keyword(Param("Name", "deep") + Param("Name", "T") + Param("Local", "d.htm")) + "</UL>" +
                Keyword(Param("Name", "a") + Param("Local", "a.htm")) + "</UL>" +
                Keyword(Param("Name", "_A") + Param("Local", "top.htm")) + "</UL>");
  CliRun run = RunCli("index " + Quote(book.Path()));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "_A\n"
            "  \ttop.htm\n"
            "b\n"
            "  \tb.htm\n"
            "  z\n"
            "    \tz.htm\n"
            "    deep\n"
            "      T\td.htm\n"
            "  a\n"
            "    \ta.htm\n");
}

TEST(CliIndex, BookTextIsPrintedInUtf8) {
  // US English (1033) books are in code page 1252: 0xFC is u-umlaut, 0xDF
  // sharp s.
  test::TempFile book = IndexBook("<UL>" +
                                  Keyword(Param("Name",
                                                "Gr\xFC\xDF"
                                                "e") +
                                          Param("Local", "\xE4.htm")) +
                                  "</UL>");
  CliRun run = RunCli("index " + Quote(book.Path()));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "Gr\xC3\xBC\xC3\x9F"
            "e\n  \t\xC3\xA4.htm\n");
}

TEST(CliIndex, FailuresExitWithOneAndTheMessage) {
  test::TempFile none = IndexBook("");
  CliRun run = RunCli("index " + Quote(none.Path()));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "No *.hhk file in CHM.\n");

  test::TempFile bad =
      IndexBook("<UL>" + Keyword(Param("Name", "k") + Param("Name", "t1") + Param("Name", "t2")));
  run = RunCli("index " + Quote(bad.Path()));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "Error while parse Index file.\nIndex <li> tag has 2 one after the other \"Name\" params:\n"
            "param name=\"Name\" value=\"t2\".\n");

  run = RunCli("index");
  EXPECT_EQ(run.status, 2);
}

// The AutoIt index holds markup inside a quoted value; it lists whole.
TEST(CliIndex, TheAutoItIndexListsWhole) {
  std::string path;
  for (const std::string& file : test::CorpusFiles()) {
    if (file.ends_with("/au3pm-autoit3-autoit.chm")) path = file;
  }
  if (path.empty()) GTEST_SKIP() << "no corpus";
  CliRun run = RunCli("index " + Quote(path));
  ASSERT_EQ(run.status, 0) << run.err;
  std::size_t keywords = 0;
  std::size_t targets = 0;
  for (std::size_t at = 0; at < run.out.size();) {
    const std::size_t end = run.out.find('\n', at);
    ASSERT_NE(end, std::string::npos);
    const std::string line = run.out.substr(at, end - at);
    (line.find('\t') == std::string::npos ? keywords : targets)++;
    at = end + 1;
  }
  // One keyword and one target for each of the 418 items of its index.
  EXPECT_EQ(keywords, 418u);
  EXPECT_EQ(targets, 418u);
  EXPECT_NE(run.out.find("\n@ScriptDir & \n  \thtml/macros/AutoItRelated.htm\n"), std::string::npos);
}

}  // namespace
}  // namespace tessaly
