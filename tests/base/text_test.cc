#include "base/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessaly {
namespace {

static_assert(ToLowerAscii('A') == 'a' && ToLowerAscii('Z') == 'z' && ToLowerAscii('@') == '@' &&
              ToLowerAscii('[') == '[' && ToLowerAscii('a') == 'a');

int Sign(int v) { return (v > 0) - (v < 0); }

TEST(TextTest, ToLowerAsciiFoldsOnlyAsciiCapitals) {
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    const char expected = (b >= 'A' && b <= 'Z') ? static_cast<char>(b + 32) : c;
    EXPECT_EQ(ToLowerAscii(c), expected) << "byte " << b;
  }
}

TEST(TextTest, PercentEscapeAtReadsOneHexPair) {
  struct Case {
    std::string_view text;
    std::size_t at;
    int byte;
  };
  const Case cases[] = {
      {"%41", 0, 0x41},  {"%4a", 0, 0x4A},    {"%4A", 0, 0x4A}, {"%fF", 0, 0xFF}, {"%00", 0, 0},
      {"a%2Fb", 1, '/'}, {"%2541", 0, '%'},   {"%2541", 3, -1}, {"%", 0, -1},     {"%4", 0, -1},
      {"x%4", 1, -1},    {"%zz", 0, -1},      {"%4g", 0, -1},   {"%g4", 0, -1},   {"%%41", 0, -1},
      {"%%41", 1, 0x41}, {"%\xE9" "A", 0, -1}, {"A41", 0, -1},   {"%41", 3, -1},
  };
  for (const Case& c : cases) EXPECT_EQ(PercentEscapeAt(c.text, c.at), c.byte) << c.text << " at " << c.at;
}

TEST(TextTest, LowerCaseInPlaceLeavesHighBytes) {
  std::string text = "Index.HTM \xC9\xE9[Z]@";
  LowerCaseInPlace(text);
  EXPECT_EQ(text, "index.htm \xC9\xE9[z]@");
  std::string empty;
  LowerCaseInPlace(empty);
  EXPECT_EQ(empty, "");
}

TEST(TextTest, CompareNoCaseCases) {
  EXPECT_EQ(CompareNoCase("Index.HTM", "index.htm"), 0);
  EXPECT_EQ(CompareNoCase("abc", "ab"), 1);
  EXPECT_EQ(CompareNoCase("ab", "abc"), -1);
  EXPECT_NE(CompareNoCase("\xC9t\xC9", "\xE9t\xE9"), 0);  // Latin-1 capital vs small letter
  EXPECT_EQ(CompareNoCase("", ""), 0);
  EXPECT_EQ(CompareNoCase("", "a"), -1);
  EXPECT_EQ(CompareNoCase("a", ""), 1);
  EXPECT_EQ(CompareNoCase("abd", "ABC"), 1);
  EXPECT_EQ(CompareNoCase("ABC", "abd"), -1);
}

TEST(TextTest, CompareNoCaseFoldsBeforeComparingUnsigned) {
  // '[' (0x5B) lies between 'Z' and 'a': folded, 'A' is 0x61 and greater.
  EXPECT_EQ(CompareNoCase("[", "A"), -1);
  EXPECT_EQ(CompareNoCase("A", "["), 1);
  // Bytes from 0x80 up are above every ASCII byte.
  EXPECT_EQ(CompareNoCase("\xE9", "z"), 1);
  EXPECT_EQ(CompareNoCase("z", "\x80"), -1);
}

TEST(TextTest, CompareNoCaseStopsAtNul) {
  EXPECT_EQ(CompareNoCase(std::string_view("ab\0x", 4), "AB"), 0);
  EXPECT_EQ(CompareNoCase("ab", std::string_view("ab\0y", 4)), 0);
  EXPECT_EQ(CompareNoCase(std::string_view("ab\0x", 4), "abc"), -1);
}

// A folded, unsigned lexicographic order written independently.
int ReferenceCompare(const std::string& a, const std::string& b) {
  std::string la = a;
  std::string lb = b;
  for (char& c : la) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  for (char& c : lb) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  std::basic_string<unsigned char> ua(la.begin(), la.end());
  std::basic_string<unsigned char> ub(lb.begin(), lb.end());
  return Sign(ua.compare(ub));
}

TEST(TextTest, CompareNoCaseIsAConsistentOrder) {
  const std::vector<std::string> texts = {"", "a", "A", "ab", "aB", "abc", "b", "B", "[", "_", "z", "Z",
                                          "\xC9", "\xE9", "a\xE9", "A\xC9", "ab[", "abZ", "~", "\x7F"};
  for (const auto& a : texts) {
    EXPECT_EQ(CompareNoCase(a, a), 0) << a;
    for (const auto& b : texts) {
      const int ab = CompareNoCase(a, b);
      EXPECT_TRUE(ab == -1 || ab == 0 || ab == 1);
      EXPECT_EQ(ab, -CompareNoCase(b, a)) << a << " vs " << b;
      EXPECT_EQ(ab, ReferenceCompare(a, b)) << a << " vs " << b;
      for (const auto& c : texts) {
        if (ab <= 0 && CompareNoCase(b, c) <= 0) {
          EXPECT_LE(CompareNoCase(a, c), 0) << a << " / " << b << " / " << c;
        }
      }
    }
  }
}

TEST(TextTest, EqualNoCase) {
  EXPECT_TRUE(EqualNoCase("#SYSTEM", "#system"));
  EXPECT_FALSE(EqualNoCase("#SYSTEM", "#systems"));
}

TEST(TextTest, TrimLinkTextBothEnds) {
  std::string text = "  \"/dir/page.htm\";";
  TrimLinkText(text);
  EXPECT_EQ(text, "dir/page.htm");

  std::string all = " \t\r\n\"';/";
  TrimLinkText(all);
  EXPECT_EQ(all, "");

  std::string inner = "'a b;c/d'";
  TrimLinkText(inner);
  EXPECT_EQ(inner, "a b;c/d");

  std::string empty;
  TrimLinkText(empty);
  EXPECT_EQ(empty, "");

  std::string other = "\x0B" "a\f";  // vertical tab and form feed are not in the set
  TrimLinkText(other);
  EXPECT_EQ(other, "\x0B" "a\f");

  for (char c : std::string(" \t\r\n\"';/")) {
    std::string one = std::string(1, c) + "x" + std::string(2, c);
    TrimLinkText(one);
    EXPECT_EQ(one, "x") << static_cast<int>(c);
  }
}

}  // namespace
}  // namespace tessaly
