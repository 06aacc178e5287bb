#include "pages/pages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessaly {
namespace {

// Renames every path to "<path>!" and records what it was asked.
struct Recorder {
  std::vector<std::string> asked;
  std::string Rewrite(std::string_view css) {
    return RewriteCssReferences(css, [this](std::string_view path) -> std::optional<std::string> {
      asked.emplace_back(path);
      return "[" + std::string(path) + "]";
    });
  }
};

TEST(CssRefs, UrlQuotedOrBare) {
  Recorder r;
  EXPECT_EQ(r.Rewrite("a{background:url(img/a.gif)} b{background:URL( \"b.png\" )} c{x:url('c d.jpg')}"),
            "a{background:url([img/a.gif])} b{background:URL( \"[b.png]\" )} c{x:url('[c d.jpg]')}");
  EXPECT_EQ(r.asked, (std::vector<std::string>{"img/a.gif", "b.png", "c d.jpg"}));
}

TEST(CssRefs, ImportWithStringOrUrl) {
  Recorder r;
  EXPECT_EQ(r.Rewrite("@import \"base.css\";\n@IMPORT url(more.css) screen;\n@import 'x.css';"),
            "@import \"[base.css]\";\n@IMPORT url([more.css]) screen;\n@import '[x.css]';");
  EXPECT_EQ(r.asked, (std::vector<std::string>{"base.css", "more.css", "x.css"}));
}

TEST(CssRefs, QueryAndFragmentStayAfterTheNewName) {
  Recorder r;
  EXPECT_EQ(r.Rewrite("src:url(font.eot?#iefix) url(f.svg#face)"),
            "src:url([font.eot]?#iefix) url([f.svg]#face)");
  EXPECT_EQ(r.asked, (std::vector<std::string>{"font.eot", "f.svg"}));
}

TEST(CssRefs, CommentsEmptyValuesAndOtherWordsAreSkipped) {
  Recorder r;
  const std::string css =
      "/* url(comment.gif) @import \"c.css\"; */ a{b:myurl(x.gif)} c{d:url()} e{f:url(  )} g{h:url(#frag)}";
  EXPECT_EQ(r.Rewrite(css), css);
  EXPECT_TRUE(r.asked.empty());
}

TEST(CssRefs, UnterminatedInputEndsTheScan) {
  for (const std::string css : {"a{b:url(x.gif", "a{b:url(\"x.gif)}", "@import 'x.css", "/* url(a.gif)",
                                "url(", "@import", "@import   "}) {
    Recorder r;
    EXPECT_EQ(r.Rewrite(css), css) << css;
    EXPECT_TRUE(r.asked.empty()) << css;
  }
}

TEST(CssRefs, NulloptLeavesTheReferenceAndBytesOutsideAreKept) {
  const std::string css = std::string("\xff\x00 a{b:url(keep.gif)} c{d:url(new.gif)}\x80", 40);
  const std::string out = RewriteCssReferences(css, [](std::string_view path) -> std::optional<std::string> {
    if (path == "new.gif") return std::string("7file.gif");
    return std::nullopt;
  });
  EXPECT_EQ(out, std::string("\xff\x00 a{b:url(keep.gif)} c{d:url(7file.gif)}\x80", 42));
}

}  // namespace
}  // namespace tessaly
