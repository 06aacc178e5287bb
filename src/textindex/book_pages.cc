#include "textindex/text_index.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/book_path.h"
#include "base/text.h"
#include "base/utf8.h"
#include "book/book.h"

namespace tessaly::textindex {

namespace {

constexpr std::uint64_t kBytesOfTextPerStoredByte = 3;
constexpr std::uint64_t kBudgetFloor = 1 << 20;
constexpr std::uint64_t kBudgetCeiling = std::uint64_t{128} << 20;

// A stored name or a topic's path in canonical form without its fragment.
std::string Canonical(std::string_view name) {
  std::string path(name.substr(0, kMaxBookPath));
  NormalizeBookPath(path);
  const std::size_t fragment = path.find('#');
  if (fragment != std::string::npos) path.resize(fragment);
  return path;
}

std::string Key(std::string path) {
  LowerCaseInPlace(path);
  return path;
}

// Book text in UTF-8. Text that is well-formed UTF-8 beyond ASCII is taken
// as UTF-8 (a compiler copied it from a UTF-8 page), as pages are.
std::string Utf8(const TextConverter& converter, std::string_view text, int codePage) {
  if (LooksLikeUtf8(text)) return std::string(text);
  std::optional<std::string> converted = converter.ToUtf8(text, codePage);
  return converted ? std::move(*converted) : std::string(text);
}

struct BudgetSpent {};

// A page's names past this many bytes are left out: a keyword index may
// name one page a million times. An enumeration's page may well be named by
// each of its hundreds of members.
constexpr std::size_t kMaxNamesBytes = 64 << 10;
// A title shared by this many pages tells them apart no more.
constexpr int kSharedTitle = 3;

// The names that the contents and the keyword index give each page (by key
// of its canonical path), contents first, each once.
class PageNames {
 public:
  void Add(const std::string& key, std::string name) {
    if (name.empty()) return;
    Names& names = byPage_[key];
    if (names.bytes + name.size() >= kMaxNamesBytes || !names.seen.insert(name).second) return;
    names.bytes += name.size() + 1;
    names.list.push_back(std::move(name));
  }
  const std::vector<std::string>* Of(const std::string& key) const {
    const auto found = byPage_.find(key);
    return found == byPage_.end() ? nullptr : &found->second.list;
  }

 private:
  struct Names {
    std::vector<std::string> list;
    std::unordered_set<std::string> seen;
    std::size_t bytes = 0;
  };
  std::unordered_map<std::string, Names> byPage_;
};

PageNames NamesOf(const Book& book, const TextConverter& converter, int codePage) {
  PageNames names;
  const auto add = [&](std::string_view local, std::string_view name) {
    const std::string path = Canonical(local);
    if (!IsHtmlPage(path)) return;
    names.Add(Key(Utf8(converter, path, codePage)), HtmlToText(Utf8(converter, name, codePage)).text);
  };
  ForEachTocNode(book.Contents().root, [&](const TocNode& node, int) { add(node.local, node.name); });
  try {
    book.BuildKeywordIndex();
  } catch (const BookError&) {
    // what was read before the failure names pages all the same
  }
  // A sub-keyword's name is its parent's followed by its own ("Ability
  // class methods"), as the index shows them, cut at a bounded length.
  std::vector<std::pair<const IndexEntry*, std::string>> entries = {{&book.KeywordIndex(), std::string()}};
  while (!entries.empty()) {
    const auto [entry, name] = std::move(entries.back());
    entries.pop_back();
    for (const IndexEntry* child : entry->children) {
      if (child == nullptr) continue;
      std::string full = name.empty() ? child->name : name + " " + child->name;
      full.resize(std::min(full.size(), kMaxBookPath));
      entries.emplace_back(child, std::move(full));
    }
    for (const IndexTarget* target : entry->targets) {
      if (target != nullptr) add(target->local, name);
    }
  }
  return names;
}

}  // namespace

std::uint64_t TextBudget(std::uint64_t distinctBytes) {
  return std::min(kBudgetCeiling,
                  std::min(distinctBytes, kBudgetCeiling) * kBytesOfTextPerStoredByte + kBudgetFloor);
}

PagesRead ForEachBookPage(const Book& book, const TextConverter& converter, const BuildControl& control,
                          const std::function<void(BookPage&)>& onPage, int first, int last) {
  const int codePage = book.CodePage();
  // Topic paths are in the book's code page, stored names in UTF-8 (in real
  // books): a topic is found under either form. Its title is the page's
  // when the page has none, converted when the page comes.
  std::unordered_map<std::string, std::string_view> titles;
  // How many topics, and how many pages read so far, have each title.
  std::unordered_map<std::string, int> topicTitles, pageTitles;
  static constexpr std::string_view kNoTitle = "Untitled topic";
  const TopicTable& topics = book.Topics();
  for (std::int32_t t = 0; t < topics.Count(); ++t) {
    const std::string_view title = topics.Title(t);
    if (title != kNoTitle) ++topicTitles[HtmlToText(Utf8(converter, title, codePage)).text];
    const std::optional<std::string_view> stored = topics.Path(t);
    if (!stored) continue;
    const std::string path = Canonical(*stored);
    if (!IsHtmlPage(path)) continue;
    titles.emplace(Key(path), title);
    titles.emplace(Key(Utf8(converter, path, codePage)), title);
  }
  const PageNames names = NamesOf(book, converter, codePage);

  std::size_t expected = 0;
  for (std::size_t i = 0; i < book.EntryCount(); ++i) expected += IsHtmlPage(Canonical(book.Entry(i).name)) ? 1 : 0;

  PagesRead result;
  result.budget = TextBudget(book.DistinctBytes());
  std::uint64_t spent = 0;
  std::size_t done = 0;
  int reported = -1;
  const auto step = [&] {
    ++done;
    if (!control.progress || expected == 0) return;
    const int percent = first + static_cast<int>((last - first) * std::min(done, expected) / expected);
    if (percent != reported) control.progress(reported = percent);
  };

  std::unordered_set<std::string> paths;
  // The canonical path of the range's page: its first name that is a page
  // and names no page yet; none when no name does.
  const auto pageOf = [&](Book::Aliases aliases) -> std::optional<std::string> {
    if (control.cancel != nullptr && control.cancel->load(std::memory_order_relaxed)) throw BuildCancelled();
    std::optional<std::string> found;
    for (const DirectoryEntry& entry : aliases) {
      std::string path = Canonical(entry.name);
      if (!IsHtmlPage(path)) continue;
      step();
      if (!found && paths.insert(Key(path)).second) found = std::move(path);
    }
    return found;
  };
  BookPage page;
  try {
    book.ReadStoredRanges(
        [&](Book::Aliases aliases, std::span<const std::uint8_t> bytes) {
          std::optional<std::string> path = pageOf(aliases);
          if (!path) return;
          PageText text = ExtractPageText(bytes, codePage, converter);
          // The topic's title, as the book's lists show it; but the page's
          // own when the topic has none, or only the last piece of it (as
          // compilers store a title holding markup). Compilers store the
          // topic's title as the page wrote it, references and all.
          const auto topic = titles.find(Key(*path));
          page.title = topic != titles.end() && topic->second != kNoTitle
                           ? HtmlToText(Utf8(converter, topic->second, codePage)).text
                           : std::string();
          if (page.title.empty() || (text.title.size() > page.title.size() && text.title.ends_with(page.title))) {
            page.title = std::move(text.title);
          }
          if (page.title.empty()) page.title = *path;
          page.path = Utf8(converter, *path, codePage);
          page.text = std::move(text.text);
          page.headings = std::move(text.headings);
          page.decoding = text.decoding;
          page.names.clear();
          const std::vector<std::string>* named = names.Of(Key(page.path));
          // A title that many pages share gives way to the page's first
          // name in the contents, and becomes one of its names.
          const int shared = std::max(++pageTitles[page.title], topicTitles[page.title]);
          if (named != nullptr && shared >= kSharedTitle && named->front() != page.title) {
            page.names = std::move(page.title) + '\n';
            page.title = named->front();
          }
          for (std::size_t i = 0; named != nullptr && i < named->size(); ++i) {
            if ((*named)[i] == page.title || page.names.size() + (*named)[i].size() > kMaxNamesBytes) continue;
            page.names += (*named)[i] + '\n';
          }
          spent += page.title.size() + page.names.size() + page.headings.size() + page.path.size() + page.text.size();
          if (spent > result.budget) throw BudgetSpent();
          ++result.pages;
          onPage(page);
        },
        [&](Book::Aliases aliases, const BookError&) {
          if (pageOf(aliases)) ++result.unreadable;
        });
  } catch (const BudgetSpent&) {
    result.budgetSpent = true;
  }
  if (control.progress) control.progress(last);
  return result;
}

}  // namespace tessaly::textindex
