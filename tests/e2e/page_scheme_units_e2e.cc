// The page scheme's checks: which addresses name a page file, and which
// files of the folder are served.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/gtk/page_scheme.h"
#include "harness.h"

namespace tessaly::app::gtk {
namespace {

namespace fs = std::filesystem;

TEST(DesktopPageScheme, OnlyPlainNamesOfTheFolderAreAsked) {
  struct Case {
    std::string address;
    std::optional<std::string> name;
  };
  const Case cases[] = {
      {"tessaly-page:///index0.htm", "index0.htm"},
      {"tessaly-page:///index0.htm#sec2", "index0.htm"},
      {"tessaly-page:///12file.gif?x=1", "12file.gif"},
      {"tessaly-page:///%69ndex0.htm", "index0.htm"},
      {"tessaly-page:///..%2F..%2Fetc%2Fpasswd", std::nullopt},
      {"tessaly-page:///..%5C..%5Cetc%5Cpasswd", std::nullopt},
      {"tessaly-page:///%2e%2e%2fpasswd", std::nullopt},
      {"tessaly-page:///%252e%252e%252fpasswd", std::nullopt},
      {"tessaly-page:///sub/index0.htm", std::nullopt},
      {"tessaly-page:///..", std::nullopt},
      {"tessaly-page:///a..b.htm", std::nullopt},
      {"tessaly-page:///.hidden", std::nullopt},
      {"tessaly-page:///a%00b.htm", std::nullopt},
      {"tessaly-page:///a b.htm", std::nullopt},
      {"tessaly-page:///a%2", std::nullopt},
      {"tessaly-page:///", std::nullopt},
      {"tessaly-page:///" + std::string(256, 'a'), std::nullopt},
      {"tessaly-page://host/index0.htm", std::nullopt},
      {"file:///tmp/index0.htm", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    EXPECT_EQ(PageFileOf(c.address), c.name);
  }
}

TEST(DesktopPageScheme, FileAddressesOfTheFolderBecomePageAddresses) {
  const std::string folder = "/run/u v/temptallisAbc123/";
  struct Case {
    std::string file;
    std::optional<std::string> page;
  };
  const Case cases[] = {
      {"file:///run/u%20v/temptallisAbc123/index0.htm", "tessaly-page:///index0.htm"},
      {"file:///run/u%20v/temptallisAbc123/index4.htm#part%202", "tessaly-page:///index4.htm#part%202"},
      {"file:///run/u%20v/temptallisAbc123/..%2F..%2Fetc%2Fpasswd", std::nullopt},
      {"file:///run/u%20v/temptallisAbc123/../temptallisAbc123/index0.htm", std::nullopt},
      {"file:///run/u%20v/temptallisAbc123x/index0.htm", std::nullopt},
      {"file:///run/u%20v/temptallisAbc123/sub/index0.htm", std::nullopt},
      {"file:///etc/passwd", std::nullopt},
      {"http://example.com/index0.htm", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(PageAddressOf(c.file, folder), c.page);
  }
  EXPECT_EQ(PageAddressOf("file:///run/index0.htm", "relative/"), std::nullopt);
}

TEST(DesktopPageScheme, OnlyRegularFilesRightInTheFolderAreServed) {
  e2e::Sandbox sandbox;
  const std::string folder = sandbox.Root() + "/run/temptallis";
  fs::create_directories(folder + "/sub");
  std::ofstream(folder + "/index0.htm") << "<p>page</p>";
  std::ofstream(folder + "/sub/inner.htm") << "inner";
  std::ofstream(sandbox.Root() + "/home/secret.txt") << "secret";
  fs::create_symlink(sandbox.Root() + "/home/secret.txt", folder + "/link.htm");
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const int page = OpenPageFile(fd, "index0.htm");
  ASSERT_GE(page, 0);
  char text[16] = {};
  EXPECT_EQ(read(page, text, sizeof text - 1), 11);
  EXPECT_STREQ(text, "<p>page</p>");
  close(page);
  for (const char* refused : {"link.htm", "sub", "sub/inner.htm", "../home/secret.txt", "missing.htm", ""}) {
    SCOPED_TRACE(refused);
    EXPECT_EQ(OpenPageFile(fd, refused), -1);
  }
  EXPECT_EQ(OpenPageFile(-1, "index0.htm"), -1);
  close(fd);
  EXPECT_EQ(PageMimeType("index0.htm", reinterpret_cast<const unsigned char*>("<html>"), 6), "text/html");
}

}  // namespace
}  // namespace tessaly::app::gtk
