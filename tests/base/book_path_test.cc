#include "base/book_path.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessaly {
namespace {

std::string Normalized(std::string path) {
  NormalizeBookPath(path);
  return path;
}

TEST(LinkPathTest, SamplePaths) {
  EXPECT_EQ(Normalized("\"/Help/./sub//page.htm\" "), "Help/sub/page.htm");
  EXPECT_EQ(Normalized("../../a/b/../c.htm"), "a/c.htm");
  EXPECT_EQ(Normalized("a/../b.htm"), "b.htm");
  EXPECT_EQ(Normalized("a/b/.."), "a/b/..");
  EXPECT_EQ(Normalized("My%20Page.htm#top"), "My Page.htm#top");
  EXPECT_EQ(Normalized("100%25.htm"), "100%.htm");
  EXPECT_EQ(Normalized("a%2"), "a%2");
  EXPECT_EQ(Normalized("%2E%2E/x.htm"), "../x.htm");
  EXPECT_EQ(Normalized("other.chm::/page.htm"), "other.chm::/page.htm");
}

TEST(LinkPathTest, LeadingDotsAndSlashes) {
  EXPECT_EQ(Normalized(""), "");
  EXPECT_EQ(Normalized("/"), "");
  EXPECT_EQ(Normalized("//////"), "");
  EXPECT_EQ(Normalized("/../x.htm"), "x.htm");
  EXPECT_EQ(Normalized("./.././/x"), "x");
  EXPECT_EQ(Normalized("../../../../a"), "a");
  EXPECT_EQ(Normalized(".../x"), ".../x");
  EXPECT_EQ(Normalized(".."), "..");
  EXPECT_EQ(Normalized("."), ".");
  EXPECT_EQ(Normalized("./"), ".");  // the trailing '/' is trimmed first
}

TEST(LinkPathTest, CollapsingSteps) {
  EXPECT_EQ(Normalized("a//.//b"), "a/b");
  EXPECT_EQ(Normalized("a/./././b"), "a/b");
  EXPECT_EQ(Normalized("a/b/../../../c"), "../c");
  EXPECT_EQ(Normalized("a/../../../b"), "b");  // a leading ".." component is folded like any other
  EXPECT_EQ(Normalized("x/.../../y"), "x/y");
  EXPECT_EQ(Normalized("a/b/c/../../d.htm"), "a/d.htm");
  EXPECT_EQ(Normalized("a/b/./../c"), "a/c");
  EXPECT_EQ(Normalized("a/..b/c"), "a/..b/c");
  EXPECT_EQ(Normalized("dir\\sub/../p.htm"), "p.htm");  // only '/' separates here
}

TEST(LinkPathTest, PercentEscapes) {
  EXPECT_EQ(Normalized("%"), "%");
  EXPECT_EQ(Normalized("a%"), "a%");
  EXPECT_EQ(Normalized("%41%42"), "AB");
  EXPECT_EQ(Normalized("%4a%4A"), "JJ");
  EXPECT_EQ(Normalized("%2541"), "%41");  // not decoded again
  // A '%' without two hex digits after it is part of the name.
  EXPECT_EQ(Normalized("%%41"), "%A");
  EXPECT_EQ(Normalized("%zz"), "%zz");
  EXPECT_EQ(Normalized("50%off.htm"), "50%off.htm");
  EXPECT_EQ(Normalized("%41%"), "A%");
  EXPECT_EQ(Normalized("%E9t%e9"), "\xE9t\xE9");
  EXPECT_EQ(Normalized("%\xE9" "A"), "%\xE9" "A");
  EXPECT_EQ(Normalized("%0\xFF"), "%0\xFF");
  EXPECT_EQ(Normalized("a%00b.htm"), "a");  // a decoded NUL ends the path
  EXPECT_EQ(Normalized("x%2F..%2Fy"), "x/../y");  // decoding comes after collapsing
}

TEST(LinkPathTest, NulEndsTheInput) {
  EXPECT_EQ(Normalized(std::string("/a.htm\0/b.htm", 13)), "a.htm");
}

// The steps written out literally: every rewrite searches again from the
// start of the path.
std::string ReferenceNormalize(std::string p) {
  const std::string trim = " \t\r\n\"';/";
  while (!p.empty() && trim.find(p.front()) != std::string::npos) p.erase(0, 1);
  while (!p.empty() && trim.find(p.back()) != std::string::npos) p.pop_back();
  for (bool again = true; again;) {
    again = false;
    if (p.rfind("/", 0) == 0) {
      p.erase(0, 1);
      again = true;
    }
    if (p.rfind("./", 0) == 0) {
      p.erase(0, 2);
      again = true;
    }
    if (p.rfind("../", 0) == 0) {
      p.erase(0, 3);
      again = true;
    }
  }
  for (std::size_t at = p.find("//"); at != std::string::npos; at = p.find("//")) p.replace(at, 2, "/");
  for (std::size_t at = p.find("/./"); at != std::string::npos; at = p.find("/./")) p.replace(at, 3, "/");
  for (std::size_t at = p.find("/../"); at != std::string::npos && at != 0; at = p.find("/../")) {
    const std::string before = p.substr(0, at);
    const std::string after = p.substr(at + 4);
    const std::size_t slash = before.rfind('/');
    p = (slash == std::string::npos ? std::string() : before.substr(0, slash + 1)) + after;
  }
  const std::string digits = "0123456789abcdef";
  auto value = [&digits](char c) {
    const std::size_t at = digits.find(c >= 'A' && c <= 'F' ? static_cast<char>(c + 32) : c);
    return at == std::string::npos ? -1 : static_cast<int>(at);
  };
  for (std::size_t at = p.find('%'); at != std::string::npos; at = p.find('%', at)) {
    if (p.size() - at < 3) break;
    if (value(p[at + 1]) < 0 || value(p[at + 2]) < 0) {
      ++at;  // no escape: the '%' stays
      continue;
    }
    const char decoded = static_cast<char>(16 * value(p[at + 1]) + value(p[at + 2]));
    p.replace(at, 3, 1, decoded);
    if (decoded == '\0') {
      p.resize(at);
      break;
    }
    ++at;
  }
  return p;
}

TEST(LinkPathTest, MatchesTheLiteralStepsOnRandomPaths) {
  const std::string alphabet = "/./../a%2E5 \"x\xC9\xFF";
  const std::vector<std::string> pieces = {"/", ".", "..", "./", "../", "/../", "/./", "//", "a", "b",
                                           "%2", "%2E", "%25", "%2F", " ", "'", "%", "E", "\xE9", "%\x80"};
  unsigned state = 77;
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return state >> 16;
  };
  for (int round = 0; round < 30000; ++round) {
    std::string path;
    const unsigned length = next() % 10;
    for (unsigned i = 0; i < length; ++i) {
      if (round % 2 == 0) {
        path += pieces[next() % pieces.size()];
      } else {
        path += alphabet[next() % alphabet.size()];
      }
    }
    ASSERT_EQ(Normalized(path), ReferenceNormalize(path)) << "input: [" << path << "]";
  }
}

TEST(LinkPathTest, LongPathsWithManyParentSegments) {
  std::string up;
  for (int i = 0; i < 100000; ++i) up += "../";
  EXPECT_EQ(Normalized(up + "x.htm"), "x.htm");

  std::string deep;
  for (int i = 0; i < 50000; ++i) deep += "d/";
  for (int i = 0; i < 50000; ++i) deep += "../";
  EXPECT_EQ(Normalized(deep + "x.htm"), "x.htm");
  EXPECT_EQ(Normalized(deep + "../x.htm"), "../x.htm");

  std::string mixed;
  for (int i = 0; i < 300; ++i) mixed += (i % 3 == 0) ? "a/../" : (i % 3 == 1) ? "b/./" : "c//";
  EXPECT_EQ(Normalized(mixed + "z"), ReferenceNormalize(mixed + "z"));
}

TEST(LinkPathTest, FileExtension) {
  EXPECT_EQ(FileExtension("page.HTML#Intro"), ".html");
  EXPECT_TRUE(IsHtmlPage("page.HTML#Intro"));
  EXPECT_EQ(FileExtension("page.htm?x=1"), ".htm?x=1");
  EXPECT_FALSE(IsHtmlPage("page.htm?x=1"));
  EXPECT_EQ(FileExtension("dir.bak/page"), ".bak/page");
  EXPECT_EQ(FileExtension("noext"), "");
  EXPECT_EQ(FileExtension(""), "");
  EXPECT_EQ(FileExtension("a.abcdefghijklmnop"), ".abcdefghi");  // at most 10 bytes
  EXPECT_EQ(FileExtension("page.htm#sec.2"), ".2");              // last '.' of the whole path
  EXPECT_EQ(FileExtension("page.htm#"), ".htm");
  EXPECT_EQ(FileExtension(std::string_view("a.htm\0.gif", 10)), ".htm");
  EXPECT_EQ(FileExtension("IMG.GIF"), ".gif");
  EXPECT_EQ(FileExtension("x."), ".");
}

TEST(LinkPathTest, IsHtmlPage) {
  EXPECT_TRUE(IsHtmlPage("a/b.htm"));
  EXPECT_TRUE(IsHtmlPage("B.HTM#x"));
  EXPECT_TRUE(IsHtmlPage(".html"));
  EXPECT_FALSE(IsHtmlPage("a.htmx"));
  EXPECT_FALSE(IsHtmlPage("a.ht"));
  EXPECT_FALSE(IsHtmlPage("style.css"));
  EXPECT_FALSE(IsHtmlPage("htm"));
  EXPECT_FALSE(IsHtmlPage("a.htm/b"));
}

TEST(LinkPathTest, DirectoryPart) {
  EXPECT_EQ(DirectoryPart("a\\b/c.htm"), "a\\");
  EXPECT_EQ(DirectoryPart("c.htm"), "");
  EXPECT_EQ(DirectoryPart("a/b/c.htm"), "a/b/");
  EXPECT_EQ(DirectoryPart("a/b/"), "a/b/");
  EXPECT_EQ(DirectoryPart("/"), "/");
  EXPECT_EQ(DirectoryPart(""), "");
  EXPECT_EQ(DirectoryPart("x\\y\\z"), "x\\y\\");
  EXPECT_EQ(DirectoryPart(std::string_view("a/b\0/c", 6)), "a/");
}

}  // namespace
}  // namespace tessaly
