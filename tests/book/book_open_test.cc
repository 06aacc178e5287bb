// Opening a book completely: the load sequence, its failures, and what the
// book says of itself through #SYSTEM, #STRINGS and #WINDOWS.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/book_error.h"
#include "base/text_converter.h"
#include "book/book.h"
#include "support/book_builder.h"
#include "support/chm_builder.h"

namespace tessaly {
namespace {

using test::Append16;
using test::Append32;
using test::BookBuilder;
using test::Put32;
using test::TempFile;

std::string SystemObject(const std::map<int, std::string>& records, std::uint32_t version = 3) {
  std::vector<std::uint8_t> out;
  Append32(out, version);
  for (const auto& [code, data] : records) {
    Append16(out, static_cast<std::uint16_t>(code));
    Append16(out, static_cast<std::uint16_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
  }
  return {out.begin(), out.end()};
}

std::string Text(const std::string& s) { return s + '\0'; }

// #STRINGS with the given strings; offsets[i] is where string i starts.
struct Strings {
  std::string bytes = std::string(1, '\0');
  std::uint32_t Add(const std::string& s) {
    auto at = static_cast<std::uint32_t>(bytes.size());
    bytes += s;
    bytes += '\0';
    return at;
  }
};

std::string WindowsObject(const std::map<std::size_t, std::uint32_t>& fields, std::size_t size = 8 + 196) {
  std::vector<std::uint8_t> out(size, 0);
  Put32(out, 0, 1);
  Put32(out, 4, 196);
  for (const auto& [offset, value] : fields) Put32(out, offset, value);
  return {out.begin(), out.end()};
}

const char* kSitemap =
    "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Start\">"
    "<param name=\"Local\" value=\"start.htm\"></OBJECT></UL>";

BookBuilder MinimalBook() {
  BookBuilder b;
  b.AddFile("#SYSTEM", SystemObject({{0, Text("toc.hhc")}, {2, Text("start.htm")}, {3, Text("Minimal")}}));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/start.htm", "<html>start</html>");
  b.AddFile("/toc.hhc", kSitemap);
  return b;
}

std::string OpenError(const BookBuilder& b) {
  TempFile file(b.Build());
  Book book;
  try {
    book.Open(file.Path());
  } catch (const BookError& e) {
    return e.Message();
  }
  return "";
}

struct OpenBook {
  explicit OpenBook(const BookBuilder& b) : file(b.Build()) { book.Open(file.Path()); }
  TempFile file;
  Book book;
};

TEST(BookOpen, MinimalBookOpensWithEverythingItNames) {
  OpenBook o(MinimalBook());
  Book& book = o.book;
  EXPECT_EQ(book.Title(), "Minimal");
  EXPECT_EQ(book.DefaultTopic(), "start.htm");
  EXPECT_EQ(book.HomeTopic(), "start.htm");
  EXPECT_EQ(book.ContentsFileName(), "toc.hhc");
  EXPECT_EQ(book.IndexFileName(), "");
  EXPECT_FALSE(book.JumpLabel());
  EXPECT_FALSE(book.JumpTarget());
  EXPECT_EQ(book.LanguageId(), 1033);
  EXPECT_EQ(book.CodePage(), 1252);
  EXPECT_EQ(book.Contents().nodeCount, 1);
  EXPECT_EQ(book.Topics().Count(), 0);  // no topic tables: no topics
  EXPECT_EQ(book.Topics().Title(0), "Incorrect topic id");
}

TEST(BookOpen, RequiredObjectsAndTheirMessages) {
  BookBuilder noSystem;
  noSystem.AddFile("#STRINGS", std::string(1, '\0'));
  EXPECT_EQ(OpenError(noSystem), "Can't find entry for file #SYSTEM\n");
  BookBuilder noStrings;
  noStrings.AddFile("#SYSTEM", SystemObject({}));
  EXPECT_EQ(OpenError(noStrings), "Can't find entry for file #STRINGS\n");
  BookBuilder badVersion;
  badVersion.AddFile("#SYSTEM", SystemObject({}, 7));
  badVersion.AddFile("#STRINGS", std::string(1, '\0'));
  EXPECT_EQ(OpenError(badVersion), "Incorrect version number for #SYSTEM file: 7.");
  // The metadata itself stored uncompressed: the window size fails the open
  // when the work buffers are sized.
  BookBuilder badWindow;
  badWindow.AddFile("#SYSTEM", SystemObject({}), false);
  badWindow.AddFile("#STRINGS", std::string(1, '\0'), false);
  badWindow.AddFile("/start.htm", "<html>start</html>");
  badWindow.editControlData = [](std::vector<std::uint8_t>& c) { Put32(c, 16, 8); };
  EXPECT_EQ(OpenError(badWindow), "Not correct window size 8.\n");
}

TEST(BookOpen, ContentsFailuresAndTheMissingContentsFile) {
  BookBuilder bad;
  bad.AddFile("#SYSTEM", SystemObject({{0, Text("bad.hhc")}}));
  bad.AddFile("#STRINGS", std::string(1, '\0'));
  bad.AddFile("/bad.hhc", "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"ImageNumber\" value=\"abc\">");
  EXPECT_EQ(OpenError(bad), "Error while parse TOC file.\nIncorrect param=\"ImageNumber\" value:\nabc.");
  // Named but not stored: the book opens without a contents tree.
  BookBuilder missing;
  missing.AddFile("#SYSTEM", SystemObject({{0, Text("gone.hhc")}}));
  missing.AddFile("#STRINGS", std::string(1, '\0'));
  OpenBook o(missing);
  EXPECT_EQ(o.book.Contents().nodeCount, 0);
  EXPECT_EQ(o.book.ContentsFileName(), "gone.hhc");
}

TEST(BookOpen, WindowsFallbacksAndButtons) {
  Strings s;
  const std::uint32_t caption = s.Add("Window Caption");
  const std::uint32_t toc = s.Add("win.hhc");
  const std::uint32_t index = s.Add("win.hhk");
  const std::uint32_t start = s.Add("win-start.htm");
  const std::uint32_t home = s.Add("home.htm");
  const std::uint32_t label = s.Add("Jump!");
  const std::uint32_t target = s.Add("jump.htm");
  BookBuilder b;
  b.AddFile("#SYSTEM", SystemObject({{3, Text("System Title")}, {4, std::string("\x19\x04\0\0", 4)}}));
  b.AddFile("#STRINGS", s.bytes);
  b.AddFile("#WINDOWS", WindowsObject({{28, caption}, {104, toc}, {108, index}, {112, start}, {116, home},
                                       {120, 0x40 | 0x80000}, {168, label}, {176, target}}));
  b.AddFile("/win.hhc", kSitemap);
  OpenBook o(b);
  Book& book = o.book;
  EXPECT_EQ(book.Title(), "Window Caption");
  EXPECT_EQ(book.ContentsFileName(), "win.hhc");
  EXPECT_EQ(book.IndexFileName(), "win.hhk");
  EXPECT_EQ(book.DefaultTopic(), "win-start.htm");
  EXPECT_EQ(book.HomeTopic(), "home.htm");
  EXPECT_EQ(book.JumpLabel().value_or("<none>"), "Jump!");
  EXPECT_EQ(book.JumpTarget().value_or("<none>"), "jump.htm");
  EXPECT_EQ(book.Contents().nodeCount, 1);
  EXPECT_EQ(book.LanguageId(), 1049);
  EXPECT_EQ(book.CodePage(), 1251);
}

TEST(BookOpen, HomeAndTitleFallbacks) {
  Strings s;
  const std::uint32_t home = s.Add("home.htm");
  auto build = [&](std::uint32_t buttons, std::uint32_t homeOffset, std::uint32_t captionOffset,
                   const std::string& title) {
    BookBuilder b;
    b.AddFile("#SYSTEM", SystemObject({{2, Text("default.htm")}, {3, Text(title)}}));
    b.AddFile("#STRINGS", s.bytes);
    b.AddFile("#WINDOWS", WindowsObject({{116, homeOffset}, {120, buttons}, {28, captionOffset}}));
    return b;
  };
  {  // The home string is ignored without the home button.
    OpenBook o(build(0, home, 0, "T"));
    EXPECT_EQ(o.book.HomeTopic(), "default.htm");
    EXPECT_EQ(o.book.Title(), "T");
  }
  {  // A home button with an empty home string falls back to the default topic.
    OpenBook o(build(0x40, 0, 0, ""));
    EXPECT_EQ(o.book.HomeTopic(), "default.htm");
    EXPECT_EQ(o.book.Title(), o.file.Path());  // no caption, no title: the file's path
  }
  {  // Offsets beyond #STRINGS count as empty.
    OpenBook o(build(0x40, 100000, 100000, "Kept"));
    EXPECT_EQ(o.book.HomeTopic(), "default.htm");
    EXPECT_EQ(o.book.Title(), o.file.Path());
  }
}

TEST(BookOpen, ShortWindowsObjectReadsAsAbsentFields) {
  BookBuilder b;
  b.AddFile("#SYSTEM", SystemObject({{3, Text("Title")}}));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("#WINDOWS", WindowsObject({}, 100));  // shorter than 180 bytes
  OpenBook o(b);
  EXPECT_EQ(o.book.Title(), "Title");
  EXPECT_EQ(o.book.ContentsFileName(), "");
  EXPECT_FALSE(o.book.JumpLabel());
}

TEST(BookOpen, TopicTablesNeedAllThree) {
  BookBuilder b = MinimalBook();
  b.AddFile("#topics", std::string(32, '\0'));
  b.AddFile("#urltbl", std::string(12, '\0'));
  {
    OpenBook o(b);
    EXPECT_EQ(o.book.Topics().Count(), 0);
  }
  b.AddFile("#urlstr", std::string(8, '\0') + "start.htm" + '\0');
  OpenBook o(b);
  EXPECT_EQ(o.book.Topics().Count(), 2);
  EXPECT_EQ(o.book.Topics().Path(0).value_or("<none>"), "start.htm");
}

// Converts Windows-1252 e-acute to UTF-8, as iconv would.
class FakeConverter : public TextConverter {
 public:
  std::optional<std::string> ToUtf8(std::string_view text, int codePage) const override {
    ++calls;
    lastCodePage = codePage;
    std::string out;
    for (char c : text) out += (c == '\xE9') ? std::string("\xC3\xA9") : std::string(1, c);
    return out;
  }
  mutable int calls = 0;
  mutable int lastCodePage = 0;
};

TEST(BookOpen, NamesWrittenInTheCodePageFindTheirUtf8Entries) {
  BookBuilder b = MinimalBook();
  b.AddFile("/caf\xC3\xA9.htm", "coffee");
  OpenBook o(b);
  EXPECT_FALSE(o.book.HasObject("caf\xE9.htm"));
  FakeConverter converter;
  o.book.SetTextConverter(&converter);
  const std::optional<DirectoryEntry> e = o.book.FindEntry("caf\xE9.htm");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->name, "/caf\xC3\xA9.htm");
  EXPECT_EQ(converter.lastCodePage, 1252);
  const int before = converter.calls;
  EXPECT_TRUE(o.book.HasObject("start.htm"));  // ASCII paths never ask the converter
  EXPECT_EQ(converter.calls, before);
}

TEST(BookOpen, CompiledBook) {
  Book book;
  book.Open(test::TestBook("basic"));
  EXPECT_EQ(book.Title(), "Tessaly Test Book");
  EXPECT_EQ(book.DefaultTopic(), "index.htm");
  EXPECT_EQ(book.CodePage(), 1252);
  EXPECT_EQ(book.LanguageId(), 0x409);
  EXPECT_EQ(book.Contents().nodeCount, 6);
  // Every topic's path and title come from the topic table.
  std::map<std::string, std::string> titles;
  for (std::int32_t n = 0; n < book.Topics().Count(); ++n)
    titles.try_emplace(std::string(book.Topics().Path(n).value_or("")), book.Topics().Title(n));
  EXPECT_EQ(titles["index.htm"], "Welcome");
  EXPECT_EQ(titles["chapter1/intro.htm"], "Introduction");
  EXPECT_EQ(titles["chapter2/My Page.htm"], "My Page");
  EXPECT_EQ(book.Topics().FindByPath("/Chapter1/Details.htm#x"), 2);
}

TEST(Corpus, EveryBookOpensOrFailsWithItsReason) {
  const auto files = test::CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "corpus folder ../shared/corpus is absent";
  for (const auto& path : files) {
    Book book;
    try {
      book.Open(path);
    } catch (const BookError& e) {
      ADD_FAILURE() << path << ": " << e.Message();
      continue;
    }
    EXPECT_FALSE(book.Title().empty()) << path;
    EXPECT_FALSE(book.DefaultTopic().empty() && book.Contents().nodeCount == 0) << path;
  }
}

}  // namespace
}  // namespace tessaly
