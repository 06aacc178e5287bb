// The page-text index of a small compiled book (code page 936, with a GBK
// page, a UTF-8 Japanese page, scripts, comments and references): which
// pages each form of query finds, hits, snippets and ranking.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <string>

#include "codec/codec.h"
#include "book/book.h"
#include "support/book_builder.h"
#include "support/chm_builder.h"

#include "textindex/text_index.h"

namespace tessaly::textindex {
namespace {

struct Built {
  IconvCodec codec;
  Book book;
  TextIndex index = TextIndex::Create(":memory:");
  BuildStats stats;
  std::vector<int> progress;
  Built() {
    book.SetTextConverter(&codec);
    book.Open(test::TestBook("textsearch"));
    BuildControl control;
    control.progress = [this](int percent) { progress.push_back(percent); };
    stats = index.Build(book, codec, "hash-of-the-book", control);
  }
};

Built& Index() {
  static Built built;
  return built;
}

std::set<std::string> Paths(const std::vector<TextHit>& hits) {
  std::set<std::string> paths;
  for (const TextHit& hit : hits) paths.insert(hit.path);
  return paths;
}

TEST(TextIndex, BuildsEveryTopicPageOnceWithProgress) {
  Built& built = Index();
  EXPECT_EQ(built.stats.pages, 5u);
  EXPECT_EQ(built.stats.unreadable, 0u);
  ASSERT_FALSE(built.progress.empty());
  EXPECT_TRUE(std::is_sorted(built.progress.begin(), built.progress.end()));
  EXPECT_EQ(built.progress.back(), 100);
  EXPECT_TRUE(built.index.Validate("hash-of-the-book").empty());
  EXPECT_EQ(built.index.Validate("another"), "built from another book");

  std::set<std::string> titles;
  ForEachBookPage(built.book, built.codec, {}, [&](const BookPage& page) { titles.insert(page.title); });
  // Titles from the topic table, decoded from GBK, or taken as UTF-8 where the compiler copied UTF-8.
  EXPECT_EQ(titles, (std::set<std::string>{"Overview", "Red fox", "Hidden & shown", "函数参考", "文字列の操作"}));
}

TEST(TextIndex, CancelStopsTheBuild) {
  Built& built = Index();
  std::atomic<bool> cancel{true};
  TextIndex other = TextIndex::Create(":memory:");
  BuildControl control;
  control.cancel = &cancel;
  EXPECT_THROW(other.Build(built.book, built.codec, "h", control), BuildCancelled);
}

TEST(TextIndex, EachQueryFormFindsItsPages) {
  struct Case {
    const char* query;
    std::set<std::string> paths;
  };
  const Case cases[] = {
      {"quokka", {"index.htm", "fox.htm", "hidden.htm"}},
      {"QUOKKA fox", {"index.htm", "fox.htm"}},
      {"\"fox is red\"", {"fox.htm"}},
      {"\"red is fox\"", {}},
      {"quok*", {"index.htm", "fox.htm", "hidden.htm"}},
      {"jumps OR tag", {"index.htm", "hidden.htm"}},
      {"quokka -fox", {"hidden.htm"}},
      {"quokka -\"red fox\"", {"hidden.htm"}},
      // Diacritics and case folded both ways.
      {"cafe RESUME naïve", {"hidden.htm"}},
      {"crème brulee", {"strings.htm"}},
      // Words split at an apostrophe are found whole too.
      {"youve", {"index.htm"}},
      {"\"you've\" xored", {"index.htm"}},
      {"\"XOR’ed the\"", {"index.htm"}},
      // Scripts, styles and comments are not text.
      {"hiddenword OR secret OR wombatfont OR lemurs", {}},
      // Chinese and Japanese words inside runs without spaces, in adjacent characters only.
      {"函数", {"functions.htm"}},
      {"说明函数", {"functions.htm"}},
      {"数函", {}},
      {"文字列", {"strings.htm"}},
      {"文字列を連結", {"strings.htm"}},
      {"字列 crème", {"strings.htm"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Paths(Index().index.Search(c.query)), c.paths) << c.query;
  }
}

TEST(TextIndex, HitsSnippetsAndTitleWeight) {
  SearchOptions options;
  options.markOpen = "<b>";
  options.markClose = "</b>";
  const std::vector<TextHit> quokka = Index().index.Search("quokka", options);
  ASSERT_EQ(quokka.size(), 3u);
  const auto hidden = std::find_if(quokka.begin(), quokka.end(), [](const TextHit& h) { return h.path == "hidden.htm"; });
  ASSERT_NE(hidden, quokka.end());
  EXPECT_EQ(hidden->hits, 3);
  EXPECT_EQ(hidden->title, "Hidden & shown");
  EXPECT_NE(hidden->snippet.find("<b>Quokka</b>, <b>quokka</b>, <b>quokka</b>"), std::string::npos) << hidden->snippet;

  // The title weighs more than the text: the page titled "Red fox" comes first.
  const std::vector<TextHit> fox = Index().index.Search("fox", options);
  ASSERT_EQ(fox.size(), 2u);
  EXPECT_EQ(fox[0].path, "fox.htm");
  EXPECT_EQ(fox[0].hits, 2);  // title and text

  const std::vector<TextHit> cjk = Index().index.Search("函数", options);
  ASSERT_EQ(cjk.size(), 1u);
  EXPECT_EQ(cjk[0].hits, 2);
  EXPECT_EQ(cjk[0].snippet, "本页说明<b>函数</b>的用法。");
}

TEST(TextIndex, QueryErrorsAreNotSqliteErrors) {
  EXPECT_THROW(Index().index.Search("\"open"), QueryError);
  EXPECT_TRUE(Index().index.Search("NEAR(quokka fox, 2)").empty());
}

}  // namespace
}  // namespace tessaly::textindex

namespace tessaly::textindex {
namespace {

// Excerpts of a long text: the stretch with the most matches, ellipses where
// the text goes on, a phrase marked whole.
TEST(TextIndex, ExcerptsAroundTheDensestMatches) {
  std::string filler;
  for (int i = 0; i < 40; ++i) filler += "filler ";
  test::BookBuilder builder;
  builder.AddFile("#SYSTEM", std::string("\x03\0\0\0", 4));
  builder.AddFile("#STRINGS", std::string(1, '\0'));
  builder.AddFile("/page.htm", "<p>fox at the start. " + filler + "then a red fox and a red fox meet. " + filler +
                                   "end.</p>");
  const test::TempFile file(builder.Build());
  IconvCodec codec;
  Book book;
  book.SetTextConverter(&codec);
  book.Open(file.Path());
  TextIndex index = TextIndex::Create(":memory:");
  index.Build(book, codec, "h");
  const auto excerpt = [&](const char* query, int words) {
    SearchOptions options;
    options.markOpen = "[";
    options.markClose = "]";
    options.ellipsis = "...";
    options.snippetWords = words;
    const std::vector<TextHit> hits = index.Search(query, options);
    return hits.size() == 1 ? hits[0].snippet : "(" + std::to_string(hits.size()) + " hits)";
  };
  EXPECT_EQ(excerpt("fox", 8), "...a red [fox] and a red [fox] meet...");
  EXPECT_EQ(excerpt("\"red fox\"", 8), "...then a [red fox] and a [red fox]...");
  EXPECT_EQ(excerpt("at", 8), "fox [at] the start. filler filler filler filler...");
  EXPECT_EQ(excerpt("start", 3), "...[start]. filler filler...");
  EXPECT_EQ(excerpt("end", 4), "...filler [end].");
}

}  // namespace
}  // namespace tessaly::textindex
