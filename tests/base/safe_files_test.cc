// FolderWalker: the folders below a root made and reached one component at a
// time, never through a link that stands where a folder belongs.
#include "base/safe_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "support/chm_builder.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

TEST(FolderWalker, MakesFoldersBelowItsRootAndRefusesALinkWhereOneBelongs) {
  test::TempDir dir;
  const std::string root = dir.Path() + "/root";
  const std::string elsewhere = dir.Path() + "/elsewhere";
  fs::create_directories(root + "/kept");
  fs::create_directories(elsewhere);
  fs::create_directory_symlink(elsewhere, root + "/link");
  FolderWalker walker(FolderHandle::Open(root, false));

  const std::uint8_t bytes[] = {'x'};
  for (const char* file : {"top.txt", "a/b/c.txt", "a/b/d.txt", "kept/e.txt", "a/f.txt"}) {
    const FolderHandle* folder = walker.FolderOf(file);
    ASSERT_NE(folder, nullptr) << file;
    const std::string_view name = std::string_view(file).substr(std::string_view(file).rfind('/') + 1);
    ASSERT_TRUE(WriteFileIn(*folder, name, bytes)) << file;
    EXPECT_TRUE(fs::is_regular_file(root + "/" + file)) << file;
  }
  for (const char* file : {"link/x.txt", "link/deeper/x.txt", "top.txt/x.txt", "a/../x.txt"}) {
    errno = 0;
    EXPECT_EQ(walker.FolderOf(file), nullptr) << file;
    EXPECT_NE(errno, 0) << file;
  }
  EXPECT_TRUE(fs::is_empty(elsewhere));
  EXPECT_FALSE(fs::exists(dir.Path() + "/x.txt"));
}

}  // namespace
}  // namespace tessaly
