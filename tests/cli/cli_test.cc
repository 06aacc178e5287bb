// tessaly-cli as a user runs it: output, exit status and error messages.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "support/book_builder.h"
#include "support/chm_builder.h"
#include "support/run_cli.h"

namespace tessaly {
namespace {

using test::CliRun;
using test::Quote;
using test::RunCli;

TEST(Cli, ListsTheDirectoryTabSeparated) {
  CliRun run = RunCli("ls " + Quote(test::TestBook("basic")));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("\t/chapter2/My Page.htm\n"), std::string::npos);
  // Every line: section, offset, length, name.
  std::size_t lines = 0;
  for (std::size_t pos = 0; pos < run.out.size();) {
    std::size_t end = run.out.find('\n', pos);
    ASSERT_NE(end, std::string::npos);
    std::string line = run.out.substr(pos, end - pos);
    unsigned s, o, l;
    int consumed = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "%u\t%u\t%u\t%n", &s, &o, &l, &consumed), 3) << line;
    EXPECT_GT(consumed, 0);
    ++lines;
    pos = end + 1;
  }
  EXPECT_GT(lines, 13u);
}

TEST(Cli, DumpPrintsTheHeaderBlock) {
  CliRun run = RunCli("dump " + Quote(test::TestBook("basic")));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("*** header info ***\nFile Name      : " + test::TestBook("basic") + "\n"),
            std::string::npos);
  // Then the content sections and the #SYSTEM records, as the full open
  // writes them.
  const std::size_t sections = run.out.find("*** content sections ***\n01. 00000000 Uncompressed\n02. ");
  ASSERT_NE(sections, std::string::npos) << run.out;
  const std::size_t system = run.out.find("Get #SYSTEM info:\n", sections);
  ASSERT_NE(system, std::string::npos) << run.out.substr(sections);
  EXPECT_NE(run.out.find("basic.hhc", system), std::string::npos) << run.out.substr(system);
}

TEST(Cli, ExtractTakesSeveralBooksEachIntoAFolderOfItsOwn) {
  test::TempDir dir;
  const std::string basic = test::TestBook("basic");
  const std::string plain = test::TestBook("plain");
  CliRun run = RunCli("extract " + Quote(basic) + " " + Quote(plain) + " " + Quote(basic) + " " + Quote(dir.Path()));
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* folder : {"basic", "plain", "basic-2"}) {
    EXPECT_TRUE(std::filesystem::exists(dir.Path() + "/" + folder + "/index.htm")) << folder;
  }
  EXPECT_EQ(test::ReadFileBytes(dir.Path() + "/basic/chapter2/My Page.htm"),
            test::ReadFileBytes(dir.Path() + "/basic-2/chapter2/My Page.htm"));
  // A book that cannot be read fails alone, named in its message.
  run = RunCli("extract " + Quote(basic) + " /nonexistent/x.chm " + Quote(dir.Path() + "/more"));
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(std::filesystem::exists(dir.Path() + "/more/basic/index.htm"));
  EXPECT_EQ(run.err,
            "/nonexistent/x.chm: tessaly-cli: Can't open chm file: /nonexistent/x.chm. (No such file or directory)\n");
}

TEST(Cli, OptionsMayComeBeforeTheCommand) {
  const std::string book = Quote(test::TestBook("basic"));
  const struct {
    std::string before, after;
  } pairs[] = {
      {"--json toc " + book, "toc --json " + book},
      {"--help toc", "toc --help"},
      {"--json --help info", "info --help"},
      {"--help", "-h"},
  };
  for (const auto& pair : pairs) {
    SCOPED_TRACE(pair.before);
    const CliRun before = RunCli(pair.before);
    const CliRun after = RunCli(pair.after);
    EXPECT_EQ(before.status, 0) << before.err;
    EXPECT_EQ(before.out, after.out);
    EXPECT_EQ(before.err, after.err);
  }
  EXPECT_EQ(RunCli("--json").status, 2);
  EXPECT_EQ(RunCli("--bogus toc " + book).status, 2);
}

TEST(Cli, BookErrorsExitWithOneAndTheMessage) {
  CliRun run = RunCli("ls /nonexistent/book.chm");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "tessaly-cli: Can't open chm file: /nonexistent/book.chm. (No such file or directory)\n");
  EXPECT_EQ(run.out, "");
  test::TempFile notChm(std::string(200, 'x'));
  run = RunCli("dump " + Quote(notChm.Path()));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Can't read section 0 buffer.\n");  // its offset lies far beyond the file
}

TEST(Cli, BadUsageExitsWithTwo) {
  EXPECT_EQ(RunCli("").status, 2);
  EXPECT_EQ(RunCli("frobnicate x.chm").status, 2);
  EXPECT_EQ(RunCli("ls").status, 2);
  EXPECT_EQ(RunCli("ls a.chm b.chm").status, 2);
  CliRun help = RunCli("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("ls BOOK"), std::string::npos);
  EXPECT_NE(help.out.find("dump BOOK"), std::string::npos);
}

}  // namespace
}  // namespace tessaly

namespace tessaly {
namespace {

using test::CliRun;
using test::Quote;
using test::RunCli;

TEST(CliObjects, CatWritesTheObjectBytes) {
  CliRun run = RunCli("cat " + Quote(test::TestBook("basic")) + " 'chapter2/My Page.htm'");
  ASSERT_EQ(run.status, 0) << run.err;
  auto source = test::ReadFileBytes(std::string(TESSALY_TEST_BOOKS) + "/basic/chapter2/My Page.htm");
  EXPECT_EQ(run.out, std::string(source.begin(), source.end()));
  run = RunCli("cat " + Quote(test::TestBook("basic")) + " nothing.htm");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Can't find entry for file nothing.htm\n");
}

TEST(CliObjects, CatReadsAnObjectWhoseNameHoldsAHash) {
  const std::string path = std::string(TESSALY_CORPUS) + "/files/akira13641-tlightfilestream-lightfilestream-old.chm";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "corpus folder ../shared/corpus is absent";
  const CliRun run = RunCli("cat " + Quote(path) + " '/_#_README_#_'");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.size(), 136u);  // its length in the directory
}

TEST(CliObjects, ExtractWritesEveryObjectWithItsFolders) {
  test::TempDir dir;
  CliRun run = RunCli("extract " + Quote(test::TestBook("basic")) + " " + Quote(dir.Path() + "/out"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");  // no terminal, no progress line
  const std::string books = std::string(TESSALY_TEST_BOOKS) + "/basic/";
  for (const char* name : {"index.htm", "chapter2/My Page.htm", "images/photo.png", "basic.hhc"})
    EXPECT_EQ(test::ReadFileBytes(dir.Path() + "/out/" + name), test::ReadFileBytes(books + name)) << name;
  EXPECT_TRUE(std::filesystem::exists(dir.Path() + "/out/#SYSTEM"));
  EXPECT_TRUE(std::filesystem::exists(dir.Path() + "/out/::DataSpace/NameList"));
}

TEST(CliObjects, ExtractNeverWritesOutsideTheFolder) {
  test::BookBuilder b;
  b.withCompressedSection = false;
  b.AddFile("/good.htm", "good");
  for (const char* bad : {"/../escape.htm", "../escape2.htm", "/a/../../escape3.htm", "/dir\\..\\escape4.htm",
                          "/x//y.htm", "/./dot.htm"})
    b.AddFile(bad, "bad");
  b.AddFile(std::string("/nul\0../escape5.htm", 19), "bad");
  test::TempFile book(b.Build());
  test::TempDir dir;
  const std::string target = dir.Path() + "/inner/out";
  CliRun run = RunCli("extract " + Quote(book.Path()) + " " + Quote(target));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(test::ReadFileBytes(target + "/good.htm"), test::Bytes("good"));
  std::size_t files = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir.Path()))
    if (e.is_regular_file()) {
      ++files;
      EXPECT_TRUE(e.path() == target + "/good.htm" || e.path() == target + "/::DataSpace/NameList") << e.path();
    }
  EXPECT_EQ(files, 2u);
  std::size_t warnings = 0;
  for (std::size_t pos = 0; (pos = run.err.find("would leave the target folder", pos)) != std::string::npos; ++pos)
    ++warnings;
  EXPECT_EQ(warnings, 7u) << run.err;
}

TEST(CliObjects, ExtractReportsUnreadableObjectsAndWritesTheRest) {
  test::BookBuilder b;
  b.withCompressedSection = false;
  b.AddFile("/good.htm", "good");
  b.AddRawEntry("/broken.bin", 0, 0, 0x7FFFFFFF);
  test::TempFile book(b.Build());
  test::TempDir dir;
  CliRun run = RunCli("extract " + Quote(book.Path()) + " " + Quote(dir.Path()));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "/broken.bin: Can't read file /broken.bin buffer: the chm file ends before it.\n");
  EXPECT_EQ(test::ReadFileBytes(dir.Path() + "/good.htm"), test::Bytes("good"));
}

}  // namespace
}  // namespace tessaly
