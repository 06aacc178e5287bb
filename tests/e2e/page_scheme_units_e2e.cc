// What the page scheme serves an object as: by its name, and by its first
// bytes where the name says nothing.
#include <gtest/gtest.h>

#include "app/gtk/page_scheme.h"

namespace tessaly::app::gtk {
namespace {

TEST(DesktopPageScheme, ObjectsAreServedAsWhatTheyAre) {
  const struct {
    const char* name;
    std::string_view head;
    const char* mime;
  } cases[] = {
      {"/dir/page.htm", "<html>", "text/html"},
      {"/dir/Page.HTML", "", "text/html"},
      {"/style.css", "body{}", "text/css"},
      {"/images/logo.gif", "GIF89a", "image/gif"},
      {"/noname", "\x89PNG\r\n\x1a\n", "image/png"},
  };
  for (const auto& c : cases) EXPECT_EQ(PageMimeType(c.name, c.head), c.mime) << c.name;
}

}  // namespace
}  // namespace tessaly::app::gtk
