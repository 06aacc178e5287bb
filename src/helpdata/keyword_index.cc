#include "helpdata/keyword_index.h"

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "base/book_error.h"
#include "base/text.h"
#include "helpdata/sitemap_scanner.h"

namespace tessaly {

namespace {

constexpr std::size_t kMaxParamName = 18;

std::string_view WithoutLeadingUnderscores(std::string_view name) {
  const std::size_t first = name.find_first_not_of('_');
  return first == std::string_view::npos ? std::string_view() : name.substr(first);
}

class IndexParser {
 public:
  IndexParser(IndexEntry& root, std::span<const std::uint8_t> sitemap, Logger& log)
      : root_(root),
        cursor_(reinterpret_cast<const char*>(sitemap.data())),
        end_(cursor_ + sitemap.size()),
        log_(log) {
    tag_.reserve(SitemapScanner::kMaxTag + 1);
  }

  void Run() {
    while (cursor_ < end_) {
      Next();
      if (EqualNoCase(tag_, "UL")) {
        depth_ = 0;
        ReadLists();
        return;
      }
    }
  }

 private:
  void Next() { SitemapScanner::NextTag(cursor_, end_, tag_); }

  // The top-level lists and every list nested in them, level by level
  // as in the contents parser: a level's entries go to their parent when it
  // closes, or when parsing stops for any reason.
  struct Level {
    IndexEntry* parent;
    IndexEntry* last = nullptr;
    std::vector<std::unique_ptr<IndexEntry>> items;
  };

  void ReadLists() {
    std::vector<Level> levels;
    levels.push_back(Level{&root_, nullptr, {}});
    ++depth_;
    try {
      ReadListTags(levels);
    } catch (...) {
      CloseAll(levels);
      throw;
    }
    CloseAll(levels);
  }

  void ReadListTags(std::vector<Level>& levels) {
    while (cursor_ < end_) {
      Next();
      if (EqualNoCase(tag_, "LI")) {
        auto entry = std::make_unique<IndexEntry>();
        ReadItem(*entry);
        log_.Write("%*.s%s\n", depth_, "", entry->name.c_str());
        IndexEntry* added = entry.get();
        levels.back().items.push_back(std::move(entry));
        levels.back().last = added;
      } else if (EqualNoCase(tag_, "UL")) {
        ++depth_;
        if (levels.back().last == nullptr) continue;  // its items stay at this level
        IndexEntry* parent = levels.back().last;
        levels.push_back(Level{parent, nullptr, {}});
      } else if (EqualNoCase(tag_, "/UL")) {
        --depth_;
        if (levels.size() > 1) {
          CloseLevel(levels);
          continue;
        }
        // The top level ends here, unless another top-level list follows:
        // some writers put every entry, or every part, in a list of its own.
        if (!NextTopLevelList()) return;
        levels.back().last = nullptr;
        ++depth_;
      }
    }
  }

  // Skips to the next <UL> after a closed top-level list; false at the end.
  bool NextTopLevelList() {
    while (cursor_ < end_) {
      Next();
      if (EqualNoCase(tag_, "UL")) return true;
    }
    return false;
  }

  static void CloseLevel(std::vector<Level>& levels) {
    Level& level = levels.back();
    AppendAll(level.parent->children, level.items);
    levels.pop_back();
  }

  static void CloseAll(std::vector<Level>& levels) {
    while (!levels.empty()) CloseLevel(levels);
  }

  void ReadItem(IndexEntry& entry) {
    // Targets are gathered here and handed to the entry at the end (see
    // AppendAll); on failure they go with the entry.
    std::vector<std::unique_ptr<IndexTarget>> targets;
    IndexTarget* current = nullptr;
    bool keywordNamed = false;
    bool targetNamed = false;
    bool targetHasPath = false;
    auto newTarget = [&targets, &current]() {
      targets.push_back(std::make_unique<IndexTarget>());
      current = targets.back().get();
    };

    while (cursor_ < end_) {
      Next();
      if (EqualNoCase(tag_, "/OBJECT")) break;
      const std::optional<std::size_t> afterName =
          SitemapScanner::AttributeValue(tag_, "param name", paramName_, kMaxParamName + 1);
      if (!afterName) continue;
      const bool isName = EqualNoCase(paramName_, "Name") || EqualNoCase(paramName_, "Keyword");
      const bool isLocal = EqualNoCase(paramName_, "Local");
      if (!isName && !isLocal) continue;
      const std::string_view rest = std::string_view(tag_).substr(*afterName);

      if (current == nullptr) {
        newTarget();
        targetNamed = false;
        targetHasPath = false;
      }
      if (isName) {
        if (!keywordNamed) {
          SitemapScanner::AttributeValue(rest, "value", entry.name, kMaxKeywordName + 1);
          keywordNamed = true;
        } else if (!targetNamed) {
          SitemapScanner::AttributeValue(rest, "value", current->name, kMaxKeywordName + 1);
          targetNamed = true;
        } else {
          RaiseBookError("Index <li> tag has 2 one after the other \"Name\" params:\n%s.", tag_.c_str());
        }
      } else {
        keywordNamed = true;
        if (targetHasPath) newTarget();
        SitemapScanner::AttributeValue(rest, "value", current->local, kMaxTargetLocal + 1);
        targetHasPath = true;
      }
      if (targetNamed && targetHasPath) current = nullptr;
    }

    if (!targets.empty() && entry.name.empty()) entry.name = targets.front()->name;
    AppendAll(entry.targets, targets);
  }

  IndexEntry& root_;
  const char* cursor_;
  const char* end_;
  Logger& log_;
  std::string tag_;
  std::string paramName_;
  int depth_ = 0;  // indents the log only
};

}  // namespace

IndexEntry::~IndexEntry() {
  if (children.Empty()) return;
  // As for contents nodes: move the child arrays out level by level so that
  // no entry is destroyed while it still owns a subtree.
  std::vector<PointerArray<IndexEntry>> pending;
  pending.push_back(std::move(children));
  while (!pending.empty()) {
    PointerArray<IndexEntry> batch = std::move(pending.back());
    pending.pop_back();
    for (IndexEntry* child : batch) {
      if (child != nullptr && !child->children.Empty()) pending.push_back(std::move(child->children));
    }
  }
}

int CompareKeywordNames(std::string_view a, std::string_view b) {
  return CompareNoCase(WithoutLeadingUnderscores(a), WithoutLeadingUnderscores(b));
}

void SortKeywords(IndexEntry& parent) {
  parent.children.StableSort(
      [](const IndexEntry& a, const IndexEntry& b) { return CompareKeywordNames(a.name, b.name) < 0; });
}

void ParseIndex(IndexEntry& root, std::span<const std::uint8_t> sitemap, Logger& log) {
  try {
    IndexParser(root, sitemap, log).Run();
  } catch (const BookError& error) {
    RaiseBookError("Error while parse Index file.\n%s", error.Message().c_str());
  }
  SortKeywords(root);
}

void ForEachIndexEntry(const IndexEntry& from,
                       const std::function<void(const IndexEntry&, int depth)>& visit) {
  std::vector<std::pair<const IndexEntry*, int>> pending;
  auto pushChildren = [&pending](const IndexEntry& entry, int depth) {
    for (std::int32_t i = entry.children.Count() - 1; i >= 0; --i) {
      if (const IndexEntry* child = entry.children.Get(i)) pending.emplace_back(child, depth);
    }
  };
  pushChildren(from, 0);
  while (!pending.empty()) {
    auto [entry, depth] = pending.back();
    pending.pop_back();
    visit(*entry, depth);
    pushChildren(*entry, depth + 1);
  }
}

}  // namespace tessaly
