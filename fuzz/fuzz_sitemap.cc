// Fuzz target: the sitemap readers alone. The same bytes go through the tag
// scanner (every tag and the attributes a sitemap reader asks for), the
// contents parser and the keyword index parser.
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <span>
#include <string>

#include "base/book_error.h"
#include "base/log.h"
#include "base/sitemap_scanner.h"
#include "helpdata/helpdata.h"

namespace {

volatile std::size_t sink;

void Scan(const char* begin, const char* end) {
  const char* cursor = begin;
  std::string tag;
  std::string value;
  while (cursor < end) {
    const char* before = cursor;
    try {
      tessaly::SitemapScanner::NextTag(cursor, end, tag);
    } catch (const tessaly::BookError&) {
      return;
    }
    if (cursor < before || cursor > end) __builtin_trap();
    for (const char* name : {"name", "value", "type", "src", "href"}) {
      std::size_t from = 0;
      // Repeated attributes: search again after each value found.
      for (int i = 0; i < 4 && from <= tag.size(); ++i) {
        const auto next =
            tessaly::SitemapScanner::AttributeValue(std::string_view(tag).substr(from), name, value, 255);
        if (!next) break;
        sink = sink + value.size();
        if (*next == 0) break;
        from += *next;
      }
    }
    if (cursor == before) return;  // no progress: the scanner says the input is done
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  Scan(text, text + size);

  std::ostream nowhere(nullptr);
  tessaly::Logger log;
  log.SetStream(&nowhere);
  const std::span<const std::uint8_t> bytes(data, size);
  {
    tessaly::ContentsTree tree;
    try {
      tessaly::ParseContents(tree, bytes, log);
    } catch (const tessaly::BookError&) {
    }
    std::size_t nodes = 0;
    tessaly::ForEachTocNode(tree.root,
                            [&](const tessaly::TocNode& node, int) { nodes += node.local.size() + 1; });
    sink = sink + nodes;
    tessaly::FindTocNodeByLocal(tree.root, "index.htm");
  }
  {
    tessaly::IndexEntry root;
    try {
      tessaly::ParseIndex(root, bytes, log);
    } catch (const tessaly::BookError&) {
    }
    std::size_t entries = 0;
    tessaly::ForEachIndexEntry(
        root, [&](const tessaly::IndexEntry& entry, int) { entries += entry.name.size() + 1; });
    sink = sink + entries;
  }
  return 0;
}
