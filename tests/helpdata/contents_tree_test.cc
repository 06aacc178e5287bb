// The contents tree: nesting, the document-order chain, site properties,
// numbers, failures, deep trees, the test book and the corpus.
#include "helpdata/helpdata.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/book_error.h"
#include "base/text.h"
#include "book/book.h"
#include "support/book_entries.h"
#include "support/chm_builder.h"

namespace tessaly {
namespace {

std::string Item(const std::string& name, const std::string& local) {
  return "<LI> <OBJECT type=\"text/sitemap\">\n\t<param name=\"Name\" value=\"" + name +
         "\">\n\t<param name=\"Local\" value=\"" + local + "\">\n\t</OBJECT>\n";
}

std::string Param(const std::string& name, const std::string& value) {
  return "<param name=\"" + name + "\" value=\"" + value + "\">";
}

// Parses text held in a buffer of exactly its size (reads past it are
// caught by the sanitizer).
void Parse(ContentsTree& tree, const std::string& text, std::ostream* logTo = nullptr) {
  std::vector<std::uint8_t> bytes(text.begin(), text.end());
  Logger log;
  log.SetStream(logTo);
  ParseContents(tree, bytes, log);
}

std::unique_ptr<ContentsTree> Parsed(const std::string& text) {
  auto tree = std::make_unique<ContentsTree>();
  Parse(*tree, text);
  return tree;
}

std::string ErrorOf(const std::string& text) {
  ContentsTree tree;
  try {
    Parse(tree, text);
  } catch (const BookError& error) {
    return error.Message();
  }
  return "(no error)";
}

// "name(local)" for every node, children in brackets: A(a)[B(b)] C(c).
std::string Outline(const TocNode& node) {
  std::string out;
  for (const TocNode* child : node.children) {
    if (!out.empty()) out += ' ';
    out += child->name + "(" + child->local + ")";
    if (!child->children.Empty()) out += "[" + Outline(*child) + "]";
  }
  return out;
}

// The chain must list every node once, in pre-order, with matching prev and
// next links, the root's prev on its last node, and nodeCount its length.
void ExpectSoundChain(const ContentsTree& tree) {
  std::vector<const TocNode*> preorder;
  ForEachTocNode(tree.root, [&](const TocNode& node, int) { preorder.push_back(&node); });
  std::vector<const TocNode*> chain;
  const TocNode* previous = nullptr;
  for (const TocNode* node = tree.root.children.Get(0); node != nullptr; node = node->next) {
    EXPECT_EQ(node->prev, previous);
    chain.push_back(node);
    previous = node;
    if (chain.size() > preorder.size()) break;
  }
  EXPECT_EQ(chain, preorder);
  EXPECT_EQ(tree.root.prev, previous);
  EXPECT_EQ(tree.nodeCount, static_cast<std::int32_t>(preorder.size()));
}

TEST(ContentsTree, ASitemapWithoutAListIsAnEmptyTree) {
  auto tree = Parsed("<HTML><BODY>" + Item("A", "a.htm") + "</BODY></HTML>");
  EXPECT_EQ(tree->root.children.Count(), 0);
  EXPECT_EQ(tree->nodeCount, 0);
  EXPECT_EQ(tree->root.prev, nullptr);
  EXPECT_EQ(Parsed("")->nodeCount, 0);
}

TEST(ContentsTree, NestedListsHangUnderTheItemBeforeThem) {
  auto tree = Parsed("<UL>" + Item("A", "a.htm") + "<UL>" + Item("B", "b.htm") + "</UL>" +
                     Item("C", "c.htm") + "</UL>");
  EXPECT_EQ(Outline(tree->root), "A(a.htm)[B(b.htm)] C(c.htm)");
  ExpectSoundChain(*tree);
  const TocNode* a = tree->root.children.Get(0);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->prev, nullptr);
  EXPECT_EQ(a->next->name, "B");
  EXPECT_EQ(a->next->next->name, "C");
  EXPECT_EQ(tree->root.prev->name, "C");
  EXPECT_EQ(tree->root.prev->next, nullptr);
  EXPECT_EQ(tree->nodeCount, 3);
}

TEST(ContentsTree, AListBeforeAnyItemReadsIntoTheEnclosingLevel) {
  // The inner <UL> has no item to hang under: X lands at the top level, and
  // the inner </UL> closes the top-level list, so Y is never read.
  auto tree = Parsed("<UL><UL>" + Item("X", "x.htm") + "</UL>" + Item("Y", "y.htm") + "</UL>");
  EXPECT_EQ(Outline(tree->root), "X(x.htm)");
  ExpectSoundChain(*tree);
  // The same one level down: the doubled </UL> closes A's level at once,
  // and the next one the top level, before D.
  tree = Parsed("<UL>" + Item("A", "a") + "<UL><UL>" + Item("B", "b") + "</UL>" + Item("C", "c") + "</UL>" +
                Item("D", "d") + "</UL>");
  EXPECT_EQ(Outline(tree->root), "A(a)[B(b)] C(c)");
  ExpectSoundChain(*tree);
}

TEST(ContentsTree, EveryTopLevelListIsRead) {
  // Some books split their contents into several top-level lists; items
  // between the lists are not part of any.
  auto tree = Parsed("<UL>" + Item("A", "a") + "</UL>" + Item("stray", "s") + "<UL>" + Item("B", "b") +
                     "<UL>" + Item("C", "c") + "</UL></UL><UL><UL>" + Item("D", "d") + "</UL></UL>");
  EXPECT_EQ(Outline(tree->root), "A(a) B(b)[C(c)] D(d)");
  EXPECT_EQ(tree->nodeCount, 4);
  ExpectSoundChain(*tree);
  // Input that ends inside lists ends them all.
  tree = Parsed("<UL>" + Item("A", "a") + "<UL>" + Item("B", "b") + "<UL>" + Item("C", "c"));
  EXPECT_EQ(Outline(tree->root), "A(a)[B(b)[C(c)]]");
  ExpectSoundChain(*tree);
}

TEST(ContentsTree, ItemParams) {
  // No Name; two Names keep the second; value before name is empty.
  auto tree =
      Parsed("<UL><LI><OBJECT>" + Param("Local", "a.htm") + "</OBJECT><LI><OBJECT>" + Param("Name", "one") +
             Param("Name", "two") + "</OBJECT><LI><OBJECT><param value=\"v\" name=\"Name\"></OBJECT></UL>");
  EXPECT_EQ(Outline(tree->root), "(a.htm) two() ()");
  // Param names match in any case; unknown params are ignored.
  tree = Parsed("<UL><LI><OBJECT>" + Param("NAME", "n") + Param("local", "l.htm") + Param("Other", "o") +
                Param("imagenumber", "7") + "</OBJECT></UL>");
  EXPECT_EQ(Outline(tree->root), "n(l.htm)");
  EXPECT_EQ(tree->root.children.Get(0)->imageNumber, 7);
  EXPECT_EQ(tree->root.children.Get(0)->treeItem, 0u);
}

TEST(ContentsTree, AnItemWithoutObjectReadsOnToTheNextObjectEnd) {
  auto tree = Parsed("<UL><LI>" + Param("Name", "A") + "<LI><UL>" + Param("Local", "a.htm") + "</OBJECT>" +
                     Item("B", "b.htm") + "</UL>");
  // The second <LI> and the <UL> are swallowed by A's item.
  EXPECT_EQ(Outline(tree->root), "A(a.htm) B(b.htm)");
}

TEST(ContentsTree, TextsAreDecodedNormalisedAndCut) {
  auto tree = Parsed("<UL>" + Item("Chapter 2 &amp; frames", "/chapter1/../My%20Page.htm#x") + "</UL>");
  EXPECT_EQ(Outline(tree->root), "Chapter 2 & frames(My Page.htm#x)");
  tree = Parsed("<UL>" + Item(std::string(300, 'n'), std::string(300, 'p')) + "</UL>");
  EXPECT_EQ(tree->root.children.Get(0)->name, std::string(254, 'n'));
  EXPECT_EQ(tree->root.children.Get(0)->local, std::string(254, 'p'));
}

TEST(ContentsTree, SiteProperties) {
  auto tree = Parsed("<OBJECT type=\"text/site properties\">" + Param("Window Styles", "0x800025") +
                     Param("ImageType", "Folder") + "</OBJECT><UL>" + Item("A", "a") + "</UL>");
  EXPECT_EQ(tree->windowStyles, 8388645);
  EXPECT_EQ(tree->imageType, "folder");
  // ImageType keeps 19 bytes; properties after the list do not count; the
  // tag must be the site-properties object exactly (in any case).
  tree = Parsed("<object TYPE=\"Text/Site Properties\">" + Param("ImageType", "ABCDEFGHIJKLMNOPQRSTUVWXYZ") +
                "</OBJECT><UL></UL><OBJECT type=\"text/site properties\">" + Param("Window Styles", "5") +
                "</OBJECT>");
  EXPECT_EQ(tree->imageType, "abcdefghijklmnopqrs");
  EXPECT_EQ(tree->windowStyles, 0);
  tree = Parsed("<OBJECT type=\"text/site properties\" x>" + Param("Window Styles", "5") + "</OBJECT>");
  EXPECT_EQ(tree->windowStyles, 0);
}

TEST(ContentsTree, NumbersReadLikePercentI) {
  auto styles = [](const std::string& value) {
    return Parsed("<OBJECT type=\"text/site properties\">" + Param("Window Styles", value) + "</OBJECT>")
        ->windowStyles;
  };
  EXPECT_EQ(styles("0x800025"), 0x800025);
  EXPECT_EQ(styles("0X1f"), 31);
  EXPECT_EQ(styles("010"), 8);
  EXPECT_EQ(styles("019"), 1);  // octal stops at '9'
  EXPECT_EQ(styles("0"), 0);
  EXPECT_EQ(styles("123abc"), 123);
  EXPECT_EQ(styles(" \t42"), 42);
  EXPECT_EQ(styles("-12"), -12);
  EXPECT_EQ(styles("+0x10"), 16);
  EXPECT_EQ(styles("0x"), 0);
  EXPECT_EQ(styles("0xFFFFFFFF"), -1);  // wraps to 32 bits
  EXPECT_EQ(styles("4294967297"), 1);
  // An empty value (or only white space) leaves the field as it was.
  auto tree = Parsed("<OBJECT type=\"text/site properties\">" + Param("Window Styles", "7") +
                     Param("Window Styles", "") + Param("Window Styles", "  ") + "</OBJECT>");
  EXPECT_EQ(tree->windowStyles, 7);
  auto image = [](const std::string& value) {
    return Parsed("<UL><LI><OBJECT>" + Param("ImageNumber", value) + "</OBJECT></UL>")
        ->root.children.Get(0)
        ->imageNumber;
  };
  EXPECT_EQ(image("0x0b"), 11);
  EXPECT_EQ(image("017"), 15);
  EXPECT_EQ(image(""), 0);
}

TEST(ContentsTree, BadNumbersFailTheWholeParse) {
  EXPECT_EQ(ErrorOf("<UL><LI><OBJECT>" + Param("ImageNumber", "abc") + "</OBJECT></UL>"),
            "Error while parse TOC file.\nIncorrect param=\"ImageNumber\" value:\nabc.");
  EXPECT_EQ(ErrorOf("<OBJECT type=\"text/site properties\">" + Param("Window Styles", "zz") + "</OBJECT>"),
            "Error while parse TOC file.\nIncorrect param=\"Window Styles\" value:\nzz.");
  EXPECT_EQ(ErrorOf("<UL><LI><OBJECT>" + Param("ImageNumber", "-") + "</OBJECT></UL>"),
            "Error while parse TOC file.\nIncorrect param=\"ImageNumber\" value:\n-.");
  // The value is read into 19 bytes before the conversion.
  EXPECT_EQ(
      ErrorOf("<UL><LI><OBJECT>" + Param("ImageNumber", "x" + std::string(30, 'y')) + "</OBJECT></UL>"),
      "Error while parse TOC file.\nIncorrect param=\"ImageNumber\" value:\nx" + std::string(17, 'y') + ".");
}

TEST(ContentsTree, MalformedTagsAreWrapped) {
  EXPECT_EQ(ErrorOf("<UL><LI <x></UL>"),
            "Error while parse TOC file.\nIncorrect tag format (double '<' char):\nLI .");
  EXPECT_EQ(ErrorOf("<UL> > </UL>"),
            "Error while parse TOC file.\nIncorrect tag format (missing '<' char):\n.");
  EXPECT_EQ(ErrorOf("<UL><" + std::string(3001, 'q') + ">"),
            "Error while parse TOC file.\nTag is too long:\n<" + std::string(50, 'q') + "...>");
}

TEST(ContentsTree, AFailedItemLeavesTheChainAsItWas) {
  ContentsTree tree;
  EXPECT_THROW(Parse(tree, "<UL>" + Item("A", "a") + "<UL>" + Item("B", "b") + "<LI><OBJECT>" +
                               Param("ImageNumber", "bad") + "</OBJECT></UL></UL>"),
               BookError);
  EXPECT_EQ(Outline(tree.root), "A(a)[B(b)]");
  ASSERT_NE(tree.root.prev, nullptr);
  EXPECT_EQ(tree.root.prev->name, "B");
  EXPECT_EQ(tree.root.prev->next, nullptr);
}

TEST(ContentsTree, CommentedOutEntriesAreSkipped) {
  auto tree = Parsed("<!-- Sitemap 1.0 --><UL>" + Item("A", "a") + "<!--\n" + Item("Old", "old.htm") +
                     "<UL>\n-->" + Item("B", "b") + "</UL>");
  EXPECT_EQ(Outline(tree->root), "A(a) B(b)");
}

TEST(ContentsTree, QuotedMarkupInValuesIsKept) {
  auto tree = Parsed("<UL>" + Item("a <b>bold</b> name", "a.htm") + "</UL>");
  EXPECT_EQ(Outline(tree->root), "a <b>bold</b> name(a.htm)");
}

TEST(ContentsTree, LogsEachEntryIndentedByDepth) {
  ContentsTree tree;
  std::ostringstream log;
  Parse(tree, "<UL>" + Item("A", "a") + "<UL>" + Item("B", "b") + "</UL>" + Item("C", "c") + "</UL>", &log);
  EXPECT_EQ(log.str(), " A\n  B\n C\n");
}

TEST(ContentsTree, FindsTheFirstNodeOfAPathInDocumentOrder) {
  auto tree = Parsed("<UL>" + Item("A", "a.htm") + "<UL>" + Item("B", "shared.htm") + "</UL>" +
                     Item("C", "Shared.HTM") + "<UL>" + Item("D", "d.htm") + "</UL></UL>");
  const TocNode* found = FindTocNodeByLocal(tree->root, "SHARED.htm");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->name, "B");
  EXPECT_EQ(FindTocNodeByLocal(tree->root, "missing.htm"), nullptr);
  // Below a given node only, the node itself not included.
  const TocNode* c = tree->root.children.Get(1);
  EXPECT_EQ(FindTocNodeByLocal(*c, "d.htm")->name, "D");
  EXPECT_EQ(FindTocNodeByLocal(*c, "Shared.htm"), nullptr);
  TocNode* mutableFound = FindTocNodeByLocal(tree->root, "d.htm");
  ASSERT_NE(mutableFound, nullptr);
  mutableFound->treeItem = 42;
  EXPECT_EQ(tree->root.children.Get(1)->children.Get(0)->treeItem, 42u);
}

TEST(ContentsTree, ThousandsOfLevelsNeedNoDeepStack) {
  constexpr int kDepth = 100000;
  std::string text = "<UL>";
  for (int i = 0; i < kDepth; ++i)
    text += "<LI><OBJECT><param name=Name value=n" + std::to_string(i) + "></OBJECT><UL>";
  auto tree = Parsed(text);
  EXPECT_EQ(tree->nodeCount, kDepth);
  const TocNode* deepest = tree->root.prev;
  ASSERT_NE(deepest, nullptr);
  EXPECT_EQ(deepest->name, "n" + std::to_string(kDepth - 1));
  int maxDepth = -1;
  ForEachTocNode(tree->root, [&](const TocNode&, int depth) { maxDepth = std::max(maxDepth, depth); });
  EXPECT_EQ(maxDepth, kDepth - 1);
  EXPECT_EQ(FindTocNodeByLocal(tree->root, "nowhere"), nullptr);
  tree.reset();  // destroying it must not recurse either
}

TEST(ContentsTree, EveryTruncationParsesOrFailsCleanly) {
  const std::string text = "<OBJECT type=\"text/site properties\">" + Param("Window Styles", "0x800025") +
                           "</OBJECT><UL>" + Item("A &amp; B", "a.htm") + "<UL>" + Item("C", "c.htm") +
                           "</UL>" + Item("D", "d.htm") + "</UL>";
  for (std::size_t length = 0; length <= text.size(); ++length) {
    ContentsTree tree;
    try {
      Parse(tree, text.substr(0, length));
      ExpectSoundChain(tree);
    } catch (const BookError& error) {
      // Only a number cut to nothing but "0x" or a sign could fail; none here.
      ADD_FAILURE() << length << ": " << error.Message();
    }
  }
}

TEST(ContentsTree, TheTestBookMatchesItsSitemap) {
  Book book;
  book.OpenStorage(test::TestBook("basic"));
  const ObjectBuffer bytes = book.ReadObject("/basic.hhc");
  ContentsTree tree;
  Logger log;
  ParseContents(tree, bytes, log);
  EXPECT_EQ(
      Outline(tree.root),
      "Welcome(index.htm) Chapter 1(chapter1/intro.htm)[Details(chapter1/details.htm) "
      "Part two(chapter1/details.htm#part2)] Chapter 2 & frames(chapter2/frames.htm)[My Page(chapter2/My "
      "Page.htm)]");
  EXPECT_EQ(tree.windowStyles, 8388645);
  EXPECT_EQ(tree.imageType, "folder");
  EXPECT_EQ(tree.nodeCount, 6);
  ExpectSoundChain(tree);
  // The stored sitemap is the source file byte for byte.
  EXPECT_EQ(bytes, test::ReadFileBytes(std::string(TESSALY_TEST_BOOKS) + "/basic/basic.hhc"));
}

// Every contents sitemap of the corpus parses, and its chain is sound.
TEST(ContentsTree, CorpusSitemapsParse) {
  const auto files = test::CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus";
  int parsed = 0;
  for (const std::string& path : files) {
    Book book;
    book.OpenStorage(path);
    for (const DirectoryEntry& entry : test::Entries(book)) {
      std::string lower(entry.name);
      LowerCaseInPlace(lower);
      if (!lower.ends_with(".hhc")) continue;
      SCOPED_TRACE(path + " " + std::string(entry.name));
      const ObjectBuffer bytes = book.ReadObject(entry.name);
      ContentsTree tree;
      Logger log;
      EXPECT_NO_THROW(ParseContents(tree, bytes, log));
      EXPECT_GT(tree.nodeCount, 0);
      ExpectSoundChain(tree);
      ++parsed;
    }
  }
  EXPECT_GT(parsed, 0);
}

}  // namespace
}  // namespace tessaly
