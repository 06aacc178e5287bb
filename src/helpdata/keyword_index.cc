#include "helpdata/helpdata.h"

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "base/book_error.h"
#include "base/sitemap_scanner.h"
#include "base/text.h"
#include "helpdata/sitemap_lists.h"

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
        in_(reinterpret_cast<const char*>(sitemap.data()),
            reinterpret_cast<const char*>(sitemap.data()) + sitemap.size()),
        log_(log) {}

  void Run() {
    while (in_.More()) {
      Next();
      if (EqualNoCase(in_.tag, "UL")) {
        ReadLists();
        return;
      }
    }
  }

 private:
  void Next() { in_.Next(); }

  void ReadLists() {
    ReadSitemapLists(
        in_, root_, log_,
        [this] {
          auto entry = std::make_unique<IndexEntry>();
          ReadItem(*entry);
          return entry;
        },
        [](IndexEntry*) {});
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

    while (in_.More()) {
      Next();
      if (EqualNoCase(in_.tag, "/OBJECT")) break;
      const std::optional<std::size_t> afterName =
          SitemapScanner::AttributeValue(in_.tag, "param name", paramName_, kMaxParamName + 1);
      if (!afterName) continue;
      const bool isName = EqualNoCase(paramName_, "Name") || EqualNoCase(paramName_, "Keyword");
      const bool isLocal = EqualNoCase(paramName_, "Local");
      if (!isName && !isLocal) continue;
      const std::string_view rest = std::string_view(in_.tag).substr(*afterName);

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
          RaiseBookError("Index <li> tag has 2 one after the other \"Name\" params:\n%s.", in_.tag.c_str());
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
  SitemapCursor in_;
  Logger& log_;
  std::string paramName_;
};

}  // namespace

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

void ReadKeywordIndex(IndexEntry& root, const ObjectSource& objects, std::string_view indexFile, Logger& log) {
  if (indexFile.empty()) RaiseBookError(ErrorKind::kNotFound, "No *.hhk file in CHM.");
  ParseIndex(root, objects.ReadObject(indexFile), log);
}

}  // namespace tessaly
