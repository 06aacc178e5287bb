// The walk of a book's stored ranges: entries that name the same bytes are
// read once and handed over together, and the book's distinct bytes count
// shared and overlapping ranges once.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "base/book_error.h"
#include "book/book.h"
#include "support/book_builder.h"
#include "support/chm_builder.h"

namespace tessaly {
namespace {

using test::BookBuilder;
using test::TempFile;

std::string Text(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string out(size, ' ');
  for (char& c : out) c = static_cast<char>('a' + rng() % 26);
  return out;
}

std::uint64_t DistinctBytesOf(const std::vector<std::uint8_t>& bytes) {
  TempFile file(bytes);
  Book book;
  book.OpenStorage(file.Path());
  return book.DistinctBytes();
}

TEST(StoredRanges, AliasesAreReadOnceAndAddNoBytes) {
  const std::string first = "<p>first</p>";
  const std::string big = Text(3 * 0x8000 + 123, 7);  // several blocks
  BookBuilder b;
  b.AddFile("/first.htm", first);
  b.AddFile("/big.htm", big);
  b.AddFile("/plain.txt", "stored plainly", false);
  const std::uint64_t withoutAliases = DistinctBytesOf(b.Build());

  const auto at = static_cast<std::uint32_t>(first.size());
  const auto length = static_cast<std::uint32_t>(big.size());
  b.AddRawEntry("/alias-1.htm", 1, at, length);
  b.AddRawEntry("/dir/alias-2.htm", 1, at, length);
  b.AddRawEntry("/part.htm", 1, at + 100, 50);  // inside big.htm: its own range
  TempFile file(b.Build());
  Book book;
  book.OpenStorage(file.Path());
  EXPECT_EQ(book.DistinctBytes(), withoutAliases);

  std::map<std::string, std::vector<std::string>> groups;  // first alias -> all aliases
  std::multiset<std::string> seen;
  book.ReadStoredRanges(
      [&](Book::Aliases aliases, std::span<const std::uint8_t> bytes) {
        std::vector<std::string>& names = groups[std::string(aliases.front().name)];
        for (const DirectoryEntry& entry : aliases) {
          names.emplace_back(entry.name);
          seen.emplace(entry.name);
          EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), book.ReadObject(entry.name)) << entry.name;
        }
      },
      [&](Book::Aliases aliases, const BookError& error) { ADD_FAILURE() << aliases.front().name << error.Message(); });

  const std::vector<std::string> bigAliases = {"/big.htm", "/alias-1.htm", "/dir/alias-2.htm"};
  EXPECT_EQ(groups["/big.htm"], bigAliases);
  EXPECT_EQ(groups["/part.htm"], std::vector<std::string>{"/part.htm"});
  EXPECT_EQ(book.ReadObject("/part.htm"), test::Bytes(big.substr(100, 50)));
  // Every entry comes exactly once.
  EXPECT_EQ(seen.size(), book.EntryCount());
  EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()).size(), seen.size());
}

TEST(StoredRanges, DistinctBytesCountOverlapsOnceAndOnlyWhatTheFileHolds) {
  test::ChmBuilder b;
  b.AddFile("/a.htm", "0123456789");
  b.AddFile("/b.htm", "abcdefghij");
  b.AddEntry("/alias.htm", 0, 0, 10);
  b.AddEntry("/overlap.htm", 0, 5, 10);
  b.AddEntry("/empty.htm", 0, 3, 0);
  b.AddEntry("/past-the-end.htm", 0, 18, 100);  // the file ends 2 bytes in
  TempFile file(b.Build());
  Book book;
  book.OpenContainer(file.Path());
  EXPECT_EQ(book.DistinctBytes(), 20u);

  // The range that lies partly outside the file is reported, once.
  std::vector<std::string> failed;
  book.ReadStoredRanges([](Book::Aliases, std::span<const std::uint8_t>) {},
                        [&](Book::Aliases aliases, const BookError&) { failed.emplace_back(aliases.front().name); });
  EXPECT_EQ(failed, std::vector<std::string>{"/past-the-end.htm"});
}

}  // namespace
}  // namespace tessaly
