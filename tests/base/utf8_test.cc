// UTF-8 read back with every ill-formed byte replaced, and the test for text
// that is UTF-8 beyond ASCII.
#include <gtest/gtest.h>

#include <string>

#include "base/utf8.h"

namespace tessaly {
namespace {

TEST(Utf8, IllFormedBytesBecomeReplacementCharacters) {
  const std::string r = "\xEF\xBF\xBD";
  struct Case {
    std::string in, out;
    bool looksLikeUtf8;
  };
  const Case cases[] = {
      {"plain", "plain", false},
      {"caf\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80", true},
      {"a\x80z", "a" + r + "z", false},                 // a lone continuation byte
      {"\xC0\x80", r + r, false},                       // overlong NUL
      {"\xE0\x80\x80", r + r + r, false},               // overlong three-byte form
      {"\xED\xA0\x80", r + r + r, false},               // a surrogate
      {"\xF4\x90\x80\x80", r + r + r + r, false},       // past U+10FFFF
      {"\xE2\x82", r + r, false},                       // cut short at the end
      {"\xC3\xC3\xA9", r + "\xC3\xA9", false},          // cut short by a new lead byte
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RepairUtf8(c.in), c.out) << c.in;
    EXPECT_EQ(LooksLikeUtf8(c.in), c.looksLikeUtf8) << c.in;
  }
  std::string appended;
  for (char32_t c : {U'a', U'\u00E9', U'\u4E2D', U'\U0001F600', char32_t{0xD800}, char32_t{0x110000}}) {
    AppendUtf8(appended, c);
  }
  EXPECT_EQ(appended, "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80" + r + r);
}

}  // namespace
}  // namespace tessaly
