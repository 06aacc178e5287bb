// The sitemap tag scanner: tags, the malformed-tag errors, comments, quoted
// markup, attribute values, and bounds on truncated input.
#include "base/sitemap_scanner.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/book_error.h"

namespace tessaly {
namespace {

// Every tag of the input, in order (an empty last tag when the input ends
// outside a tag). The input is copied into a buffer of exactly its size so
// that a read past the end is caught by the sanitizer.
std::vector<std::string> Tags(const std::string& input) {
  auto bytes = std::make_unique<char[]>(input.size() + 1);
  std::copy(input.begin(), input.end(), bytes.get());
  const char* cursor = bytes.get();
  const char* end = cursor + input.size();
  std::vector<std::string> tags;
  std::string tag;
  while (cursor < end) {
    SitemapScanner::NextTag(cursor, end, tag);
    EXPECT_LE(cursor, end);
    tags.push_back(tag);
  }
  return tags;
}

std::string ErrorOf(const std::string& input) {
  try {
    Tags(input);
  } catch (const BookError& error) {
    return error.Message();
  }
  return "(no error)";
}

using Strings = std::vector<std::string>;

TEST(SitemapScannerTags, HandsOutTagTextAndDropsTheTextBetween) {
  EXPECT_EQ(Tags("text <UL> more <LI a=\"b\"> tail"), (Strings{"UL", "LI a=\"b\"", ""}));
  EXPECT_EQ(Tags("<A><B>"), (Strings{"A", "B"}));
  EXPECT_EQ(Tags("<>"), (Strings{""}));
  EXPECT_EQ(Tags("no tags at all"), (Strings{""}));
}

TEST(SitemapScannerTags, DoubledBracketsInsideATagStandForOne) {
  EXPECT_EQ(Tags("<a<<b>>c>"), (Strings{"a<b>c"}));
  // ">>" at the very end keeps one '>' and the tag runs to the end of input.
  EXPECT_EQ(Tags("<a>>"), (Strings{"a>"}));
}

TEST(SitemapScannerTags, ALoneOpeningBracketInsideATagIsAnError) {
  EXPECT_EQ(ErrorOf("<a<b>"), "Incorrect tag format (double '<' char):\na.");
  EXPECT_EQ(ErrorOf("<LI><OBJECT type=x <param>"),
            "Incorrect tag format (double '<' char):\nOBJECT type=x .");
  // At the very end of input there is no second '<' to pair with.
  EXPECT_EQ(ErrorOf("<ab<"), "Incorrect tag format (double '<' char):\nab.");
}

TEST(SitemapScannerTags, AClosingBracketBetweenTagsIsAnError) {
  EXPECT_EQ(ErrorOf("<UL> a > b"), "Incorrect tag format (missing '<' char):\n.");
  EXPECT_EQ(ErrorOf(">"), "Incorrect tag format (missing '<' char):\n.");
}

TEST(SitemapScannerTags, TagsHoldAtMost3000Bytes) {
  const std::string longest(3000, 'x');
  EXPECT_EQ(Tags("<" + longest + ">"), (Strings{longest}));
  const std::string tooLong = std::string(3001, 'y');
  EXPECT_EQ(ErrorOf("<" + tooLong + ">"), "Tag is too long:\n<" + std::string(50, 'y') + "...>");
  // Doubled brackets count once each toward the limit.
  EXPECT_EQ(Tags("<" + std::string(2999, 'x') + "<<>"), (Strings{std::string(2999, 'x') + "<"}));
  EXPECT_EQ(ErrorOf("<" + std::string(3000, 'x') + "<<>"),
            "Tag is too long:\n<" + std::string(50, 'x') + "...>");
}

TEST(SitemapScannerTags, InputEndingInsideATagGivesThePartialTag) {
  EXPECT_EQ(Tags("<UL><LI"), (Strings{"UL", "LI"}));
  EXPECT_EQ(Tags("<"), (Strings{""}));
}

TEST(SitemapScannerTags, CommentsAreSkippedWholeWithTheTagsTheyHold) {
  const std::string sitemap =
      "<UL>\n<!-- <LI> <OBJECT type=\"text/sitemap\">\n<param name=\"Name\" value=\"Old\">\n</OBJECT> "
      "-->\n<LI>";
  EXPECT_EQ(Tags(sitemap), (Strings{"UL", "LI"}));
  EXPECT_EQ(Tags("<!-- Sitemap 1.0 --><UL>"), (Strings{"UL"}));
  EXPECT_EQ(Tags("<!----><A>"), (Strings{"A"}));
  // A lone '<', a stray '>' and "--" inside a comment are text.
  EXPECT_EQ(Tags("<!-- a < b > c -- d --><A>"), (Strings{"A"}));
  EXPECT_EQ(Tags("<A><!-- last -->"), (Strings{"A", ""}));
}

TEST(SitemapScannerTags, AnUnclosedCommentFollowsTheTagRules) {
  EXPECT_EQ(ErrorOf("<!-- open <A>"), "Incorrect tag format (double '<' char):\n!-- open .");
  EXPECT_EQ(Tags("<!-- open >"), (Strings{"!-- open "}));
  // "<!-" is no comment opening.
  EXPECT_EQ(Tags("<!- x -->"), (Strings{"!- x --"}));
}

TEST(SitemapScannerTags, MarkupInsideDoubleQuotesIsText) {
  EXPECT_EQ(Tags("<param value=\"a<b>c\"><x>"), (Strings{"param value=\"a<b>c\"", "x"}));
  // Every quote counts, not only one after '=': the value of a real index.
  const std::string au3 = "<param name=\"Name\" value=\"@ScriptDir &amp; \"\\\" &amp; @ScriptName</i>\">";
  EXPECT_EQ(Tags(au3 + "<next>"), (Strings{au3.substr(1, au3.size() - 2), "next"}));
  // Inside quotes, doubled brackets are kept as written.
  EXPECT_EQ(Tags("<a \"<<>>\">"), (Strings{"a \"<<>>\""}));
  // After the closing quote the ordinary rules apply again.
  EXPECT_EQ(ErrorOf("<a \"x\" <b>"), "Incorrect tag format (double '<' char):\na \"x\" .");
  EXPECT_EQ(Tags("<a \"x\" <<b>"), (Strings{"a \"x\" <b"}));
  // Quotes between tags mean nothing, and each tag starts outside quotes.
  EXPECT_EQ(Tags("\" <a> \" <b>"), (Strings{"a", "b"}));
  EXPECT_EQ(ErrorOf("\" > \""), "Incorrect tag format (missing '<' char):\n.");
}

TEST(SitemapScannerTags, AnUnbalancedQuoteRunsToTheNextQuote) {
  EXPECT_EQ(Tags("<a \"b> <c \"d> <e>"), (Strings{"a \"b> <c \"d", "e"}));
  // With no closing quote the tag runs to the end of input.
  EXPECT_EQ(Tags("<a \"b> <c>"), (Strings{"a \"b> <c>"}));
}

TEST(SitemapScannerTags, NeverReadsPastTheEndOfAnyPrefix) {
  const std::string sitemap =
      "<HTML><!-- note --><UL>\n<LI> <OBJECT type=\"text/sitemap\">\n"
      "<param name=\"Name\" value=\"a &amp; \"b\" <i>\">\n<param name=\"Local\" value=\"x.htm\">\n"
      "</OBJECT>\n<LI<<x>>y>\n</UL>";
  for (std::size_t length = 0; length <= sitemap.size(); ++length) {
    SCOPED_TRACE(length);
    std::string message;
    try {
      Tags(sitemap.substr(0, length));
    } catch (const BookError& error) {
      message = error.Message();
    }
    // A cut leaves a tag open, which the scanner accepts, except just inside
    // a "<<", where the '<' is alone.
    const bool halfDoubled = sitemap.substr(0, length).ends_with("<LI<");
    EXPECT_EQ(message, halfDoubled ? "Incorrect tag format (double '<' char):\nLI." : "");
  }
}

// AttributeValue

struct Found {
  std::optional<std::size_t> position;
  std::string value;
};

Found Attribute(std::string_view tag, std::string_view name, std::size_t outSize = 3001) {
  Found found;
  found.value = "stale";
  found.position = SitemapScanner::AttributeValue(tag, name, found.value, outSize);
  return found;
}

TEST(SitemapScannerAttributes, ReadsQuotedValuesAndTheValueAfterTheName) {
  const std::string tag = "param name=\"Local\" value=\"a.htm\"";
  Found name = Attribute(tag, "param name");
  ASSERT_TRUE(name.position);
  EXPECT_EQ(name.value, "Local");
  EXPECT_EQ(*name.position, std::string("param name=\"Local\"").size());
  Found value = Attribute(std::string_view(tag).substr(*name.position), "value");
  ASSERT_TRUE(value.position);
  EXPECT_EQ(value.value, "a.htm");
  EXPECT_EQ(*name.position + *value.position, tag.size());
}

TEST(SitemapScannerAttributes, NamesMatchInAnyCaseAndUnquotedValuesEndAtASpace) {
  const std::string tag = "PARAM NAME = Name VALUE=Intro";
  Found name = Attribute(tag, "param name");
  EXPECT_EQ(name.value, "Name");
  ASSERT_TRUE(name.position);
  EXPECT_EQ(*name.position, std::string("PARAM NAME = Name").size());
  EXPECT_EQ(Attribute(std::string_view(tag).substr(*name.position), "value").value, "Intro");
}

TEST(SitemapScannerAttributes, ValueEnds) {
  EXPECT_EQ(Attribute("v=\"a,b\"", "v").value, "a,b");
  EXPECT_EQ(Attribute("v=a,b", "v").value, "a");
  EXPECT_EQ(*Attribute("v=a,b", "v").position, 3u);
  for (const char* tag : {"v=a b", "v=a\tb", "v=a\rb", "v=a\nb", "v=a>b", "v=a;b", "v=a]b"}) {
    EXPECT_EQ(Attribute(tag, "v").value, "a") << tag;
  }
  // A ',' before the value starts leaves it empty; "= \t\r\n[" are passed over.
  Found empty = Attribute("v=,x", "v");
  ASSERT_TRUE(empty.position);
  EXPECT_EQ(empty.value, "");
  EXPECT_EQ(Attribute("v= \t\r\n[=[x]", "v").value, "x");
  // Quoted values keep '>', ',' and spaces; single quotes are no quotes.
  EXPECT_EQ(Attribute("v=\" a > b, c \"", "v").value, " a > b, c ");
  EXPECT_EQ(Attribute("v='x y'", "v").value, "'x");
  EXPECT_EQ(Attribute("v='x'", "v").value, "'x'");
  // A quoted value without its closing quote runs to the end of the tag.
  Found open = Attribute("v=\"abc", "v");
  EXPECT_EQ(open.value, "abc");
  EXPECT_EQ(*open.position, 6u);
  // Nothing after the '='.
  Found nothing = Attribute("v=", "v");
  ASSERT_TRUE(nothing.position);
  EXPECT_EQ(nothing.value, "");
  EXPECT_EQ(*nothing.position, 2u);
}

TEST(SitemapScannerAttributes, AbsentAttributesGiveNoneAndAnEmptyValue) {
  Found absent = Attribute("param name=\"Name\"", "value");
  EXPECT_FALSE(absent.position);
  EXPECT_EQ(absent.value, "");
  // The name must be followed by '=' after spaces, quotes, ';' or '/'.
  EXPECT_FALSE(Attribute("a title=\"value\"", "value").position);
  EXPECT_FALSE(Attribute("value", "value").position);
  EXPECT_EQ(Attribute("name=\"value of x\" value=\"y\"", "value").value, "y");
  EXPECT_EQ(Attribute("value \t= z", "value").value, "z");
  // The search for '=' passes over '/', the value reading does not.
  EXPECT_EQ(Attribute("value /= z", "value").value, "/=");
  EXPECT_EQ(Attribute("valuevalue=w", "value").value, "w");
}

TEST(SitemapScannerAttributes, ValuesAreDecodedAndCut) {
  EXPECT_EQ(Attribute("value=\"Chapter 2 &amp; frames\"", "value").value, "Chapter 2 & frames");
  EXPECT_EQ(Attribute("value=\"&amp;lt;\"", "value").value, "<");
  EXPECT_EQ(Attribute("value=\"abcdef\"", "value", 4).value, "abc");
  EXPECT_EQ(Attribute("value=\"abcdef\"", "value", 1).value, "");
  EXPECT_EQ(Attribute("value=\"abcdef\"", "value", 0).value, "");
  // Decoding comes before the cut: "&amp;" takes one byte of the buffer.
  EXPECT_EQ(Attribute("value=\"&amp;&amp;x\"", "value", 3).value, "&&");
}

TEST(SitemapScannerAttributes, CollectsAtMost3000BytesButScansTheWholeValue) {
  const std::string tag = "value=\"" + std::string(3500, 'v') + "\" next=1";
  Found found = Attribute(tag, "value", 5000);
  EXPECT_EQ(found.value, std::string(3000, 'v'));
  ASSERT_TRUE(found.position);
  EXPECT_EQ(*found.position, 3500u + 8);
  // Entities beyond the first 3000 bytes are gone before decoding.
  const std::string cut = "value=\"" + std::string(2998, 'a') + "&amp;\"";
  EXPECT_EQ(Attribute(cut, "value", 5000).value, std::string(2998, 'a') + "&a");
}

TEST(SitemapScannerAttributes, ATagEndsAtItsFirstNul) {
  const std::string tag = std::string("x=1\0value=2", 11);
  EXPECT_FALSE(Attribute(tag, "value").position);
}

}  // namespace
}  // namespace tessaly
