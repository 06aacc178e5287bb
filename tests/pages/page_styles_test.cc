// Scripts and style sheets for a full HTML engine: a script named by src is
// copied like a style sheet, and a copied style sheet has its url(...) and
// @import references copied and rewritten, one level deep.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pages/page_recorder.h"

namespace tessaly {
namespace {

using test::BookBuilder;
using test::PageFixture;
using Files = std::vector<std::string>;

TEST(PageStyles, ScriptsNamedBySrcAreCopied) {
  BookBuilder b;
  b.AddFile("/api/p.htm",
            "<script type=\"text/javascript\" src=\"../scripts/branding.js\"></script>"
            "<a href=\"../scripts/branding.js\">source</a><SCRIPT SRC=../scripts/Branding.JS></SCRIPT>");
  b.AddFile("/scripts/branding.js", "function brand() { return '<b>'; }\n");
  PageFixture f(b);
  ASSERT_TRUE(f.ShowTopic("api/p.htm"));
  EXPECT_EQ(f.File("index0.htm"),
            "<script type=\"text/javascript\" src=\"0file.js\"></script>"
            "<a href=\"../scripts/branding.js\">source</a><SCRIPT SRC=0file.js></SCRIPT>");
  EXPECT_EQ(f.File("0file.js"), "function brand() { return '<b>'; }\n");
  EXPECT_EQ(test::Names(f.Files()), (Files{"0file.js", "index0.htm"}));
}

// A page with a logo and two style sheets in css/ that share images.
BookBuilder StyledBook() {
  BookBuilder b;
  b.AddFile("/p.htm", "<img src=\"logo.gif\"><link href=\"css/style.css\"><link href=\"css/second.css\">");
  b.AddFile("/logo.gif", "LOGO");
  b.AddFile("/css/style.css",
            "@import \"base.css\";\n"
            "@import url('more.css') screen;\n"
            "body { background: url(../img/bg.gif) }\n"
            ".a { background-image: url( \"img2.png\" ) }\n"
            "/* url(comment.gif) */\n"
            "@font-face { src: url(font.eot?#iefix) }\n"
            ".h { background: url(http://example.com/y.gif) }\n"
            ".d { background: url(data:image/gif;base64,AAAA) }\n"
            ".m { background: url(missing.gif) }\n"
            ".p { background: url(/IMG/bg.gif) }\n"
            ".q { background: url('../logo.gif') }\n");
  b.AddFile("/css/second.css", "h1 { background: url(\"../img/bg.gif\") }");
  b.AddFile("/css/base.css", "p { background: url(deep.gif) }");
  b.AddFile("/css/more.css", "@import 'deeper.css';");
  b.AddFile("/css/deep.gif", "DEEP");
  b.AddFile("/css/deeper.css", "x{}");
  b.AddFile("/img/bg.gif", "BG");
  b.AddFile("/css/img2.png", "PNG");
  b.AddFile("/css/font.eot", "EOT");
  b.AddFile("/css/comment.gif", "C");
  return b;
}

TEST(PageStyles, StyleSheetReferencesAreCopiedOncePerPage) {
  PageFixture f(StyledBook());
  ASSERT_TRUE(f.ShowTopic("p.htm"));
  EXPECT_EQ(f.File("index0.htm"),
            "<img src=\"0file.gif\"><link href=\"1file.css\"><link href=\"2file.css\">");
  EXPECT_EQ(f.File("1file.css"),
            "@import \"3file.css\";\n"
            "@import url('4file.css') screen;\n"
            "body { background: url(5file.gif) }\n"
            ".a { background-image: url( \"6file.png\" ) }\n"
            "/* url(comment.gif) */\n"
            "@font-face { src: url(7file.eot?#iefix) }\n"
            ".h { background: url(http://example.com/y.gif) }\n"
            ".d { background: url(data:image/gif;base64,AAAA) }\n"
            ".m { background: url(missing.gif) }\n"
            ".p { background: url(5file.gif) }\n"
            ".q { background: url('0file.gif') }\n");
  EXPECT_EQ(f.File("2file.css"), "h1 { background: url(\"5file.gif\") }");
  // One level deep: the sheets a sheet imports are copied as they are.
  EXPECT_EQ(f.File("3file.css"), "p { background: url(deep.gif) }");
  EXPECT_EQ(f.File("4file.css"), "@import 'deeper.css';");
  EXPECT_EQ(f.File("5file.gif"), "BG");
  EXPECT_EQ(f.File("6file.png"), "PNG");
  EXPECT_EQ(f.File("7file.eot"), "EOT");
  EXPECT_EQ(test::Names(f.Files()), (Files{"0file.gif", "1file.css", "2file.css", "3file.css", "4file.css",
                                           "5file.gif", "6file.png", "7file.eot", "index0.htm"}));
  EXPECT_EQ(f.cache.FileCounter(), 8u);
  // What the book lacks stays as written, without an error box.
  EXPECT_TRUE(f.platform.errors.empty());

  // The next page starts its own pairs: the same sheet gets new copies.
  f.cache.SetCurrentPagePath("");
  ASSERT_TRUE(f.cache.PreparePage("/css/../p.htm"));
  EXPECT_EQ(f.File("index1.htm"),
            "<img src=\"8file.gif\"><link href=\"9file.css\"><link href=\"10file.css\">");
  EXPECT_EQ(f.cache.FileCounter(), 16u);
  EXPECT_EQ(f.Files().size(), 9u);
}

TEST(PageStyles, ImagesOffLeavesTheImagesOfStyleSheets) {
  PageFixture f(StyledBook());
  f.platform.images = false;
  ASSERT_TRUE(f.ShowTopic("p.htm"));
  EXPECT_EQ(f.File("index0.htm"), "<ixg src=\"logo.gif\"><link href=\"0file.css\"><link href=\"1file.css\">");
  EXPECT_EQ(f.File("0file.css"),
            "@import \"2file.css\";\n"
            "@import url('3file.css') screen;\n"
            "body { background: url(../img/bg.gif) }\n"
            ".a { background-image: url( \"img2.png\" ) }\n"
            "/* url(comment.gif) */\n"
            "@font-face { src: url(4file.eot?#iefix) }\n"
            ".h { background: url(http://example.com/y.gif) }\n"
            ".d { background: url(data:image/gif;base64,AAAA) }\n"
            ".m { background: url(missing.gif) }\n"
            ".p { background: url(/IMG/bg.gif) }\n"
            ".q { background: url('../logo.gif') }\n");
  EXPECT_EQ(test::Names(f.Files()),
            (Files{"0file.css", "1file.css", "2file.css", "3file.css", "4file.eot", "index0.htm"}));
}

TEST(PageStyles, CompiledBookSheetGetsItsBackground) {
  PageFixture f(test::TestBook("basic"));
  ASSERT_TRUE(f.ShowTopic("chapter1/intro.htm"));
  EXPECT_EQ(test::Names(f.Files()), (Files{"0file.css", "1file.png", "2file.gif", "index0.htm"}));
  EXPECT_EQ(f.File("0file.css"),
            "body { font-family: sans-serif; background: url(2file.gif); }\nh1 { color: #336; }\n");
  const std::vector<std::uint8_t> bg =
      test::ReadFileBytes(std::string(TESSALY_TEST_BOOKS) + "/basic/images/bg.gif");
  EXPECT_EQ(f.File("2file.gif"), std::string(bg.begin(), bg.end()));
  EXPECT_NE(f.File("index0.htm").find("<link rel=\"stylesheet\" href=\"0file.css\">"), std::string::npos);
  EXPECT_NE(f.File("index0.htm").find("<img src=\"1file.png\">"), std::string::npos);
  EXPECT_NE(f.File("index0.htm").find("<a href=\"details.htm\">"), std::string::npos);
}

TEST(PageStyles, NamesHoldingDoubleColonsAreObjectsOfTheBook) {
  BookBuilder b;
  b.AddFile("/api/Foo::Bar.htm",
            "<link rel=stylesheet href=\"ns::Style.css\"><img src=\"Foo::Pic.gif\"><a href=\"Foo::Baz.htm\">");
  b.AddFile("/api/ns::Style.css", "p { background: url(Foo::Bg.png) }");
  b.AddFile("/api/Foo::Pic.gif", "PIC");
  b.AddFile("/api/Foo::Bg.png", "BG");
  PageFixture f(b);
  ASSERT_TRUE(f.ShowTopic("api/Foo::Bar.htm"));
  EXPECT_TRUE(f.platform.parts.empty());
  EXPECT_EQ(f.File("index0.htm"),
            "<link rel=stylesheet href=\"0file.css\"><img src=\"1file.gif\"><a href=\"Foo::Baz.htm\">");
  EXPECT_EQ(f.File("0file.css"), "p { background: url(2file.png) }");
  EXPECT_EQ(f.File("1file.gif"), "PIC");
  EXPECT_EQ(f.File("2file.png"), "BG");
}

}  // namespace
}  // namespace tessaly
