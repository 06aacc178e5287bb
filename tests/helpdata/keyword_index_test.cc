// The keyword index: item shapes, limits, the sort, failures, deep and
// large indexes, the test book, the corpus and Book::BuildKeywordIndex.
#include "helpdata/helpdata.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/book_error.h"
#include "base/text.h"
#include "book/book.h"
#include "support/book_entries.h"
#include "support/book_builder.h"
#include "support/chm_builder.h"

namespace tessaly {
namespace {

std::string Param(const std::string& name, const std::string& value) {
  return "<param name=\"" + name + "\" value=\"" + value + "\">";
}

std::string Li(const std::string& params) {
  return "<LI> <OBJECT type=\"text/sitemap\">" + params + "</OBJECT>\n";
}

std::string Keyword(const std::string& name, const std::string& local) {
  return Li(Param("Name", name) + Param("Local", local));
}

void Parse(IndexEntry& root, const std::string& text, std::ostream* logTo = nullptr) {
  std::vector<std::uint8_t> bytes(text.begin(), text.end());  // exactly sized
  Logger log;
  log.SetStream(logTo);
  ParseIndex(root, bytes, log);
}

std::unique_ptr<IndexEntry> Parsed(const std::string& text) {
  auto root = std::make_unique<IndexEntry>();
  Parse(*root, text);
  return root;
}

std::string ErrorOf(const std::string& text) {
  IndexEntry root;
  try {
    Parse(root, text);
  } catch (const BookError& error) {
    return error.Message();
  }
  return "(no error)";
}

// "name{target=local,...}" for every entry, sub-keywords in brackets.
std::string Outline(const IndexEntry& entry) {
  std::string out;
  for (const IndexEntry* child : entry.children) {
    if (!out.empty()) out += ' ';
    out += child->name + "{";
    bool first = true;
    for (const IndexTarget* target : child->targets) {
      if (!first) out += ',';
      out += target->name + "=" + target->local;
      first = false;
    }
    out += "}";
    if (!child->children.Empty()) out += "[" + Outline(*child) + "]";
  }
  return out;
}

TEST(KeywordIndex, TheUsualItemShapes) {
  EXPECT_EQ(Outline(*Parsed("<UL>" + Li(Param("Name", "k") + Param("Local", "a")) + "</UL>")), "k{=a}");
  EXPECT_EQ(Outline(*Parsed("<UL>" +
                            Li(Param("Name", "k") + Param("Name", "t1") + Param("Local", "a") +
                               Param("Name", "t2") + Param("Local", "b")) +
                            "</UL>")),
            "k{t1=a,t2=b}");
  EXPECT_EQ(
      Outline(*Parsed("<UL>" + Li(Param("Name", "k") + Param("Local", "a") + Param("Local", "b")) + "</UL>")),
      "k{=a,=b}");
  // A target name after a path starts the next target.
  EXPECT_EQ(
      Outline(*Parsed(
          "<UL>" + Li(Param("Name", "k") + Param("Local", "a") + Param("Name", "t") + Param("Local", "b")) +
          "</UL>")),
      "k{t=a,=b}");
  // A keyword name alone still makes one empty target.
  EXPECT_EQ(Outline(*Parsed("<UL>" + Li(Param("Name", "k")) + "</UL>")), "k{=}");
  EXPECT_EQ(Outline(*Parsed("<UL>" + Li("") + "</UL>")), "{}");
}

TEST(KeywordIndex, TwoTargetNamesInARowAreAnError) {
  const std::string bad = "<param name=\"Name\" value=\"t2\">";
  EXPECT_EQ(ErrorOf("<UL>" + Li(Param("Name", "k") + Param("Name", "t1") + bad) + "</UL>"),
            "Error while parse Index file.\nIndex <li> tag has 2 one after the other \"Name\" params:\n"
            "param name=\"Name\" value=\"t2\".");
  // Entries read before the failure stay, unsorted.
  IndexEntry root;
  EXPECT_THROW(Parse(root, "<UL>" + Keyword("z", "1") + Keyword("a", "2") +
                               Li(Param("Name", "k") + Param("Keyword", "t1") + Param("Keyword", "t2")) +
                               Keyword("b", "3") + "</UL>"),
               BookError);
  EXPECT_EQ(Outline(root), "z{=1} a{=2}");
}

TEST(KeywordIndex, KeywordActsLikeNameAndOtherParamsAreSkipped) {
  EXPECT_EQ(Outline(*Parsed("<UL>" +
                            Li(Param("Keyword", "k") + Param("See Also", "x") + Param("KEYWORD", "t") +
                               Param("local", "a") + "<param value=\"v\">") +
                            "</UL>")),
            "k{t=a}");
}

TEST(KeywordIndex, AnItemWithOnlyPathsHasNoNames) {
  EXPECT_EQ(Outline(*Parsed("<UL>" + Li(Param("Local", "a") + Param("Local", "b")) + "</UL>")), "{=a,=b}");
}

TEST(KeywordIndex, AnUnnamedKeywordTakesItsFirstTargetName) {
  // A Local first marks the keyword as named (empty); the Name after it
  // names the target, and the keyword takes that name at the end.
  EXPECT_EQ(Outline(*Parsed("<UL>" + Li(Param("Local", "a") + Param("Name", "t")) + "</UL>")), "t{t=a}");
}

TEST(KeywordIndex, TextsAreDecodedAndCut) {
  const std::string longName(150, 'n');
  const std::string longLocal(300, 'l');
  auto root =
      Parsed("<UL>" + Li(Param("Name", "A &amp; B") + Param("Name", longName) + Param("Local", longLocal)) +
             Li(Param("Name", longName) + Param("Local", "/dir/../x%20y.htm")) + "</UL>");
  ASSERT_EQ(root->children.Count(), 2);
  const IndexEntry* amp = root->children.Get(0);
  EXPECT_EQ(amp->name, "A & B");
  EXPECT_EQ(amp->targets.Get(0)->name, std::string(99, 'n'));
  EXPECT_EQ(amp->targets.Get(0)->local, std::string(254, 'l'));
  const IndexEntry* cut = root->children.Get(1);
  EXPECT_EQ(cut->name, std::string(99, 'n'));
  EXPECT_EQ(cut->targets.Get(0)->local, "/dir/../x%20y.htm");  // not normalised
}

TEST(KeywordIndex, TheTopLevelSortsWithoutUnderscoresAndCase) {
  auto root =
      Parsed("<UL>" + Keyword("beta", "b") + Keyword("_alpha", "a") + Keyword("Gamma", "g") + "</UL>");
  EXPECT_EQ(Outline(*root), "_alpha{=a} beta{=b} Gamma{=g}");
}

TEST(KeywordIndex, SubKeywordsKeepDocumentOrder) {
  auto root = Parsed("<UL>" + Keyword("z", "z") + "<UL>" + Keyword("b", "1") + Keyword("a", "2") + "<UL>" +
                     Keyword("y", "3") + Keyword("x", "4") + "</UL></UL>" + Keyword("m", "m") + "</UL>");
  EXPECT_EQ(Outline(*root), "m{=m} z{=z}[b{=1} a{=2}[y{=3} x{=4}]]");
}

TEST(KeywordIndex, AListBeforeAnyItemReadsIntoTheEnclosingLevel) {
  auto root = Parsed("<UL><UL>" + Keyword("x", "1") + "</UL>" + Keyword("y", "2") + "</UL>");
  EXPECT_EQ(Outline(*root), "x{=1}");
  root = Parsed("<UL>" + Keyword("a", "1") + "<UL><UL>" + Keyword("b", "2") + "</UL>" + Keyword("c", "3") +
                "</UL></UL>");
  EXPECT_EQ(Outline(*root), "a{=1}[b{=2}] c{=3}");
}

TEST(KeywordIndex, EveryTopLevelListIsReadAndTagsBeforeThemAreIgnored) {
  // As in books that put every keyword in a list of its own; the top level
  // is sorted across the lists.
  auto root = Parsed("<HTML>" + Keyword("early", "e") + "<UL>" + Keyword("c", "1") + "</UL><UL>" +
                     Keyword("b", "2") + "</UL>" + Keyword("between", "x") + "<UL>" + Keyword("a", "3") + "</UL>");
  EXPECT_EQ(Outline(*root), "a{=3} b{=2} c{=1}");
}

TEST(KeywordIndex, MalformedTagsAreWrapped) {
  EXPECT_EQ(ErrorOf("<UL><LI <x></UL>"),
            "Error while parse Index file.\nIncorrect tag format (double '<' char):\nLI .");
  EXPECT_EQ(ErrorOf("<UL> >"), "Error while parse Index file.\nIncorrect tag format (missing '<' char):\n.");
}

TEST(KeywordIndex, CommentsAndQuotedMarkup) {
  auto root =
      Parsed("<UL><!--" + Keyword("hidden", "h") + "-->" +
             Li(Param("Name", "@ScriptDir &amp; \"\\\" &amp; @ScriptName</i>") + Param("Local", "m.htm")) +
             Keyword("after", "a") + "</UL>");
  EXPECT_EQ(Outline(*root), "@ScriptDir & {=m.htm} after{=a}");
}

TEST(KeywordIndex, LogsEachKeywordIndentedByDepth) {
  IndexEntry root;
  std::ostringstream log;
  Parse(root, "<UL>" + Keyword("b", "1") + "<UL>" + Keyword("c", "2") + "</UL>" + Keyword("a", "3") + "</UL>",
        &log);
  EXPECT_EQ(log.str(), " b\n  c\n a\n");
}

TEST(KeywordIndex, CompareKeywordNames) {
  EXPECT_EQ(CompareKeywordNames("__abc", "ABC"), 0);
  EXPECT_LT(CompareKeywordNames("_a", "b"), 0);
  EXPECT_GT(CompareKeywordNames("b", "__a"), 0);
  EXPECT_LT(CompareKeywordNames("___", "a"), 0);  // nothing left sorts first
  EXPECT_EQ(CompareKeywordNames("_", ""), 0);
  EXPECT_LT(CompareKeywordNames("a_b", "ab"), 0);  // only leading underscores go
}

// The exchange procedure the reader once used, for names without ties.
void ExchangeSort(std::vector<std::string>& names) {
  const std::size_t n = names.size();
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < n; ++j) {
      if (CompareKeywordNames(names[i], names[j]) < 0) std::swap(names[i], names[j]);
    }
  }
}

TEST(KeywordIndex, SortsAsTheExchangeProcedureWhenNamesDiffer) {
  std::mt19937 random(7);
  std::vector<std::string> names;
  std::string text = "<UL>";
  for (int i = 0; i < 400; ++i) {
    std::string name =
        std::string(random() % 3, '_') + "k" + std::to_string(random() % 100000) + "x" + std::to_string(i);
    if (random() % 2) name[name.find('k')] = 'K';
    names.push_back(name);
    text += Keyword(name, "p");
  }
  auto root = Parsed(text + "</UL>");
  ExchangeSort(names);
  std::vector<std::string> sorted;
  for (const IndexEntry* entry : root->children) sorted.push_back(entry->name);
  EXPECT_EQ(sorted, names);
}

TEST(KeywordIndex, FiftyThousandKeywordsSortStablyAndFast) {
  constexpr int kCount = 50000;
  std::mt19937 random(11);
  std::string text = "<UL>\n";
  for (int i = 0; i < kCount; ++i) {
    // Few distinct names, spelt with varying case and underscores: many ties.
    std::string name = "word" + std::to_string(random() % 700);
    if (random() % 2) name[0] = 'W';
    name = std::string(random() % 3, '_') + name;
    text += Keyword(name, std::to_string(i));
  }
  text += "</UL>\n";
  auto root = Parsed(text);
  ASSERT_EQ(root->children.Count(), kCount);
  std::vector<bool> seen(kCount, false);
  const IndexEntry* previous = nullptr;
  for (const IndexEntry* entry : root->children) {
    const int order = std::stoi(entry->targets.Get(0)->local);
    ASSERT_FALSE(seen[order]);
    seen[order] = true;
    if (previous != nullptr) {
      const int cmp = CompareKeywordNames(previous->name, entry->name);
      ASSERT_LE(cmp, 0) << previous->name << " / " << entry->name;
      if (cmp == 0) {
        ASSERT_LT(std::stoi(previous->targets.Get(0)->local), order) << entry->name;
      }
    }
    previous = entry;
  }
}

TEST(KeywordIndex, ThousandsOfLevelsNeedNoDeepStack) {
  constexpr int kDepth = 100000;
  std::string text = "<UL>";
  for (int i = 0; i < kDepth; ++i)
    text += "<LI><OBJECT><param name=Name value=k" + std::to_string(i) + "></OBJECT><UL>";
  auto root = Parsed(text);
  int count = 0;
  int maxDepth = -1;
  ForEachIndexEntry(*root, [&](const IndexEntry&, int depth) {
    ++count;
    maxDepth = std::max(maxDepth, depth);
  });
  EXPECT_EQ(count, kDepth);
  EXPECT_EQ(maxDepth, kDepth - 1);
  root.reset();
}

TEST(KeywordIndex, EveryTruncationParsesOrFailsCleanly) {
  const std::string text = "<UL>" +
                           Li(Param("Name", "k &amp; l") + Param("Name", "t") + Param("Local", "a")) +
                           "<UL>" + Keyword("sub", "s") + "</UL>" + Keyword("_m", "m") + "</UL>";
  for (std::size_t length = 0; length <= text.size(); ++length) {
    IndexEntry root;
    EXPECT_NO_THROW(Parse(root, text.substr(0, length))) << length;
  }
}

const char* const kBasicIndex =
    "_aardvark{=index.htm} Frames{=chapter2/frames.htm}[left pane{=chapter2/left.htm} "
    "right pane{=chapter2/right.htm}] giraffe{=chapter2/right.htm,=chapter2/My Page.htm} "
    "zebra{Introduction=chapter1/intro.htm,Details=chapter1/details.htm}";

TEST(KeywordIndex, TheTestBookMatchesItsSitemap) {
  Book book;
  book.OpenStorage(test::TestBook("basic"));
  const ObjectBuffer bytes = book.ReadObject("/basic.hhk");
  IndexEntry root;
  Logger log;
  ParseIndex(root, bytes, log);
  EXPECT_EQ(Outline(root), kBasicIndex);
}

TEST(KeywordIndex, BookBuildsItsIndexOnRequest) {
  Book book;
  book.Open(test::TestBook("basic"));
  EXPECT_EQ(book.KeywordIndex().children.Count(), 0);
  book.BuildKeywordIndex();
  EXPECT_EQ(Outline(book.KeywordIndex()), kBasicIndex);
}

// A #SYSTEM object: version 3, then records of code, length and data.
std::string SystemObject(const std::vector<std::pair<int, std::string>>& records) {
  std::string out("\x03\x00\x00\x00", 4);
  for (const auto& [code, text] : records) {
    const std::size_t length = text.size() + 1;
    out += static_cast<char>(code & 0xFF);
    out += static_cast<char>(code >> 8);
    out += static_cast<char>(length & 0xFF);
    out += static_cast<char>(length >> 8);
    out += text;
    out += '\0';
  }
  return out;
}

std::string KeywordIndexError(Book& book) {
  try {
    book.BuildKeywordIndex();
  } catch (const BookError& error) {
    return error.Message();
  }
  return "(no error)";
}

TEST(KeywordIndex, BookBuildsTheIndexItsSystemRecordNames) {
  test::BookBuilder builder;
  builder.AddFile("/#SYSTEM", SystemObject({{1, "idx.hhk"}}), false);
  builder.AddFile("/#STRINGS", std::string(1, '\0'), false);
  builder.AddFile("/idx.hhk", "<UL>" + Keyword("b", "b.htm") + Keyword("a", "a.htm") + "</UL>");
  test::TempFile file(builder.Build());
  Book book;
  book.Open(file.Path());
  book.BuildKeywordIndex();
  EXPECT_EQ(Outline(book.KeywordIndex()), "a{=a.htm} b{=b.htm}");
  // The index is built once: a second request changes nothing.
  book.BuildKeywordIndex();
  EXPECT_EQ(Outline(book.KeywordIndex()), "a{=a.htm} b{=b.htm}");
}

TEST(KeywordIndex, BookIndexFailures) {
  {
    test::BookBuilder builder;
    builder.AddFile("/#SYSTEM", SystemObject({{3, "No index"}}), false);
    builder.AddFile("/#STRINGS", std::string(1, '\0'), false);
    test::TempFile file(builder.Build());
    Book book;
    book.Open(file.Path());
    EXPECT_EQ(KeywordIndexError(book), "No *.hhk file in CHM.");
  }
  {
    test::BookBuilder builder;
    builder.AddFile("/#SYSTEM", SystemObject({{1, "missing.hhk"}}), false);
    builder.AddFile("/#STRINGS", std::string(1, '\0'), false);
    test::TempFile file(builder.Build());
    Book book;
    book.Open(file.Path());
    EXPECT_EQ(KeywordIndexError(book), "Can't find entry for file missing.hhk\n");
  }
  {
    test::BookBuilder builder;
    builder.AddFile("/#SYSTEM", SystemObject({{1, "bad.hhk"}}), false);
    builder.AddFile("/#STRINGS", std::string(1, '\0'), false);
    builder.AddFile("/bad.hhk", "<UL>" + Keyword("kept", "k.htm") + "<LI <x>");
    test::TempFile file(builder.Build());
    Book book;
    book.Open(file.Path());
    EXPECT_EQ(KeywordIndexError(book),
              "Error while parse Index file.\nIncorrect tag format (double '<' char):\nLI .");
    EXPECT_EQ(Outline(book.KeywordIndex()), "kept{=k.htm}");
  }
}

// Every index sitemap of the corpus parses; au3pm's holds markup in a quoted
// value and must come out whole: one keyword per <LI>.
TEST(KeywordIndex, CorpusSitemapsParse) {
  const auto files = test::CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus";
  int parsed = 0;
  for (const std::string& path : files) {
    Book book;
    book.OpenStorage(path);
    for (const DirectoryEntry& entry : test::Entries(book)) {
      std::string lower(entry.name);
      LowerCaseInPlace(lower);
      if (!lower.ends_with(".hhk")) continue;
      SCOPED_TRACE(path + " " + std::string(entry.name));
      const ObjectBuffer bytes = book.ReadObject(entry.name);
      IndexEntry root;
      Logger log;
      EXPECT_NO_THROW(ParseIndex(root, bytes, log));
      ++parsed;
      if (!path.ends_with("/au3pm-autoit3-autoit.chm")) continue;
      const std::string text(bytes.begin(), bytes.end());
      std::size_t items = 0;
      for (std::size_t at = text.find("<LI>"); at != std::string::npos; at = text.find("<LI>", at + 1))
        ++items;
      int entries = 0;
      bool found = false;
      ForEachIndexEntry(root, [&](const IndexEntry& e, int) {
        ++entries;
        found = found || e.name == "@ScriptDir & ";
      });
      EXPECT_EQ(entries, static_cast<int>(items));
      EXPECT_TRUE(found);
    }
  }
  EXPECT_GT(parsed, 0);
}

}  // namespace
}  // namespace tessaly
