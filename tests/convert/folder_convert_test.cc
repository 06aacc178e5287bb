// convert --html and --markdown: a book taken out as a folder whose links all
// work, with its names kept where they are safe, its text in UTF-8, and
// nothing written outside the folder or past the book's content.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/book_builder.h"
#include "support/chm_builder.h"
#include "support/link_walk.h"
#include "support/run_cli.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;
using test::CliRun;
using test::Quote;
using test::RunCli;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += line + "\n";
  return all;
}

std::string System() {
  std::string system("\x03\0\0\0", 4);
  const std::string topic = "a.htm";
  system += std::string("\x02\0", 2) + static_cast<char>(topic.size() + 1) + '\0' + topic + '\0';
  return system;
}

TEST(ConvertFolder, HtmlFolderKeepsItsNamesAndEveryLinkLeadsToAFileBesideIt) {
  test::TempDir root;
  const std::string out = root.Path() + "/out";
  const CliRun run = RunCli("convert " + Quote(test::TestBook("convert")) + " " + Quote(out) + " --html");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, out + ": 6 pages, 13 files\n");

  const std::set<std::string> files = test::FilesBelow(out);
  for (const char* name : {"index.html", "index.htm", "my page.htm", "dir/a#b.htm", "ünï/côde.htm", "escape.htm",
                           "hidden.htm", "style.css", "pics/logo.gif"})
    EXPECT_EQ(files.count(name), 1u) << name;
  EXPECT_FALSE(fs::exists(root.Path() + "/escape.htm"));
  EXPECT_EQ(Joined(test::BrokenLinks(out)), "");
  // The index page reaches every page, the one no contents entry names too.
  const std::set<std::string> reached = test::Reachable(out, "index.html");
  for (const std::string& file : files) {
    if (file.ends_with(".htm")) {
      EXPECT_EQ(reached.count(file), 1u) << file;
    }
  }

  const std::string index = ReadText(out + "/index.htm");
  for (const char* gone : {"javascript:", "file:", "missing.htm", "charset=\"windows"})
    EXPECT_EQ(index.find(gone), std::string::npos) << gone;
  EXPECT_NE(index.find("href=\"http://example.com/\""), std::string::npos);
  EXPECT_NE(index.find("<b>bold <i>both</i></b>"), std::string::npos);  // the parser closed what the page left open
  EXPECT_NE(ReadText(out + "/ünï/côde.htm").find("Ünïcödé text: 日本語 Русский"), std::string::npos);
}

TEST(ConvertFolder, MarkdownHasOnePagePerFileWithTitleAndLinksToTheOtherFiles) {
  test::TempDir root;
  const CliRun run = RunCli("convert " + Quote(test::TestBook("convert")) + " " + Quote(root.Path()) + " --markdown");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Joined(test::BrokenLinks(root.Path())), "");
  const std::set<std::string> reached = test::Reachable(root.Path(), "index.md");
  for (const char* page : {"index-1.md", "my page.md", "dir/a#b.md", "ünï/côde.md", "escape.md", "hidden.md"})
    EXPECT_EQ(reached.count(page), 1u) << page;
  EXPECT_EQ(ReadText(root.Path() + "/my page.md"),
            "---\ntitle: \"My page\"\nsource: \"my page.htm\"\n---\n\n"
            "Back to [the start](<index-1.md#sec2>).\n\n```\ncode  block\n```\n");
}

TEST(ConvertFolder, UsageNamesWhatToWrite) {
  for (const char* args : {"convert book.chm out", "convert book.chm out --html --markdown", "convert book.chm"}) {
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_NE(run.err.find("Usage: tessaly-cli convert"), std::string::npos) << args;
  }
}

// Book text in a Chinese, a Russian and a Japanese code page reaches every
// output (HTML, Markdown, EPUB) as UTF-8 in that script.
TEST(ConvertFolder, CorpusBooksKeepTheirScriptInEveryOutput) {
  struct Case {
    const char* book;
    char32_t first, last;  // a block of the book's script
    std::size_t atLeast;
  };
  const Case cases[] = {
      {"xwxbug-autoit-cn-adfs3.chm", 0x4E00, 0x9FFF, 4000},            // code page 936
      {"xtreme3d-xtreme3d-help-en-old.chm", 0x0400, 0x04FF, 2000},     // 1251
      {"aki426-gaucheofflinehelp-gauche-refman-ja.chm", 0x3040, 0x30FF, 200000},  // 932
  };
  const std::string corpus = std::string(TESSALY_CORPUS) + "/files/";
  if (!fs::exists(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
  for (const Case& c : cases) {
    for (const std::string format : {"--html", "--markdown", "book.epub"}) {
      test::TempDir root;
      const bool epub = format == "book.epub";
      const std::string out = epub ? root.Path() + "/" + format : root.Path();
      const CliRun run = RunCli("convert " + Quote(corpus + c.book) + " " + Quote(out) + (epub ? "" : " " + format));
      ASSERT_EQ(run.status, 0) << c.book << " " << run.err;
      if (epub) {
        ASSERT_EQ(std::system(("unzip -qq " + Quote(out) + " -d " + Quote(root.Path())).c_str()), 0);
      }
      std::size_t found = 0;
      for (const std::string& file : test::FilesBelow(root.Path())) {
        if (!file.ends_with(".htm") && !file.ends_with(".html") && !file.ends_with(".md") && !file.ends_with(".xhtml"))
          continue;
        const std::string text = ReadText(root.Path() + "/" + file);
        for (std::size_t i = 0; i < text.size();) {
          const auto b = static_cast<unsigned char>(text[i]);
          const std::size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
          ASSERT_LE(i + n, text.size()) << file << " ends inside a character";
          char32_t cp = n == 1 ? b : b & (0xFF >> (n + 1));
          for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
          found += cp >= c.first && cp <= c.last;
          i += n;
        }
      }
      EXPECT_GE(found, c.atLeast) << c.book << " " << format;
    }
  }
}

// A book whose names climb out of the folder, and a target with a link
// planted where the book has a folder.
TEST(ConvertFolder, AHostileBookWritesNothingOutsideTheTarget) {
  test::BookBuilder b;
  b.AddFile("#SYSTEM", System());
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/a.htm", "<a href=\"../../../../etc/passwd\">up</a><img src=\"/../x/inside.htm\">");
  b.AddFile("/../../evil.htm", "climbs");
  b.AddFile("/x/inside.htm", "inside");
  test::TempFile book(b.Build());
  test::TempDir root;
  const std::string elsewhere = root.Path() + "/elsewhere";
  const std::string target = root.Path() + "/a/b/target";
  fs::create_directories(elsewhere);
  fs::create_directories(target);
  fs::create_directory_symlink(elsewhere, target + "/x");

  for (const char* format : {"--html", "--markdown"}) {
    const CliRun run = RunCli("convert " + Quote(book.Path()) + " " + Quote(target) + " " + format);
    EXPECT_EQ(run.status, 1) << format;  // x is a link: its file is refused
    EXPECT_NE(run.err.find("Can't write " + target + "/x"), std::string::npos) << run.err;
    EXPECT_TRUE(fs::is_empty(elsewhere));
  }
  fs::remove(target + "/x");
  const CliRun run = RunCli("convert " + Quote(book.Path()) + " " + Quote(target) + " --html");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(ReadText(target + "/_../_../evil.htm").find("<p>climbs</p>"), std::string::npos);
  EXPECT_EQ(test::FilesBelow(root.Path() + "/a").count("evil.htm"), 0u);
  EXPECT_FALSE(fs::exists(root.Path() + "/evil.htm"));
  const std::string page = ReadText(target + "/a.htm");
  EXPECT_EQ(page.find("passwd"), std::string::npos) << page;
  EXPECT_NE(page.find("src=\"x/inside.htm\""), std::string::npos) << page;
}

// Links as real books write them into their own pages ("Class::Member.htm",
// a page whose name holds "::"; an ms-its: address of the book itself with a
// fragment), and a picture stored once under two names: in the folder both
// names are files, in the EPUB the picture is carried once.
TEST(ConvertFolder, LinksIntoTheBookItselfAndAPictureWithTwoNamesReachTheirTargets) {
  const std::string gif = "GIF89a" + std::string(64, '\x01');
  test::TempFile book(std::string("later"));
  const std::string bookName = fs::path(book.Path()).filename().string();
  test::BookBuilder b;
  b.AddFile("/pic.gif", gif);
  b.AddRawEntry("/copy.gif", 1, 0, static_cast<std::uint32_t>(gif.size()));
  b.AddFile("#SYSTEM", System());
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/a.htm", "<a href=\"Class::Member.htm\">m</a> <a href=\"ms-its:" + bookName +
                          "::/Class::Member.htm#part\">p</a><img src=\"copy.gif\"><img src=\"pic.gif\">");
  b.AddFile("/Class::Member.htm", "<h1 id=\"part\">Member</h1><a href=\"a.htm\">back</a>");
  book.Rewrite(b.Build());
  test::TempDir root;

  const CliRun html = RunCli("convert " + Quote(book.Path()) + " " + Quote(root.Path() + "/html") + " --html");
  ASSERT_EQ(html.status, 0) << html.err;
  EXPECT_EQ(Joined(test::BrokenLinks(root.Path() + "/html")), "");
  const std::string page = ReadText(root.Path() + "/html/a.htm");
  EXPECT_NE(page.find("href=\"Class%3A%3AMember.htm\""), std::string::npos) << page;
  EXPECT_NE(page.find("href=\"Class%3A%3AMember.htm#part\""), std::string::npos) << page;
  EXPECT_EQ(ReadText(root.Path() + "/html/copy.gif"), gif);

  const CliRun epub = RunCli("convert " + Quote(book.Path()) + " " + Quote(root.Path() + "/b.epub"));
  ASSERT_EQ(epub.status, 0) << epub.err;
  ASSERT_EQ(std::system(("unzip -qq " + Quote(root.Path() + "/b.epub") + " -d " + Quote(root.Path() + "/epub")).c_str()), 0);
  EXPECT_EQ(Joined(test::BrokenLinks(root.Path() + "/epub/OEBPS")), "");
  EXPECT_NE(ReadText(root.Path() + "/epub/OEBPS/text/p1.xhtml").find("href=\"p2.xhtml#part\""), std::string::npos);
  EXPECT_EQ(std::distance(fs::directory_iterator(root.Path() + "/epub/OEBPS/res"), fs::directory_iterator()), 1);
}

// A directory that names the same stored megabyte thousands of times.
TEST(ConvertFolder, OutputStopsAtItsBudgetForABookThatRepeatsItsContent) {
  test::BookBuilder b;
  b.AddFile("/big.bin", std::string(1 << 20, 'x'));
  b.AddFile("#SYSTEM", System());
  b.AddFile("#STRINGS", std::string(1, '\0'));
  for (int i = 0; i < 4000; ++i) b.AddRawEntry("/copy" + std::to_string(i) + ".bin", 1, 0, 1 << 20);
  test::TempFile book(b.Build());
  test::TempDir root;
  const CliRun run = RunCli("convert " + Quote(book.Path()) + " " + Quote(root.Path()) + " --html");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("The output would pass"), std::string::npos) << run.err;
  std::uintmax_t written = 0;
  for (const std::string& file : test::FilesBelow(root.Path())) written += fs::file_size(root.Path() + "/" + file);
  EXPECT_LT(written, 64u << 20);
}

}  // namespace
}  // namespace tessaly
