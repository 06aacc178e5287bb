// tessaly-cli as a user runs it: output, exit status and error messages.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

#include "support/chm_builder.h"

namespace tessaly {
namespace {

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs tessaly-cli with the given (already shell-quoted) arguments.
CliRun RunCli(const std::string& args) {
  test::TempFile errFile(std::string(), ".err");
  std::string command = std::string(TESSALY_CLI) + " " + args + " 2>" + errFile.Path();
  CliRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 4096> buf;
  std::size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) run.out.append(buf.data(), n);
  int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  auto err = test::ReadFileBytes(errFile.Path());
  run.err.assign(err.begin(), err.end());
  return run;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

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
  EXPECT_NE(run.out.find("*** content sections ***\n"), std::string::npos);
}

TEST(Cli, BookErrorsExitWithOneAndTheMessage) {
  CliRun run = RunCli("ls /nonexistent/book.chm");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Can't open chm file: /nonexistent/book.chm.\n");
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
