// Which objects are a book's pages: all its HTML objects, also when its
// topic table names only a few; titles from the page, else from the topic
// table, else the path.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "book/book.h"
#include "codec/codec.h"
#include "support/book_builder.h"
#include "support/chm_builder.h"
#include "textindex/text_index.h"

namespace tessaly::textindex {
namespace {

constexpr int kPages = 20;

struct Topic {
  std::string path;   // without the leading '/'
  std::string title;  // as the compiler stores it
};

// A #SYSTEM record naming the contents (code 0) and index (code 1) files.
std::string SystemRecord(int code, const std::string& text) {
  const std::string data = text + '\0';
  return std::string{static_cast<char>(code), '\0', static_cast<char>(data.size()), '\0'} + data;
}

// The topic table's objects (#TOPICS, #URLTBL, #URLSTR, #STRINGS) for these topics.
void AddTopics(test::BookBuilder& b, const std::vector<Topic>& list) {
  std::string strings(1, '\0'), topics, urltbl, urlstr;
  for (std::size_t t = 0; t < list.size(); ++t) {
    std::vector<std::uint8_t> entry(16, 0), record(12, 0);
    test::Put32(entry, 4, static_cast<std::uint32_t>(strings.size()));
    test::Put32(entry, 8, static_cast<std::uint32_t>(12 * t));
    test::Put32(record, 8, static_cast<std::uint32_t>(urlstr.size()));
    topics.append(entry.begin(), entry.end());
    urltbl.append(record.begin(), record.end());
    strings += list[t].title + '\0';
    urlstr += std::string(8, '\0') + list[t].path + '\0';
  }
  b.AddFile("#STRINGS", strings, false);
  b.AddFile("#TOPICS", topics, false);
  b.AddFile("#URLTBL", urltbl, false);
  b.AddFile("#URLSTR", urlstr, false);
}

// kPages pages, each with its own marker word; the topic table names the
// first three, with the titles a compiler stores (the first cut to the
// last piece of a title holding markup).
std::vector<std::uint8_t> FewTopicsBook() {
  test::BookBuilder b;
  b.AddFile("#SYSTEM", std::string("\x03\0\0\0", 4), false);
  AddTopics(b, {{"pages/p0.htm", " the &amp; title"}, {"pages/p1.htm", "Listed one"}, {"pages/p2.htm", "Two"}});
  for (int i = 0; i < kPages; ++i) {
    const std::string title = i == 0 ? "<title>Markup <b>in</b> the &amp; title</title>" : i == 2 ? "<title>Two</title>" : "";
    b.AddFile("/pages/p" + std::to_string(i) + ".htm",
              "<html><head>" + title + "</head><body><p>commonword marker" + std::to_string(i) + "</p></body></html>");
  }
  b.AddFile("/style.css", "p { commonword: 1 }");
  return b.Build();
}

TEST(BookPages, EveryHtmlObjectIsAPageWhateverTheTopicTableNames) {
  const test::TempFile file(FewTopicsBook());
  IconvCodec codec;
  Book book;
  book.SetTextConverter(&codec);
  book.Open(file.Path());
  ASSERT_EQ(book.Topics().Count(), 3);

  std::map<std::string, std::string> titles;  // path -> title
  const PagesRead read = ForEachBookPage(book, codec, {}, [&](const BookPage& page) { titles[page.path] = page.title; });
  EXPECT_EQ(read.pages, static_cast<std::size_t>(kPages));
  EXPECT_EQ(titles.size(), static_cast<std::size_t>(kPages));
  EXPECT_EQ(titles["pages/p0.htm"], "Markup in the & title");
  EXPECT_EQ(titles["pages/p1.htm"], "Listed one");
  EXPECT_EQ(titles["pages/p2.htm"], "Two");
  EXPECT_EQ(titles["pages/p7.htm"], "pages/p7.htm");

  TextIndex index = TextIndex::Create(":memory:");
  index.Build(book, codec, "h");
  EXPECT_EQ(index.Search("commonword").size(), static_cast<std::size_t>(kPages));
  for (int i = 0; i < kPages; ++i) {
    const std::vector<TextHit> hits = index.Search("marker" + std::to_string(i));
    ASSERT_EQ(hits.size(), 1u) << i;
    EXPECT_EQ(hits[0].path, "pages/p" + std::to_string(i) + ".htm");
  }
}

// A stored range is one page under the first of its names that is a page
// and names no page yet: a picture's name or a name taken by another page
// does not lose it.
TEST(BookPages, AStoredRangeIsAPageUnderItsFirstFreeName) {
  const std::string one = "<html><body>first page</body></html>";
  const std::string other = "<html><body>second page</body></html>";
  test::BookBuilder b;
  b.AddFile("#SYSTEM", std::string("\x03\0\0\0", 4), false);
  b.AddFile("#STRINGS", std::string(1, '\0'), false);
  b.AddFile("/one.htm", one);
  b.AddFile("/blob.bin", other);
  const auto at = static_cast<std::uint32_t>(one.size()), length = static_cast<std::uint32_t>(other.size());
  for (const char* alias : {"/ONE.htm", "/three.htm", "/four.htm"}) b.AddRawEntry(alias, 1, at, length);
  const test::TempFile file(b.Build());
  IconvCodec codec;
  Book book;
  book.SetTextConverter(&codec);
  book.Open(file.Path());

  std::map<std::string, std::string> texts;  // path -> text
  const PagesRead read = ForEachBookPage(book, codec, {}, [&](const BookPage& page) { texts[page.path] = page.text; });
  EXPECT_EQ(read.pages, 2u);
  EXPECT_EQ(texts, (std::map<std::string, std::string>{{"one.htm", "first page"}, {"three.htm", "second page"}}));
}

// Four pages that share one <title>, as many reference books give them: the
// contents and the keyword index name them apart, and those names are shown
// and ranked; a heading weighs more than the text.
TEST(BookPages, ContentsAndKeywordNamesAreTitlesToo) {
  const auto item = [](const std::string& name, const std::string& local) {
    return "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"" + name +
           "\"><param name=\"Local\" value=\"" + local + "\"></OBJECT>";
  };
  test::BookBuilder b;
  b.AddFile("#SYSTEM", std::string("\x03\0\0\0", 4) + SystemRecord(0, "toc.hhc") + SystemRecord(1, "index.hhk"), false);
  const std::string shared = "User Defined Functions";
  AddTopics(b, {{"f0.htm", shared}, {"f1.htm", shared}, {"f2.htm", shared}, {"f3.htm", shared}});
  b.AddFile("/toc.hhc", "<UL>" + item("Alpha", "f0.htm") + item("Beta", "f1.htm") + item("Gamma", "f2.htm") +
                            item("Delta", "f3.htm") + "</UL>");
  b.AddFile("/index.hhk", "<UL>" + item("zeta function", "f3.htm") + "</UL>");
  const std::string filler = " some words of text that every page holds alike";
  const std::string bodies[] = {"alpha" + filler, "zeta function and zeta function again, omega" + filler,
                                "<h1>Omega</h1>" + filler, filler};
  for (int i = 0; i < 4; ++i) {
    b.AddFile("/f" + std::to_string(i) + ".htm",
              "<html><head><title>" + shared + "</title></head><body>" + bodies[i] + "</body></html>");
  }
  const test::TempFile file(b.Build());
  IconvCodec codec;
  Book book;
  book.SetTextConverter(&codec);
  book.Open(file.Path());

  TextIndex index = TextIndex::Create(":memory:");
  index.Build(book, codec, "h");
  const auto first = [&](const char* query) {
    const std::vector<TextHit> hits = index.Search(query);
    return hits.empty() ? std::string("(none)") : hits[0].path + " " + hits[0].title;
  };
  EXPECT_EQ(first("beta"), "f1.htm Beta");
  EXPECT_EQ(first("\"zeta function\""), "f3.htm Delta");
  EXPECT_EQ(first("omega"), "f2.htm Gamma");
  EXPECT_EQ(first("\"user defined functions\" alpha"), "f0.htm Alpha");
}

// A page whose title or name is the query, as the search compares words,
// comes before pages that say it more often; an enumeration's page keeps
// the names of all its many members.
TEST(BookPages, APageNamedAsTheQueryComesFirst) {
  const auto item = [](const std::string& name, const std::string& local) {
    return "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"" + name +
           "\"><param name=\"Local\" value=\"" + local + "\"></OBJECT>";
  };
  test::BookBuilder b;
  b.AddFile("#SYSTEM", std::string("\x03\0\0\0", 4) + SystemRecord(0, "toc.hhc") + SystemRecord(1, "index.hhk"), false);
  b.AddFile("#STRINGS", std::string(1, '\0'), false);
  b.AddFile("/toc.hhc", "<UL>" + item("Toolbar", "named.htm") + item("Caf&eacute; Options", "cafe.htm") + "</UL>");
  std::string keywords = "<UL>";
  for (int i = 0; i < 300; ++i) keywords += item("member" + std::to_string(i) + " enumeration member", "enum.htm");
  b.AddFile("/index.hhk", keywords + "</UL>");
  const auto page = [](const std::string& title, const std::string& body) {
    return "<html><head><title>" + title + "</title></head><body>" + body + "</body></html>";
  };
  b.AddFile("/show.htm", page("Show toolbar", "toolbar toolbar toolbar: the toolbar shows; cafe options"));
  b.AddFile("/named.htm", page("View settings", "the toolbar, once among many other words of this page"));
  b.AddFile("/cafe.htm", page("Settings", "what the cafe sells"));
  b.AddFile("/enum.htm", page("Members", "the members of the enumeration"));
  b.AddFile("/other.htm", page("Other", "member299 enumeration member, as another page mentions it"));
  const test::TempFile file(b.Build());
  IconvCodec codec;
  Book book;
  book.SetTextConverter(&codec);
  book.Open(file.Path());
  TextIndex index = TextIndex::Create(":memory:");
  index.Build(book, codec, "h");

  struct Case {
    const char* query;
    const char* first;
  };
  const Case cases[] = {
      {"toolbar", "named.htm"},
      {"Show toolbar", "show.htm"},
      {"toolbar OR nothing", "show.htm"},  // not a name: bm25 alone
      {"CAFE options", "cafe.htm"},
      {"\"member299 enumeration member\"", "enum.htm"},
  };
  for (const Case& c : cases) {
    const std::vector<TextHit> hits = index.Search(c.query);
    ASSERT_FALSE(hits.empty()) << c.query;
    EXPECT_EQ(hits[0].path, c.first) << c.query;
  }
}

}  // namespace
}  // namespace tessaly::textindex
