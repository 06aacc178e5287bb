// Book text on its way to the screen and back: UTF-8 cuts, the iconv codec,
// keywords and searches in a book of another code page; and the focus rules
// of the main window.
#include <gtest/gtest.h>

#include "app/recording_platform.h"
#include "app/utf8.h"
#include "codec/codec.h"
#include "search/fti_builder.h"

namespace tessaly::app::test {
namespace {

using tessaly::test::BookBuilder;
using tessaly::test::TestBook;

TEST(Utf8, ChecksWellFormedText) {
  EXPECT_TRUE(IsUtf8(""));
  EXPECT_TRUE(IsUtf8("plain"));
  EXPECT_TRUE(IsUtf8("café книга 書 \xF0\x9F\x93\x96"));
  EXPECT_FALSE(IsUtf8("caf\xE9"));           // a code-page byte
  EXPECT_FALSE(IsUtf8("\xC0\xAF"));          // overlong '/'
  EXPECT_FALSE(IsUtf8("\xE0\x80\xAF"));      // overlong, three bytes
  EXPECT_FALSE(IsUtf8("\xED\xA0\x80"));      // a surrogate
  EXPECT_FALSE(IsUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(IsUtf8("\xE6\x9B"));          // cut short
  EXPECT_FALSE(IsUtf8("\x80"));              // a lone continuation byte
}

TEST(Utf8, CutsNeverSplitACharacter) {
  const std::string text = "aé書\xF0\x9F\x93\x96z";  // 1 + 2 + 3 + 4 + 1 bytes
  EXPECT_EQ(CountChars(text), 5u);
  EXPECT_EQ(CutToChars(text, 0), "");
  EXPECT_EQ(CutToChars(text, 2), "aé");
  EXPECT_EQ(CutToChars(text, 4), "aé書\xF0\x9F\x93\x96");
  EXPECT_EQ(CutToChars(text, 99), text);
  EXPECT_EQ(CutToBytes(text, 2), "a");
  EXPECT_EQ(CutToBytes(text, 3), "aé");
  EXPECT_EQ(CutToBytes(text, 5), "aé");
  EXPECT_EQ(CutToBytes(text, 6), "aé書");
  EXPECT_EQ(CutToBytes(text, 9), "aé書");
  EXPECT_EQ(CutToBytes(text, 11), text);
  // Stray bytes count one each and are cut like any character.
  EXPECT_EQ(CutToChars("\xE9\xE9\xE9", 2), "\xE9\xE9");
  EXPECT_EQ(CutToChars("\xE6\x9B", 1), "\xE6\x9B");
  EXPECT_EQ(AsciiOrReplacement("a\xE9"), "a\xEF\xBF\xBD");
}

TEST(IconvCodec, ConvertsBothWays) {
  const IconvCodec codec;
  EXPECT_EQ(codec.ToUtf8("\xCA\xEE\xF2", 1251), "Кот");
  EXPECT_EQ(codec.ToUtf8("caf\xE9", 1252), "café");
  EXPECT_EQ(codec.ToUtf8("\x93\xfa\x96\x7b", 932), "日本");
  EXPECT_EQ(codec.ToUtf8("\xC4\xE3\xBA\xC3", 936), "你好");
  EXPECT_EQ(codec.FromUtf8("Кот", 1251), "\xCA\xEE\xF2");
  EXPECT_EQ(codec.FromUtf8("你好", 936), "\xC4\xE3\xBA\xC3");
  EXPECT_EQ(codec.FromUtf8("plain", 1251), "plain");
  // A byte the code page lacks becomes U+FFFD; a character it lacks fails.
  EXPECT_EQ(codec.ToUtf8("a\x98z", 1251), "a\xEF\xBF\xBDz");
  EXPECT_EQ(codec.FromUtf8("書", 1252), std::nullopt);
  EXPECT_EQ(codec.FromUtf8("caf\xE9", 1252), std::nullopt);  // not UTF-8
  // Unknown code pages say so, for ASCII too.
  EXPECT_EQ(codec.ToUtf8("abc", 12345), std::nullopt);
  EXPECT_EQ(codec.ToUtf8("abc", 0), std::nullopt);
  EXPECT_EQ(codec.FromUtf8("abc", 12345), std::nullopt);
  EXPECT_EQ(IconvCodec::NamesFor(950), (std::vector<std::string>{"CP950", "BIG5"}));
}

// A Russian book (code page 1251) with a keyword index and a full-text
// index whose words are stored in the code page.
TEST(RussianBook, KeywordsAndSearchesGoThroughTheCodePage) {
  tessaly::test::TempDir root;
  Desktop desktop(root.Path());
  Session session(desktop);
  tessaly::test::FtiBuilder fti;
  fti.Add("\xEA\xEE\xF2", {0});  // "кот"
  BookBuilder b;
  b.AddFile("#SYSTEM", SystemObject({{1, Text("k.hhk")}, {2, Text("a.htm")}, {3, Text("\xCA\xEE\xF2")},
                                     {4, LanguageRecord(0x419)}}));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/k.hhk",
            "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"\xCA\xEE\xF2\">"
            "<param name=\"Local\" value=\"a.htm\"></OBJECT><UL><LI><OBJECT type=\"text/sitemap\">"
            "<param name=\"Name\" value=\"\xF7\xE5\xF0\xED\xFB\xE9\"><param name=\"Local\" value=\"a.htm\">"
            "</OBJECT></UL></UL>");
  b.AddFile("/a.htm", "<p>\xEA\xEE\xF2</p>");
  b.AddFile("/$FIftiMain", fti.Build().data);
  BuiltBook book(b);
  RecordingPlatform& ui = session.platform;
  ASSERT_TRUE(session.reader.Start(book.Path()));
  session.platform.Drain();
  session.platform.Drain();
  ui.Complete();
  EXPECT_EQ(ui.title, "Кот");

  ASSERT_TRUE(ui.Click(kCmdIndex));
  EXPECT_EQ(ui.At(Control::kIndexList).lines, (std::vector<std::string>{"Кот", "  черный"}));
  // Type-ahead compares the typed UTF-8 with the lines as shown.
  ui.Type(Control::kIndexEdit, "  ч");
  EXPECT_EQ(ui.At(Control::kIndexList).top, 1);

  ASSERT_TRUE(ui.Click(kCmdSearch));
  ui.Type(Control::kSearchEdit, "кот");
  ASSERT_TRUE(ui.Press(Control::kListTopicsButton));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(ui.At(Control::kResultsList).lines.size(), 1u);
  // A word the code page cannot even write is searched as typed: no hits.
  ui.Type(Control::kSearchEdit, "書");
  ASSERT_TRUE(ui.Press(Control::kListTopicsButton));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(ui.tab().resultsNote, "No topics found");
}

// --- Focus ------------------------------------------------------------------------------

using FocusTest = ReaderTest;

TEST_F(FocusTest, FocusReturnsWhereItWas) {
  ASSERT_TRUE(Start(TestBook("basic")));
  ASSERT_TRUE(ui().Click(kCmdIndex));
  ASSERT_EQ(ui().tab().focus, Control::kIndexEdit);
  reader().OnActivate(false);
  ui().tab().focus.reset();  // another program took it
  reader().OnActivate(true);
  EXPECT_EQ(ui().tab().focus, Control::kIndexEdit);
}

TEST_F(FocusTest, FocusGoesToTheViewOrTheTreeWhenItsWindowIsHidden) {
  ASSERT_TRUE(Start(TestBook("basic")));
  ASSERT_TRUE(ui().Click(kCmdIndex));
  reader().OnActivate(false);
  // A panel switch happened meanwhile: the edit box is hidden.
  ASSERT_TRUE(ui().Click(kCmdHtml));
  ui().tab().focus.reset();
  reader().OnActivate(true);
  EXPECT_EQ(ui().tab().focus, Control::kPageView);

  ASSERT_TRUE(ui().Click(kCmdIndex));
  reader().OnActivate(false);
  ASSERT_TRUE(ui().Click(kCmdContents));
  ui().tab().focus.reset();
  reader().OnActivate(true);
  EXPECT_EQ(ui().tab().focus, Control::kTree);
}

TEST_F(FocusTest, DestroyedControlsAreNotFocused) {
  ASSERT_TRUE(Start(TestBook("basic")));
  ASSERT_TRUE(ui().Click(kCmdSearch));
  reader().OnActivate(false);
  // A book without a search panel replaces this one.
  OpenThroughMenu(TestBook("plain"));
  ui().tab().focus.reset();
  reader().OnActivate(true);
  EXPECT_EQ(ui().tab().focus, Control::kPageView);
}

TEST_F(FocusTest, WithoutABookTheStartViewHasTheFocus) {
  ASSERT_TRUE(Start());
  ui().tab().focus.reset();
  reader().OnActivate(false);
  reader().OnActivate(true);
  EXPECT_EQ(ui().tab().focus, Control::kPageView);
}

TEST_F(FocusTest, BookWithoutADefaultTopicOpensQuietly) {
  BookBuilder b;
  b.AddFile("#SYSTEM", SystemObject({{3, Text("No start")}}));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/a.htm", "<p>a</p>");
  BuiltBook book(b);
  ASSERT_TRUE(Start(book.Path()));
  EXPECT_EQ(ui().title, "No start");
  EXPECT_TRUE(ui().messages.empty());
  EXPECT_TRUE(ui().tab().navigations.empty());
  EXPECT_FALSE(ui().Loading());
  // Home has nowhere to go either; Refresh has nothing to load.
  ASSERT_TRUE(ui().Click(kCmdHome));
  ASSERT_TRUE(ui().Click(kCmdRefresh));
  EXPECT_TRUE(ui().messages.empty());
  EXPECT_TRUE(ui().tab().navigations.empty());
  EXPECT_FALSE(ui().Loading());
}

}  // namespace
}  // namespace tessaly::app::test
