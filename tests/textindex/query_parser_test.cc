// Queries as FTS5 expressions: each form, and user text that never reaches
// FTS5 unquoted.
#include <gtest/gtest.h>

#include <string>

#include "textindex/text_index.h"

namespace tessaly::textindex {
namespace {

TEST(QueryParser, EachFormBecomesQuotedFts5) {
  struct Case {
    const char* query;
    const char* match;
  };
  const Case cases[] = {
      {"fox", "((\"fox\"))"},
      {"  red   fox ", "((\"red\") AND (\"fox\"))"},
      {"\"red fox\"", "((\"red fox\"))"},
      {"qu*", "((\"qu\" *))"},
      {"\"red fo\"*", "((\"red fo\" *))"},
      {"cat OR dog fox", "((\"cat\" OR \"dog\") AND (\"fox\"))"},
      {"a OR b OR c", "((\"a\" OR \"b\" OR \"c\"))"},
      {"fox -red -\"big dog\"", "((\"fox\")) NOT \"red\" NOT \"big dog\""},
      {"or and not", "((\"or\") AND (\"and\") AND (\"not\"))"},
      {"文字列\xE3\x80\x80函数", "((\"文字列\") AND (\"函数\"))"},
      // Text that FTS5 would read as syntax stays inside quotes.
      {"NEAR(a b) title:x ^y +z", "((\"NEAR(a\") AND (\"b)\") AND (\"title:x\") AND (\"^y\") AND (\"+z\"))"},
      {"say\"\"hi say\"x\"y", "((\"say\") AND (\"hi\") AND (\"say\") AND (\"x\") AND (\"y\"))"},
      {"a*b c**", "((\"a*b\") AND (\"c\" *))"},
      {"- -- x ... ***", "((\"x\"))"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseQuery(c.query).match, c.match) << c.query;
  }
}

TEST(QueryParser, ApostrophesAndNulStayInsideTerms) {
  EXPECT_EQ(ParseQuery("\"it's\" d'oh").match, "((\"it's\") AND (\"d'oh\"))");
  const std::string nul("a\0b", 3);
  EXPECT_EQ(ParseQuery(nul).match, "((\"a b\"))");
}

TEST(QueryParser, TermsAndSingleWord) {
  const ParsedQuery q = ParseQuery("\"red fox\" OR cat -dog qu*");
  EXPECT_EQ(q.terms, (std::vector<std::string>{"red fox", "cat", "qu"}));
  EXPECT_FALSE(q.singleWord);
  EXPECT_EQ(ParseQuery(" Quokka ").singleWord, "Quokka");
  for (const char* notSingle : {"\"quokka\"", "quokka*", "a b", "a -b", "a OR b"}) {
    EXPECT_FALSE(ParseQuery(notSingle).singleWord) << notSingle;
  }
}

TEST(QueryParser, ANameIsTheWordsAndPhrasesOfAPlainQuery) {
  EXPECT_EQ(ParseQuery(" QueryInfo  Method ").name, "QueryInfo Method");
  EXPECT_EQ(ParseQuery("\"Id Field\" (String)").name, "Id Field (String)");
  EXPECT_EQ(ParseQuery("\"two\nlines\"").name, "two lines");
  for (const char* notName : {"a OR b", "a -b", "qu*", "\"a b\"*"}) {
    EXPECT_FALSE(ParseQuery(notName).name) << notName;
  }
}

TEST(QueryParser, QueriesWithNothingToFindFindNothing) {
  for (const char* query : {"", "  *** ", "-fox", "-A", "OR", "OR OR", "-fox OR -cat", "?! ..."}) {
    const ParsedQuery parsed = ParseQuery(query);
    EXPECT_EQ(parsed.match, "") << query;
    EXPECT_TRUE(parsed.terms.empty()) << query;
  }
  // An OR that joins nothing is dropped.
  EXPECT_EQ(ParseQuery("OR fox").match, "((\"fox\"))");
  EXPECT_EQ(ParseQuery("fox OR").match, "((\"fox\"))");
  EXPECT_EQ(ParseQuery("fox OR OR cat").match, "((\"fox\" OR \"cat\"))");
  EXPECT_EQ(ParseQuery("fox OR -cat").match, "((\"fox\")) NOT \"cat\"");
}

TEST(QueryParser, UnreadableQueriesSaySo) {
  struct Case {
    std::string query;
    const char* message;
  };
  const Case cases[] = {
      {"fox \"red", "The quotation mark before \"red\" is not closed."},
      {std::string(1001, 'a'), "The search is too long: at most 1000 bytes."},
      {[] {
         std::string many;
         for (int i = 0; i < 65; ++i) many += "w ";
         return many;
       }(),
       "The search has too many words: at most 64."},
  };
  for (const Case& c : cases) {
    try {
      ParseQuery(c.query);
      ADD_FAILURE() << "parsed: " << c.query;
    } catch (const QueryError& error) {
      EXPECT_STREQ(error.what(), c.message) << c.query;
    }
  }
}

}  // namespace
}  // namespace tessaly::textindex
