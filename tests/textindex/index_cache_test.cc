// The kept index: used when sound, rebuilt when damaged, of another version
// or of another book, and never through a planted link.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "codec/iconv_codec.h"
#include "book/book.h"
#include "support/chm_builder.h"
#include "textindex/index_cache.h"
#include "textindex/sha256.h"

namespace tessaly::textindex {
namespace {

namespace fs = std::filesystem;

class IndexCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tessaly-cache-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    book_.SetTextConverter(&codec_);
    book_.Open(test::TestBook("textsearch"));
  }
  void TearDown() override { fs::remove_all(root_); }

  CachedIndex Open(const fs::path& folder) { return IndexCache(folder).Open(book_, codec_); }
  fs::path Folder() const { return root_ / "cache" / "tessaly"; }
  fs::path Kept() const { return Folder() / (HexDigestOfFile(test::TestBook("textsearch")) + ".sqlite"); }

  static std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  static void Sql(const fs::path& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
  }

  fs::path root_;
  IconvCodec codec_;
  Book book_;
};

TEST_F(IndexCacheTest, KeptPrivatelyAndUsedAgain) {
  const CachedIndex first = Open(Folder());
  EXPECT_FALSE(first.fromCache);
  EXPECT_EQ(first.index.Search("quokka").size(), 3u);
  struct stat info {};
  ASSERT_EQ(stat(Folder().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  ASSERT_EQ(lstat(Kept().c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(std::distance(fs::directory_iterator(Folder()), {}), 1);  // no temporary file left

  const CachedIndex second = Open(Folder());
  EXPECT_TRUE(second.fromCache);
  EXPECT_EQ(second.index.Search("函数").size(), 1u);
}

TEST_F(IndexCacheTest, UntrustedFilesAreRebuilt) {
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> spoil;
  };
  const Case cases[] = {
      {"damaged", [](const fs::path& p) {
         std::string bytes = Contents(p);
         for (std::size_t i = 100; i < bytes.size(); i += 7) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
         std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
       }},
      {"truncated", [](const fs::path& p) { fs::resize_file(p, fs::file_size(p) / 2); }},
      {"not a database", [](const fs::path& p) { std::ofstream(p, std::ios::trunc) << "just text"; }},
      {"other version", [](const fs::path& p) { Sql(p, "PRAGMA user_version=99"); }},
      {"other book", [](const fs::path& p) { Sql(p, "UPDATE meta SET value='00' WHERE key='book_sha256'"); }},
      {"incomplete", [](const fs::path& p) { Sql(p, "DELETE FROM meta WHERE key='complete'"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Open(Folder());
    c.spoil(Kept());
    const CachedIndex rebuilt = Open(Folder());
    EXPECT_FALSE(rebuilt.fromCache);
    EXPECT_FALSE(rebuilt.note.empty());
    EXPECT_EQ(rebuilt.index.Search("quokka").size(), 3u);
    EXPECT_TRUE(Open(Folder()).fromCache);
  }
}

TEST_F(IndexCacheTest, PlantedLinksAreNeitherTrustedNorFollowed) {
  // A link at the file's place, to a sound index of this very book: replaced, not used.
  Open(Folder());
  const fs::path elsewhere = root_ / "elsewhere.sqlite";
  fs::rename(Kept(), elsewhere);
  const std::string sound = Contents(elsewhere);
  fs::create_symlink(elsewhere, Kept());
  CachedIndex opened = Open(Folder());
  EXPECT_FALSE(opened.fromCache);
  EXPECT_FALSE(fs::is_symlink(Kept()));
  EXPECT_EQ(Contents(elsewhere), sound);

  // A link at the folder's place: nothing is written through it; the index lives in memory.
  fs::remove_all(root_ / "cache");
  fs::create_directories(root_ / "cache");
  fs::create_directory(root_ / "target");
  fs::create_directory_symlink(root_ / "target", Folder());
  opened = Open(Folder());
  EXPECT_FALSE(opened.fromCache);
  EXPECT_NE(opened.note.find("not a folder"), std::string::npos) << opened.note;
  EXPECT_EQ(opened.index.Search("quokka").size(), 3u);
  EXPECT_TRUE(fs::is_empty(root_ / "target"));
}

TEST(Sha256, KnownDigests) {
  const auto digest = [](const std::string& text) {
    return HexDigest(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  };
  EXPECT_EQ(digest(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(digest("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 56 bytes: the length no longer fits the first block.
  EXPECT_EQ(digest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  // Fed in uneven pieces.
  Sha256 sha;
  const std::string million(1'000'000, 'a');
  for (std::size_t at = 0; at < million.size(); at += 999) {
    const std::size_t n = std::min<std::size_t>(999, million.size() - at);
    sha.Update(std::span(reinterpret_cast<const std::uint8_t*>(million.data() + at), n));
  }
  const auto d = sha.Finish();
  EXPECT_EQ(d[0], 0xcd);
  EXPECT_EQ(d[31], 0xd0);  // cdc76e5c ... 046d39ccc7112cd0
}

}  // namespace
}  // namespace tessaly::textindex
