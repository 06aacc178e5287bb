#include "convert/html_document.h"

#include <libxml/HTMLtree.h>
#include <libxml/parser.h>

#include <array>
#include <climits>
#include <cstring>
#include <mutex>

#include "base/text.h"

namespace tessaly::convert {

namespace {

const xmlChar* X(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

std::string_view View(const xmlChar* text) {
  return text == nullptr ? std::string_view() : std::string_view(reinterpret_cast<const char*>(text));
}

void InitParserOnce() {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
}

constexpr std::array<std::string_view, 18> kVoidElements = {
    "area", "base", "basefont", "br", "col", "embed", "frame", "hr", "img",
    "input", "isindex", "keygen", "link", "meta", "param", "source", "track", "wbr"};

bool IsVoid(std::string_view name) {
  for (std::string_view v : kVoidElements) {
    if (v == name) return true;
  }
  return false;
}

bool IsRawText(std::string_view name) { return name == "script" || name == "style"; }

// Appends text escaped for content or for a double-quoted attribute value.
// In XML, characters that XML 1.0 forbids are left out.
void AppendEscaped(std::string& out, std::string_view text, bool attribute, bool xml) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '&': out += "&amp;"; continue;
      case '<': out += "&lt;"; continue;
      case '>': out += "&gt;"; continue;
      case '"':
        out += attribute ? "&quot;" : "\"";
        continue;
      default: break;
    }
    if (xml && byte < 0x20 && c != '\t' && c != '\n' && c != '\r') continue;
    if (xml && attribute && (c == '\t' || c == '\n' || c == '\r')) {
      out += "&#" + std::to_string(byte) + ";";
      continue;
    }
    // U+FFFE and U+FFFF (EF BF BE, EF BF BF) are not XML characters either.
    if (xml && byte == 0xEF && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xBF &&
        (static_cast<unsigned char>(text[i + 2]) & 0xFE) == 0xBE) {
      i += 2;
      continue;
    }
    out += c;
  }
}

bool IsXmlName(std::string_view name) {
  if (name.empty()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    const bool other = (c >= '0' && c <= '9') || c == '-' || c == '.' || c == ':';
    if (!letter && (i == 0 || !other)) return false;
  }
  return true;
}

// Writes the tree below (and including) top.
class Writer {
 public:
  explicit Writer(bool xml) : xml_(xml) {}

  void Write(const xmlNode* top) {
    WalkTree(top, [&](const xmlNode* node) { return Enter(node); }, [&](const xmlNode* node) { Leave(node); });
  }

  std::string Take() { return std::move(out_); }

 private:
  // Writes the node's start; true when its children and end follow.
  bool Enter(const xmlNode* node) {
    switch (node->type) {
      case XML_ELEMENT_NODE: {
        const std::string_view name = NameOf(node);
        if (xml_ && !IsXmlName(name)) return false;
        out_ += '<';
        out_ += name;
        if (xml_ && name == "html" && node->parent != nullptr && node->parent->type == XML_HTML_DOCUMENT_NODE)
          out_ += " xmlns=\"http://www.w3.org/1999/xhtml\"";
        for (const xmlAttr* a = node->properties; a != nullptr; a = a->next) {
          const std::string_view attribute = NameOf(a);
          if (xml_ && !IsXmlName(attribute)) continue;
          out_ += ' ';
          if (xml_ && a->ns != nullptr && a->ns->prefix != nullptr) {
            out_ += View(a->ns->prefix);
            out_ += ':';
          }
          out_ += attribute;
          out_ += "=\"";
          AppendEscaped(out_, TextOf(reinterpret_cast<const xmlNode*>(a)), true, xml_);
          out_ += '"';
        }
        if (IsVoid(name)) {
          out_ += xml_ ? "/>" : ">";
          return false;
        }
        out_ += '>';
        rawDepth_ += (!xml_ && IsRawText(name)) ? 1 : 0;
        return true;
      }
      case XML_TEXT_NODE:
      case XML_CDATA_SECTION_NODE:
        if (rawDepth_ > 0) out_ += View(node->content);
        else AppendEscaped(out_, View(node->content), false, xml_);
        return false;
      case XML_COMMENT_NODE:
        if (!xml_) out_ += "<!--" + std::string(View(node->content)) + "-->";
        return false;
      default:
        return false;
    }
  }

  void Leave(const xmlNode* node) {
    if (node->type != XML_ELEMENT_NODE) return;
    const std::string_view name = NameOf(node);
    if (!xml_ && IsRawText(name)) --rawDepth_;
    out_ += "</";
    out_ += name;
    out_ += '>';
  }

  bool xml_;
  int rawDepth_ = 0;
  std::string out_;
};

}  // namespace

HtmlDocument::HtmlDocument(std::string_view utf8) {
  InitParserOnce();
  if (utf8.size() > kMaxPage) utf8 = utf8.substr(0, kMaxPage);
  constexpr int kOptions = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET;
  if (!utf8.empty()) {
    doc_.reset(htmlReadMemory(utf8.data(), static_cast<int>(utf8.size()), nullptr, "UTF-8", kOptions));
  }
  if (doc_ == nullptr) doc_.reset(htmlNewDocNoDtD(nullptr, nullptr));
  if (Root() == nullptr) xmlDocSetRootElement(doc_.get(), NewElement(doc_.get(), "html"));
}

xmlNode* HtmlDocument::Root() const { return xmlDocGetRootElement(doc_.get()); }

xmlNode* HtmlDocument::Part(std::string_view name) const {
  for (xmlNode* child = Root()->children; child != nullptr; child = child->next) {
    if (IsElement(child, name)) return child;
  }
  return nullptr;
}

xmlNode* HtmlDocument::Head() {
  if (xmlNode* head = Part("head")) return head;
  xmlNode* head = NewElement(doc_.get(), "head");
  xmlNode* root = Root();
  if (root->children != nullptr) xmlAddPrevSibling(root->children, head);
  else xmlAddChild(root, head);
  return head;
}

std::string HtmlDocument::ToHtml() const {
  Writer writer(false);
  writer.Write(Root());
  return "<!DOCTYPE html>\n" + writer.Take() + "\n";
}

std::string HtmlDocument::ToXhtml() const {
  Writer writer(true);
  writer.Write(Root());
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html>\n" + writer.Take() + "\n";
}

std::string_view NameOf(const xmlNode* node) { return View(node->name); }
std::string_view NameOf(const xmlAttr* attribute) { return View(attribute->name); }

bool IsElement(const xmlNode* node, std::string_view name) {
  return node != nullptr && node->type == XML_ELEMENT_NODE && NameOf(node) == name;
}

std::optional<std::string> Attribute(const xmlNode* element, std::string_view name) {
  for (const xmlAttr* a = element->properties; a != nullptr; a = a->next) {
    if (EqualNoCase(NameOf(a), name)) return TextOf(reinterpret_cast<const xmlNode*>(a));
  }
  return std::nullopt;
}

void SetAttribute(xmlNode* element, std::string_view name, std::string_view value) {
  xmlSetProp(element, X(std::string(name).c_str()), X(std::string(value).c_str()));
}

void RemoveAttribute(xmlNode* element, std::string_view name) {
  for (xmlAttr* a = element->properties; a != nullptr;) {
    xmlAttr* next = a->next;
    if (EqualNoCase(NameOf(a), name)) xmlRemoveProp(a);
    a = next;
  }
}

xmlNode* NextInTree(const xmlNode* top, xmlNode* node, bool skipChildren) {
  if (!skipChildren && node->children != nullptr && node->type == XML_ELEMENT_NODE) return node->children;
  while (node != top) {
    if (node->next != nullptr) return node->next;
    node = node->parent;
  }
  return nullptr;
}

void ForEachElement(xmlNode* top, const std::function<void(xmlNode*)>& visit) {
  for (xmlNode* node = top; node != nullptr; node = NextInTree(top, node)) {
    if (node->type == XML_ELEMENT_NODE) visit(node);
  }
}

std::string TextOf(const xmlNode* node) {
  std::string text;
  if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) return std::string(View(node->content));
  const xmlNode* top = node;
  for (const xmlNode* at = node->children; at != nullptr;) {
    if (at->type == XML_TEXT_NODE || at->type == XML_CDATA_SECTION_NODE) text += View(at->content);
    if (at->children != nullptr && at->type == XML_ELEMENT_NODE) {
      at = at->children;
      continue;
    }
    while (at != top && at->next == nullptr) at = at->parent;
    at = at == top ? nullptr : at->next;
  }
  return text;
}

xmlNode* NewElement(xmlDoc* doc, std::string_view name) {
  return xmlNewDocNode(doc, nullptr, X(std::string(name).c_str()), nullptr);
}

void AppendText(xmlNode* parent, std::string_view text) {
  xmlAddChild(parent, xmlNewDocTextLen(parent->doc, X(std::string(text).c_str()), static_cast<int>(text.size())));
}

const char* ReferenceAttribute(const xmlNode* element) {
  const std::string_view name = NameOf(element);
  if (name == "a" || name == "area" || name == "link") return "href";
  if (name == "img" || name == "frame" || name == "iframe" || name == "script" || name == "embed" ||
      name == "input")
    return "src";
  if (name == "body" || name == "table" || name == "td" || name == "th") return "background";
  return nullptr;
}

}  // namespace tessaly::convert
