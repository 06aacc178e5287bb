#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "base/text.h"

namespace tessaly {
namespace {

// The HTML 4 Latin-1 entity names, 0xA0 to 0xFF, written out independently
// of the decoder's table.
const char* const kLatin1Names[96] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",    "copy",
    "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn", "sup2",   "sup3",
    "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12",
    "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil",
    "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave", "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde",
    "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",
    "Uuml",   "Yacute", "THORN",  "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",
    "aelig",  "ccedil", "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",
    "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
    "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};

// The expected table, in the order its rows are tried.
std::vector<std::pair<std::string, unsigned char>> ExpectedRows() {
  std::vector<std::pair<std::string, unsigned char>> rows = {
      {"&nbsp;", 0x20},   {"&quot;", 0x22},  {"&amp;", 0x26},   {"&lt;", 0x3C},    {"&gt;", 0x3E},
      {"&sbquo;", 0x82},  {"&dbquo;", 0x84}, {"&dagger;", 0x86}, {"&Dagger;", 0x87}, {"&permil;", 0x89},
      {"&lsaquo;", 0x8B}, {"&lsquo;", 0x91}, {"&rsquo;", 0x92},  {"&ldquo;", 0x93},  {"&rdquo;", 0x94},
      {"&ndash;", 0x96},  {"&mdash;", 0x97}, {"&tilde;", 0x98},  {"&trade;", 0x99},  {"&rsaquo;", 0x9B},
      {"&Yuml;", 0x9F}};
  for (int code = 0xA0; code <= 0xFF; ++code) {
    if (code == 0xAD || code == 0xB4 || code == 0xBF) continue;
    const std::string name = code == 0xD0 ? "Dstrok" : kLatin1Names[code - 0xA0];
    rows.emplace_back("&" + name + ";", static_cast<unsigned char>(code));
  }
  return rows;
}

std::string Decoded(std::string text) {
  DecodeEntities(text);
  return text;
}

TEST(EntitiesTest, TableMatchesTheExpectedRowsInOrder) {
  const auto rows = ExpectedRows();
  ASSERT_EQ(rows.size(), 114u);
  ASSERT_EQ(EntityRowCount(), 114u);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(EntityName(i), rows[i].first) << "row " << i;
    EXPECT_EQ(EntityByte(i), rows[i].second) << "row " << i;
  }
  EXPECT_EQ(EntityName(114), "");
}

TEST(EntitiesTest, EveryRowDecodesToItsByte) {
  for (const auto& [name, byte] : ExpectedRows()) {
    // The Latin-1 "&nbsp;" row is shadowed by the first row.
    const char expected = static_cast<char>(name == "&nbsp;" ? 0x20 : byte);
    EXPECT_EQ(Decoded(name), std::string(1, expected)) << name;
    const std::string one(1, expected);
    EXPECT_EQ(Decoded("x" + name + "y" + name), "x" + one + "y" + one) << name;
  }
}

TEST(EntitiesTest, NamesOutsideTheTableStay) {
  for (const char* name : {"&shy;", "&acute;", "&iquest;", "&ETH;", "&#233;", "&#x41;", "&AMP;", "&Amp;",
                           "&nbsp", "&amp", "&bdquo;", "&euro;", "&", "&;", "&&;"}) {
    EXPECT_EQ(Decoded(name), name);
  }
  EXPECT_EQ(Decoded("&Dstrok;"), "\xD0");
  EXPECT_EQ(Decoded("&Yuml;&yuml;"), "\x9F\xFF");
  EXPECT_EQ(Decoded("&eth;&ETH;"), "\xF0&ETH;");
}

TEST(EntitiesTest, SampleTexts) {
  EXPECT_EQ(Decoded("caf&eacute;"), "caf\xE9");
  EXPECT_EQ(Decoded("&nbsp;"), " ");
  EXPECT_EQ(Decoded("&tilde;"), "\x98");
  EXPECT_EQ(Decoded("Tom &amp; Jerry &lt;3"), "Tom & Jerry <3");
  EXPECT_EQ(Decoded("plain text"), "plain text");
  EXPECT_EQ(Decoded(""), "");
}

TEST(EntitiesTest, RowsChainInTableOrder) {
  EXPECT_EQ(Decoded("&amp;lt;"), "<");
  EXPECT_EQ(Decoded("&amp;gt;"), ">");
  EXPECT_EQ(Decoded("&amp;quot;"), "&quot;");  // its row ran before "&amp;"
  EXPECT_EQ(Decoded("&amp;nbsp;"), "\xA0");    // second "&nbsp;" row
  EXPECT_EQ(Decoded("&amp;eacute;"), "\xE9");
  // The produced '&' starts a new "&amp;" right where it stands.
  EXPECT_EQ(Decoded("&amp;amp;"), "&");
  EXPECT_EQ(Decoded("&amp;amp;amp;lt;"), "<");
  EXPECT_EQ(Decoded("&amp;amp;quot;"), "&quot;");
  EXPECT_EQ(Decoded("&&amp;amp;"), "&&");
  EXPECT_EQ(Decoded("&amp;&amp;amp;"), "&&");
  EXPECT_EQ(Decoded("&amp;amp"), "&amp");
  // A produced byte never completes a name that began earlier.
  EXPECT_EQ(Decoded("&l&gt;;"), "&l>;");
  EXPECT_EQ(Decoded("&&lt;lt;"), "&<lt;");
}

// Literal decoder: for each row, replace the first occurrence and search
// again from the start until none is left.
std::string ReferenceDecode(std::string text) {
  for (const auto& [name, byte] : ExpectedRows()) {
    if (text.find('&') == std::string::npos) break;
    for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name)) {
      text.replace(at, name.size(), 1, static_cast<char>(byte));
    }
  }
  return text;
}

TEST(EntitiesTest, MatchesTheLiteralDecoderOnMixedFragments) {
  const std::vector<std::string> pieces = {"&",     "amp;", "lt;",  "nbsp;", "quot;", "a",     ";",
                                           "&amp;", "&lt",  "eacute;", "&#", "Dstrok;", "gt", " "};
  unsigned state = 2024;
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    state = state * 1664525u + 1013904223u;
    const int length = static_cast<int>((state >> 24) % 12);
    for (int i = 0; i < length; ++i) {
      state = state * 1664525u + 1013904223u;
      text += pieces[(state >> 16) % pieces.size()];
    }
    ASSERT_EQ(Decoded(text), ReferenceDecode(text)) << "input: " << text;
  }
}

TEST(EntitiesTest, LongTextWithManyEntitiesStaysFast) {
  std::string text;
  std::string expected;
  while (text.size() < (1u << 20)) {
    text += "x&lt;y&amp;z&eacute;&amp;amp;lt;&nbsp;&#1;";
    expected += "x<y&z\xE9< &#1;";
  }
  const auto start = std::chrono::steady_clock::now();
  DecodeEntities(text);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(text, expected);
  // Far more than a linear pass needs even under sanitizers; a decoder that
  // searches again from the start after every replacement takes minutes.
  EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count(), 20);
}

}  // namespace
}  // namespace tessaly
