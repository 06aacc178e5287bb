#include "helpdata/contents_tree.h"

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "base/book_error.h"
#include "base/text.h"
#include "helpdata/sitemap_scanner.h"
#include "pages/link_path.h"

namespace tessaly {

namespace {

enum class NumberScan { kEmpty, kNoDigits, kNumber };

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

bool IsScanSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Reads a number the way scanf's "%i" does: white space, an optional sign,
// then hexadecimal after "0x", octal after a leading 0, decimal otherwise,
// up to the first byte that is no digit of the base. Text of white space
// only is kEmpty (scanf's input failure, which leaves the target as it was).
// Values beyond 32 bits wrap around: these are bit masks and small counts.
NumberScan ScanNumber(std::string_view text, std::int32_t& value) {
  std::size_t i = 0;
  while (i < text.size() && IsScanSpace(text[i])) ++i;
  if (i == text.size()) return NumberScan::kEmpty;
  bool negative = false;
  if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';

  int base = 10;
  bool tookDigit = false;
  if (i < text.size() && text[i] == '0') {
    base = 8;
    tookDigit = true;
    ++i;
    if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
      base = 16;
      ++i;  // "0x" alone reads as 0
    }
  }
  std::uint32_t number = 0;
  for (; i < text.size() && DigitValue(text[i]) < base; ++i) {
    number = number * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(DigitValue(text[i]));
    tookDigit = true;
  }
  if (!tookDigit) return NumberScan::kNoDigits;
  if (negative) number = 0u - number;
  value = static_cast<std::int32_t>(number);
  return NumberScan::kNumber;
}

// The "param name" of a tag, and the "value" searched after it. Read()
// returns false for a tag without a param name.
class ParamReader {
 public:
  bool Read(const std::string& tag) {
    position_ = SitemapScanner::AttributeValue(tag, "param name", name_, kMaxParamName + 1);
    if (!position_) return false;
    tag_ = std::string_view(tag).substr(*position_);
    return true;
  }
  bool Is(std::string_view name) const { return EqualNoCase(name_, name); }
  void Value(std::string& out, std::size_t outSize) const {
    SitemapScanner::AttributeValue(tag_, "value", out, outSize);
  }

 private:
  std::optional<std::size_t> position_;
  std::string name_;
  std::string_view tag_;
};

class ContentsParser {
 public:
  ContentsParser(ContentsTree& tree, std::span<const std::uint8_t> sitemap, Logger& log)
      : tree_(tree),
        cursor_(reinterpret_cast<const char*>(sitemap.data())),
        end_(cursor_ + sitemap.size()),
        log_(log) {
    tag_.reserve(SitemapScanner::kMaxTag + 1);
  }

  void Run() {
    while (cursor_ < end_) {
      Next();
      if (EqualNoCase(tag_, "object type=\"text/site properties\"")) {
        ReadSiteProperties();
      } else if (EqualNoCase(tag_, "UL")) {
        depth_ = 0;
        ReadLists();
        return;
      }
    }
  }

 private:
  void Next() { SitemapScanner::NextTag(cursor_, end_, tag_); }

  void ReadSiteProperties() {
    std::string value;
    while (cursor_ < end_) {
      Next();
      if (EqualNoCase(tag_, "/OBJECT")) return;
      ParamReader param;
      if (!param.Read(tag_)) continue;
      if (param.Is("Window Styles")) {
        param.Value(value, kMaxNumberText + 1);
        if (ScanNumber(value, tree_.windowStyles) == NumberScan::kNoDigits) {
          RaiseBookError("Incorrect param=\"Window Styles\" value:\n%s.", value.c_str());
        }
      } else if (param.Is("ImageType")) {
        param.Value(tree_.imageType, ContentsTree::kMaxImageType + 1);
        LowerCaseInPlace(tree_.imageType);
      }
    }
  }

  // The top-level lists and every list nested in them. Each open level
  // keeps the node its items go under, the items read so far (handed to
  // that node when the level closes, or when parsing stops for any reason)
  // and the last of them (the parent of a <UL> that follows).
  struct Level {
    TocNode* parent;
    TocNode* last = nullptr;
    std::vector<std::unique_ptr<TocNode>> items;
  };

  void ReadLists() {
    std::vector<Level> levels;
    levels.push_back(Level{&tree_.root, nullptr, {}});
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
        std::unique_ptr<TocNode> node = ReadNode();
        TocNode* added = node.get();
        log_.Write("%*.s%s\n", depth_, "", added->name.c_str());
        try {
          levels.back().items.push_back(std::move(node));
        } catch (...) {
          Unlink(added);
          throw;
        }
        levels.back().last = added;
      } else if (EqualNoCase(tag_, "UL")) {
        ++depth_;
        // Without an item to hang under, the list's items stay at this level.
        if (levels.back().last == nullptr) continue;
        TocNode* parent = levels.back().last;
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

  // A new node on the end of the chain, filled from its item. On failure
  // the node leaves the chain again and is destroyed.
  std::unique_ptr<TocNode> ReadNode() {
    auto node = std::make_unique<TocNode>();
    TocNode* tail = tree_.root.prev;
    node->prev = tail;
    if (tail != nullptr) tail->next = node.get();
    tree_.root.prev = node.get();
    try {
      ReadItem(*node);
    } catch (...) {
      Unlink(node.get());
      throw;
    }
    return node;
  }

  // Takes the chain's last node off it.
  void Unlink(TocNode* node) {
    tree_.root.prev = node->prev;
    if (node->prev != nullptr) node->prev->next = nullptr;
  }

  void ReadItem(TocNode& node) {
    std::string value;
    while (cursor_ < end_) {
      Next();
      if (EqualNoCase(tag_, "/OBJECT")) return;
      ParamReader param;
      if (!param.Read(tag_)) continue;
      if (param.Is("Name")) {
        param.Value(node.name, kMaxTocText + 1);
      } else if (param.Is("Local")) {
        param.Value(node.local, kMaxTocText + 1);
        NormalizeBookPath(node.local);
      } else if (param.Is("ImageNumber")) {
        param.Value(value, kMaxNumberText + 1);
        if (ScanNumber(value, node.imageNumber) == NumberScan::kNoDigits) {
          RaiseBookError("Incorrect param=\"ImageNumber\" value:\n%s.", value.c_str());
        }
      }
    }
  }

  ContentsTree& tree_;
  const char* cursor_;
  const char* end_;
  Logger& log_;
  std::string tag_;
  int depth_ = 0;  // indents the log only
};

template <class Node>
Node* FindBelow(Node& from, std::string_view path) {
  // Children are pushed last first so that they come off in order.
  std::vector<Node*> pending;
  auto pushChildren = [&pending](Node& node) {
    for (std::int32_t i = node.children.Count() - 1; i >= 0; --i) {
      if (Node* child = node.children.Get(i)) pending.push_back(child);
    }
  };
  pushChildren(from);
  while (!pending.empty()) {
    Node* node = pending.back();
    pending.pop_back();
    if (EqualNoCase(node->local, path)) return node;
    pushChildren(*node);
  }
  return nullptr;
}

}  // namespace

TocNode::~TocNode() {
  if (children.Empty()) return;
  // Move each level's child arrays out before the array holding their
  // owners goes, so that every node dies with no children of its own.
  std::vector<PointerArray<TocNode>> pending;
  pending.push_back(std::move(children));
  while (!pending.empty()) {
    PointerArray<TocNode> batch = std::move(pending.back());
    pending.pop_back();
    for (TocNode* child : batch) {
      if (child != nullptr && !child->children.Empty()) pending.push_back(std::move(child->children));
    }
  }
}

void ParseContents(ContentsTree& tree, std::span<const std::uint8_t> sitemap, Logger& log) {
  try {
    ContentsParser(tree, sitemap, log).Run();
  } catch (const BookError& error) {
    RaiseBookError("Error while parse TOC file.\n%s", error.Message().c_str());
  }
  std::int32_t count = 0;
  for (const TocNode* node = tree.root.children.Get(0); node != nullptr; node = node->next) ++count;
  tree.nodeCount = count;
}

const TocNode* FindTocNodeByLocal(const TocNode& from, std::string_view path) {
  return FindBelow<const TocNode>(from, path);
}

TocNode* FindTocNodeByLocal(TocNode& from, std::string_view path) { return FindBelow<TocNode>(from, path); }

void ForEachTocNode(const TocNode& from, const std::function<void(const TocNode&, int depth)>& visit) {
  std::vector<std::pair<const TocNode*, int>> pending;
  auto pushChildren = [&pending](const TocNode& node, int depth) {
    for (std::int32_t i = node.children.Count() - 1; i >= 0; --i) {
      if (const TocNode* child = node.children.Get(i)) pending.emplace_back(child, depth);
    }
  };
  pushChildren(from, 0);
  while (!pending.empty()) {
    auto [node, depth] = pending.back();
    pending.pop_back();
    visit(*node, depth);
    pushChildren(*node, depth + 1);
  }
}

}  // namespace tessaly
