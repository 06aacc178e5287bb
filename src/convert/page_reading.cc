#include "convert/page_reading.h"

#include "base/book_error.h"
#include "base/text.h"
#include "base/text_converter.h"
#include "book/book.h"
#include "pages/css_refs.h"
#include "textindex/page_text.h"

namespace tessaly::convert {

std::string BookTextUtf8(const Book& book, const TextConverter& converter, std::string_view text) {
  std::optional<std::string> utf8 = converter.ToUtf8(text, book.CodePage());
  if (!utf8) utf8 = converter.ToUtf8(text, 1252);
  return utf8.value_or(std::string());
}

void ForEachObject(const Book& book, const BookObjects& objects, ConvertReport& report,
                   const std::function<void(std::size_t object, std::span<const std::uint8_t> bytes)>& visit) {
  book.ReadAllObjects(
      [&](const DirectoryEntry& entry, std::span<const std::uint8_t> bytes) {
        if (std::optional<std::size_t> object = objects.ForEntry(entry.index)) visit(*object, bytes);
      },
      [&](const DirectoryEntry& entry, const BookError& error) {
        if (objects.ForEntry(entry.index)) report.warnings.push_back(std::string(entry.name) + ": " + error.Message());
      });
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
