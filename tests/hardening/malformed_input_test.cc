// Malformed books, one group per kind of damage: each either fails with a
// BookError that names the check, or turns out to be valid after all and
// reads correctly. Only the cases that the tests of each reader do not
// already hold are here (see the note at the head of each group).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "base/book_error.h"
#include "base/bytes.h"
#include "book/book.h"
#include "container/container.h"
#include "support/bit_writer.h"
#include "support/book_builder.h"
#include "support/book_entries.h"
#include "support/chm_builder.h"

namespace tessaly {
namespace {

using test::Append16;
using test::Append32;
using test::BookBuilder;
using test::ChmBuilder;
using test::Put32;
using test::TempFile;

std::vector<std::uint8_t> AsVector(std::span<const std::uint8_t> bytes) {
  return {bytes.begin(), bytes.end()};
}

std::string ContainerError(const std::vector<std::uint8_t>& bytes) {
  TempFile file(bytes);
  Book book;
  try {
    book.OpenContainer(file.Path());
  } catch (const BookError& error) {
    return error.Message();
  }
  return "";
}

// The number of the entry a lookup finds; -1 for none.
int Found(const Book& book, std::string_view path) {
  const std::optional<DirectoryEntry> entry = book.FindEntry(path);
  return entry ? static_cast<int>(entry->index) : -1;
}

std::string ReadError(Book& book, const std::string& path) {
  try {
    book.ReadObject(path);
  } catch (const BookError& error) {
    return error.Message();
  }
  return "";
}

std::string SystemObject(const std::map<int, std::string>& records) {
  std::vector<std::uint8_t> out;
  Append32(out, 3);
  for (const auto& [code, data] : records) {
    Append16(out, static_cast<std::uint16_t>(code));
    Append16(out, static_cast<std::uint16_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
  }
  return {out.begin(), out.end()};
}

ChmBuilder OneChunkBook() {
  ChmBuilder b;
  b.AddFile("/a.htm", "aaa");
  b.AddFile("/b.htm", "bbbb");
  return b;
}

// Header and directory. Elsewhere: a header cut anywhere, a wrong section-0
// magic, chunk sizes 0 and 20, a million chunks, chunk count x size beyond
// 32 bits, no last chunk, a free space beyond the chunk (container_test:
// EachHeaderFailureHasItsMessage, EveryTruncationFailsCleanlyOrReadsTheDirectory),
// an entry past its chunk and an overlong ENCINT (EntryRunningPastTheFilledPart,
// OverlongEncodedInteger).
TEST(MalformedDirectory, RefusedWithTheCheckThatFailed) {
  struct Case {
    const char* what;
    void (*patch)(std::vector<std::uint8_t>&);
    std::string message;
  };
  const Case cases[] = {
      {"huge chunk size", [](auto& b) { Put32(b, ChmBuilder::kItspOffset + 16, 0xFFFFFFF0); },
       "Directory of 1 chunks of 4294967280 bytes does not fit in the file.\n"},
      {"chunk size one past the file", [](auto& b) { Put32(b, ChmBuilder::kItspOffset + 16, 4096 + 4096); },
       "Directory of 1 chunks of 8192 bytes does not fit in the file.\n"},
      {"next chunk equal to the chunk count", [](auto& b) { Put32(b, ChmBuilder::kChunksOffset + 16, 1); },
       "Can't find last directory chunk\n"},
      {"chunk count 0xFFFFFFFF, no last listing chunk",
       [](auto& b) {
         Put32(b, ChmBuilder::kItspOffset + 44, 0xFFFFFFFF);
         Put32(b, ChmBuilder::kChunksOffset + 16, 7);
       },
       "Directory of 4294967295 chunks of 4096 bytes does not fit in the file.\n"},
  };
  const std::vector<std::uint8_t> valid = OneChunkBook().Build();
  ASSERT_EQ(ContainerError(valid), "");
  for (const Case& c : cases) {
    std::vector<std::uint8_t> bytes = valid;
    c.patch(bytes);
    EXPECT_EQ(ContainerError(bytes), c.message) << c.what;
  }
}

TEST(MalformedDirectory, NextChunkEqualToTheCountInALongerDirectory) {
  ChmBuilder b;
  b.chunkSize = 256;
  for (int i = 0; i < 40; ++i) b.AddFile("/page" + std::to_string(i) + ".htm", "x");
  std::vector<std::uint8_t> bytes = b.Build();
  const std::size_t chunks = b.ListingChunks();
  ASSERT_GT(chunks, 2u);
  // The last chunk names a successor that would be chunk number `chunks`.
  Put32(bytes, ChmBuilder::kChunksOffset + (chunks - 1) * 256 + 16, static_cast<std::uint32_t>(chunks));
  EXPECT_EQ(ContainerError(bytes), "Can't find last directory chunk\n");
}

TEST(MalformedDirectory, FieldsThatAreOnlyLoggedMayHoldAnything) {
  // The root-index field is negative but not -1, the listing-chunk numbers
  // point nowhere, the signatures are wrong: none of them is consulted.
  std::vector<std::uint8_t> bytes = OneChunkBook().Build();
  Put32(bytes, ChmBuilder::kItspOffset + 28, 0xFFFFFFFE);
  Put32(bytes, ChmBuilder::kItspOffset + 32, 0x7FFFFFFF);
  Put32(bytes, ChmBuilder::kItspOffset + 36, 0x80000000);
  Put32(bytes, ChmBuilder::kItspOffset + 24, 0xFFFFFFFF);
  bytes[0] = 'X';
  bytes[ChmBuilder::kChunksOffset] = 'Q';
  TempFile file(bytes);
  Book book;
  book.OpenContainer(file.Path());
  ASSERT_EQ(book.EntryCount(), 2u);
  EXPECT_EQ(AsVector(book.ReadObject("/b.htm")), test::Bytes("bbbb"));
}

// Entry names. Elsewhere: names of every length (container_test), UTF-8 names
// found from paths in the book's code page (book_open_test), names differing
// in case (lookup_test).
TEST(MalformedNames, EmptyNamesAndNamesHoldingNul) {
  ChmBuilder b;
  b.AddFile("", "empty-name");
  b.AddFile(std::string("/a\0b.htm", 8), "with-nul");
  b.AddFile("/a", "plain-a");
  TempFile file(b.Build());
  Book book;
  book.OpenContainer(file.Path());
  ASSERT_EQ(book.EntryCount(), 3u);
  EXPECT_EQ(book.Entry(0).name, "");
  EXPECT_EQ(book.Entry(1).name, std::string("/a\0b.htm", 8));
  // Names compare as C strings: the empty name is what an empty path names,
  // and a name holding a NUL ends there, so "/a\0b.htm" answers to "/a" and,
  // first in file order, wins over the entry really called "/a" (as the
  // first of two names differing in case does).
  EXPECT_EQ(Found(book, ""), 0);
  EXPECT_EQ(AsVector(book.ReadObject("")), test::Bytes("empty-name"));
  EXPECT_EQ(Found(book, "/a"), 1);
  EXPECT_EQ(AsVector(book.ReadObject(std::string("/a\0zzz", 6))), test::Bytes("with-nul"));
  EXPECT_EQ(Found(book, "/b.htm"), -1);
  // The bulk read hands out every entry with its own bytes.
  std::map<std::string, std::string> read;
  test::ReadAllObjects(
      book,
      [&](const DirectoryEntry& e, std::span<const std::uint8_t> bytes) {
        read[std::string(e.name)] = {bytes.begin(), bytes.end()};
      },
      [&](const DirectoryEntry& e, const BookError& m) { ADD_FAILURE() << e.name << ": " << m.Message(); });
  EXPECT_EQ(read[""], "empty-name");
  EXPECT_EQ(read[std::string("/a\0b.htm", 8)], "with-nul");
  EXPECT_EQ(read["/a"], "plain-a");
}

TEST(MalformedNames, ShortNamesBeginningWithTwoColons) {
  // Names that start like the storage objects but are shorter than any of
  // them: a book holding them opens, sizes its buffers and reads them.
  BookBuilder b;
  b.AddFile("#SYSTEM", SystemObject({{3, std::string("T\0", 2)}}));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/page.htm", "page");
  b.AddRawEntry(":", 1, 0, 4);
  b.AddRawEntry("::", 1, 0, 4);
  b.AddRawEntry("::D", 0, 0, 1);
  b.AddRawEntry("::DataSpace/Storage", 1, 0, 4);
  b.AddRawEntry("::DataSpace/Storage/", 1, 0, 4);
  TempFile file(b.Build());
  Book book;
  book.Open(file.Path());
  const std::vector<std::uint8_t> first(b.Plain().begin(), b.Plain().begin() + 4);
  for (const char* name : {":", "::", "::DataSpace/Storage"}) {
    EXPECT_EQ(AsVector(book.ReadObject(name)), first) << name;
  }
  EXPECT_EQ(book.ReadObject("::D").size(), 1u);
  int visited = 0;
  test::ReadAllObjects(
      book, [&](const DirectoryEntry&, std::span<const std::uint8_t>) { ++visited; },
      [&](const DirectoryEntry& e, const BookError& m) { ADD_FAILURE() << e.name << ": " << m.Message(); });
  EXPECT_EQ(static_cast<std::size_t>(visited), book.EntryCount());
}

TEST(MalformedNames, BytesFromHexEightyUpAreOrdinaryNameBytes) {
  // Real books store UTF-8 names; any byte above 0x7F is part of a name.
  const std::string names[] = {"/caf\xC3\xA9.htm", "/\xE6\x97\xA5\xE6\x9C\xAC/\xE8\xAA\x9E.htm",
                               "/\xFF\x80\xFE.bin", std::string(200, '\xC3')};
  BookBuilder b;
  b.AddFile("#SYSTEM", SystemObject({{3, std::string("T\0", 2)}}));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  int n = 0;
  for (const std::string& name : names) {
    b.AddFile(name, "compressed " + std::to_string(n), true);
    b.AddFile(name + ".plain", "stored " + std::to_string(n), false);
    ++n;
  }
  TempFile file(b.Build());
  Book book;
  book.Open(file.Path());
  n = 0;
  for (const std::string& name : names) {
    const std::string path = name[0] == '/' ? name : "/" + name;
    EXPECT_EQ(AsVector(book.ReadObject(name)), test::Bytes("compressed " + std::to_string(n))) << n;
    EXPECT_EQ(AsVector(book.ReadObject(name + ".plain")), test::Bytes("stored " + std::to_string(n))) << n;
    ++n;
  }
}

// The compressed section. Elsewhere: window fields 1 and 8, a short or
// foreign control data object, reset tables that are short, shorter than
// their entry count, with block size 0 or huge, offsets running backwards or
// past the section, a 4 GiB plain length, an object past its section
// (compressed_read_test: EachDamageHasItsMessage); a damaged stream
// (DamagedStreamFailsOnlyTheObjectsOverIt).
TEST(MalformedCompressedSection, WindowFieldsOtherThanTwoAndFour) {
  for (std::uint32_t field : {0u, 1u, 3u, 8u, 32u, 0xFFFFFFFFu}) {
    BookBuilder b;
    b.AddFile("#SYSTEM", SystemObject({}), false);
    b.AddFile("#STRINGS", std::string(1, '\0'), false);
    b.AddFile("/a.bin", std::string(100, 'a'));
    b.editControlData = [field](auto& c) { Put32(c, 16, field); };
    TempFile file(b.Build());
    Book book;
    book.OpenStorage(file.Path());
    EXPECT_EQ(ReadError(book, "a.bin"), "Can't decompress section 1.\nNot correct window size " +
                                            std::to_string(static_cast<int>(field)) + ".\n");
    std::string bulk;
    test::ReadAllObjects(
        book, [](const DirectoryEntry&, std::span<const std::uint8_t>) {},
        [&](const DirectoryEntry& e, const BookError& m) {
          if (e.name == "/a.bin") bulk = m.Message();
        });
    EXPECT_EQ(bulk, "Can't decompress section 1.\nNot correct window size " +
                        std::to_string(static_cast<int>(field)) + ".\n");
    // The open refuses the book, with the message of the section itself.
    try {
      Book opened;
      opened.Open(file.Path());
      ADD_FAILURE() << field;
    } catch (const BookError& e) {
      EXPECT_EQ(e.Message(), "Not correct window size " + std::to_string(static_cast<int>(field)) + ".\n");
    }
  }
}

TEST(MalformedCompressedSection, ResetIntervalIsNotConsulted) {
  for (std::uint32_t interval : {0u, 1u, 3u, 0xFFFFFFFFu}) {
    BookBuilder b;
    b.AddFile("/a.bin", std::string(70000, 'a'));
    b.AddFile("/b.bin", std::string(40000, 'b'));
    b.editControlData = [interval](auto& c) { Put32(c, 12, interval); };
    TempFile file(b.Build());
    Book book;
    book.OpenStorage(file.Path());
    EXPECT_EQ(AsVector(book.ReadObject("b.bin")), test::Bytes(std::string(40000, 'b'))) << interval;
    EXPECT_EQ(AsVector(book.ReadObject("a.bin")), test::Bytes(std::string(70000, 'a'))) << interval;
  }
}

TEST(MalformedCompressedSection, FourGibibyteObjectFailsWithoutItsBuffers) {
  BookBuilder b;
  b.AddFile("/a.bin", std::string(100, 'a'));
  b.AddRawEntry("/huge.bin", 1, 0, 0xFFFFFFFF);
  b.AddRawEntry("/late.bin", 1, 0xFFFFFFFF, 1);
  TempFile file(b.Build());
  Book book;
  book.OpenStorage(file.Path());
  // Objects the table cannot place are left to their read.
  EXPECT_EQ(ReadError(book, "huge.bin"),
            "Can't decompress section 1.\nObject /huge.bin lies past the end of its content section.\n");
  EXPECT_EQ(ReadError(book, "late.bin"),
            "Can't decompress section 1.\nObject /late.bin lies past the end of its content section.\n");
  EXPECT_EQ(AsVector(book.ReadObject("a.bin")), test::Bytes(std::string(100, 'a')));
}

// A book whose stream starts with the given bytes in place of its first
// stored block; the file holds /a.bin, 200 bytes at the start of the
// compressed section.
std::vector<std::uint8_t> BookWithStream(const std::vector<std::uint8_t>& stream) {
  BookBuilder b;
  b.AddFile("/a.bin", std::string(200, 'a'));
  std::vector<std::uint8_t> bytes = b.Build();
  TempFile probe(bytes);
  Logger log;
  const std::unique_ptr<Container> reader = Container::Open(probe.Path(), log);
  const std::optional<DirectoryEntry> content = reader->FindEntry("::DataSpace/Storage/MSCompressed/Content");
  EXPECT_TRUE(content);
  if (!content || stream.size() > content->length) return {};
  const std::size_t at = static_cast<std::size_t>(LoadLE64(&bytes[88])) + content->offset;
  std::copy(stream.begin(), stream.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
  return bytes;
}

// Damaged streams inside a book. Elsewhere, decoder alone: over-subscribed
// and incomplete codes (lzx_huffman_test: OverSubscribedCodesFail,
// BadPretreeFails; lzx_decoder_test: IncompleteMainTreeIsBadData), matches
// before the window start (MatchBeforeTheWindowStartReadsTheWindowEnd,
// MatchIntoDataNeverDecodedFails); inside a book, a broken block type
// (compressed_read_test: DamagedStreamFailsOnlyTheObjectsOverIt).
TEST(MalformedStream, DecoderFailuresReachTheReaderAsBookErrors) {
  std::vector<std::pair<const char*, std::vector<std::uint8_t>>> streams;
  {
    test::LzxStreamBuilder builder(16);
    test::LzxTrees trees;
    trees.main.assign(256, 0);
    trees.main['a'] = trees.main['b'] = trees.main['c'] = 1;  // three codes of one bit
    builder.BeginBlock(test::LzxBlockType::Verbatim, 200, trees);
    streams.emplace_back("over-subscribed main tree", builder.Finish());
  }
  {
    test::LzxStreamBuilder builder(16);
    std::vector<std::uint32_t> main(656, 0);
    main['a'] = main[256 + 6 * 8 + 1] = 1;
    test::LzxTrees trees;
    trees.main = test::HuffmanLengths(main, 16);
    builder.BeginBlock(test::LzxBlockType::Verbatim, 200, trees);
    builder.Literal('a');
    builder.MatchSlot(6, 3, 0);  // offset 6, five bytes before the window start
    streams.emplace_back("match before the window start", builder.Finish());
  }
  {
    // The same placement with a sound coded block reads back: the failures
    // above come from the damage, not from the splice.
    test::LzxStreamBuilder builder(16);
    const std::vector<test::LzxItem> items(200, test::LzxItem::Literal('a'));
    builder.EncodeBlock(test::LzxBlockType::Verbatim, items);
    TempFile file(BookWithStream(builder.Finish()));
    Book book;
    book.OpenStorage(file.Path());
    EXPECT_EQ(AsVector(book.ReadObject("a.bin")), test::Bytes(std::string(200, 'a')));
  }
  for (const auto& [what, stream] : streams) {
    const std::vector<std::uint8_t> bytes = BookWithStream(stream);
    ASSERT_FALSE(bytes.empty()) << what;
    TempFile file(bytes);
    Book book;
    book.OpenStorage(file.Path());
    EXPECT_EQ(ReadError(book, "a.bin"),
              "Can't decompress section 1.\nError while uncompress content section.\n")
        << what;
    std::string bulk;
    test::ReadAllObjects(
        book, [](const DirectoryEntry&, std::span<const std::uint8_t>) {},
        [&](const DirectoryEntry& e, const BookError& m) {
          if (e.name == "/a.bin") bulk = m.Message();
        });
    EXPECT_EQ(bulk, "Can't decompress section 1.\nError while uncompress content section.\n") << what;
  }
}

// System records. Elsewhere: a #SYSTEM record past its end
// (system_records_test: DamagedLengthsStopAtTheEndOfTheObject), #WINDOWS
// shorter than 180 bytes (book_open_test: ShortWindowsObjectReadsAsAbsentFields),
// string offsets past #STRINGS (HomeAndTitleFallbacks, and
// topic_table OffsetsOutsideTheirObjectsAreAbsent for #urltbl and #urlstr).
TEST(MalformedSystemRecords, LastStringOfStringsWithoutItsNul) {
  // The #WINDOWS caption points at a string that runs to the end of
  // #STRINGS without a terminating NUL: it ends with the object.
  std::vector<std::uint8_t> windows(8 + 196, 0);
  Put32(windows, 0, 1);
  Put32(windows, 4, 196);
  Put32(windows, 28, 1);   // caption
  Put32(windows, 104, 6);  // contents file: the last byte of #STRINGS
  BookBuilder b;
  b.AddFile("#SYSTEM", SystemObject({}));
  b.AddFile("#STRINGS", std::string("\0Titl\0X", 7));
  b.AddFile("#WINDOWS", windows);
  TempFile file(b.Build());
  Book book;
  book.Open(file.Path());
  EXPECT_EQ(book.Title(), "Titl");
  EXPECT_EQ(book.ContentsFileName(), "X");
}

}  // namespace
}  // namespace tessaly
