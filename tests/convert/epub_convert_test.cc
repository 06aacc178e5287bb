// convert OUT.epub: an EPUB 3 book that epubcheck accepts, with every page of
// the book in reading order, its links and pictures working, and its text in
// UTF-8.
#include <gtest/gtest.h>
#include <libxml/parser.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "support/chm_builder.h"
#include "support/link_walk.h"
#include "support/run_cli.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
constexpr bool kSanitized = false;
#endif

using test::CliRun;
using test::Quote;
using test::RunCli;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Converts the book and unpacks the archive into dir/unpacked.
void ConvertAndUnpack(const std::string& book, const std::string& dir) {
  const CliRun run = RunCli("convert " + Quote(book) + " " + Quote(dir + "/book.epub"));
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(std::system(("unzip -qq " + Quote(dir + "/book.epub") + " -d " + Quote(dir + "/unpacked")).c_str()), 0);
}

TEST(ConvertEpub, EveryPageInReadingOrderWithItsLinksAndPictures) {
  test::TempDir dir;
  ASSERT_NO_FATAL_FAILURE(ConvertAndUnpack(test::TestBook("convert"), dir.Path()));
  // The mimetype entry first, stored, with no extra field.
  const std::string archive = ReadText(dir.Path() + "/book.epub");
  EXPECT_EQ(archive.substr(0, 4), "PK\x03\x04");
  EXPECT_EQ(archive.substr(8, 2), std::string(2, '\0'));  // stored
  EXPECT_EQ(archive.substr(28, 2), std::string(2, '\0'));  // no extra field
  EXPECT_EQ(archive.substr(30, 28), "mimetypeapplication/epub+zip");

  const std::string root = dir.Path() + "/unpacked/OEBPS";
  const std::string opf = ReadText(root + "/content.opf");
  EXPECT_NE(opf.find("<dc:title>Convert test book</dc:title>"), std::string::npos);
  EXPECT_NE(opf.find("<dc:language>en-US</dc:language>"), std::string::npos);
  // The spine: the pages the contents name in their order, then the page no
  // entry names, then the keyword index.
  std::vector<std::string> titles;
  static const std::regex kItemref("<itemref idref=\"p(\\d+)\"/>");
  for (std::sregex_iterator m(opf.begin(), opf.end(), kItemref), end; m != end; ++m) {
    const std::string page = ReadText(root + "/text/p" + (*m)[1].str() + ".xhtml");
    const std::size_t start = page.find("<title>") + 7;
    titles.push_back(page.substr(start, page.find("</title>") - start));
  }
  EXPECT_EQ(titles, (std::vector<std::string>{"Welcome", "A page with a space", "Hash", "Code", "Escape",
                                              "Hidden page"}));
  EXPECT_NE(opf.find("<itemref idref=\"keywords\"/>"), std::string::npos);

  EXPECT_EQ(test::BrokenLinks(root), std::vector<std::string>{});
  const std::set<std::string> files = test::FilesBelow(root);
  for (const std::string& file : files) {
    if (!file.ends_with(".xhtml")) continue;
    const std::string xhtml = ReadText(root + "/" + file);
    xmlDocPtr doc = xmlReadMemory(xhtml.data(), static_cast<int>(xhtml.size()), nullptr, nullptr,
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    EXPECT_NE(doc, nullptr) << file << " is not well-formed";
    xmlFreeDoc(doc);
  }
  const std::string welcome = ReadText(root + "/text/p1.xhtml");
  EXPECT_NE(welcome.find("<img src=\"../res/"), std::string::npos) << welcome;
  EXPECT_NE(welcome.find("href=\"p3.xhtml#part\""), std::string::npos) << welcome;
  EXPECT_NE(welcome.find("href=\"http://example.com/\""), std::string::npos);
  for (const char* gone : {"javascript:", "file:", "missing.htm", "<font"}) EXPECT_EQ(welcome.find(gone), std::string::npos) << gone;
  EXPECT_NE(ReadText(root + "/text/p4.xhtml").find("日本語 Русский"), std::string::npos);
  const std::string nav = ReadText(root + "/nav.xhtml");
  EXPECT_NE(nav.find("<li><a href=\"text/p1.xhtml\">Welcome</a><ol><li><a href=\"text/p2.xhtml\">A page with a space</a>"),
            std::string::npos)
      << nav;
  EXPECT_NE(ReadText(root + "/text/keywords.xhtml").find("<a href=\"p2.xhtml\">space</a>"), std::string::npos);
}

TEST(ConvertEpub, ALinkStandingAtTheOutputIsReplacedNotFollowed) {
  test::TempDir dir;
  const std::string victim = dir.Path() + "/victim.txt";
  std::ofstream(victim) << "keep";
  fs::create_symlink(victim, dir.Path() + "/book.epub");
  const CliRun run = RunCli("convert " + Quote(test::TestBook("convert")) + " " + Quote(dir.Path() + "/book.epub"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadText(victim), "keep");
  EXPECT_FALSE(fs::is_symlink(dir.Path() + "/book.epub"));
}

// Every corpus book converted, and all of them checked by epubcheck in one
// Java process (its schemas load once): no error, no fatal error.
TEST(ConvertEpub, EveryCorpusBookPassesEpubcheck) {
  const std::string corpus = std::string(TESSALY_CORPUS) + "/files";
  const std::string checker = "/usr/share/java/epubcheck.jar";
  if (!fs::exists(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
  // The other builds check the same output; this one would take minutes more.
  if (kSanitized) GTEST_SKIP() << "epubcheck runs in the builds without sanitizers";
  if (!fs::exists(checker) || std::system("java -version >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "epubcheck or java is missing (apt-get install epubcheck)";
  test::TempDir dir;
  std::string books;
  std::size_t count = 0;
  for (const auto& entry : fs::directory_iterator(corpus)) {
    const std::string out = dir.Path() + "/" + entry.path().stem().string() + ".epub";
    const CliRun run = RunCli("convert " + Quote(entry.path().string()) + " " + Quote(out));
    ASSERT_EQ(run.status, 0) << entry.path() << ": " << run.err;
    books += " " + Quote(out);
    ++count;
  }
  const std::string program = std::string(TESSALY_TEST_BOOKS) + "/../convert/epubcheck_books.java";
  const std::string report = dir.Path() + "/epubcheck.txt";
  std::system(("timeout 900 java -XX:+UseSerialGC -cp " + checker + " " + Quote(program) + books + " > " +
               Quote(report) + " 2>&1")
                  .c_str());
  const std::string text = ReadText(report);
  static const std::regex kChecked("CHECKED (\\S+) (\\d+)");
  std::size_t checked = 0;
  for (std::sregex_iterator m(text.begin(), text.end(), kChecked), end; m != end; ++m, ++checked)
    EXPECT_EQ((*m)[2].str(), "0") << (*m)[1].str();
  EXPECT_EQ(checked, count);
  static const std::regex kProblem("(ERROR|FATAL)\\([^\\n]*");
  for (std::sregex_iterator m(text.begin(), text.end(), kProblem), end; m != end; ++m) ADD_FAILURE() << m->str();
}

}  // namespace
}  // namespace tessaly
