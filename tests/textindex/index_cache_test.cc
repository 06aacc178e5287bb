// The kept index: used when sound; rebuilt when damaged, of another version
// or book, or planted with other tables; never reached through a planted
// link; the folder rid of abandoned builds and kept under its size limit.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "codec/codec.h"
#include "book/book.h"
#include "support/chm_builder.h"
#include "textindex/text_index.h"
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

TEST_F(IndexCacheTest, UntrustedFilesAreRebuiltWithinTheirBound) {
  // A sound index with its meta data, but for the table named.
  const auto planted = [](const char* pages) {
    return [pages](const fs::path& p) {
      fs::remove(p);
      Sql(p, (std::string("CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT) WITHOUT ROWID;") + pages +
              "INSERT INTO meta VALUES('book_sha256', '" + p.stem().string() + "'), ('complete', '1');"
              "PRAGMA user_version=3;").c_str());
    };
  };
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
      {"other ranking", [](const fs::path& p) { Sql(p, "UPDATE pages_config SET v='highlight(pages)' WHERE k='rank'"); }},
      {"an endless recursive view as meta", [](const fs::path& p) {
         Sql(p, "DROP TABLE meta; CREATE VIEW meta(key, value) AS WITH RECURSIVE n(i) AS"
                " (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT 'complete', '1' FROM n;");
       }},
      {"a trigger", [](const fs::path& p) {
         Sql(p, "CREATE TRIGGER t AFTER INSERT ON meta BEGIN SELECT 1; END;");
       }},
      {"a view as pages", planted("CREATE VIEW pages(title, path, body) AS SELECT 'a', 'b', 'quokka';")},
      {"an FTS3 table as pages", planted("CREATE VIRTUAL TABLE pages USING fts3(title, path, body);")},
      {"corrupt full-text blocks", [](const fs::path& p) {
         Sql(p, "UPDATE pages_data SET block = zeroblob(length(block)) WHERE id > 10");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Open(Folder());
    c.spoil(Kept());
    const auto start = std::chrono::steady_clock::now();
    const CachedIndex rebuilt = Open(Folder());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));  // a guard, not a measure
    EXPECT_FALSE(rebuilt.fromCache);
    EXPECT_FALSE(rebuilt.note.empty());
    EXPECT_EQ(rebuilt.index.Search("quokka").size(), 3u);
    EXPECT_TRUE(Open(Folder()).fromCache);
  }
}

TEST_F(IndexCacheTest, RebuildReplacesTheKeptIndex) {
  Open(Folder());
  Sql(Kept(), "UPDATE pages_data SET block = zeroblob(length(block)) WHERE id > 10");
  const CachedIndex rebuilt = IndexCache(Folder()).Rebuild(book_, codec_);
  EXPECT_FALSE(rebuilt.fromCache);
  EXPECT_EQ(rebuilt.index.Search("quokka").size(), 3u);
  EXPECT_TRUE(Open(Folder()).fromCache);
}

TEST_F(IndexCacheTest, AbandonedBuildsAreRemovedAndNothingElse) {
  fs::create_directories(Folder());
  // A process that is gone, and one that still runs (this test's parent).
  const pid_t child = fork();
  if (child == 0) _exit(0);
  ASSERT_GT(child, 0);
  waitpid(child, nullptr, 0);
  const std::string hash(64, 'a');
  const std::string gone = std::to_string(child), alive = std::to_string(getppid());
  const fs::path abandoned = Folder() / (hash + ".sqlite.tmp." + gone + ".0");
  const fs::path abandonedLink = Folder() / (hash + ".sqlite.tmp." + gone + ".1");
  const fs::path building = Folder() / (hash + ".sqlite.tmp." + alive + ".0");
  const fs::path other = Folder() / (hash + ".sqlite.tmp." + gone + ".x");
  const fs::path outside = root_ / "outside";
  std::ofstream(abandoned) << std::string(300'000, 'x');
  std::ofstream(building) << "y";
  std::ofstream(other) << "z";
  std::ofstream(outside) << "kept";
  fs::create_symlink(outside, abandonedLink);

  Open(Folder());
  EXPECT_FALSE(fs::exists(abandoned));
  EXPECT_FALSE(fs::is_symlink(abandonedLink));
  EXPECT_EQ(Contents(outside), "kept");
  EXPECT_TRUE(fs::exists(building));
  EXPECT_TRUE(fs::exists(other));
}

TEST_F(IndexCacheTest, LeastRecentlyUsedIndexesGoPastTheLimit) {
  fs::create_directories(Folder());
  // Three older indexes of 100 KB, used in this order: b, a, c.
  const auto plant = [&](char name, std::time_t used) {
    const fs::path path = Folder() / (std::string(64, name) + ".sqlite");
    std::ofstream(path) << std::string(100'000, name);
    const struct timespec times[2] = {{used, 0}, {used, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
    return path;
  };
  const std::time_t now = std::time(nullptr);
  const fs::path a = plant('a', now - 200), b = plant('b', now - 300), c = plant('c', now - 100);
  Open(Folder());
  const std::uint64_t own = fs::file_size(Kept());
  // Room for the book's index and two others: the least recently used goes.
  IndexCache(Folder(), own + 250'000).Open(book_, codec_);
  EXPECT_FALSE(fs::exists(b));
  EXPECT_TRUE(fs::exists(a) && fs::exists(c));
  // Opening a kept index marks it used: it outlives older ones when another
  // book's index is built.
  const struct timespec old[2] = {{now - 1000, 0}, {now - 1000, 0}};
  utimensat(AT_FDCWD, Kept().c_str(), old, 0);
  EXPECT_TRUE(Open(Folder()).fromCache);
  Book other;
  other.SetTextConverter(&codec_);
  other.Open(test::TestBook("basic"));
  IndexCache(Folder(), own + 150'000).Open(other, codec_);
  EXPECT_TRUE(fs::exists(Kept()));
  EXPECT_FALSE(fs::exists(a));
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
