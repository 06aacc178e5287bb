#include "textindex/text_index.h"

#include <algorithm>
#include <array>

#include "base/utf8.h"
#include "codec/codec.h"
#include "textindex/html_entities.h"

namespace tessaly::textindex {

namespace {

constexpr std::size_t kCharsetScanLimit = 64 * 1024;
constexpr std::size_t kMaxTagName = 16;
constexpr int kFallbackCodePage = 1252;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAlnum(char c) { return IsAlpha(c) || (c >= '0' && c <= '9'); }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// `lower` (lower case) stands at text[at], letters compared without case.
bool HasAt(std::string_view text, std::size_t at, std::string_view lower) {
  if (at > text.size() || text.size() - at < lower.size()) return false;
  for (std::size_t i = 0; i < lower.size(); ++i) {
    if (Lower(text[at + i]) != lower[i]) return false;
  }
  return true;
}

// The first place at or after `from` where `lower` stands; npos when none.
// `lower` is a few bytes long, so this stays linear in the text.
std::size_t FindNoCase(std::string_view text, std::size_t from, std::string_view lower) {
  for (std::size_t at = from; at < text.size(); ++at) {
    if (Lower(text[at]) == lower[0] && HasAt(text, at, lower)) return at;
  }
  return std::string_view::npos;
}

// The charset name after "charset" or "encoding" at text[at]: optional
// spaces, '=', spaces, an optional quote, then the name's characters.
std::string ValueAfter(std::string_view text, std::size_t at) {
  while (at < text.size() && IsSpace(text[at])) ++at;
  if (at >= text.size() || text[at] != '=') return {};
  ++at;
  while (at < text.size() && (IsSpace(text[at]) || text[at] == '"' || text[at] == '\'')) ++at;
  std::string value;
  for (; at < text.size() && value.size() < 40; ++at) {
    const char c = text[at];
    if (!IsAlnum(c) && c != '-' && c != '_' && c != '.' && c != ':') break;
    value += Lower(c);
  }
  return value;
}

// The length of the white space character at text[at] (U+00A0 included);
// 0 for another character.
std::size_t SpaceAt(std::string_view text, std::size_t at) {
  if (IsSpace(text[at])) return 1;
  return text[at] == '\xC2' && at + 1 < text.size() && text[at + 1] == '\xA0' ? 2 : 0;
}

// Collapses white space into single spaces and block ends into line breaks,
// dropping both at the start and the end.
class TextBuilder {
 public:
  void Text(std::string_view piece) {
    for (std::size_t i = 0; i < piece.size();) {
      if (const std::size_t space = SpaceAt(piece, i)) {
        space_ = true;
        i += space;
        continue;
      }
      std::size_t end = i + 1;
      while (end < piece.size() && SpaceAt(piece, end) == 0) ++end;
      Flush();
      out_.append(piece, i, end - i);
      i = end;
    }
  }
  void Space() { space_ = true; }
  void Break() { break_ = true; }
  std::string Finish() { return std::move(out_); }

 private:
  void Flush() {
    if (!out_.empty()) {
      if (break_) out_ += '\n';
      else if (space_) out_ += ' ';
    }
    break_ = space_ = false;
  }

  std::string out_;
  bool space_ = false;
  bool break_ = false;
};

// The content of <title>: references decoded, and any markup that a page
// put inside it dropped (the title is all of its text, not a piece).
void AppendTitle(TextBuilder& builder, std::string_view text) {
  std::string decoded;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t special = text.find_first_of("&<", at);
    if (special == std::string_view::npos) {
      builder.Text(text.substr(at));
      break;
    }
    builder.Text(text.substr(at, special - at));
    at = special;
    if (text[at] == '<') {
      const std::size_t name = at + 1 < text.size() && text[at + 1] == '/' ? at + 2 : at + 1;
      if (name < text.size() && IsAlpha(text[name])) {
        const std::size_t end = text.find('>', name);
        at = end == std::string_view::npos ? text.size() : end + 1;
      } else {
        builder.Text("<");
        ++at;
      }
      continue;
    }
    decoded.clear();
    if (DecodeReference(text, at, decoded)) {
      builder.Text(decoded);
    } else {
      builder.Text("&");
      ++at;
    }
  }
}

bool EndsLine(std::string_view name) {
  static constexpr std::array<std::string_view, 44> kBlocks = {
      "address", "article", "aside",  "blockquote", "body",    "br",   "caption", "center", "dd",
      "div",     "dl",      "dt",     "fieldset",   "figcaption", "figure", "footer", "form", "h1",
      "h2",      "h3",      "h4",     "h5",         "h6",      "head", "header",  "hr",     "html",
      "legend",  "li",      "main",   "nav",        "ol",      "option", "p",     "pre",    "section",
      "table",   "tbody",   "tfoot",  "thead",      "tr",      "ul",   "dir",     "menu"};
  return std::find(kBlocks.begin(), kBlocks.end(), name) != kBlocks.end();
}

// The "</name" that ends a script, style or title begun before `from`;
// npos when the page never closes it.
std::size_t FindClosingTag(std::string_view html, std::size_t from, std::string_view name) {
  for (std::size_t at = html.find("</", from); at != std::string_view::npos; at = html.find("</", at + 2)) {
    const std::size_t after = at + 2 + name.size();
    if (HasAt(html, at + 2, name) && (after >= html.size() || !IsAlnum(html[after]))) return at;
  }
  return std::string_view::npos;
}

}  // namespace

std::optional<std::string> DeclaredCharset(std::string_view page) {
  std::string_view head = page.substr(0, std::min(page.size(), kCharsetScanLimit));
  const std::size_t body = FindNoCase(head, 0, "<body");
  if (body != std::string_view::npos) head = head.substr(0, body);
  if (head.starts_with("<?xml")) {
    const std::string_view declaration = head.substr(0, head.find("?>"));
    const std::size_t encoding = FindNoCase(declaration, 0, "encoding");
    if (encoding != std::string_view::npos) {
      std::string value = ValueAfter(declaration, encoding + 8);
      if (!value.empty()) return value;
    }
  }
  for (std::size_t meta = FindNoCase(head, 0, "<meta"); meta != std::string_view::npos;
       meta = FindNoCase(head, meta + 5, "<meta")) {
    // The tag ends at its '>', or where another begins: tags never overlap.
    const std::string_view tag = head.substr(meta, head.find_first_of("<>", meta + 1) - meta);
    const std::size_t charset = FindNoCase(tag, 0, "charset");
    if (charset == std::string_view::npos) continue;
    std::string value = ValueAfter(tag, charset + 7);
    if (!value.empty()) return value;
  }
  return std::nullopt;
}

std::string DecodePage(std::string_view page, int bookCodePage, const TextConverter& converter, Decoding* used) {
  Decoding ignored;
  Decoding& how = used != nullptr ? *used : ignored;
  how = Decoding::kUtf8;
  if (page.starts_with("\xEF\xBB\xBF")) return RepairUtf8(page.substr(3));
  if (const std::optional<std::string> charset = DeclaredCharset(page)) {
    if (const std::optional<int> codePage = CodePageOfCharset(*charset)) {
      if (*codePage == 65001) return RepairUtf8(page);
      how = *codePage == bookCodePage ? Decoding::kBookCodePage : Decoding::kDeclared;
      if (std::optional<std::string> text = converter.ToUtf8(page, *codePage)) return std::move(*text);
    }
  }
  how = Decoding::kUtf8;
  if (LooksLikeUtf8(page)) return std::string(page);
  how = Decoding::kBookCodePage;
  if (std::optional<std::string> text = converter.ToUtf8(page, bookCodePage)) return std::move(*text);
  how = Decoding::kWindows1252;
  if (std::optional<std::string> text = converter.ToUtf8(page, kFallbackCodePage)) return std::move(*text);
  return RepairUtf8(page);
}

PageText HtmlToText(std::string_view html) {
  // The text goes to the body, and while in a heading to the headings too.
  struct Text {
    TextBuilder body, headings;
    bool inHeading = false;
    void Add(std::string_view piece) {
      body.Text(piece);
      if (inHeading) headings.Text(piece);
    }
  } text;
  TextBuilder& body = text.body;
  PageText result;
  bool haveTitle = false;
  bool inPre = false;
  std::string decoded;
  const std::size_t n = html.size();
  std::size_t i = 0;
  while (i < n) {
    const char c = html[i];
    if (c == '&') {
      decoded.clear();
      if (DecodeReference(html, i, decoded)) {
        text.Add(decoded);
      } else {
        text.Add("&");
        ++i;
      }
      continue;
    }
    if (c != '<') {
      const std::size_t next = std::min(html.find_first_of(inPre ? "<&\n" : "<&", i), n);
      text.Add(html.substr(i, next - i));
      i = next;
      if (inPre && i < n && html[i] == '\n') {  // preformatted lines stay lines
        body.Break();
        ++i;
      }
      continue;
    }
    if (html.compare(i, 4, "<!--") == 0) {
      const std::size_t end = html.find("-->", i + 4);
      i = end == std::string_view::npos ? n : end + 3;
      continue;
    }
    const char second = i + 1 < n ? html[i + 1] : '\0';
    if (second == '!' || second == '?') {  // <!DOCTYPE ...>, <?xml ...?>
      const std::size_t end = html.find('>', i);
      i = end == std::string_view::npos ? n : end + 1;
      continue;
    }
    const bool closing = second == '/';
    const std::size_t nameStart = i + 1 + (closing ? 1 : 0);
    if (nameStart >= n || !IsAlpha(html[nameStart])) {  // "a < b" is text
      text.Add("<");
      ++i;
      continue;
    }
    std::string name;
    for (std::size_t p = nameStart; p < n && IsAlnum(html[p]) && name.size() <= kMaxTagName; ++p) {
      name += Lower(html[p]);
    }
    const std::size_t tagEnd = html.find('>', nameStart);
    const std::size_t after = tagEnd == std::string_view::npos ? n : tagEnd + 1;
    const bool selfClosed = tagEnd != std::string_view::npos && tagEnd > nameStart && html[tagEnd - 1] == '/';
    if (!closing && !selfClosed && (name == "script" || name == "style" || name == "title")) {
      const std::size_t close = FindClosingTag(html, after, name);
      if (name == "title" && !haveTitle) {
        TextBuilder title;
        AppendTitle(title, html.substr(after, std::min(close, n) - after));
        result.title = title.Finish();
        haveTitle = true;
      }
      const std::size_t closeEnd = close == std::string_view::npos ? close : html.find('>', close);
      i = closeEnd == std::string_view::npos ? n : closeEnd + 1;
      body.Space();
      continue;
    }
    if (name == "pre") inPre = !closing;
    if (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6') {
      text.inHeading = !closing;
      text.headings.Break();
    }
    if (name == "td" || name == "th") body.Space();
    else if (EndsLine(name)) body.Break();
    i = after;
  }
  result.text = body.Finish();
  result.headings = text.headings.Finish();
  return result;
}

PageText ExtractPageText(std::span<const std::uint8_t> page, int bookCodePage, const TextConverter& converter) {
  const std::string_view bytes(reinterpret_cast<const char*>(page.data()), page.size());
  Decoding decoding;
  PageText text = HtmlToText(DecodePage(bytes, bookCodePage, converter, &decoding));
  text.decoding = decoding;
  return text;
}

}  // namespace tessaly::textindex
