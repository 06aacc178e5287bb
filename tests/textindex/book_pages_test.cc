// Which objects are a book's pages: all its HTML objects, also when its
// topic table names only a few; titles from the page, else from the topic
// table, else the path.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "book/book.h"
#include "codec/iconv_codec.h"
#include "support/book_builder.h"
#include "support/chm_builder.h"
#include "textindex/text_index.h"

namespace tessaly::textindex {
namespace {

constexpr int kPages = 20;

// kPages pages, each with its own marker word; the topic table names the
// first three, with the titles a compiler stores (the first cut to the
// last piece of a title holding markup).
std::vector<std::uint8_t> FewTopicsBook() {
  test::BookBuilder b;
  b.AddFile("#SYSTEM", std::string("\x03\0\0\0", 4), false);
  const std::string strings = std::string(1, '\0') + " the &amp; title" + '\0' + "Listed one" + '\0' + "Two" + '\0';
  b.AddFile("#STRINGS", strings, false);
  std::string topics, urltbl, urlstr;
  const std::uint32_t titleAt[] = {1, 18, 29};
  for (std::uint32_t t = 0; t < 3; ++t) {
    std::vector<std::uint8_t> entry(16, 0), record(12, 0);
    test::Put32(entry, 4, titleAt[t]);
    test::Put32(entry, 8, 12 * t);
    test::Put32(record, 8, static_cast<std::uint32_t>(urlstr.size()));
    topics.append(entry.begin(), entry.end());
    urltbl.append(record.begin(), record.end());
    urlstr += std::string(8, '\0') + "pages/p" + std::to_string(t) + ".htm" + '\0';
  }
  b.AddFile("#TOPICS", topics, false);
  b.AddFile("#URLTBL", urltbl, false);
  b.AddFile("#URLSTR", urlstr, false);
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

}  // namespace
}  // namespace tessaly::textindex
