#include "convert/page_reading.h"

#include "base/book_error.h"
#include "base/text.h"
#include "base/text_converter.h"
#include "book/book.h"
#include "pages/pages.h"
#include "textindex/text_index.h"

namespace tessaly::convert {

std::string BookTextUtf8(const Book& book, const TextConverter& converter, std::string_view text) {
  std::optional<std::string> utf8 = converter.ToUtf8(text, book.CodePage());
  if (!utf8) utf8 = converter.ToUtf8(text, 1252);
  return utf8.value_or(std::string());
}

void ForEachStoredRange(const Book& book, const BookObjects& objects, ConvertReport& report, const RangeVisit& visit) {
  std::vector<std::size_t> ours;
  const auto collect = [&](Book::Aliases aliases) {
    ours.clear();
    for (const DirectoryEntry& entry : aliases) {
      if (std::optional<std::size_t> object = objects.ForEntry(entry.index)) ours.push_back(*object);
    }
    return !ours.empty();
  };
  book.ReadStoredRanges(
      [&](Book::Aliases aliases, std::span<const std::uint8_t> bytes) {
        if (collect(aliases)) visit(ours, bytes);
      },
      [&](Book::Aliases aliases, const BookError& error) {
        if (!collect(aliases)) return;
        for (std::size_t object : ours) report.warnings.push_back(objects.Objects()[object].name + ": " + error.Message());
      });
}

void KeptBytes::Keep(std::span<const std::size_t> objects, std::span<const std::uint8_t> bytes) {
  if (objects.empty()) return;
  for (std::size_t object : objects) of_[object] = ranges_.size();
  ranges_.emplace_back(bytes.begin(), bytes.end());
}

std::span<const std::uint8_t> KeptBytes::Of(std::size_t object) const {
  if (!Has(object)) return {};
  return ranges_[of_[object]];
}

HtmlDocument ParsePage(const Book& book, const TextConverter& converter, std::span<const std::uint8_t> bytes) {
  const std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  HtmlDocument page(textindex::DecodePage(raw, book.CodePage(), converter));
  std::vector<xmlNode*> dropped;
  ForEachElement(page.Root(), [&](xmlNode* element) {
    const std::string_view name = NameOf(element);
    if (name == "base") dropped.push_back(element);
    if (name != "meta") return;
    const std::string equiv = Attribute(element, "http-equiv").value_or("");
    if (Attribute(element, "charset") || EqualNoCase(equiv, "content-type")) dropped.push_back(element);
  });
  for (xmlNode* node : dropped) {
    xmlUnlinkNode(node);
    xmlFreeNode(node);
  }
  return page;
}

void RewriteReferences(HtmlDocument& page, const BookObjects& objects, std::size_t from, const LinkFor& linkFor) {
  ForEachElement(page.Root(), [&](xmlNode* element) {
    if (IsElement(element, "style")) {
      const std::string css = TextOf(element);
      const std::string rewritten = RewriteStyleSheet(css, objects, from, linkFor);
      if (rewritten != css) {
        xmlNodeSetContent(element, nullptr);
        AppendText(element, rewritten);
      }
      return;
    }
    const char* attribute = ReferenceAttribute(element);
    if (attribute == nullptr) return;
    const std::optional<std::string> value = Attribute(element, attribute);
    if (!value) return;
    const std::optional<std::string> link = linkFor(objects.Resolve(from, *value), element);
    if (link) SetAttribute(element, attribute, *link);
    else RemoveAttribute(element, attribute);
  });
}

std::string RewriteStyleSheet(std::string_view css, const BookObjects& objects, std::size_t from,
                              const LinkFor& linkFor) {
  return RewriteCssReferences(css, [&](std::string_view path) -> std::optional<std::string> {
    return linkFor(objects.Resolve(from, path), nullptr);
  });
}

std::string PageTitle(const HtmlDocument& page) {
  const xmlNode* head = page.Part("head");
  if (head == nullptr) return {};
  for (const xmlNode* child = head->children; child != nullptr; child = child->next) {
    if (!IsElement(child, "title")) continue;
    std::string title;
    bool space = false;
    for (char c : TextOf(child)) {
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        space = !title.empty();
        continue;
      }
      if (space) title += ' ';
      space = false;
      title += c;
    }
    return title;
  }
  return {};
}

}  // namespace tessaly::convert
