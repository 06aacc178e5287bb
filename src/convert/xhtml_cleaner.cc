#include "convert/xhtml_cleaner.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/text.h"

namespace tessaly::convert {

namespace {

bool IsOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// Elements kept as they are.
bool IsKept(std::string_view name) {
  return IsOneOf(name, {"html", "head", "body", "title", "style", "link", "meta", "div", "p", "span", "a", "img",
                        "br", "hr", "h1", "h2", "h3", "h4", "h5", "h6", "ul", "ol", "li", "dl", "dt", "dd", "table",
                        "caption", "thead", "tbody", "tfoot", "tr", "td", "th", "pre", "code", "em", "strong", "b",
                        "i", "u", "s", "sub", "sup", "small", "blockquote", "q", "cite", "abbr", "dfn", "kbd",
                        "samp", "var", "mark", "del", "ins", "wbr", "bdo", "figure", "figcaption"});
}

// Obsolete elements and the element that takes their place.
std::optional<std::string_view> Replacement(std::string_view name) {
  static const std::unordered_map<std::string_view, std::string_view> kReplacements = {
      {"font", "span"},    {"basefont", "span"}, {"big", "span"},     {"blink", "span"},   {"nobr", "span"},
      {"marquee", "span"}, {"center", "div"},    {"layer", "div"},    {"ilayer", "div"},   {"multicol", "div"},
      {"tt", "code"},      {"strike", "s"},      {"acronym", "abbr"}, {"dir", "ul"},       {"menu", "ul"},
      {"listing", "pre"},  {"xmp", "pre"},       {"plaintext", "pre"}, {"address", "div"}, {"section", "div"},
      {"article", "div"},  {"aside", "div"},     {"nav", "div"},      {"header", "div"},   {"footer", "div"},
      {"main", "div"},     {"fieldset", "div"},  {"legend", "p"},     {"form", "div"},     {"details", "div"},
      {"summary", "p"},    {"label", "span"},    {"time", "span"},    {"bdi", "span"},     {"noframes", "div"},
      {"noscript", "div"}, {"rb", "span"},       {"rtc", "span"}};
  const auto found = kReplacements.find(name);
  if (found == kReplacements.end()) return std::nullopt;
  return found->second;
}

// Elements dropped with everything inside them.
bool IsDropped(std::string_view name) {
  return IsOneOf(name, {"script", "object", "applet", "embed", "param", "input", "select", "option", "optgroup",
                        "textarea", "button", "keygen", "map", "area", "base", "isindex", "nextid", "spacer",
                        "col", "colgroup", "iframe", "frame", "frameset", "bgsound", "audio", "video", "source",
                        "canvas", "template", "xml", "rt", "rp"});
}

// Elements that may hold phrasing content only.
bool HoldsPhrasingOnly(std::string_view name) {
  return IsOneOf(name, {"p", "h1", "h2", "h3", "h4", "h5", "h6", "pre", "span", "b", "i", "em", "strong", "small",
                        "s", "u", "cite", "q", "dfn", "abbr", "code", "var", "samp", "kbd", "sub", "sup", "mark",
                        "bdo", "caption"});
}

// Elements that are phrasing content themselves (a, del and ins are when
// what they hold is).
bool IsPhrasing(std::string_view name) {
  return name == "br" || name == "img" || name == "wbr" ||
         (HoldsPhrasingOnly(name) && !IsOneOf(name, {"p", "h1", "h2", "h3", "h4", "h5", "h6", "pre", "caption"}));
}

bool IsTransparent(std::string_view name) { return name == "a" || name == "del" || name == "ins"; }

bool IsHeading(std::string_view name) {
  return name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6';
}

bool IsGlobalAttribute(std::string_view name) {
  return IsOneOf(name, {"id", "class", "title", "lang", "dir", "style"});
}

bool IsDigits(std::string_view text) {
  return !text.empty() && text.size() <= 6 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A length attribute ("120", "50%") as CSS, or empty.
std::string CssLength(std::string_view value) {
  if (IsDigits(value)) return std::string(value) + "px";
  if (value.size() > 1 && value.back() == '%' && IsDigits(value.substr(0, value.size() - 1))) return std::string(value);
  return {};
}

// A colour or font name safe inside a declaration, or empty.
std::string CssWord(std::string_view value) {
  if (value.empty() || value.size() > 64) return {};
  for (char c : value) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '#' ||
                    c == ' ' || c == '-' || c == ',';
    if (!ok) return {};
  }
  return std::string(value);
}

bool IsLanguageTag(std::string_view tag) {
  if (tag.empty() || tag.size() > 35) return false;
  std::size_t run = 0;
  for (std::size_t i = 0; i < tag.size(); ++i) {
    const char c = tag[i];
    if (c == '-') {
      if (run == 0) return false;
      run = 0;
      continue;
    }
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    const bool digit = c >= '0' && c <= '9';
    if (!letter && !(digit && i > 0)) return false;
    if (++run > 8) return false;
  }
  return run > 0;
}

class Cleaner {
 public:
  Cleaner(HtmlDocument& page, const ReferenceFor& referenceFor) : page_(page), referenceFor_(referenceFor) {}

  CleanedPage Run(std::string_view title, std::string_view language) {
    xmlNode* root = page_.Root();
    Frames(root);
    MoveStrays(root);
    Elements(root);
    Contexts(body_);
    UnnestLinks(body_);
    Phrasing(body_);
    Ids(root);
    Head(title, language);
    return std::move(result_);
  }

 private:
  void Remove(xmlNode* node) {
    xmlUnlinkNode(node);
    xmlFreeNode(node);
  }

  // Moves the children of node before it and removes it.
  void Unwrap(xmlNode* node) {
    while (node->children != nullptr) {
      xmlNode* child = node->children;
      xmlUnlinkNode(child);
      xmlAddPrevSibling(node, child);
    }
    Remove(node);
  }

  void Rename(xmlNode* node, std::string_view name) { xmlNodeSetName(node, BAD_CAST std::string(name).c_str()); }

  xmlNode* Wrap(xmlNode* first, xmlNode* last, std::string_view name) {
    xmlNode* wrapper = NewElement(page_.Doc(), name);
    xmlAddPrevSibling(first, wrapper);
    for (xmlNode* node = first; node != nullptr;) {
      xmlNode* next = node == last ? nullptr : node->next;
      xmlUnlinkNode(node);
      xmlAddChild(wrapper, node);
      node = next;
    }
    return wrapper;
  }

  // A link to each framed page takes the place of frames and iframes; a
  // frameset page gets a body that lists them.
  void Frames(xmlNode* root) {
    std::vector<xmlNode*> frames;
    ForEachElement(root, [&](xmlNode* element) {
      if (IsElement(element, "frame") || IsElement(element, "iframe")) frames.push_back(element);
    });
    body_ = page_.Part("body");
    if (body_ == nullptr) {
      body_ = NewElement(page_.Doc(), "body");
      xmlAddChild(root, body_);
    }
    for (xmlNode* frame : frames) {
      const std::optional<std::string> src = Attribute(frame, "src");
      if (!src) continue;
      xmlNode* link = NewElement(page_.Doc(), "a");
      SetAttribute(link, "href", *src);
      AppendText(link, Attribute(frame, "name").value_or(*src));
      xmlNode* paragraph = NewElement(page_.Doc(), "p");
      xmlAddChild(paragraph, link);
      if (IsElement(frame, "iframe")) xmlAddPrevSibling(frame, paragraph);
      else xmlAddChild(body_, paragraph);
    }
    for (xmlNode* node = root->children; node != nullptr;) {
      xmlNode* next = node->next;
      if (IsElement(node, "frameset")) Remove(node);
      node = next;
    }
  }

  // Only head and body stay under the root; head keeps its head elements,
  // and anything else there moves into the body.
  void MoveStrays(xmlNode* root) {
    xmlNode* head = page_.Head();
    // Style sheets belong in the head, wherever the page put them.
    std::vector<xmlNode*> sheets;
    ForEachElement(body_, [&](xmlNode* element) {
      if (IsElement(element, "style") || IsElement(element, "link")) sheets.push_back(element);
    });
    for (xmlNode* sheet : sheets) {
      xmlUnlinkNode(sheet);
      xmlAddChild(head, sheet);
    }
    // What stood in the head but is content goes to the start of the body.
    xmlNode* bodyStart = body_->children;
    const auto toBody = [&](xmlNode* node) {
      if (bodyStart != nullptr) xmlAddPrevSibling(bodyStart, node);
      else xmlAddChild(body_, node);
    };
    for (xmlNode* node = root->children; node != nullptr;) {
      xmlNode* next = node->next;
      if (node != head && node != body_) {
        xmlUnlinkNode(node);
        if (node->type == XML_ELEMENT_NODE || node->type == XML_TEXT_NODE) xmlAddChild(body_, node);
        else xmlFreeNode(node);
      }
      node = next;
    }
    for (xmlNode* node = head->children; node != nullptr;) {
      xmlNode* next = node->next;
      if (!IsElement(node, "title") && !IsElement(node, "style") && !IsElement(node, "link")) {
        xmlUnlinkNode(node);
        if (node->type == XML_ELEMENT_NODE && !IsElement(node, "meta") && !IsElement(node, "script")) {
          toBody(node);
        } else {
          xmlFreeNode(node);
        }
      }
      node = next;
    }
  }

  // Element by element: drop, replace, unwrap; attributes kept, translated
  // or dropped; references pointed where the book's objects went.
  void Elements(xmlNode* root) {
    xmlNode* head = page_.Head();
    for (xmlNode* node = root; node != nullptr;) {
      if (node->type != XML_ELEMENT_NODE) {
        xmlNode* next = NextInTree(root, node, true);
        if (node->type != XML_TEXT_NODE && node->type != XML_CDATA_SECTION_NODE) Remove(node);
        node = next;
        continue;
      }
      std::string name(NameOf(node));
      if (IsDropped(name) || (name == "meta") || (name == "title" && node->parent != head)) {
        xmlNode* next = NextInTree(root, node, true);
        Remove(node);
        node = next;
        continue;
      }
      if (const std::optional<std::string_view> replacement = Replacement(name)) {
        Translate(node, name);
        Rename(node, *replacement);
        name = *replacement;
      } else if (!IsKept(name)) {
        // Unknown: its content takes its place, walked next.
        xmlNode* next = node->children != nullptr ? node->children : NextInTree(root, node, true);
        Unwrap(node);
        node = next;
        continue;
      } else {
        Translate(node, name);
      }
      if (!Attributes(node, name)) {
        xmlNode* next = NextInTree(root, node, true);
        Remove(node);
        node = next;
        continue;
      }
      node = NextInTree(root, node);
    }
  }

  void AddStyle(xmlNode* element, std::string_view declaration) {
    std::string style = Attribute(element, "style").value_or("");
    while (!style.empty() && (style.back() == ' ' || style.back() == ';')) style.pop_back();
    if (!style.empty()) style += "; ";
    SetAttribute(element, "style", style + std::string(declaration));
  }

  // Presentational attributes with a style equivalent.
  void Translate(xmlNode* element, std::string_view name) {
    if (std::optional<std::string> align = Attribute(element, "align"); align && name != "img") {
      LowerCaseInPlace(*align);
      if (IsOneOf(*align, {"left", "right", "center", "justify"})) AddStyle(element, "text-align: " + *align);
    }
    if (std::optional<std::string> valign = Attribute(element, "valign")) {
      LowerCaseInPlace(*valign);
      if (IsOneOf(*valign, {"top", "middle", "bottom", "baseline"})) AddStyle(element, "vertical-align: " + *valign);
    }
    if (const std::string color = CssWord(Attribute(element, "bgcolor").value_or("")); !color.empty())
      AddStyle(element, "background-color: " + color);
    if (name != "img") {
      if (const std::string width = CssLength(Attribute(element, "width").value_or("")); !width.empty())
        AddStyle(element, "width: " + width);
    }
    if (Attribute(element, "nowrap")) AddStyle(element, "white-space: nowrap");
    if (name == "font") {
      if (const std::string color = CssWord(Attribute(element, "color").value_or("")); !color.empty())
        AddStyle(element, "color: " + color);
      if (const std::string face = CssWord(Attribute(element, "face").value_or("")); !face.empty())
        AddStyle(element, "font-family: " + face);
    }
    if (name == "center") AddStyle(element, "text-align: center");
  }

  // Keeps the attributes HTML5 allows on the element, with valid values;
  // false when the element has lost what it cannot be without.
  bool Attributes(xmlNode* element, std::string_view name) {
    if (name == "a" && !Attribute(element, "id")) {
      if (const std::optional<std::string> anchor = Attribute(element, "name")) SetAttribute(element, "id", *anchor);
    }
    std::vector<std::pair<std::string, std::string>> kept;
    for (xmlAttr* a = element->properties; a != nullptr; a = a->next) {
      std::string attribute(NameOf(a));
      LowerCaseInPlace(attribute);
      std::string value = TextOf(reinterpret_cast<xmlNode*>(a));
      if (std::optional<std::string> checked = Checked(name, attribute, value)) {
        if (std::none_of(kept.begin(), kept.end(), [&](const auto& k) { return k.first == attribute; }))
          kept.emplace_back(attribute, std::move(*checked));
      }
    }
    while (element->properties != nullptr) xmlRemoveProp(element->properties);
    for (const auto& [attribute, value] : kept) SetAttribute(element, attribute, value);

    const char* reference = name == "a" || name == "link" ? "href" : name == "img" ? "src" : nullptr;
    if (reference != nullptr) {
      if (const std::optional<std::string> value = Attribute(element, reference)) {
        if (const std::optional<std::string> target = referenceFor_(element, *value)) {
          SetAttribute(element, reference, *target);
        } else {
          RemoveAttribute(element, reference);
        }
      }
    }
    if (name == "img") {
      if (!Attribute(element, "src")) {
        // The picture is not in the book: its text takes its place.
        const std::string alt = Attribute(element, "alt").value_or("");
        if (!alt.empty()) xmlAddPrevSibling(element, xmlNewDocText(page_.Doc(), BAD_CAST alt.c_str()));
        return false;
      }
      if (!Attribute(element, "alt")) SetAttribute(element, "alt", "");
    }
    if (name == "link") {
      std::string rel = Attribute(element, "rel").value_or("");
      LowerCaseInPlace(rel);
      if (rel != "stylesheet" || !Attribute(element, "href")) return false;
      SetAttribute(element, "type", "text/css");
    }
    return true;
  }

  // The value an attribute keeps on the element, or nullopt to drop it.
  std::optional<std::string> Checked(std::string_view element, std::string_view attribute, std::string value) {
    if (attribute == "dir") {
      LowerCaseInPlace(value);
      return IsOneOf(value, {"ltr", "rtl", "auto"}) ? std::optional(value) : std::nullopt;
    }
    if (attribute == "lang") return IsLanguageTag(value) ? std::optional(value) : std::nullopt;
    if (attribute == "id") return value.empty() ? std::nullopt : std::optional(value);
    if (IsGlobalAttribute(attribute)) return value;
    if ((element == "a" || element == "link") && attribute == "href") return value;
    if (element == "link" && attribute == "rel") return value;
    if (element == "img" && (attribute == "src" || attribute == "alt")) return value;
    if (element == "img" && (attribute == "width" || attribute == "height"))
      return IsDigits(value) ? std::optional(value) : std::nullopt;
    if ((element == "td" || element == "th") && (attribute == "colspan" || attribute == "rowspan")) {
      if (!IsDigits(value) || std::stoi(value) > 1000 || (attribute == "colspan" && std::stoi(value) == 0))
        return std::nullopt;
      return std::to_string(std::stoi(value));
    }
    if (element == "table" && attribute == "border") {
      if (IsDigits(value) && std::stoi(value) > 0) return std::string("1");
      return std::nullopt;
    }
    if ((element == "ol" && attribute == "start") || (element == "li" && attribute == "value"))
      return IsDigits(value) ? std::optional(value) : std::nullopt;
    if (element == "ol" && attribute == "type")
      return IsOneOf(value, {"1", "a", "A", "i", "I"}) ? std::optional(value) : std::nullopt;
    if (element == "th" && attribute == "scope") {
      LowerCaseInPlace(value);
      return IsOneOf(value, {"row", "col", "rowgroup", "colgroup"}) ? std::optional(value) : std::nullopt;
    }
    return std::nullopt;
  }

  // Items, rows, cells and terms in their containers.
  void Contexts(xmlNode* top) {
    std::vector<xmlNode*> elements;
    ForEachElement(top, [&](xmlNode* element) { elements.push_back(element); });
    for (xmlNode* element : elements) {
      const std::string_view name = NameOf(element);
      const std::string_view parent = element->parent != nullptr ? NameOf(element->parent) : "";
      const bool placed =
          (name == "li" && (parent == "ul" || parent == "ol")) || ((name == "dt" || name == "dd") && parent == "dl") ||
          (name == "tr" && IsOneOf(parent, {"table", "thead", "tbody", "tfoot"})) ||
          ((name == "td" || name == "th") && parent == "tr") ||
          (IsOneOf(name, {"thead", "tbody", "tfoot", "caption"}) && parent == "table");
      if (!placed && IsOneOf(name, {"li", "dt", "dd", "tr", "td", "th", "thead", "tbody", "tfoot", "caption"}))
        Rename(element, "div");
    }
    for (xmlNode* element : elements) {
      const std::string_view name = NameOf(element);
      if (name == "ul" || name == "ol") WrapStrays(element, {"li"}, "li", nullptr);
      else if (name == "dl") {
        WrapStrays(element, {"dt", "dd"}, "dd", nullptr);
        DefinitionGroups(element);
      }
      else if (name == "table") {
        TableOrder(element);
        WrapStrays(element, {"caption", "thead", "tbody", "tfoot", "tr"}, "tr", "td");
      } else if (IsOneOf(name, {"thead", "tbody", "tfoot"})) WrapStrays(element, {"tr"}, "tr", "td");
      else if (name == "tr") WrapStrays(element, {"td", "th"}, "td", nullptr);
    }
  }

  // Terms and descriptions in groups: a description first gets an empty
  // term before it, a term last an empty description after it.
  void DefinitionGroups(xmlNode* list) {
    if (IsElement(list->children, "dd")) xmlAddPrevSibling(list->children, NewElement(page_.Doc(), "dt"));
    xmlNode* last = xmlGetLastChild(list);
    if (IsElement(last, "dt")) xmlAddNextSibling(last, NewElement(page_.Doc(), "dd"));
  }

  // The caption first, the head before the bodies, the foot last.
  void TableOrder(xmlNode* table) {
    xmlNode* caption = nullptr;
    for (xmlNode* child = table->children; child != nullptr; child = child->next) {
      if (IsElement(child, "caption") && caption == nullptr) caption = child;
    }
    if (caption != nullptr && caption != table->children) {
      xmlUnlinkNode(caption);
      xmlAddPrevSibling(table->children, caption);
    }
    std::vector<xmlNode*> extra;
    for (xmlNode* child = table->children; child != nullptr; child = child->next) {
      if (child != caption && IsElement(child, "caption")) extra.push_back(child);
    }
    for (xmlNode* node : extra) Rename(node, "tr");  // wrapped into a row below
  }

  // Runs of children other than `allowed` (white space aside) wrapped in
  // `wrapper` (and inside it `inner`, for a table's cell).
  void WrapStrays(xmlNode* parent, std::initializer_list<std::string_view> allowed, std::string_view wrapper,
                  const char* inner) {
    xmlNode* first = nullptr;
    xmlNode* last = nullptr;
    const auto flush = [&]() {
      if (first == nullptr) return;
      xmlNode* outer = Wrap(first, last, wrapper);
      if (inner != nullptr) Wrap(outer->children, xmlGetLastChild(outer), inner);
      first = last = nullptr;
    };
    for (xmlNode* child = parent->children; child != nullptr;) {
      xmlNode* next = child->next;
      const bool blank = child->type == XML_TEXT_NODE && TextOf(child).find_first_not_of(" \t\r\n") == std::string::npos;
      const bool fits = child->type == XML_ELEMENT_NODE && IsOneOf(NameOf(child), allowed);
      if (fits || (blank && first == nullptr)) {
        flush();
        if (blank) Remove(child);
      } else {
        if (first == nullptr) first = child;
        last = child;
      }
      child = next;
    }
    flush();
  }

  // A link inside a link gives up its tag.
  void UnnestLinks(xmlNode* top) {
    std::vector<xmlNode*> nested;
    ForEachElement(top, [&](xmlNode* element) {
      if (!IsElement(element, "a")) return;
      for (xmlNode* up = element->parent; up != nullptr && up != top; up = up->parent) {
        if (IsElement(up, "a")) {
          nested.push_back(element);
          return;
        }
      }
    });
    for (auto it = nested.rbegin(); it != nested.rend(); ++it) Unwrap(*it);
  }

  // Children before parents: an element that may hold phrasing content only
  // but holds a block becomes a div; a heading inside a table header cell or
  // a term does too (they may not hold headings).
  void Phrasing(xmlNode* top) {
    std::vector<xmlNode*> elements;
    ForEachElement(top, [&](xmlNode* element) { elements.push_back(element); });
    std::unordered_set<const xmlNode*> blocks;  // transparent elements holding blocks
    const auto isBlock = [&](const xmlNode* node) {
      if (node->type != XML_ELEMENT_NODE) return false;
      const std::string_view name = NameOf(node);
      return IsTransparent(name) ? blocks.count(node) != 0 : !IsPhrasing(name);
    };
    for (auto it = elements.rbegin(); it != elements.rend(); ++it) {
      xmlNode* element = *it;
      const std::string name(NameOf(element));
      bool holdsBlock = false;
      for (const xmlNode* child = element->children; child != nullptr && !holdsBlock; child = child->next)
        holdsBlock = isBlock(child);
      if (IsTransparent(name)) {
        if (holdsBlock) blocks.insert(element);
      } else if (holdsBlock && HoldsPhrasingOnly(name)) {
        if (name == "b" || name == "strong") AddStyle(element, "font-weight: bold");
        if (name == "i" || name == "em") AddStyle(element, "font-style: italic");
        Rename(element, "div");
      } else if (IsHeading(name)) {
        for (const xmlNode* up = element->parent; up != nullptr; up = up->parent) {
          if (IsElement(up, "th") || IsElement(up, "dt")) {
            Rename(element, "div");
            break;
          }
        }
      }
    }
  }

  // Ids made valid and unique.
  void Ids(xmlNode* root) {
    ForEachElement(root, [&](xmlNode* element) {
      const std::optional<std::string> id = Attribute(element, "id");
      if (!id) return;
      const std::string valid = ValidId(*id);
      if (result_.ids.insert(valid).second) SetAttribute(element, "id", valid);
      else RemoveAttribute(element, "id");
    });
  }

  void Head(std::string_view title, std::string_view language) {
    xmlNode* head = page_.Head();
    for (xmlNode* node = head->children; node != nullptr;) {
      xmlNode* next = node->next;
      if (IsElement(node, "title")) Remove(node);
      node = next;
    }
    xmlNode* titleElement = NewElement(page_.Doc(), "title");
    AppendText(titleElement, title.empty() ? std::string_view("-") : title);
    if (head->children != nullptr) xmlAddPrevSibling(head->children, titleElement);
    else xmlAddChild(head, titleElement);
    xmlNode* meta = NewElement(page_.Doc(), "meta");
    SetAttribute(meta, "charset", "utf-8");
    xmlAddPrevSibling(titleElement, meta);
    xmlNode* root = page_.Root();
    while (root->properties != nullptr) xmlRemoveProp(root->properties);
    if (!language.empty()) {
      SetAttribute(root, "lang", language);
      xmlNs* xml = xmlSearchNs(page_.Doc(), root, BAD_CAST "xml");
      xmlSetNsProp(root, xml, BAD_CAST "lang", BAD_CAST std::string(language).c_str());
    }
  }

  HtmlDocument& page_;
  const ReferenceFor& referenceFor_;
  xmlNode* body_ = nullptr;
  CleanedPage result_;
};

}  // namespace

std::string ValidId(std::string_view id) {
  const auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
  const auto isNameChar = [&](char c) { return isLetter(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; };
  if (!id.empty() && isLetter(id[0]) && std::all_of(id.begin(), id.end(), isNameChar)) return std::string(id);
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string valid = "id_";
  for (char c : id) {
    const auto byte = static_cast<unsigned char>(c);
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
      valid += c;
    } else {
      valid += '_';
      valid += kHex[byte >> 4];
      valid += kHex[byte & 0x0F];
    }
  }
  return valid;
}

CleanedPage CleanForEpub(HtmlDocument& page, const ReferenceFor& referenceFor, std::string_view title,
                         std::string_view language) {
  return Cleaner(page, referenceFor).Run(title, language);
}

}  // namespace tessaly::convert
