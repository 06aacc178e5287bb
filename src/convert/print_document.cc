// The document a PDF is printed from (convert.h: PrintDocument).
#include <algorithm>
#include <iterator>
#include <map>
#include <set>

#include "base/book_error.h"
#include "base/book_path.h"
#include "base/text.h"
#include "convert/book_lists.h"
#include "book/book.h"
#include "convert/convert.h"
#include "convert/output_folder.h"
#include "convert/output_names.h"
#include "convert/page_reading.h"
#include "convert/xhtml_cleaner.h"

namespace tessaly::convert {

namespace {

constexpr std::string_view kDocumentName = "print.html";
constexpr std::string_view kCleanDocumentName = "clean.html";

std::string Mark(char kind, std::size_t number) { return "zqx" + std::string(1, kind) + std::to_string(number) + "xqz"; }

// Small white text that takes no room: invisible on paper, found in the PDF's
// text.
xmlNode* MarkElement(xmlDoc* doc, const std::string& mark) {
  xmlNode* span = NewElement(doc, "span");
  SetAttribute(span, "class", "tessaly-mark");
  AppendText(span, mark);
  return span;
}

// The contents nodes of the branch (or of the whole book) with their depth.
std::vector<std::pair<const TocNode*, int>> Branch(const Book& book, const TextConverter& converter,
                                                   std::string_view fromTopic) {
  std::vector<std::pair<const TocNode*, int>> nodes;
  if (fromTopic.empty()) {
    ForEachTocNode(book.Contents().root, [&](const TocNode& node, int depth) { nodes.emplace_back(&node, depth); });
    return nodes;
  }
  std::string wanted(fromTopic);
  NormalizeBookPath(wanted);
  const TocNode* top = nullptr;
  ForEachTocNode(book.Contents().root, [&](const TocNode& node, int) {
    if (top == nullptr && (EqualNoCase(node.local, wanted) || BookTextUtf8(book, converter, node.name) == fromTopic))
      top = &node;
  });
  if (top == nullptr) {
    throw BookError(ErrorKind::kNotFound, "No contents entry is called " + std::string(fromTopic) + ".")
        .About(std::string(fromTopic));
  }
  nodes.emplace_back(top, 0);
  ForEachTocNode(*top, [&](const TocNode& node, int depth) { nodes.emplace_back(&node, depth + 1); });
  return nodes;
}

// A mark's place: the first thing inside the element, or just before one
// that holds nothing (a picture, a break).
void PlaceMark(xmlNode* element, xmlNode* mark) {
  static constexpr std::string_view kVoid[] = {"img", "br", "hr", "wbr"};
  const std::string_view name = NameOf(element);
  if (std::find(std::begin(kVoid), std::end(kVoid), name) != std::end(kVoid)) xmlAddPrevSibling(element, mark);
  else if (element->children != nullptr) xmlAddPrevSibling(element->children, mark);
  else xmlAddChild(element, mark);
}

}  // namespace

PrintDocument WritePrintDocument(const Book& book, const TextConverter& converter, const std::string& folder,
                                 std::string_view fromTopic) {
  PrintDocument document;
  const BookObjects objects(book, converter);
  std::vector<std::string> stored;
  for (const BookObject& o : objects.Objects()) stored.push_back(o.name);
  const OutputNames names(stored, {std::string(kDocumentName), std::string(kCleanDocumentName)},
                          [](const std::string&) { return std::string(); });
  OutputBudget budget(book);
  OutputFolder out(folder, budget);

  // The places a link or a contents entry names inside a topic: the element
  // with that id gets a mark; without one, the topic's own mark serves.
  struct Anchor {
    std::size_t topic;
    std::string id;
    bool found = false;
  };
  std::vector<Anchor> anchors;
  std::map<std::pair<std::size_t, std::string>, std::size_t> anchorOf;
  std::map<std::string, std::size_t> anchorByMark;
  std::map<std::size_t, std::size_t> topicOf;  // page object -> its topic number
  const auto markFor = [&](std::size_t topic, const std::string& fragment) {
    if (fragment.empty()) return Mark('T', topic);
    const auto [it, added] = anchorOf.emplace(std::make_pair(topic, ValidId(fragment)), anchors.size());
    if (added) anchors.push_back({topic, it->first.second});
    anchorByMark.emplace(Mark('A', it->second), it->second);
    return Mark('A', it->second);
  };
  // The mark a link or an entry ends up leading to, once the anchors are placed.
  const auto landing = [&](const std::string& mark) {
    const auto found = anchorByMark.find(mark);
    if (found == anchorByMark.end()) return mark;
    const Anchor& anchor = anchors[found->second];
    return anchor.found ? mark : Mark('T', anchor.topic);
  };

  // The entries and the pages they name, in contents order.
  std::vector<std::size_t> pages;
  for (const auto& [node, depth] : Branch(book, converter, fromTopic)) {
    PrintDocument::Entry entry{BookTextUtf8(book, converter, node->name), depth, {}};
    const Target target = objects.ResolveBookPath(node->local);
    if (target.kind == Target::Kind::kObject && objects.Objects()[target.object].page) {
      if (topicOf.emplace(target.object, pages.size()).second) pages.push_back(target.object);
      entry.mark = markFor(topicOf[target.object], target.fragment);
    }
    if (entry.title.empty()) entry.title = BookTextUtf8(book, converter, node->local);
    document.entries.push_back(std::move(entry));
  }

  KeptBytes raw(objects.Objects().size());
  std::vector<std::size_t> kept;
  ForEachStoredRange(book, objects, document.report, [&](std::span<const std::size_t> aliases, std::span<const std::uint8_t> bytes) {
    kept.clear();
    for (std::size_t object : aliases) {
      if (topicOf.count(object) != 0) kept.push_back(object);
      else if (!objects.Objects()[object].page) out.Write(names.Of(object), bytes);
    }
    raw.Keep(kept, bytes);
  });

  // Every topic cleaned first, so that every anchor named is known before
  // the marks go in. A link to a page outside the printed pages loses its
  // address and keeps its text.
  std::vector<HtmlDocument> topics;
  for (std::size_t topic = 0; topic < pages.size(); ++topic) {
    const std::size_t object = pages[topic];
    HtmlDocument page = ParsePage(book, converter, raw.Of(object));
    const ReferenceFor referenceFor = [&](const xmlNode* element, std::string_view value) -> std::optional<std::string> {
      const Target target = objects.Resolve(object, value);
      if (target.kind == Target::Kind::kExternal) {
        if (IsElement(element, "a")) return target.address;
        return std::nullopt;
      }
      if (target.kind != Target::Kind::kObject) return std::nullopt;
      if (IsElement(element, "a")) {
        const auto topicFound = topicOf.find(target.object);
        if (topicFound == topicOf.end()) return std::nullopt;
        return "#" + markFor(topicFound->second, target.fragment);
      }
      if (objects.Objects()[target.object].page) return std::nullopt;
      return EscapeLinkPath(names.Of(target.object));
    };
    CleanForEpub(page, referenceFor, "", "");
    topics.push_back(std::move(page));
  }
  std::map<std::size_t, std::map<std::string, std::size_t>> wanted;  // topic -> id -> anchor
  for (std::size_t i = 0; i < anchors.size(); ++i) wanted[anchors[i].topic].emplace(anchors[i].id, i);
  for (const auto& [topic, named] : wanted) {
    const std::map<std::string, std::size_t>& ids = named;
    HtmlDocument& page = topics[topic];
    ForEachElement(page.Root(), [&](xmlNode* element) {
      const std::optional<std::string> id = Attribute(element, "id");
      const auto found = id ? ids.find(*id) : ids.end();
      if (found == ids.end() || anchors[found->second].found) return;
      PlaceMark(element, MarkElement(page.Doc(), Mark('A', found->second)));
      anchors[found->second].found = true;
    });
  }
  for (PrintDocument::Entry& entry : document.entries) entry.mark = landing(entry.mark);

  std::string head, body;
  std::set<std::string> sheets;
  for (std::size_t topic = 0; topic < topics.size(); ++topic) {
    HtmlDocument& page = topics[topic];
    // Links get their marks; style sheets go to the document's head.
    std::vector<xmlNode*> links;
    ForEachElement(page.Root(), [&](xmlNode* element) {
      if (IsElement(element, "a") && Attribute(element, "href")) links.push_back(element);
      if (IsElement(element, "link") && sheets.insert(Attribute(element, "href").value_or("")).second)
        head += "<link rel=\"stylesheet\" href=\"" + EscapeMarkup(Attribute(element, "href").value_or("")) + "\">";
      if (IsElement(element, "style")) {
        std::string css = TextOf(element);
        std::erase(css, '<');  // nothing in a style sheet needs one, and it could end the element
        head += "<style>" + css + "</style>";
      }
    });
    for (xmlNode* link : links) {
      const std::string href = *Attribute(link, "href");
      PrintDocument::Link mark{Mark('L', document.links.size()), Mark('E', document.links.size()), {}, {}};
      if (href.starts_with("#")) mark.targetMark = landing(href.substr(1));
      else mark.address = href;
      if (link->children != nullptr) xmlAddPrevSibling(link->children, MarkElement(page.Doc(), mark.startMark));
      else xmlAddChild(link, MarkElement(page.Doc(), mark.startMark));
      xmlAddChild(link, MarkElement(page.Doc(), mark.endMark));
      document.links.push_back(std::move(mark));
    }
    const std::string xhtml = page.ToXhtml();
    const std::size_t bodyTag = xhtml.find("<body");
    const std::size_t start = bodyTag == std::string::npos ? bodyTag : xhtml.find('>', bodyTag);
    const std::size_t end = xhtml.rfind("</body>");
    body += "<section class=\"tessaly-topic\"><span class=\"tessaly-mark\">" + Mark('T', topic) + "</span>";
    if (start != std::string::npos && end != std::string::npos && end > start) body += xhtml.substr(start + 1, end - start - 1);
    body += "</section>\n";
    page = HtmlDocument(std::string_view());  // its tree is done with
  }
  // The marks take no room, so hiding them changes nothing of the layout.
  const auto html = [&](std::string_view markStyle) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" +
           EscapeMarkup(BookTextUtf8(book, converter, book.Title())) + "</title>" + head +
           "<style>.tessaly-topic + .tessaly-topic { break-before: page; }"
           " .tessaly-mark { display: inline-block; width: 0; overflow: visible; white-space: nowrap;"
           " font: 5px monospace; letter-spacing: 0; " + std::string(markStyle) + " }</style></head><body>\n" + body +
           "</body></html>\n";
  };
  out.Write(std::string(kDocumentName), html("color: #fff;"));
  out.Write(std::string(kCleanDocumentName), html("color: #fff; visibility: hidden;"));
  document.html = folder + "/" + std::string(kDocumentName);
  document.cleanHtml = folder + "/" + std::string(kCleanDocumentName);
  document.report.pages = pages.size();
  return document;
}

}  // namespace tessaly::convert
