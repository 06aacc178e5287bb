// The container of real books: one compiled here with chmcmd from known
// sources, and every book of the shared corpus.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/book_error.h"
#include "base/bytes.h"
#include "book/book.h"
#include "support/book_entries.h"
#include "support/chm_builder.h"

namespace tessaly {
namespace {

// The files listed in the [FILES] part of basic.hhp, plus the sitemaps that
// the compiler stores as well.
const std::set<std::string> kBasicFiles = {
    "/index.htm",          "/style.css",          "/chapter1/intro.htm", "/chapter1/details.htm",
    "/chapter2/frames.htm", "/chapter2/left.htm",  "/chapter2/right.htm", "/chapter2/My Page.htm",
    "/images/logo.gif",    "/images/photo.png",   "/images/bg.gif",      "/basic.hhc",
    "/basic.hhk"};

// Objects the compiler adds on its own: system files (#, $), storage (::),
// folders and its read-me marker.
bool IsInternal(std::string_view name) {
  if (name.empty() || name.back() == '/' || name.rfind("::", 0) == 0) return true;
  if (name[0] == '/') name.remove_prefix(1);
  return name[0] == '#' || name[0] == '$' || name == "_#_README_#_";
}

TEST(CompiledBook, DirectoryHoldsExactlyTheFilesPutIn) {
  Book book;
  book.OpenContainer(test::TestBook("basic"));
  const std::vector<DirectoryEntry> entries = test::Entries(book);
  std::set<std::string> stored;
  for (const auto& e : entries)
    if (!IsInternal(e.name)) stored.insert(std::string(e.name));
  EXPECT_EQ(stored, kBasicFiles);
  auto has = [&](const char* name) {
    return std::any_of(entries.begin(), entries.end(), [&](const DirectoryEntry& e) { return e.name == name; });
  };
  EXPECT_TRUE(has("/#SYSTEM"));
  EXPECT_TRUE(has("::DataSpace/NameList"));
  EXPECT_TRUE(has("/$FIftiMain"));
}

TEST(CompiledBook, HeaderDumpMatchesTheFileBytes) {
  const std::string path = test::TestBook("basic");
  const auto bytes = test::ReadFileBytes(path);
  ASSERT_GT(bytes.size(), 300u);
  std::ostringstream log;
  Book book;
  book.SetLog(&log);
  book.OpenContainer(path);
  const std::string dump = log.str();
  auto expectLine = [&](const std::string& line) {
    EXPECT_NE(dump.find("\n" + line + "\n"), std::string::npos) << line;
  };
  char buf[120];
  std::snprintf(buf, sizeof buf, "Version        : %d'", static_cast<int>(LoadLE32(&bytes[4])));
  expectLine(buf);
  std::snprintf(buf, sizeof buf, "LID            : %04X", LoadLE32(&bytes[20]));
  expectLine(buf);
  std::snprintf(buf, sizeof buf, "Unknown        : %08X", LoadLE32(&bytes[16]));
  expectLine(buf);
  const std::uint32_t dirOffset = LoadLE32(&bytes[72]);
  std::snprintf(buf, sizeof buf, "Sec2 offset    : 00000000-%08X (%d$)", dirOffset, static_cast<int>(dirOffset));
  expectLine(buf);
  std::snprintf(buf, sizeof buf, "Chunk size     : %d'", static_cast<int>(LoadLE32(&bytes[dirOffset + 16])));
  expectLine(buf);
  std::snprintf(buf, sizeof buf, "File size      : 00000000-%08X (%d$)", static_cast<unsigned>(bytes.size()),
                static_cast<int>(bytes.size()));
  expectLine(buf);
  std::snprintf(buf, sizeof buf, "total files    : %d'", static_cast<int>(book.EntryCount()));
  expectLine(buf);
  // Section 0 starts at the content offset the header stores.
  const std::optional<DirectoryEntry> list = book.FindEntry("::DataSpace/NameList");
  ASSERT_TRUE(list);
  ASSERT_EQ(list->section, 0u);
  const std::size_t at = static_cast<std::size_t>(LoadLE64(&bytes[88]) + list->offset);
  ASSERT_LE(at + list->length, bytes.size());
  EXPECT_EQ(book.ReadObject("::DataSpace/NameList"),
            ObjectBuffer(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                         bytes.begin() + static_cast<std::ptrdiff_t>(at + list->length)));
}

TEST(Corpus, EveryBookOpensItsContainer) {
  const auto files = test::CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "corpus folder ../shared/corpus is absent";
  for (const auto& path : files) {
    Book book;
    try {
      book.OpenContainer(path);
    } catch (const BookError& error) {
      ADD_FAILURE() << path << ": " << error.Message();
      continue;
    }
    EXPECT_GT(book.EntryCount(), 3u) << path;
  }
}

}  // namespace
}  // namespace tessaly
