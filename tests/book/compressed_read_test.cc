// Reading objects from both kinds of section: direct reads, the compressed
// section through its control data and reset table, and the bulk read that
// decodes each section once.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>
#include <random>
#include <string>
#include <vector>

#include "base/book_error.h"
#include "base/bytes.h"
#include "book/book.h"
#include "container/container.h"
#include "support/book_entries.h"
#include "support/book_builder.h"
#include "support/chm_builder.h"

namespace tessaly {
namespace {

using test::BookBuilder;
using test::Put16;
using test::Put32;
using test::Put64;
using test::TempFile;

std::vector<std::uint8_t> Pattern(std::size_t size, unsigned seed) {
  std::vector<std::uint8_t> out(size);
  std::mt19937 rng(seed);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

std::vector<std::uint8_t> AsVector(std::span<const std::uint8_t> s) { return {s.begin(), s.end()}; }

std::string ReadError(Book& book, const std::string& path) {
  try {
    book.ReadObject(path);
  } catch (const BookError& e) {
    return e.Message();
  }
  return "";
}

struct Opened {
  std::unique_ptr<TempFile> file;
  Book book;
};

std::unique_ptr<Opened> Open(const BookBuilder& b) {
  auto o = std::make_unique<Opened>();
  o->file = std::make_unique<TempFile>(b.Build());
  o->book.OpenStorage(o->file->Path());
  return o;
}

// Files laid out so that objects start and end on and around block and
// window boundaries.
BookBuilder BoundaryBook(std::uint32_t windowField, std::map<std::string, std::vector<std::uint8_t>>& files) {
  BookBuilder b;
  b.windowField = windowField;
  const std::vector<std::pair<std::string, std::size_t>> sizes = {
      {"/first.htm", 100},          {"/to-block-end.bin", 0x8000 - 100}, {"/whole-block.bin", 0x8000},
      {"/odd.bin", 12345},          {"/empty.htm", 0},                   {"/across.bin", 3 * 0x8000 + 7},
      {"/small.gif", 33},           {"/tail.bin", 50001}};
  unsigned seed = 1;
  for (const auto& [name, size] : sizes) {
    files[name] = Pattern(size, seed++);
    b.AddFile(name, files[name]);
  }
  b.AddFile("/plain/stored.htm", std::string("stored in section 0"), false);
  files["/plain/stored.htm"] = test::Bytes("stored in section 0");
  return b;
}

class CompressedRead : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(CompressedRead, EveryObjectReadsBackItsBytes) {
  std::map<std::string, std::vector<std::uint8_t>> files;
  auto opened = Open(BoundaryBook(GetParam(), files));
  Book& book = opened->book;
  // Section 0 is stored, section 1 compressed, and the files lie in both.
  std::ostringstream dump;
  Logger log;
  log.SetStream(&dump);
  Container::Open(opened->file->Path(), log);
  EXPECT_NE(dump.str().find("\n01. 00000000 Uncompressed\n02. "), std::string::npos);
  EXPECT_NE(dump.str().find(" MSCompressed\n"), std::string::npos);
  EXPECT_EQ(book.FindEntry("/first.htm")->section, 1u);
  EXPECT_EQ(book.FindEntry("/plain/stored.htm")->section, 0u);
  for (const auto& [name, bytes] : files) {
    EXPECT_EQ(book.ReadObject(name), bytes) << name;
  }
}

TEST_P(CompressedRead, ReadBytesStayTheCallersAfterLaterReads) {
  std::map<std::string, std::vector<std::uint8_t>> files;
  auto opened = Open(BoundaryBook(GetParam(), files));
  Book& book = opened->book;
  const ObjectBuffer first = book.ReadObject("/small.gif");
  ObjectBuffer own = book.ReadObject("/small.gif");
  EXPECT_EQ(first, own);
  book.ReadObject("/first.htm");
  book.ReadObject("/across.bin");
  EXPECT_EQ(first, files["/small.gif"]);  // no later read touches them
  EXPECT_EQ(own, files["/small.gif"]);
}

TEST_P(CompressedRead, BulkReadGivesWhatReadObjectGives) {
  std::map<std::string, std::vector<std::uint8_t>> files;
  auto opened = Open(BoundaryBook(GetParam(), files));
  Book& book = opened->book;
  std::map<std::string, std::vector<std::uint8_t>> seen;
  test::ReadAllObjects(
      book,
      [&](const DirectoryEntry& e, std::span<const std::uint8_t> bytes) {
        seen[std::string(e.name)] = AsVector(bytes);
      },
      [&](const DirectoryEntry& e, const BookError& m) { ADD_FAILURE() << e.name << ": " << m.Message(); });
  EXPECT_EQ(seen.size(), book.EntryCount());
  for (const auto& [name, bytes] : files) EXPECT_EQ(seen[name], bytes) << name;
  for (const auto& e : test::Entries(book)) EXPECT_EQ(seen[std::string(e.name)], book.ReadObject(e.name)) << e.name;
}

INSTANTIATE_TEST_SUITE_P(WindowFields, CompressedRead, ::testing::Values(2u, 4u));

TEST(CompressedReadBuffers, BookWithoutCompressedSectionOpens) {
  BookBuilder b;
  b.withCompressedSection = false;
  b.AddFile("/a.htm", "plain text");
  TempFile file(b.Build());
  Book book;
  book.OpenStorage(file.Path());
  EXPECT_EQ(AsVector(book.ReadObject("a.htm")), test::Bytes("plain text"));
}

TEST(DirectRead, EmptyObjectsAndSectionRouting) {
  test::ChmBuilder b;
  b.AddFile("/empty.htm", "");
  b.AddFile("/a.htm", "abc");
  b.AddEntry("/in-section-7.htm", 7, 0, 3);  // read directly while no section list exists
  TempFile file(b.Build());
  Book book;
  book.OpenContainer(file.Path());
  EXPECT_TRUE(book.ReadObject("empty.htm").empty());
  EXPECT_EQ(AsVector(book.ReadObject("in-section-7.htm")), test::Bytes("abc"));
}

TEST(DirectRead, SectionNumberBeyondTheListIsRefused) {
  BookBuilder b;
  b.AddFile("/a.htm", "abc", false);
  b.AddRawEntry("/bad.htm", 5, 0, 3);
  auto opened = Open(b);
  EXPECT_EQ(ReadError(opened->book, "bad.htm"), "Wrong content section id.\n");
}

TEST(DirectRead, ObjectPastTheEndOfTheFile) {
  test::ChmBuilder b;
  b.AddFile("/a.htm", "abc");
  b.AddEntry("/huge.bin", 0, 0, 0xFFFFFFF0);
  b.AddEntry("/far.bin", 0, 0x7FFFFFFF, 1);
  b.AddEntry("/at-the-end.bin", 0, 3, 0);
  TempFile file(b.Build());
  Book book;
  book.OpenContainer(file.Path());
  EXPECT_EQ(ReadError(book, "huge.bin"), "Can't read file huge.bin buffer: the chm file ends before it.\n");
  EXPECT_EQ(ReadError(book, "far.bin"), "Can't move file pointer to get file far.bin buffer.\n");
  EXPECT_TRUE(book.ReadObject("at-the-end.bin").empty());
}

TEST(SectionList, DamagedListsReleaseTheDirectory) {
  struct Case {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&)> edit;
  };
  const Case cases[] = {
      {"count past the records", [](auto& l) { Put16(l, 2, 9); }},
      {"negative count", [](auto& l) { Put16(l, 2, 0x8001); }},
      {"name longer than the list", [](auto& l) { Put16(l, 4, 500); }},
      {"too short", [](auto& l) { l.resize(3); }},
  };
  for (const auto& c : cases) {
    BookBuilder b;
    b.AddFile("/a.htm", "abc");
    b.editNameList = c.edit;
    TempFile file(b.Build());
    Book book;
    try {
      book.OpenStorage(file.Path());
      ADD_FAILURE() << c.what;
    } catch (const BookError& e) {
      EXPECT_EQ(e.Message(), "Content sections list runs past the end of ::DataSpace/NameList.\n") << c.what;
    }
    EXPECT_TRUE(book.EntryCount() == 0) << c.what;
    EXPECT_FALSE(book.HasObject("a.htm"));
  }
}

TEST(SectionList, MissingListIsWrapped) {
  BookBuilder b;
  b.withNameList = false;
  b.withCompressedSection = false;
  b.AddFile("/a.htm", "abc");
  TempFile file(b.Build());
  Book book;
  try {
    book.OpenStorage(file.Path());
    ADD_FAILURE();
  } catch (const BookError& e) {
    EXPECT_EQ(e.Message(),
              "Can't get buffer for file ::DataSpace/NameList.\nCan't find entry for file ::DataSpace/NameList\n");
  }
  EXPECT_TRUE(book.EntryCount() == 0);
}

TEST(SectionList, LongSectionNamesAreCut) {
  BookBuilder b;
  b.withCompressedSection = false;
  b.AddFile("/a.htm", "abc");
  b.editNameList = [](std::vector<std::uint8_t>& l) {
    l.resize(4);
    test::Append16(l, 300);
    for (int i = 0; i < 300; ++i) test::Append16(l, 0x4100 + 'x');  // high bytes are dropped
    test::Append16(l, 0);
  };
  TempFile file(b.Build());
  std::ostringstream log;
  Logger logger;
  logger.SetStream(&log);
  Container::Open(file.Path(), logger);
  EXPECT_NE(log.str().find("\n01. 00000000 " + std::string(255, 'x') + "\n"), std::string::npos);
  EXPECT_EQ(log.str().find("\n02. "), std::string::npos);
}

struct StorageCase {
  const char* what;
  std::function<void(BookBuilder&)> damage;
  std::string message;  // of the inner failure, after the section wrapper
  const char* object = "/target.bin";
};

TEST(CompressedReadErrors, EachDamageHasItsMessage) {
  const std::string wrap = "Can't decompress section 1.\n";
  const StorageCase cases[] = {
      {"window field 1", [](BookBuilder& b) { b.editControlData = [](auto& c) { Put32(c, 16, 1); }; },
       "Not correct window size 1.\n"},
      {"window field 8", [](BookBuilder& b) { b.editControlData = [](auto& c) { Put32(c, 16, 8); }; },
       "Not correct window size 8.\n"},
      {"not LZXC", [](BookBuilder& b) { b.editControlData = [](auto& c) { c[4] = 'Q'; }; },
       "Not LZX compression algorithm.\n"},
      {"short control data", [](BookBuilder& b) { b.editControlData = [](auto& c) { c.resize(12); }; },
       "Control data of section MSCompressed is too short.\n"},
      {"block size 0", [](BookBuilder& b) { b.editResetTable = [](auto& t) { Put64(t, 32, 0); }; },
       "Reset table of section MSCompressed has a wrong block size 0.\n"},
      {"block size huge", [](BookBuilder& b) { b.editResetTable = [](auto& t) { Put64(t, 32, 0x40000000); }; },
       "Reset table of section MSCompressed has a wrong block size 1073741824.\n"},
      {"more entries than bytes", [](BookBuilder& b) { b.editResetTable = [](auto& t) { Put32(t, 4, 1000); }; },
       "Reset table of section MSCompressed is shorter than its 1000 entries.\n"},
      {"short table", [](BookBuilder& b) { b.editResetTable = [](auto& t) { t.resize(30); }; },
       "Reset table of section MSCompressed is too short.\n"},
      {"offsets backwards", [](BookBuilder& b) { b.editResetTable = [](auto& t) { Put64(t, 48, 5000); Put64(t, 56, 10); }; },
       "Reset table of section MSCompressed has block offsets running backwards.\n"},
      {"offsets past the section",
       [](BookBuilder& b) { b.editResetTable = [](auto& t) { Put64(t, 48 + 8, 0x7FFFFFFF); }; },
       "Reset table of section MSCompressed has block offsets past the end of the section.\n"},
      {"4 GiB plain length", [](BookBuilder& b) { b.editResetTable = [](auto& t) { Put64(t, 16, 0xFFFFFFF0); }; },
       "Reset table of section MSCompressed promises more plain bytes than its compressed bytes can hold.\n"},
      {"compressed length beyond the file",
       [](BookBuilder& b) { b.editResetTable = [](auto& t) { Put64(t, 24, 0x7FFFFFFF); Put64(t, 16, 0x7FFFFFFF); }; },
       "Compressed section MSCompressed runs past the end of the chm file.\n"},
      {"object past the section", [](BookBuilder& b) { b.AddRawEntry("/beyond.bin", 1, 0x7FFFFFF0, 16); },
       "Object /beyond.bin lies past the end of its content section.\n", "/beyond.bin"},
  };
  for (const auto& c : cases) {
    BookBuilder b;
    b.AddFile("/first.bin", Pattern(70000, 1));
    b.AddFile("/target.bin", Pattern(1000, 2));
    c.damage(b);
    TempFile file(b.Build());
    Book book;
    book.OpenStorage(file.Path());
    EXPECT_EQ(ReadError(book, c.object), BookError(wrap + c.message).Message()) << c.what;
    // The bulk read reports the same for the same object.
    std::string bulk;
    test::ReadAllObjects(
        book, [](const DirectoryEntry&, std::span<const std::uint8_t>) {},
        [&](const DirectoryEntry& e, const BookError& m) {
          if (e.name == c.object && bulk.empty()) bulk = m.Message();
        });
    EXPECT_EQ(bulk, BookError(wrap + c.message).Message()) << c.what;
  }
}

TEST(CompressedReadErrors, MissingControlDataFailsTheOpen) {
  BookBuilder b;
  b.AddFile("#SYSTEM", std::string("\3\0\0\0", 4), false);
  b.AddFile("#STRINGS", std::string(1, '\0'), false);
  b.AddFile("/a.bin", Pattern(10, 1));
  b.editControlData = [](auto& c) { c.clear(); };
  TempFile file(b.Build());
  Book book;
  // An empty control data object still is one: it is simply not LZX.
  try {
    book.Open(file.Path());
    ADD_FAILURE() << "opened";
  } catch (const BookError& e) {
    EXPECT_EQ(e.Message(), "Not LZX compression algorithm.\n");
  }
}

TEST(CompressedReadErrors, DamagedStreamFailsOnlyTheObjectsOverIt) {
  BookBuilder b;
  // a.bin ends inside window 0, so its read decodes window 0 alone.
  b.AddFile("/a.bin", Pattern(0x10000 - 10, 1));
  b.AddFile("/filler.bin", Pattern(10, 4));
  b.AddFile("/b.bin", Pattern(0x10000, 2));  // window 1
  b.AddFile("/c.bin", Pattern(0x100, 3));    // window 2
  auto bytes = b.Build();
  // Break the block header of window 1: the stored-block type becomes 7.
  TempFile probe(bytes);
  Logger log;
  const std::unique_ptr<Container> reader = Container::Open(probe.Path(), log);
  const std::optional<DirectoryEntry> content = reader->FindEntry("::DataSpace/Storage/MSCompressed/Content");
  ASSERT_TRUE(content);
  const std::size_t windowOne = content->offset + static_cast<std::size_t>(LoadLE64(&bytes[88])) + 2 * (16 + 0x8000);
  bytes[windowOne + 1] |= 0x70;
  TempFile file(bytes);
  Book book;
  book.OpenStorage(file.Path());
  EXPECT_EQ(AsVector(book.ReadObject("a.bin")), Pattern(0x10000 - 10, 1));
  EXPECT_EQ(ReadError(book, "b.bin"), "Can't decompress section 1.\nError while uncompress content section.\n");
  // What failed travels with the message: the object, and inside it the
  // decoder's failure and where in the file the damaged interval starts.
  try {
    book.ReadObject("b.bin");
  } catch (const BookError& e) {
    EXPECT_EQ(e.Kind(), ErrorKind::kDecompress);
    EXPECT_EQ(e.Object(), "/b.bin");
    ASSERT_NE(e.Inner(), nullptr);
    EXPECT_EQ(e.Inner()->Text(), "Error while uncompress content section.\n");
    EXPECT_EQ(e.Inner()->Offset(), windowOne);
  }
  EXPECT_EQ(AsVector(book.ReadObject("c.bin")), Pattern(0x100, 3));
  std::map<std::string, std::string> errors;
  int good = 0;
  test::ReadAllObjects(
      book, [&](const DirectoryEntry&, std::span<const std::uint8_t>) { ++good; },
      [&](const DirectoryEntry& e, const BookError& m) { errors[std::string(e.name)] = m.Message(); });
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors["/b.bin"], "Can't decompress section 1.\nError while uncompress content section.\n");
}

}  // namespace
}  // namespace tessaly

namespace tessaly {
namespace {

TEST(CompressedReadEdges, EmptyObjectAtTheEndOfAWholeWindow) {
  // The section is exactly one window long: no block starts where the empty
  // object lies.
  test::BookBuilder b;
  b.AddFile("/full.bin", Pattern(0x10000, 9));
  b.AddFile("/empty-at-end.htm", "");
  auto opened = Open(b);
  EXPECT_TRUE(opened->book.ReadObject("empty-at-end.htm").empty());
  EXPECT_TRUE(opened->book.ReadObject("empty-at-end.htm").empty());
  int empties = 0;
  test::ReadAllObjects(
      opened->book,
      [&](const DirectoryEntry& e, std::span<const std::uint8_t> bytes) {
        if (e.name == "/empty-at-end.htm" && bytes.empty()) ++empties;
      },
      [](const DirectoryEntry& e, const BookError& m) { ADD_FAILURE() << e.name << ": " << m.Message(); });
  EXPECT_EQ(empties, 1);
}

}  // namespace
}  // namespace tessaly
