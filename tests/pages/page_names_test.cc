#include "pages/page_names.h"

#include <gtest/gtest.h>

#include <string>

namespace tessaly {
namespace {

TEST(PageNames, ImageExtensionsAreTheFiveOfTheReader) {
  for (const char* image : {".gif", ".png", ".jpg", ".bmp", ".art"})
    EXPECT_TRUE(IsImageExtension(image)) << image;
  for (const char* other : {".jpeg", ".GIF", ".css", ".htm", "gif", "", ".gi"})
    EXPECT_FALSE(IsImageExtension(other)) << other;
}

TEST(PageNames, SafeExtensionKeepsOnlyLettersAndDigits) {
  EXPECT_EQ(SafeExtension(".gif"), ".gif");
  EXPECT_EQ(SafeExtension(".woff2"), ".woff2");
  EXPECT_EQ(SafeExtension(".ABC123"), ".ABC123");
  EXPECT_EQ(SafeExtension(".123456789"), ".123456789");
  // Anything that could make a name mean more than one plain file.
  for (const char* bad : {"", ".", "gif", "..", "./", ".b/c", ".b\\c", ". gif", ".g%2f", ".g\ti", ".g:x",
                          ".g\xe9", "../../etc", ".1234567890"}) {
    EXPECT_EQ(SafeExtension(bad), "") << bad;
  }
  EXPECT_EQ(SafeExtension(std::string_view(".g\0f", 4)), "");
}

TEST(PageNames, OnlyFourSchemesGoToTheSystem) {
  for (const char* link : {"http://example.com/", "HTTPS://example.com/a", "ftp://host/f", "mailto:a@b.c",
                           "  http://x/", "\thttp://x/"}) {
    EXPECT_TRUE(IsSystemLink(link)) << link;
  }
  for (const char* link : {"javascript:alert(1)", "file:///etc/passwd", "/etc/passwd", "c:\\windows\\x.htm",
                           "page.htm", "x.htm#http:", "mk:@MSITStore:a.chm::/b.htm", "ms-its:a.chm::/b.htm",
                           "news:comp.lang", "vbscript:x", "", "http", "data:text/html,<b>"}) {
    EXPECT_FALSE(IsSystemLink(link)) << link;
  }
}

TEST(PageNames, SchemesAndHostsNameNothingInTheBook) {
  for (const char* ref : {"data:image/gif;base64,AAAA", "javascript:x()", "http://h/a.gif", "c:/x.gif",
                          "//host/a.gif", "\\\\host\\a.gif", "mk:@MSITStore:a.chm::/b.gif"}) {
    EXPECT_TRUE(HasSchemeOrHost(ref)) << ref;
  }
  for (const char* ref :
       {"a.gif", "../img/a.gif", "/img/a.gif", "dir/a:b.gif", "a.gif?x=http:", "a.gif#x:y", "Foo::Bar.gif",
        "ns::Class::Member.htm"}) {
    EXPECT_FALSE(HasSchemeOrHost(ref)) << ref;
  }
}

TEST(PageNames, FileAddressEscapesWhatAnAddressCannotHold) {
  EXPECT_EQ(FileAddress("/tmp/temptallis/index0.htm"), "file:///tmp/temptallis/index0.htm");
  EXPECT_EQ(FileAddress("/tmp/a b#c%d?e/x.htm"), "file:///tmp/a%20b%23c%25d%3Fe/x.htm");
  EXPECT_EQ(FileAddress("/t/\xc3\xa9/\"<>\\"), "file:///t/%C3%A9/%22%3C%3E%5C");
  EXPECT_EQ(FileAddress("/t/a-b_c.d~e!$&'()*+,;=:@"), "file:///t/a-b_c.d~e!$&%27()*+,%3B=:@");
}

}  // namespace
}  // namespace tessaly
