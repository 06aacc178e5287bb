// HtmlDocument: a page's tag soup parsed into a tree by libxml2's HTML
// parser (missing end tags closed, stray ones dropped, entities decoded),
// walked without recursion and written back out as HTML or as XHTML.
//
// The page comes in as UTF-8; the tree holds UTF-8. Nothing here reaches the
// network or the file system (the parser is told so).
#pragma once

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly::convert {

struct XmlDocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

class HtmlDocument {
 public:
  // Pages longer than this are refused by the parser's int sizes; the book
  // never holds one (objects are far smaller), but a hostile one may claim it.
  static constexpr std::size_t kMaxPage = 256u << 20;

  // Parses UTF-8 text; an empty document (an html element and nothing
  // else) when there is nothing to parse.
  explicit HtmlDocument(std::string_view utf8);

  xmlDoc* Doc() const { return doc_.get(); }
  // The html element (there is always one).
  xmlNode* Root() const;
  // The first child element of the root with this name, if any.
  xmlNode* Part(std::string_view name) const;
  // The head element, made when missing.
  xmlNode* Head();

  // The page as HTML (a doctype, then the tree; script and style contents
  // kept as written).
  std::string ToHtml() const;
  // The page as XHTML: a well-formed XML document in the XHTML namespace;
  // comments, processing instructions and characters XML forbids are left
  // out. The tree is expected to have been cleaned (xhtml_cleaner.h).
  std::string ToXhtml() const;

 private:
  std::unique_ptr<xmlDoc, XmlDocFree> doc_;
};

// Element and attribute names as text.
std::string_view NameOf(const xmlNode* node);
std::string_view NameOf(const xmlAttr* attribute);
bool IsElement(const xmlNode* node, std::string_view name);

// An attribute's value (names compared without case); none when absent.
std::optional<std::string> Attribute(const xmlNode* element, std::string_view name);
void SetAttribute(xmlNode* element, std::string_view name, std::string_view value);
void RemoveAttribute(xmlNode* element, std::string_view name);

// The node after `node` in document order, descending into children unless
// `skipChildren`; null after the last node below `top`. Walks need no
// recursion, however deep the page nests.
xmlNode* NextInTree(const xmlNode* top, xmlNode* node, bool skipChildren = false);

// Walks the tree below (and including) top in document order without
// recursion: enter(node) comes first, and when it returns true the node's
// children follow, then leave(node).
template <typename Enter, typename Leave>
void WalkTree(const xmlNode* top, Enter enter, Leave leave) {
  for (const xmlNode* node = top; node != nullptr;) {
    const bool descend = enter(node);
    if (descend && node->children != nullptr) {
      node = node->children;
      continue;
    }
    if (descend) leave(node);
    // Up until a node with a next sibling, leaving what is left.
    while (node != top && node->next == nullptr) {
      node = node->parent;
      leave(node);
    }
    node = node == top ? nullptr : node->next;
  }
}

// Calls visit for every element below top, parents before children. visit
// may change the element's attributes but not the tree's shape.
void ForEachElement(xmlNode* top, const std::function<void(xmlNode*)>& visit);

// The text of every text node below node, in order.
std::string TextOf(const xmlNode* node);

// Makes an element (no parent yet).
xmlNode* NewElement(xmlDoc* doc, std::string_view name);
// Adds text after the last child of parent.
void AppendText(xmlNode* parent, std::string_view text);

// The reference attribute an element carries to another object ("href" of
// a, area and link; "src" of img, frame, iframe, script, embed, input;
// "background" of body, table, td, th), if it has one.
const char* ReferenceAttribute(const xmlNode* element);

}  // namespace tessaly::convert
