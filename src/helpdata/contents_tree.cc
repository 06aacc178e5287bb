#include "helpdata/helpdata.h"

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "base/book_error.h"
#include "base/book_path.h"
#include "base/sitemap_scanner.h"
#include "base/text.h"
#include "helpdata/sitemap_lists.h"

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
        in_(reinterpret_cast<const char*>(sitemap.data()),
            reinterpret_cast<const char*>(sitemap.data()) + sitemap.size()),
        log_(log) {}

  void Run() {
    while (in_.More()) {
      Next();
      if (EqualNoCase(in_.tag, "object type=\"text/site properties\"")) {
        ReadSiteProperties();
      } else if (EqualNoCase(in_.tag, "UL")) {
        ReadLists();
        return;
      }
    }
  }

 private:
  void Next() { in_.Next(); }

  void ReadSiteProperties() {
    std::string value;
    while (in_.More()) {
      Next();
      if (EqualNoCase(in_.tag, "/OBJECT")) return;
      ParamReader param;
      if (!param.Read(in_.tag)) continue;
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

  void ReadLists() {
    ReadSitemapLists(
        in_, tree_.root, log_, [this] { return ReadNode(); }, [this](TocNode* node) { Unlink(node); });
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
    while (in_.More()) {
      Next();
      if (EqualNoCase(in_.tag, "/OBJECT")) return;
      ParamReader param;
      if (!param.Read(in_.tag)) continue;
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
  SitemapCursor in_;
  Logger& log_;
};

}  // namespace

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

}  // namespace tessaly
