// The reader's own manual, help/tessaly.chm: it opens, everything its
// contents, index and pages point at is in the book, its full-text search
// finds what each page is about, and the committed book holds the current
// sources (help/build.sh was run after the last edit).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "base/pointer_array.h"
#include "book/book.h"
#include "support/book_entries.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;

// tests/books/../../help
fs::path HelpFolder() { return fs::path(TESSALY_TEST_BOOKS).parent_path().parent_path() / "help"; }
std::string HelpBook() { return (HelpFolder() / "tessaly.chm").string(); }

std::string Text(std::span<const std::uint8_t> bytes) { return std::string(bytes.begin(), bytes.end()); }

std::string ReadSource(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The in-book names of the pages: every stored .htm outside the book's own
// records, without the leading '/'.
std::vector<std::string> PageNames(const Book& book) {
  std::vector<std::string> pages;
  for (const DirectoryEntry& entry : test::Entries(book)) {
    const std::string_view name = entry.name;
    if (name.size() > 5 && name.ends_with(".htm") && name[0] == '/' && name[1] != '#' && name[1] != '$') {
      pages.emplace_back(name.substr(1));
    }
  }
  std::sort(pages.begin(), pages.end());
  return pages;
}

// A reference as a page writes it, split into the in-book path (resolved
// against the page's folder) and its fragment.
struct Target {
  std::string path;
  std::string fragment;
};

Target Resolve(const std::string& from, const std::string& reference) {
  const std::size_t hash = reference.find('#');
  Target target{reference.substr(0, hash), hash == std::string::npos ? "" : reference.substr(hash + 1)};
  if (target.path.empty()) {
    target.path = from;
  } else {
    const std::size_t slash = from.rfind('/');
    if (slash != std::string::npos) target.path = from.substr(0, slash + 1) + target.path;
  }
  return target;
}

// True when the page holds <a name="fragment">.
bool HasAnchor(Book& book, const std::string& page, const std::string& fragment) {
  const std::string text = Text(book.ReadObject(page));
  return text.find("<a name=\"" + fragment + "\">") != std::string::npos;
}

class HelpBookTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_NO_THROW(book_.Open(HelpBook())) << HelpBook(); }

  // Every target leads to a page of the book and, with a fragment, to an
  // anchor of that page.
  void ExpectInBook(const std::string& where, const Target& target) {
    ASSERT_FALSE(target.path.empty()) << where;
    EXPECT_TRUE(book_.HasObject(target.path)) << where << " -> " << target.path;
    if (!target.fragment.empty() && book_.HasObject(target.path)) {
      EXPECT_TRUE(HasAnchor(book_, target.path, target.fragment))
          << where << " -> " << target.path << "#" << target.fragment;
    }
  }

  Book book_;
};

TEST_F(HelpBookTest, OpensWithContentsIndexAndSearch) {
  EXPECT_EQ(book_.Title(), "Tessaly Help");
  EXPECT_EQ(book_.DefaultTopic(), "index.htm");
  EXPECT_TRUE(book_.HasObject(book_.DefaultTopic()));
  EXPECT_EQ(book_.CodePage(), 1252);

  // A nested contents tree: the reader builds its Contents panel from it.
  const TocNode& root = book_.Contents().root;
  EXPECT_GE(root.children.Count(), 8);
  int headings = 0;
  ForEachTocNode(root, [&](const TocNode& node, int depth) {
    if (depth == 0 && node.children.Count() > 0) ++headings;
  });
  EXPECT_GE(headings, 2);

  // A keyword index for the Index tab, and a full-text index of its own that
  // answers the Search tab's one-word searches.
  EXPECT_FALSE(book_.IndexFileName().empty());
  EXPECT_GT(book_.ObjectSize("$FIftiMain"), 0u);
}

TEST_F(HelpBookTest, EveryContentsEntryLeadsToAPageOfTheBook) {
  const std::vector<std::string> pages = PageNames(book_);
  ASSERT_GE(pages.size(), 10u);
  std::set<std::string> listed;
  ForEachTocNode(book_.Contents().root, [&](const TocNode& node, int) {
    ASSERT_FALSE(node.local.empty()) << node.name;
    const Target target = Resolve("", node.local);
    ExpectInBook("contents entry " + node.name, target);
    listed.insert(target.path);
  });
  // Stepping with the arrow keys follows the contents: every page is on it.
  for (const std::string& page : pages) {
    EXPECT_TRUE(listed.count(page)) << page << " is not in the contents";
  }
}

TEST_F(HelpBookTest, EveryIndexKeywordLeadsToPagesOfTheBook) {
  ASSERT_NO_THROW(book_.BuildKeywordIndex());
  int keywords = 0;
  int severalTargets = 0;
  int subKeywords = 0;
  ForEachIndexEntry(book_.KeywordIndex(), [&](const IndexEntry& entry, int depth) {
    ++keywords;
    if (depth > 0) ++subKeywords;
    EXPECT_GE(entry.targets.Count(), 1) << entry.name << " leads nowhere";
    if (entry.targets.Count() > 1) ++severalTargets;
    for (const IndexTarget* target : entry.targets) {
      ASSERT_NE(target, nullptr);
      // The Topics Found box lists targets by name: a keyword with several
      // names each.
      if (entry.targets.Count() > 1) {
        EXPECT_FALSE(target->name.empty()) << entry.name;
      }
      ExpectInBook("keyword " + entry.name, Resolve("", target->local));
    }
  });
  EXPECT_GE(keywords, 80);
  EXPECT_GE(subKeywords, 5);
  EXPECT_GE(severalTargets, 3);
}

TEST_F(HelpBookTest, EveryLinkAndPictureOfEveryPageIsInTheBook) {
  const std::regex reference(R"re(\b(href|src)="([^"]*)")re", std::regex::icase);
  int links = 0;
  for (const std::string& page : PageNames(book_)) {
    const std::string text = Text(book_.ReadObject(page));
    std::vector<std::string> values;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), reference); it != std::sregex_iterator(); ++it) {
      values.push_back((*it)[2].str());
    }
    for (const std::string& value : values) {
      ASSERT_FALSE(value.empty()) << page;
      // The manual itself links nowhere outside the book.
      EXPECT_EQ(value.find(':'), std::string::npos) << page << ": " << value;
      ExpectInBook(page, Resolve(page, value));
      ++links;
    }
  }
  EXPECT_GE(links, 100);
}

TEST_F(HelpBookTest, PagesSuitTheReaderAndTheCompiler) {
  for (const std::string& page : PageNames(book_)) {
    const std::string text = Text(book_.ReadObject(page));
    // chmcmd leaves out of the full-text index a page whose body tag has
    // attributes.
    EXPECT_NE(text.find("<body>\n"), std::string::npos) << page;
    EXPECT_NE(text.find("charset=windows-1252"), std::string::npos) << page;
    EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        << page << " is not plain ASCII";
    // The topic table takes its titles from the pages.
    const std::int32_t topic = book_.Topics().FindByPath(page);
    ASSERT_GE(topic, 0) << page;
    const std::string title(book_.Topics().Title(topic));
    EXPECT_NE(text.find("<title>" + title + "</title>"), std::string::npos) << page << ": " << title;
    EXPECT_NE(title, "Untitled topic") << page;
  }
}

TEST_F(HelpBookTest, FullTextSearchFindsEachPageByAWordOfIt) {
  ASSERT_NO_THROW(book_.LoadFullTextIndex());
  const std::map<std::string, std::string> wordOf = {
      {"index.htm", "welcome"},        {"starting.htm", "tray"},        {"window.htm", "toolbar"},
      {"contents.htm", "locate"},      {"keywords.htm", "dysplay"},     {"search.htm", "wildcards"},
      {"reading.htm", "frames"},       {"view.htm", "cleartype"},       {"links.htm", "mailto"},
      {"keys.htm", "screenful"},       {"files.htm", "bubblewrap"},     {"cli.htm", "json"},
      {"cli_commands.htm", "extract"}, {"troubleshooting.htm", "extention"}, {"about.htm", "pocket"},
      {"library.htm", "keywordprg"},
  };
  const std::vector<std::string> pages = PageNames(book_);
  for (const std::string& page : pages) {
    EXPECT_TRUE(wordOf.count(page)) << page << " has no word to find it by";
  }
  for (const auto& [page, word] : wordOf) {
    // Typed with capitals, as a reader may: A to Z are matched in any case.
    std::string typed = word;
    typed[0] = static_cast<char>(typed[0] - 'a' + 'A');
    PointerArray<SearchResult> results(0, 1);
    ASSERT_NO_THROW(results = book_.Search(typed)) << word;
    std::vector<std::string> found;
    for (const SearchResult* result : results) {
      const std::optional<std::string_view> path = book_.Topics().Path(static_cast<std::int32_t>(result->topic));
      if (path) found.emplace_back(*path);
    }
    EXPECT_NE(std::find(found.begin(), found.end(), page), found.end()) << word << " does not find " << page;
    EXPECT_NE(Text(book_.ReadObject(page)).find(word.substr(1)), std::string::npos) << word;
  }
  // One whole word: a part of a word finds nothing.
  EXPECT_EQ(book_.Search("temptalli").Count(), 0);
}

TEST_F(HelpBookTest, CommittedBookHoldsTheCurrentSources) {
  const fs::path sources = HelpFolder() / "src";
  ASSERT_TRUE(fs::is_directory(sources)) << sources;
  std::set<std::string> inSources;
  for (const fs::directory_entry& file : fs::recursive_directory_iterator(sources)) {
    if (!file.is_regular_file()) continue;
    const std::string name = fs::relative(file.path(), sources).generic_string();
    if (name.ends_with(".hhp")) continue;  // the project is not stored in the book
    inSources.insert(name);
    ASSERT_TRUE(book_.HasObject(name)) << name << " is not in help/tessaly.chm: run help/build.sh";
    EXPECT_TRUE(Text(book_.ReadObject(name)) == ReadSource(file.path()))
        << name << " differs from help/tessaly.chm: run help/build.sh";
  }
  // Nor does the book hold pages whose sources are gone.
  for (const std::string& page : PageNames(book_)) {
    EXPECT_TRUE(inSources.count(page)) << page;
  }
}

}  // namespace
}  // namespace tessaly
