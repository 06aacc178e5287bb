// tessaly-cli page: a topic prepared into a folder as the reader shows it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "support/book_builder.h"
#include "support/chm_builder.h"
#include "support/run_cli.h"

namespace tessaly {
namespace {

using test::CliRun;
using test::Quote;
using test::RunCli;

std::map<std::string, std::string> Folder(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const auto bytes = test::ReadFileBytes(entry.path().string());
    files[entry.path().filename().string()] = std::string(bytes.begin(), bytes.end());
  }
  return files;
}

std::string BookFile(const std::string& name) {
  const auto bytes = test::ReadFileBytes(std::string(TESSALY_TEST_BOOKS) + "/basic/" + name);
  return std::string(bytes.begin(), bytes.end());
}

TEST(CliPage, WritesThePageAndItsCopiesAndPrintsTheAddress) {
  test::TempDir root;
  const std::string dir = root.Path() + "/new/out";  // created, parents too
  CliRun run = RunCli("page " + Quote(test::TestBook("basic")) + " index.htm " + Quote(dir));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "file://" + dir + "/index0.htm\n");
  EXPECT_EQ(run.err, "");
  const auto files = Folder(dir);
  ASSERT_EQ(files.size(), 4u);
  std::string page = BookFile("index.htm");
  page.replace(page.find("href=\"style.css\""), 16, "href=\"0file.css\"");
  page.replace(page.find("src=\"images/logo.gif\""), 21, "src=\"1file.gif\"");
  EXPECT_EQ(files.at("index0.htm"), page);
  std::string sheet = BookFile("style.css");
  sheet.replace(sheet.find("url(images/bg.gif)"), 18, "url(2file.gif)");
  EXPECT_EQ(files.at("0file.css"), sheet);
  EXPECT_EQ(files.at("1file.gif"), BookFile("images/logo.gif"));
  EXPECT_EQ(files.at("2file.gif"), BookFile("images/bg.gif"));
}

TEST(CliPage, TheAddressIsAbsoluteAndEscaped) {
  test::TempDir root;
  CliRun run = RunCli("page " + Quote(test::TestBook("basic")) + " 'chapter2/My%20Page.htm#x' " +
                      Quote(root.Path() + "/a b/../c d"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "file://" + root.Path() + "/c%20d/index0.htm#x\n");
  EXPECT_EQ(Folder(root.Path() + "/c d").at("index0.htm"), BookFile("chapter2/My Page.htm"));
}

TEST(CliPage, AFramesetLeavesItsLastFrame) {
  test::TempDir root;
  CliRun run =
      RunCli("page " + Quote(test::TestBook("basic")) + " chapter2/frames.htm " + Quote(root.Path()));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "file://" + root.Path() + "/index2.htm\n");
  const auto files = Folder(root.Path());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files.at("index2.htm"), BookFile("chapter2/right.htm"));
}

TEST(CliPage, FailuresExitWithOne) {
  test::TempDir root;
  CliRun run = RunCli("page " + Quote(test::TestBook("basic")) + " nothere.htm " + Quote(root.Path()));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "tessaly-cli: nothere.htm is not in the book\n");
  EXPECT_TRUE(Folder(root.Path()).empty());

  run = RunCli("page /nonexistent/book.chm index.htm " + Quote(root.Path()));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "tessaly-cli: Can't open chm file: /nonexistent/book.chm. (No such file or directory)\n");

  // A folder that cannot be made.
  test::TempFile plain(std::string("x"), ".txt");
  run = RunCli("page " + Quote(test::TestBook("basic")) + " index.htm " + Quote(plain.Path() + "/sub"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("tessaly-cli: cannot create ", 0), 0u) << run.err;

  EXPECT_EQ(RunCli("page " + Quote(test::TestBook("basic")) + " index.htm").status, 2);
}

TEST(CliPage, TheBookArgumentMayNameThePage) {
  // A book and a page that both hold "::": split only where a book exists.
  test::TempDir root;
  const std::string book = root.Path() + "/api::ref.chm";
  test::BookBuilder builder;
  builder.AddFile("#SYSTEM", std::string("\x03\0\0\0", 4));
  builder.AddFile("#STRINGS", std::string(1, '\0'));
  builder.AddFile("/Foo::Bar.htm", "<img src=\"Foo::Pic.gif\">");
  builder.AddFile("/Foo::Pic.gif", "GIF");
  const std::vector<std::uint8_t> bytes = builder.Build();
  std::ofstream(book, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());

  const struct {
    std::string args, address;
  } cases[] = {
      {Quote(book + "::/Foo::Bar.htm#m"), "index0.htm#m"},
      {Quote(book) + " Foo::Bar.htm", "index0.htm"},
      {Quote("ms-its:" + book + "::/Foo%3A%3ABar.htm"), "index0.htm"},
      {Quote("file://" + book + "::Foo::Bar.htm"), "index0.htm"},
  };
  for (const auto& c : cases) {
    test::TempDir out;
    CliRun run = RunCli("page " + c.args + " " + Quote(out.Path()));
    ASSERT_EQ(run.status, 0) << c.args << ": " << run.err;
    EXPECT_EQ(run.out, "file://" + out.Path() + "/" + c.address + "\n");
    const auto files = Folder(out.Path());
    EXPECT_EQ(files.at("index0.htm"), "<img src=\"0file.gif\">") << c.args;
    EXPECT_EQ(files.at("0file.gif"), "GIF") << c.args;
  }

  test::TempDir out;
  const CliRun noPage = RunCli("page " + Quote(book) + " " + Quote(out.Path()));
  EXPECT_EQ(noPage.status, 2);
  EXPECT_NE(noPage.err.find("names no page"), std::string::npos) << noPage.err;
  const CliRun missing = RunCli("page " + Quote(book + "::/Foo::Baz.htm") + " " + Quote(out.Path()));
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "tessaly-cli: /Foo::Baz.htm is not in the book\n");
}

}  // namespace
}  // namespace tessaly
