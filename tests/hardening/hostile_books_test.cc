// Books made to hurt the tool: contents nested without end, pages naming
// thousands of missing parts, names with terminal control codes, files that
// are no books, and target folders with links planted in them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/book_builder.h"
#include "support/chm_builder.h"
#include "support/run_cli.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;
using test::BookBuilder;
using test::CliRun;
using test::Quote;
using test::RunCli;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// What no book may make the tool exceed: 512 MiB of memory and 10 s of
// processor time (the kernel ends a run past either). Memory is bounded as
// data, not address space, which counts the malloc arenas that threads
// reserve, more or less of it by timing. A sanitizer reserves
// address space far beyond that, and runs slower: there only time is bound,
// more loosely.
std::string Bounds() { return kSanitized ? "ulimit -t 60; exec" : "ulimit -d 524288; ulimit -t 10; exec"; }

std::string SystemObject(const std::string& contents, const std::string& index) {
  auto record = [](int code, const std::string& text) {
    std::string r;
    r += static_cast<char>(code);
    r += '\0';
    const std::string data = text + '\0';
    r += static_cast<char>(data.size() & 0xFF);
    r += static_cast<char>(data.size() >> 8);
    return r + data;
  };
  return std::string("\x03\0\0\0", 4) + record(0, contents) + record(1, index) + record(2, "a.htm");
}

std::string Item(const std::string& name, const std::string& local) {
  return "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"" + name +
         "\"><param name=\"Local\" value=\"" + local + "\"></OBJECT>";
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadText(const std::string& path) {
  const std::vector<std::uint8_t> bytes = test::ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

std::size_t DeepestIndent(const std::string& out) {
  std::size_t deepest = 0;
  for (std::size_t at = 0; at < out.size();) {
    const std::size_t end = std::min(out.find('\n', at), out.size());
    const std::size_t text = out.find_first_not_of(' ', at);
    deepest = std::max(deepest, std::min(text, end) - at);
    at = end + 1;
  }
  return deepest;
}

TEST(HostileBooks, DeepContentsAndIndexShowAtMostSixtyFourLevels) {
  // 20,000 levels, one entry each: some kilobytes of sitemap.
  constexpr int kLevels = 20000;
  std::string nested;
  for (int i = 0; i < kLevels; ++i) nested += "<UL>" + Item("deep", "a.htm");
  for (int i = 0; i < kLevels; ++i) nested += "</UL>";
  BookBuilder b;
  b.AddFile("#SYSTEM", SystemObject("toc.hhc", "k.hhk"));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/toc.hhc", nested);
  b.AddFile("/k.hhk", nested);
  b.AddFile("/a.htm", "<p>a</p>");
  test::TempFile book(b.Build());

  const struct {
    const char* command;
    const char* tree;
    std::size_t indentBound;  // two spaces a level; in JSON an object and its array a level
  } cases[] = {
      {"toc", "contents nest", 2 * 63},
      {"toc --json", "contents nest", 2 * (2 * 64 + 2)},
      {"index", "keyword index nests", 2 * 64},
      {"index --json", "keyword index nests", 2 * (2 * 64 + 4)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const CliRun run = RunCli(std::string(c.command) + " " + Quote(book.Path()), Bounds());
    ASSERT_EQ(run.status, 0) << run.err;
    // Every entry is there, none deeper than the levels shown.
    std::size_t entries = 0;
    for (std::size_t at = run.out.find("deep"); at != std::string::npos; at = run.out.find("deep", at + 1)) ++entries;
    EXPECT_EQ(entries, static_cast<std::size_t>(kLevels));
    EXPECT_LE(DeepestIndent(run.out), c.indentBound);
    EXPECT_EQ(run.err, "tessaly-cli: the " + std::string(c.tree) +
                           " 20000 levels deep; what lies below level 64 is shown at level 64.\n");
  }
}

TEST(HostileBooks, APageNamingThousandsOfMissingPicturesGetsNoFilesForThem) {
  std::string page;
  for (int i = 0; i < 30000; ++i) page += "<img src=\"m" + std::to_string(i) + ".gif\">";
  BookBuilder b;
  b.AddFile("#SYSTEM", SystemObject("", ""));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/a.htm", page);
  test::TempFile book(b.Build());
  test::TempDir dir;
  const CliRun run = RunCli("page " + Quote(book.Path()) + " a.htm " + Quote(dir.Path()), Bounds());
  EXPECT_EQ(run.status, 0) << run.err.substr(0, 200);
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 30000);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.Path())) names.push_back(entry.path().filename());
  EXPECT_EQ(names, std::vector<std::string>{"index0.htm"});
}

TEST(HostileBooks, ControlCodesInNamesReachTheTerminalEscaped) {
  BookBuilder b;
  b.AddFile("#SYSTEM", SystemObject("toc.hhc", ""));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/toc.hhc", "<UL>" + Item("\x1b]0;owned\x07title", "a.htm") + "</UL>");
  b.AddFile("/a.htm", "<p>a</p>");
  b.AddFile("/x\n0\t0\t0\t/forged\x1b[31m.htm", "x");
  test::TempFile book(b.Build());

  const CliRun list = RunCli("ls " + Quote(book.Path()));
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find("\t/x\\x0A0\\x090\\x090\\x09/forged\\x1B[31m.htm\n"), std::string::npos) << list.out;
  EXPECT_EQ(list.out.find('\x1b'), std::string::npos);
  EXPECT_EQ(list.out.find("\n0\t0\t0\t/forged"), std::string::npos);

  const CliRun toc = RunCli("toc " + Quote(book.Path()));
  ASSERT_EQ(toc.status, 0) << toc.err;
  EXPECT_EQ(toc.out, "\\x1B]0;owned\\x07title\ta.htm\n");

  const CliRun cat = RunCli("cat " + Quote(book.Path()) + " " + Quote("/nothing\x1b[2J"));
  EXPECT_EQ(cat.status, 1);
  EXPECT_EQ(cat.err.find('\x1b'), std::string::npos) << cat.err;
}

TEST(HostileBooks, WhatIsNoBookIsRefusedWithTheSystemsReason) {
  test::TempDir dir;
  const std::string folder = dir.Path() + "/folder.chm";
  const std::string fifo = dir.Path() + "/fifo.chm";
  const std::string dangling = dir.Path() + "/dangling.chm";
  fs::create_directory(folder);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  fs::create_symlink(dir.Path() + "/gone.chm", dangling);
  const struct {
    std::string path;
    std::string reason;
  } cases[] = {
      {dir.Path() + "/missing.chm", "No such file or directory"},
      {dangling, "No such file or directory"},
      {folder, "Is a directory"},
      {fifo, "Illegal seek"},  // a FIFO nobody writes to: refused, never waited on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    // The wrapper ends a tool that waits on the FIFO.
    const CliRun run = RunCli("info " + Quote(c.path), "exec timeout 10");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "tessaly-cli: Can't open chm file: " + c.path + ". (" + c.reason + ")\n");
  }
}

TEST(HostileBooks, ExtractAndPageNeverWriteThroughLinksInTheFolder) {
  BookBuilder b;
  b.AddFile("#SYSTEM", SystemObject("", ""));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/x/inside.htm", "book x");
  b.AddFile("/victimlink", "book victim");
  b.AddFile("/a.htm", "<img src=\"p.gif\"><img src=\"q.gif\">");
  b.AddFile("/p.gif", "book p");
  b.AddFile("/q.gif", "book q");
  test::TempFile book(b.Build());
  test::TempDir root;
  const std::string elsewhere = root.Path() + "/elsewhere";
  const std::string target = root.Path() + "/target";
  fs::create_directories(elsewhere);
  fs::create_directories(target);
  WriteFile(elsewhere + "/victim.txt", "keep");
  fs::create_directory_symlink(elsewhere, target + "/x");
  fs::create_symlink(elsewhere + "/victim.txt", target + "/victimlink");

  const CliRun extract = RunCli("extract " + Quote(book.Path()) + " " + Quote(target));
  EXPECT_EQ(extract.status, 1);  // x/inside.htm cannot be written: x is a link
  EXPECT_NE(extract.err.find("cannot write " + target + "/x/inside.htm: "), std::string::npos) << extract.err;
  EXPECT_EQ(ReadText(elsewhere + "/victim.txt"), "keep");
  EXPECT_FALSE(fs::exists(elsewhere + "/inside.htm"));
  EXPECT_FALSE(fs::is_symlink(target + "/victimlink"));
  EXPECT_EQ(ReadText(target + "/victimlink"), "book victim");
  EXPECT_EQ(ReadText(target + "/a.htm"), "<img src=\"p.gif\"><img src=\"q.gif\">");

  // The page's own names, planted as links: one to the victim, one dangling.
  const std::string pages = root.Path() + "/pages";
  fs::create_directories(pages);
  fs::create_symlink(elsewhere + "/victim.txt", pages + "/index0.htm");
  fs::create_symlink(elsewhere + "/created.gif", pages + "/0file.gif");
  const CliRun page = RunCli("page " + Quote(book.Path()) + " a.htm " + Quote(pages));
  EXPECT_EQ(page.status, 0) << page.err;
  EXPECT_EQ(ReadText(elsewhere + "/victim.txt"), "keep");
  EXPECT_FALSE(fs::exists(elsewhere + "/created.gif"));
  EXPECT_EQ(ReadText(pages + "/0file.gif"), "book p");
  EXPECT_NE(ReadText(pages + "/index0.htm").find("0file.gif"), std::string::npos);
}

TEST(HostileBooks, APageNamingOnePictureManyWaysWritesNoMoreThanItsBookHolds) {
  // One 2 MiB picture, stored once, named by 300 directory entries; the page
  // names each of them and the picture itself in 300 more spellings. Once a
  // copy per name, it wrote 1.2 GB.
  const std::string picture(2 << 20, 'P');
  std::string page;
  BookBuilder b;
  b.AddFile("#SYSTEM", SystemObject("", ""));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/big.png", picture, false);  // the first bytes of section 0
  for (int i = 0; i < 300; ++i) {
    const std::string folder = "d" + std::to_string(i);
    b.AddRawEntry("/" + folder + "/big.png", 0, 0, picture.size());
    page += "<img src=\"" + folder + "/big.png\"><img src=\"" + folder + "/../big.png\">";
  }
  b.AddFile("/a.htm", page);
  test::TempFile book(b.Build());
  test::TempDir dir;
  // A file size limit, so that a regression fails instead of filling the disk.
  const CliRun run =
      RunCli("page " + Quote(book.Path()) + " a.htm " + Quote(dir.Path()), "ulimit -f 262144; " + Bounds());
  EXPECT_EQ(run.status, 0) << run.err.substr(0, 200);
  EXPECT_NE(run.err.find("parts of this page were left out"), std::string::npos) << run.err.substr(0, 200);

  std::uint64_t written = 0;
  int copies = 0;
  for (const auto& entry : fs::directory_iterator(dir.Path())) {
    written += entry.file_size();
    if (entry.path().filename() != "index0.htm") ++copies;
  }
  EXPECT_LE(written, 2 * fs::file_size(book.Path()) + (1u << 20));
  EXPECT_GE(copies, 1);
  EXPECT_LE(copies, 3);
}

}  // namespace
}  // namespace tessaly
