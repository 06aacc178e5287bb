#include "textindex/book_pages.h"

#include <algorithm>
#include <map>
#include <optional>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/book_path.h"
#include "base/text.h"
#include "base/utf8.h"
#include "book/book.h"
#include "helpdata/contents_tree.h"
#include "helpdata/keyword_index.h"
#include "helpdata/topic_table.h"
#include "textindex/page_text.h"

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

// The bytes that the directory's entries cover, each counted once however
// many entries overlap it; the container's own storage objects (the
// compressed bytes among them) are not the book's content.
std::uint64_t DistinctBytes(const Book& book) {
  std::vector<std::tuple<std::uint64_t, std::uint64_t, std::uint64_t>> ranges;  // section, start, end
  for (const DirectoryEntry& entry : book.File().entries) {
    if (entry.length == 0 || entry.name.starts_with("::DataSpace/")) continue;
    const std::uint64_t end = entry.offset + std::min(entry.length, ~std::uint64_t{0} - entry.offset);
    ranges.emplace_back(entry.section, entry.offset, end);
  }
  std::sort(ranges.begin(), ranges.end());
  std::uint64_t total = 0;
  std::uint64_t section = ~std::uint64_t{0}, reached = 0;
  for (const auto& [s, start, end] : ranges) {
    if (s != section) section = s, reached = 0;
    const std::uint64_t from = std::max(start, reached);
    if (end > from) total += end - from;
    reached = std::max(reached, end);
  }
  return total;
}

struct StoredRange {
  std::uint64_t section, offset, length;
  bool operator==(const StoredRange&) const = default;
};
struct RangeHash {
  std::size_t operator()(const StoredRange& r) const {
    return std::hash<std::uint64_t>()(r.offset * 31 + r.length) ^ std::hash<std::uint64_t>()(r.section);
  }
};

struct BudgetSpent {};

// A page's names beyond these are left out: a keyword index may name one
// page a million times.
constexpr std::size_t kMaxNames = 32;
constexpr std::size_t kMaxNamesBytes = 4096;
// A title shared by this many pages tells them apart no more.
constexpr int kSharedTitle = 3;

// The names that the contents and the keyword index give each page (by key
// of its canonical path), contents first, each once.
class PageNames {
 public:
  void Add(const std::string& key, std::string name) {
    if (name.empty()) return;
    std::vector<std::string>& names = byPage_[key];
    if (names.size() >= kMaxNames) return;
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(std::move(name));
  }
  const std::vector<std::string>* Of(const std::string& key) const {
    const auto found = byPage_.find(key);
    return found == byPage_.end() ? nullptr : &found->second;
  }

 private:
  std::unordered_map<std::string, std::vector<std::string>> byPage_;
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
  for (const DirectoryEntry& entry : book.File().entries) expected += IsHtmlPage(Canonical(entry.name)) ? 1 : 0;

  PagesRead result;
  result.budget = TextBudget(DistinctBytes(book));
  std::uint64_t spent = 0;
  std::size_t done = 0;
  int reported = -1;
  const auto step = [&] {
    ++done;
    if (!control.progress || expected == 0) return;
    const int percent = first + static_cast<int>((last - first) * std::min(done, expected) / expected);
    if (percent != reported) control.progress(reported = percent);
  };

  std::unordered_set<StoredRange, RangeHash> ranges;
  std::unordered_set<std::string> paths;
  // The canonical path of an entry that is a page not seen before, under
  // its own name and its stored range; none otherwise.
  const auto newPage = [&](const DirectoryEntry& entry) -> std::optional<std::string> {
    if (control.cancel != nullptr && control.cancel->load(std::memory_order_relaxed)) throw BuildCancelled();
    std::string path = Canonical(entry.name);
    if (!IsHtmlPage(path)) return std::nullopt;
    step();
    if (!ranges.insert({entry.section, entry.offset, entry.length}).second) return std::nullopt;
    if (!paths.insert(Key(path)).second) return std::nullopt;
    return path;
  };
  BookPage page;
  try {
    book.ReadAllObjects(
        [&](const DirectoryEntry& entry, std::span<const std::uint8_t> bytes) {
          std::optional<std::string> path = newPage(entry);
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
        [&](const DirectoryEntry& entry, const BookError&) {
          if (newPage(entry)) ++result.unreadable;
        });
  } catch (const BudgetSpent&) {
    result.budgetSpent = true;
  }
  if (control.progress) control.progress(last);
  return result;
}

}  // namespace tessaly::textindex
