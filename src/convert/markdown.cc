#include "convert/markdown.h"

#include <algorithm>
#include <vector>

namespace tessaly::convert {

namespace {

bool IsOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

bool IsBlock(std::string_view name) {
  return IsOneOf(name, {"p", "div", "center", "section", "article", "header", "footer", "nav", "aside", "main",
                        "address", "figure", "figcaption", "form", "fieldset", "dl", "dt", "dd", "caption",
                        "h1", "h2", "h3", "h4", "h5", "h6", "ul", "ol", "li", "pre", "blockquote", "table",
                        "tr", "hr", "body", "frameset", "noframes"});
}

bool IsSkipped(std::string_view name) {
  return IsOneOf(name, {"head", "script", "style", "noscript", "template", "object", "applet", "select",
                        "textarea", "button", "iframe", "map"});
}

// Characters that would start Markdown syntax inside running text.
void AppendEscapedText(std::string& out, std::string_view text) {
  for (char c : text) {
    if (c == '\\' || c == '*' || c == '_' || c == '`' || c == '[' || c == ']' || c == '<' || c == '|')
      out += '\\';
    out += c;
  }
}

class MarkdownWriter {
 public:
  std::string Write(const xmlNode* body) {
    WalkTree(body, [&](const xmlNode* node) { return Enter(node); }, [&](const xmlNode* node) { Leave(node); });
    while (!out_.empty() && out_.back() == '\n') out_.pop_back();
    return out_ + "\n";
  }

 private:
  struct List {
    bool ordered;
    int number;
  };

  // Ends the current block: `lines` line breaks before what comes next.
  void Break(int lines) { breaks_ = std::max(breaks_, out_.empty() ? 0 : lines); }

  // Starts text: the pending breaks and the line prefix (quotes, list
  // indentation) first.
  void StartText() {
    if (breaks_ > 0) {
      while (!out_.empty() && out_.back() == ' ') out_.pop_back();
      for (int i = 0; i < breaks_; ++i) out_ += '\n';
      out_ += Prefix();
      breaks_ = 0;
      lineStart_ = true;
    }
  }

  std::string Prefix() const {
    std::string prefix;
    for (int i = 0; i < quotes_; ++i) prefix += "> ";
    for (std::size_t i = 0; i + 1 < lists_.size() || (i < lists_.size() && !itemStart_); ++i) prefix += "   ";
    return prefix;
  }

  void Text(std::string_view text) {
    if (pre_ > 0) {
      StartText();
      for (char c : text) {
        out_ += c;
        if (c == '\n') out_ += Prefix();
      }
      return;
    }
    std::string collapsed;
    bool space = false;
    for (char c : text) {
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
        space = true;
        continue;
      }
      if (space && !(lineStart_ && collapsed.empty())) collapsed += ' ';
      space = false;
      collapsed += c;
    }
    if (space && !collapsed.empty()) collapsed += ' ';
    if (collapsed.empty()) {
      if (space && !lineStart_ && breaks_ == 0 && !out_.empty() && out_.back() != ' ') out_ += ' ';
      return;
    }
    if (breaks_ > 0 && collapsed.front() == ' ') collapsed.erase(0, 1);
    StartText();
    if (lineStart_ && !collapsed.empty() && collapsed.front() == ' ') collapsed.erase(0, 1);
    if (lineStart_ && !collapsed.empty() && (collapsed.front() == '#' || collapsed.front() == '>' ||
                                             collapsed.front() == '-' || collapsed.front() == '+'))
      out_ += '\\';
    AppendEscapedText(out_, collapsed);
    lineStart_ = false;
  }

  void Raw(std::string_view text) {
    StartText();
    out_ += text;
    lineStart_ = false;
  }

  bool Enter(const xmlNode* node) {
    if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
      Text(TextOf(node));
      return false;
    }
    if (node->type != XML_ELEMENT_NODE) return false;
    const std::string_view name = NameOf(node);
    if (IsSkipped(name)) return false;
    if (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6') {
      Break(2);
      Raw(std::string(name[1] - '0', '#') + " ");
      return true;
    }
    if (name == "br") {
      if (pre_ > 0) Text("\n");
      else if (!lineStart_) {
        Raw("\\");
        Break(1);
      }
      return false;
    }
    if (name == "hr") {
      Break(2);
      Raw("---");
      Break(2);
      return false;
    }
    if (name == "img") {
      const std::string alt = Attribute(node, "alt").value_or("");
      if (const std::optional<std::string> src = Attribute(node, "src")) {
        Raw("![");
        AppendEscapedText(out_, alt);
        out_ += "](<" + *src + ">)";
      }
      return false;
    }
    if (name == "ul" || name == "ol" || name == "dir" || name == "menu") {
      Break(lists_.empty() ? 2 : 1);
      lists_.push_back({name == "ol", std::max(1, std::atoi(Attribute(node, "start").value_or("1").c_str()))});
      return true;
    }
    if (name == "li") {
      Break(1);
      itemStart_ = true;
      StartText();
      itemStart_ = false;
      if (lists_.empty()) {
        Raw("- ");
      } else {
        List& list = lists_.back();
        Raw(list.ordered ? std::to_string(list.number++) + ". " : "- ");
      }
      lineStart_ = true;
      return true;
    }
    if (name == "pre") {
      Break(2);
      Raw("```");
      Break(1);
      ++pre_;
      return true;
    }
    if (name == "blockquote") {
      Break(2);
      ++quotes_;
      return true;
    }
    if (name == "tr") {
      Break(1);
      Raw("|");
      cells_ = 0;
      return true;
    }
    if (name == "td" || name == "th") {
      Raw(" ");
      ++cells_;
      return true;
    }
    if (IsBlock(name)) {
      Break(2);
      return true;
    }
    if (pre_ == 0) {
      if (name == "b" || name == "strong") Raw("**");
      else if (name == "i" || name == "em") Raw("*");
      else if (name == "code" || name == "tt" || name == "kbd" || name == "samp") Raw("`");
      else if (name == "a" && Attribute(node, "href")) Raw("[");
    }
    return true;
  }

  void Leave(const xmlNode* node) {
    if (node->type != XML_ELEMENT_NODE) return;
    const std::string_view name = NameOf(node);
    if (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6') {
      Break(2);
    } else if (name == "ul" || name == "ol" || name == "dir" || name == "menu") {
      lists_.pop_back();
      Break(lists_.empty() ? 2 : 1);
    } else if (name == "pre") {
      --pre_;
      Break(1);
      Raw("```");
      Break(2);
    } else if (name == "blockquote") {
      --quotes_;
      Break(2);
    } else if (name == "li") {
      Break(1);
    } else if (name == "td" || name == "th") {
      Raw(" |");
    } else if (name == "tr") {
      // The first row heads the table, as Markdown tables need a header.
      if (!tableHeaded_) {
        Break(1);
        std::string rule = "|";
        for (int i = 0; i < std::max(cells_, 1); ++i) rule += " --- |";
        Raw(rule);
        tableHeaded_ = true;
      }
      Break(1);
    } else if (name == "table") {
      tableHeaded_ = false;
      Break(2);
    } else if (IsBlock(name)) {
      Break(2);
    } else if (pre_ == 0) {
      if (name == "b" || name == "strong") Raw("**");
      else if (name == "i" || name == "em") Raw("*");
      else if (name == "code" || name == "tt" || name == "kbd" || name == "samp") Raw("`");
      else if (name == "a") {
        if (const std::optional<std::string> href = Attribute(node, "href")) Raw("](<" + *href + ">)");
      }
    }
  }

  std::string out_;
  int breaks_ = 0;
  bool lineStart_ = true;
  bool itemStart_ = false;
  int pre_ = 0;
  int quotes_ = 0;
  int cells_ = 0;
  bool tableHeaded_ = false;
  std::vector<List> lists_;
};

}  // namespace

std::string ToMarkdown(const HtmlDocument& page) {
  const xmlNode* body = page.Part("body");
  if (body == nullptr) body = page.Part("frameset");
  if (body == nullptr) return "\n";
  return MarkdownWriter().Write(body);
}

}  // namespace tessaly::convert
