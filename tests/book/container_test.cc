// Opening a book's container: path checks, the ITSF header, header section 0,
// the ITSP header and the listing chunks, with every failure message.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
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

using test::ChmBuilder;
using test::Put32;
using test::Put64;
using test::TempFile;

// Opens the file and returns the BookError message, or "" on success.
std::string OpenError(const std::string& path) {
  Book book;
  try {
    book.OpenContainer(path);
  } catch (const BookError& error) {
    return error.Message();
  }
  return "";
}

std::string OpenError(const std::vector<std::uint8_t>& bytes) {
  TempFile file(bytes);
  return OpenError(file.Path());
}

ChmBuilder SmallBook() {
  ChmBuilder b;
  b.AddFile("/", "");
  b.AddFile("#SYSTEM", "sys");
  b.AddFile("/index.htm", "<html>hello</html>");
  b.AddFile("/images/logo.gif", "GIF89a");
  b.AddEntry("::DataSpace/NameList", 0, 1000, 40);
  return b;
}

TEST(Container, ReadsEveryEntryInFileOrder) {
  ChmBuilder b = SmallBook();
  b.AddEntry("/big", 1, 128, 0xFFFFFFFF);
  TempFile file(b.Build());
  Book book;
  book.OpenContainer(file.Path());
  const auto& entries = test::Entries(book);
  ASSERT_EQ(entries.size(), b.entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].name, b.entries[i].name);
    EXPECT_EQ(entries[i].section, b.entries[i].section);
    EXPECT_EQ(entries[i].offset, b.entries[i].offset);
    EXPECT_EQ(entries[i].length, b.entries[i].length);
  }
  // Section 0 starts at the content offset the header stores.
  const ObjectBuffer page = book.ReadObject("/index.htm");
  EXPECT_EQ(std::string(page.begin(), page.end()), "<html>hello</html>");
  EXPECT_EQ(book.FileName(), file.Path());
  EXPECT_EQ(book.LanguageId(), 1033);
}

TEST(Container, NamesOfEveryLengthIncludingLongOnes) {
  ChmBuilder b;
  std::vector<std::string> names = {"", "/a", std::string(127, 'x'), "/" + std::string(127, 'y'),
                                    "/" + std::string(300, 'z'), "/caf\xC3\xA9.htm"};
  for (const auto& n : names) b.AddEntry(n, 0, 7, 9);
  TempFile file(b.Build());
  Book book;
  book.OpenContainer(file.Path());
  ASSERT_EQ(book.EntryCount(), names.size());
  for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(book.Entry(i).name, names[i]);
}

TEST(Container, EntriesSpreadOverSeveralChunksWithAnIndexChunkAfter) {
  ChmBuilder b;
  b.chunkSize = 256;
  b.addIndexChunk = true;
  for (int i = 0; i < 60; ++i) b.AddEntry("/page" + std::to_string(i) + ".htm", i % 2, i * 1000u, i * 3u);
  TempFile file(b.Build());
  ASSERT_GT(b.ListingChunks(), 3u);
  Book book;
  book.OpenContainer(file.Path());
  ASSERT_EQ(book.EntryCount(), 60u);
  EXPECT_EQ(book.Entry(59).name, "/page59.htm");
  EXPECT_EQ(book.Entry(59).offset, 59000u);
  EXPECT_EQ(book.Entry(59).section, 1u);
}

TEST(Container, OnlyTheChunksUpToTheLastListingChunkAreRead) {
  // A second listing chunk after the one marked last is never reached.
  ChmBuilder b;
  b.chunkSize = 128;
  for (int i = 0; i < 20; ++i) b.AddEntry("/p" + std::to_string(i), 0, 0, 0);
  auto bytes = b.Build();
  ASSERT_GE(b.ListingChunks(), 2u);
  Put32(bytes, ChmBuilder::kChunksOffset + 16, 0xFFFFFFFF);  // chunk 1 claims to be last
  TempFile file(bytes);
  Book book;
  book.OpenContainer(file.Path());
  EXPECT_LT(book.EntryCount(), 20u);
  EXPECT_EQ(book.Entry(0).name, "/p0");
}

// Every object of a book, by name, as the bulk read gives it.
std::map<std::string, std::vector<std::uint8_t>> EveryObject(const std::string& path) {
  Book book;
  book.Open(path);
  std::map<std::string, std::vector<std::uint8_t>> objects;
  test::ReadAllObjects(
      book,
      [&](const DirectoryEntry& entry, std::span<const std::uint8_t> bytes) {
        objects[std::string(entry.name)].assign(bytes.begin(), bytes.end());
      },
      [&](const DirectoryEntry& entry, const BookError& error) { ADD_FAILURE() << entry.name << error.Message(); });
  EXPECT_EQ(objects.size(), book.EntryCount());
  return objects;
}

// A compiled book's directory with its index chunk (the last chunk) moved
// between listing chunks `after` and `after + 1`, every chunk number that
// the listing chunks and the header hold renumbered to match, as a large
// book's compiler lays it out.
std::vector<std::uint8_t> IndexChunkMovedBetweenListingChunks(std::vector<std::uint8_t> bytes, std::uint32_t after) {
  const std::size_t itsp = LoadLE64(bytes.data() + 72);
  const std::uint32_t chunkSize = LoadLE32(bytes.data() + itsp + 16);
  const std::uint32_t count = LoadLE32(bytes.data() + itsp + 44);
  const auto chunk = [&](std::uint32_t i) { return bytes.begin() + static_cast<std::ptrdiff_t>(itsp + 84 + i * chunkSize); };
  EXPECT_TRUE(std::equal(chunk(count - 1), chunk(count - 1) + 4, "PMGI"));
  const auto renumber = [&](std::size_t at) {
    const auto n = static_cast<std::int32_t>(LoadLE32(bytes.data() + at));
    if (n > static_cast<std::int32_t>(after)) Put32(bytes, at, static_cast<std::uint32_t>(n + 1));
  };
  for (std::uint32_t i = 0; i + 1 < count; ++i) {
    const std::size_t at = itsp + 84 + i * chunkSize;
    renumber(at + 12);
    renumber(at + 16);
  }
  renumber(itsp + 32);
  renumber(itsp + 36);
  Put32(bytes, itsp + 28, after + 1);
  std::rotate(chunk(after + 1), chunk(count - 1), chunk(count));
  return bytes;
}

TEST(Container, ListingChunksAreReadWhereverIndexChunksStandAndWhateverTheCountClaims) {
  const std::string path = test::TestBook("large");
  const std::vector<std::uint8_t> compiled = test::ReadFileBytes(path);
  const std::size_t itsp = LoadLE64(compiled.data() + 72);
  ASSERT_GT(LoadLE32(compiled.data() + itsp + 44), 10u);
  const auto everyObject = EveryObject(path);
  ASSERT_GT(everyObject.size(), 3000u);

  const std::vector<std::uint8_t> moved = IndexChunkMovedBetweenListingChunks(compiled, 8);
  std::vector<std::uint8_t> countPastTheEnd = moved;
  Put32(countPastTheEnd, itsp + 44, 0x7FFFFFFF);
  for (const auto& bytes : {moved, countPastTheEnd}) {
    TempFile file(bytes);
    EXPECT_EQ(EveryObject(file.Path()), everyObject);
  }
}

TEST(Container, EncodedIntegers) {
  ChmBuilder b;
  b.AddEntry("/a", 0, 127, 128);
  b.AddEntry("/b", 3, 0x0FFFFFFF, 0xFFFFFFFF);
  TempFile file(b.Build());
  Book book;
  book.OpenContainer(file.Path());
  EXPECT_EQ(book.Entry(0).offset, 127u);
  EXPECT_EQ(book.Entry(0).length, 128u);
  EXPECT_EQ(book.Entry(1).section, 3u);
  EXPECT_EQ(book.Entry(1).offset, 0x0FFFFFFFu);
  EXPECT_EQ(book.Entry(1).length, 0xFFFFFFFFu);
}

TEST(Container, VersionTwoTakesTheContentOffsetFromTheDirectoryEnd) {
  ChmBuilder b = SmallBook();
  b.version = 2;
  auto bytes = b.Build();
  Put64(bytes, 88, 0xDEADBEEF);  // must not be read
  TempFile file(bytes);
  Book book;
  book.OpenContainer(file.Path());
  EXPECT_EQ(book.EntryCount(), b.entries.size());
  const ObjectBuffer page = book.ReadObject("/index.htm");
  EXPECT_EQ(std::string(page.begin(), page.end()), "<html>hello</html>");
}

TEST(ContainerPath, ExtensionCheck) {
  auto bytes = SmallBook().Build();
  TempFile upper(bytes, ".CHM");
  EXPECT_EQ(OpenError(upper.Path()), "");
  for (const char* suffix : {".chmx", ".chm.bak", ""}) {
    TempFile bad(bytes, suffix);
    EXPECT_EQ(OpenError(bad.Path()), "File must have *.chm extention: " + bad.Path() + ".") << suffix;
  }
  EXPECT_EQ(OpenError(std::string("book")), "File must have *.chm extention: book.");
}

TEST(ContainerPath, QuotesAndTrailingSlashAreStripped) {
  TempFile file(SmallBook().Build());
  EXPECT_EQ(OpenError("  \"" + file.Path() + "\"\n"), "");
  EXPECT_EQ(OpenError(file.Path() + "/"), "");
  Book book;
  book.OpenContainer("'" + file.Path() + "';");
  EXPECT_EQ(book.FileName(), file.Path());
}

TEST(ContainerPath, MissingFileFolderAndFifo) {
  // Only a regular file opens; the error names it and carries the system's
  // reason. A FIFO is refused at once: opening it must not wait for a writer.
  test::TempDir dir;
  const std::string folder = dir.Path() + "/folder.chm";
  std::filesystem::create_directory(folder);
  const std::string fifo = dir.Path() + "/fifo.chm";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    std::string path;
    int systemError;
  } cases[] = {{"/nonexistent/dir/book.chm", ENOENT}, {folder, EISDIR}, {fifo, ESPIPE}};
  for (const auto& c : cases) {
    Book book;
    try {
      book.OpenContainer(c.path);
      ADD_FAILURE() << c.path;
    } catch (const BookError& error) {
      EXPECT_EQ(error.Message(), "Can't open chm file: " + c.path + ".");
      EXPECT_EQ(error.Kind(), ErrorKind::kIo);
      EXPECT_EQ(error.Object(), c.path);
      EXPECT_EQ(error.SystemError(), c.systemError) << c.path;
    }
  }
}

TEST(ContainerPath, LongPathsOpenUpToWhatTheSystemTakes) {
  // A book 300 bytes deep, in folders named in Chinese, opens.
  test::TempDir dir;
  std::string folder = dir.Path();
  while (folder.size() < 300) folder += "/\xE6\x96\x87\xE6\xA1\xA3\xE7\x9B\xAE\xE5\xBD\x95";  // "文档目录"
  std::filesystem::create_directories(folder);
  const std::string path = folder + "/book.chm";
  const auto bytes = SmallBook().Build();
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  EXPECT_EQ(OpenError(path), "");

  // Past PATH_MAX the message says so; a wrong extension still says that.
  const std::string tooLong = "/tmp/" + std::string(PATH_MAX, 'a') + ".chm";
  const std::string message = OpenError(tooLong);
  EXPECT_EQ(message.rfind("Path of chm file is longer than " + std::to_string(PATH_MAX - 1) + " bytes: /tmp/aaa", 0),
            0u)
      << message;
  EXPECT_EQ(OpenError(folder + "/book.txt").rfind("File must have *.chm extention: " + dir.Path(), 0), 0u);
}

struct BadHeaderCase {
  const char* what;
  void (*patch)(std::vector<std::uint8_t>&);
  const char* message;
};

TEST(ContainerErrors, EachHeaderFailureHasItsMessage) {
  const BadHeaderCase cases[] = {
      {"shorter than the header", [](auto& b) { b.resize(87); }, "Can't read chm's header."},
      {"no content offset", [](auto& b) { b.resize(90); }, "Can't read content offset (for chm version 3 only)."},
      {"section 0 past the end", [](auto& b) { Put64(b, 56, b.size() - 10); }, "Can't read section 0 buffer."},
      {"bad section 0 magic", [](auto& b) { Put32(b, ChmBuilder::kSection0Offset, 0x01FF); },
       "Error format of section 0 (expect 01FE)."},
      {"directory past the end", [](auto& b) { Put64(b, 72, b.size() - 40); }, "Can't read section 1 buffer."},
      {"chunk size 20", [](auto& b) { Put32(b, ChmBuilder::kItspOffset + 16, 20); }, "Wrong directory chunk size 20.\n"},
      {"chunk size 0", [](auto& b) { Put32(b, ChmBuilder::kItspOffset + 16, 0); }, "Wrong directory chunk size 0.\n"},
      {"chunk count 0", [](auto& b) { Put32(b, ChmBuilder::kItspOffset + 44, 0); }, "Can't find last directory chunk\n"},
      {"a million chunks, the listing whole in the first",
       [](auto& b) { Put32(b, ChmBuilder::kItspOffset + 44, 1000000); }, ""},
      {"a million chunks, the listing going on past the file",
       [](auto& b) {
         Put32(b, ChmBuilder::kItspOffset + 44, 1000000);
         Put32(b, ChmBuilder::kChunksOffset + 16, 1);
       },
       "Directory of 1000000 chunks of 4096 bytes does not fit in the file.\n"},
      {"chunks beyond 32 bits", [](auto& b) {
         Put32(b, ChmBuilder::kItspOffset + 16, 0x10000);
         Put32(b, ChmBuilder::kItspOffset + 44, 0x10000);
       },
       "Directory of 65536 chunks of 65536 bytes does not fit in the file.\n"},
      {"no last chunk", [](auto& b) { Put32(b, ChmBuilder::kChunksOffset + 16, 5); }, "Can't find last directory chunk\n"},
      {"free space beyond the chunk", [](auto& b) { Put32(b, ChmBuilder::kChunksOffset + 4, 4077); },
       "Wrong free space 4077 in directory chunk 1.\n"},
      {"empty entry area", [](auto& b) { Put32(b, ChmBuilder::kChunksOffset + 4, 4076); },
       "Can't read file names buffer for directory chunk 1.\n"},
  };
  const auto valid = SmallBook().Build();
  for (const auto& c : cases) {
    auto bytes = valid;
    c.patch(bytes);
    EXPECT_EQ(OpenError(bytes), c.message) << c.what;
  }
}

TEST(ContainerErrors, EntryRunningPastTheFilledPart) {
  ChmBuilder b;
  b.AddEntry("/abc", 0, 1, 2);
  auto bytes = b.Build();
  // The area holds 4 + 4 bytes; shrink it by raising the free space so that
  // the name, then each number in turn, runs past its end.
  const std::uint32_t full = b.chunkSize - 20 - 8;
  for (std::uint32_t cut = 1; cut <= 7; ++cut) {
    auto bad = bytes;
    Put32(bad, ChmBuilder::kChunksOffset + 4, full + cut);
    EXPECT_EQ(OpenError(bad), "Directory entry runs past the end of directory chunk 1.\n") << cut;
  }
  // A name length that claims more than the area holds.
  auto bad = bytes;
  bad[ChmBuilder::kChunksOffset + 20] = 0x7F;
  EXPECT_EQ(OpenError(bad), "Directory entry runs past the end of directory chunk 1.\n");
}

TEST(ContainerErrors, OverlongEncodedInteger) {
  ChmBuilder b;
  b.AddEntry("/abc", 0, 1, 2);
  b.AddEntry("/second", 0, 1, 2);
  auto bytes = b.Build();
  const std::size_t sectionByte = ChmBuilder::kChunksOffset + 20 + 1 + 4;
  // Six continuation bytes where the section number should be.
  for (int i = 0; i < 6; ++i) bytes[sectionByte + i] = 0x81;
  EXPECT_EQ(OpenError(bytes), "Too long number in directory entry of chunk 1.\n");
}

TEST(ContainerErrors, EveryTruncationFailsCleanlyOrReadsTheDirectory) {
  ChmBuilder b = SmallBook();
  b.chunkSize = 64;
  b.addIndexChunk = true;
  const auto bytes = b.Build();
  // The index chunk after the listing is not needed to read the directory.
  const std::size_t listingEnd = ChmBuilder::kChunksOffset + b.ListingChunks() * b.chunkSize;
  for (std::size_t size = 0; size < bytes.size(); ++size) {
    std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
    std::string message = OpenError(cut);
    if (size >= listingEnd) {
      EXPECT_EQ(message, "") << size;
    } else {
      EXPECT_NE(message, "") << size;
    }
  }
}

TEST(ContainerLifecycle, ReleasesInEveryState) {
  { Book fresh; }
  {
    Book closedTwice;
    closedTwice.Close();
    closedTwice.Close();
  }
  TempFile good(SmallBook().Build());
  auto badBytes = SmallBook().Build();
  Put32(badBytes, ChmBuilder::kChunksOffset + 4, 4077);
  TempFile bad(badBytes);
  {
    Book failed;
    EXPECT_THROW(failed.OpenContainer(bad.Path()), BookError);
  }
  {
    Book book;
    book.OpenContainer(good.Path());
    EXPECT_FALSE(book.EntryCount() == 0);
    book.Close();
    EXPECT_TRUE(book.EntryCount() == 0);
    EXPECT_TRUE(book.FileName().empty());
    // The same object opens again after a close, and after a failure.
    EXPECT_THROW(book.OpenContainer(bad.Path()), BookError);
    book.Close();
    book.OpenContainer(good.Path());
    EXPECT_EQ(book.EntryCount(), SmallBook().entries.size());
  }
}

}  // namespace
}  // namespace tessaly
