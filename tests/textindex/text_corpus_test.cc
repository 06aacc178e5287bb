// The page-text index over the real books: the Chinese and Japanese words
// that the books' own indexes cannot find, and every word that a book's own
// index finds is found in the page text too.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "base/book_error.h"
#include "base/pointer_array.h"
#include "base/text.h"
#include "book/book.h"
#include "base/book_path.h"
#include "search/fti_builder.h"
#include "textindex/text_index.h"
#include "base/utf8.h"

namespace tessaly::textindex {
namespace {

namespace fs = std::filesystem;

fs::path Corpus() { return fs::path(TESSALY_CORPUS) / "files"; }

std::string Key(std::string_view path) {
  std::string key(path.substr(0, kMaxBookPath));
  NormalizeBookPath(key);
  key = key.substr(0, key.find('#'));
  LowerCaseInPlace(key);
  return key;
}

struct Opened {
  IconvCodec codec;
  Book book;
  TextIndex index = TextIndex::Create(":memory:");
  explicit Opened(const fs::path& path) {
    book.SetTextConverter(&codec);
    book.Open(path.string());
    index.Build(book, codec, "corpus");
  }
  std::set<std::string> Found(const std::string& query) {
    SearchOptions options;
    options.limit = 1'000'000;
    std::set<std::string> keys;
    for (const TextHit& hit : index.Search(query, options)) keys.insert(Key(hit.path));
    return keys;
  }
};

TEST(TextCorpus, ChineseAndJapaneseWordsFindTheirPages) {
  if (!fs::exists(Corpus())) GTEST_SKIP() << "no corpus at " << Corpus();
  struct Case {
    const char* book;
    const char* word;
    std::size_t pages;
  };
  const Case cases[] = {
      // "string": every HTML page that holds it (105 objects with #STRINGS).
      {"aki426-gaucheofflinehelp-gauche-refman-ja.chm", "文字列", 104},
      // "function": 5 pages in GBK, the book's code page, and 55 more in UTF-8.
      {"xwxbug-autoit-cn-adfs3.chm", "函数", 60},
  };
  for (const Case& c : cases) {
    Opened opened(Corpus() / c.book);
    EXPECT_EQ(opened.Found(c.word).size(), c.pages) << c.book;
  }
}

// The words of a book's own index, in index order, read the plain way from
// its bytes.
std::vector<std::string> IndexWords(const Book& book) {
  std::vector<test::LiteralEntry> entries;
  std::vector<std::string> words;
  if (!test::LiteralScan(book.ReadObject("$FIftiMain"), entries)) return words;
  for (const test::LiteralEntry& entry : entries)
    if (words.empty() || words.back() != entry.word) words.push_back(entry.word);
  return words;
}

// True when the word holds a letter or digit: a character that is no
// punctuation, symbol or space of Latin-1, general punctuation, CJK
// punctuation or the full-width forms.
bool HasWordCharacter(std::string_view word) {
  for (std::size_t at = 0; at < word.size();) {
    const char32_t c = NextCodePoint(word, at);
    const bool punctuation = c < 0x80 ? !std::isalnum(static_cast<int>(c))
                                      : (c >= 0xA0 && c <= 0xBF) || c == 0xD7 || c == 0xF7 ||
                                            (c >= 0x2000 && c <= 0x206F) || (c >= 0x3000 && c <= 0x3004) ||
                                            (c >= 0x3008 && c <= 0x303F) || (c >= 0xFF00 && c <= 0xFF0F) ||
                                            (c >= 0xFF1A && c <= 0xFF20) || (c >= 0xFF3B && c <= 0xFF40) ||
                                            (c >= 0xFF5B && c <= 0xFF65) || c == kReplacement;
    if (!punctuation) return true;
  }
  return false;
}

TEST(TextCorpus, EveryWordTheBookIndexFindsIsFoundInThePageText) {
  if (!fs::exists(Corpus())) GTEST_SKIP() << "no corpus at " << Corpus();
  constexpr std::size_t kSamplesPerBook = 40;
  std::size_t checked = 0;
  std::size_t absent = 0;
  for (const fs::directory_entry& file : fs::directory_iterator(Corpus())) {
    if (file.path().extension() != ".chm") continue;
    SCOPED_TRACE(file.path().filename().string());
    Opened opened(file.path());
    Book& book = opened.book;
    try {
      book.LoadFullTextIndex();
    } catch (const BookError&) {
      continue;  // no index of its own
    }
    // The book's indexer read every page in the book's code page. Pages
    // written in another charset (declared, or UTF-8) hold other text in
    // its index, words made of bytes from two characters and of markup that
    // such a misreading exposes: their words are not compared.
    std::map<std::string, std::string> pages;  // key -> title and text, ASCII letters folded
    ForEachBookPage(book, opened.codec, {}, [&](const BookPage& page) {
      std::string text = page.title + "\n" + page.text;
      LowerCaseInPlace(text);
      if (page.decoding == Decoding::kBookCodePage) pages.emplace(Key(page.path), std::move(text));
    });
    const std::vector<std::string> words = IndexWords(book);
    const std::size_t step = std::max<std::size_t>(1, words.size() / kSamplesPerBook);
    for (std::size_t i = 0; i < words.size(); i += step) {
      const PointerArray<SearchResult> results = book.Search(words[i]);
      const std::string utf8 = opened.codec.ToUtf8(words[i], book.CodePage()).value_or(words[i]);
      // Punctuation marks that the book's indexer keeps as words are no words here.
      if (!HasWordCharacter(utf8)) continue;
      const std::set<std::string> found = opened.Found("\"" + utf8 + "\"");
      for (const SearchResult* result : results) {
        const std::optional<std::string_view> path = book.Topics().Path(static_cast<std::int32_t>(result->topic));
        if (!path) continue;
        std::string key = Key(opened.codec.ToUtf8(*path, book.CodePage()).value_or(std::string(*path)));
        const auto page = pages.find(key);
        if (page == pages.end()) continue;  // a topic that is no readable HTML page
        // The book's indexer also splits double-byte text between two
        // characters, making words that the page does not hold.
        if (page->second.find(utf8) == std::string::npos && !found.contains(key)) {
          ++absent;
          continue;
        }
        EXPECT_TRUE(found.contains(key)) << file.path().filename() << ": \"" << utf8 << "\" in " << key;
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 1000u);
  EXPECT_LT(absent * 100, checked) << absent << " of " << checked << " words absent from their pages";
}

}  // namespace
}  // namespace tessaly::textindex
