// The HTML folder and the Markdown folder: every object under its own
// (safe) name, the pages rewritten, and an index page that reaches them all.
#include <algorithm>

#include "base/book_path.h"
#include "book/book.h"
#include "convert/book_lists.h"
#include "convert/convert.h"
#include "convert/in_order.h"
#include "convert/markdown.h"
#include "convert/output_folder.h"
#include "convert/output_names.h"
#include "convert/page_reading.h"

namespace tessaly::convert {

namespace {

enum class Format { kHtml, kMarkdown };

class FolderWriter {
 public:
  FolderWriter(const Book& book, const TextConverter& converter, const std::string& folder, Format format)
      : book_(book),
        converter_(converter),
        format_(format),
        objects_(book, converter),
        names_(StoredNames(), {IndexName()},
               [&](const std::string& name) {
                 return format == Format::kMarkdown && IsHtmlPage(name) ? std::string(".md") : std::string();
               }),
        budget_(book),
        out_(folder, budget_),
        titles_(objects_.Objects().size()) {}

  // The objects other than pages are written as the bulk read brings them;
  // the pages are then converted on every core and written in order.
  ConvertReport Run() {
    KeptBytes pages(objects_.Objects().size());
    std::vector<std::size_t> kept;
    ForEachStoredRange(book_, objects_, report_, [&](std::span<const std::size_t> aliases, std::span<const std::uint8_t> bytes) {
      kept.clear();
      for (std::size_t object : aliases) {
        const BookObject& o = objects_.Objects()[object];
        if (o.page) kept.push_back(object);
        else if (format_ == Format::kHtml && FileExtension(o.name) == ".css") WriteStyleSheet(object, bytes);
        else Write(names_.Of(object), std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
      }
      pages.Keep(kept, bytes);
    });
    std::vector<std::size_t> order;
    for (std::size_t object : objects_.ReadingOrder()) {
      if (pages.Has(object)) order.push_back(object);
    }
    InOrder(
        order.size(), [&](std::size_t i) { return ConvertPage(order[i], pages.Of(order[i])); },
        [&](std::size_t i, ConvertedPage page) {
          titles_[order[i]] = std::move(page.title);
          Write(names_.Of(order[i]), page.text);
          ++report_.pages;
        });
    WriteIndex();
    return std::move(report_);
  }

 private:
  struct ConvertedPage {
    std::string text;
    std::string title;
  };

  std::vector<std::string> StoredNames() const {
    std::vector<std::string> names;
    for (const BookObject& o : objects_.Objects()) names.push_back(o.name);
    return names;
  }

  std::string IndexName() const { return format_ == Format::kHtml ? "index.html" : "index.md"; }

  void Write(const std::string& path, std::string_view bytes) {
    out_.Write(path, bytes);
    ++report_.files;
  }

  // The link from the file at `from` to a target, or nullopt when the target
  // is not in the folder.
  std::optional<std::string> LinkFrom(const std::string& from, const Target& target) const {
    switch (target.kind) {
      case Target::Kind::kObject: return RelativeLink(from, names_.Of(target.object), target.fragment);
      case Target::Kind::kExternal: return target.address;
      case Target::Kind::kNowhere: break;
    }
    return std::nullopt;
  }

  // The page's file (on a worker: reads only what the workers share).
  ConvertedPage ConvertPage(std::size_t object, std::span<const std::uint8_t> bytes) const {
    HtmlDocument page = ParsePage(book_, converter_, bytes);
    const std::string& path = names_.Of(object);
    RewriteReferences(page, objects_, object,
                      [&](const Target& target, const xmlNode*) { return LinkFrom(path, target); });
    ConvertedPage converted{{}, PageTitle(page)};
    if (format_ == Format::kHtml) {
      xmlNode* head = page.Head();
      xmlNode* meta = NewElement(page.Doc(), "meta");
      SetAttribute(meta, "charset", "utf-8");
      if (head->children != nullptr) xmlAddPrevSibling(head->children, meta);
      else xmlAddChild(head, meta);
      converted.text = page.ToHtml();
      return converted;
    }
    const std::string& title = converted.title.empty() ? objects_.Objects()[object].name : converted.title;
    converted.text = "---\ntitle: " + YamlText(title) + "\nsource: " + YamlText(objects_.Objects()[object].name) +
                     "\n---\n\n" + ToMarkdown(page);
    return converted;
  }

  void WriteStyleSheet(std::size_t object, std::span<const std::uint8_t> bytes) {
    const std::string& path = names_.Of(object);
    Write(path, RewriteStyleSheet(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                                  objects_, object,
                                  [&](const Target& target, const xmlNode*) { return LinkFrom(path, target); }));
  }

  // A double-quoted YAML scalar.
  static std::string YamlText(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
      if (c == '"' || c == '\\') out += '\\';
      if (static_cast<unsigned char>(c) < 0x20) continue;
      out += c;
    }
    return out + "\"";
  }

  void WriteIndex() {
    const std::string index = IndexName();
    const EntryLink link = [&](const Target& target) { return LinkFrom(index, target); };
    const std::string title = BookTextUtf8(book_, converter_, book_.Title());
    std::string body = "<h1>" + EscapeMarkup(title) + "</h1>\n";
    if (const std::string contents = ContentsList(book_, converter_, objects_, "ul", link); !contents.empty())
      body += "<h2>Contents</h2>\n" + contents + "\n";
    if (const std::string keywords = KeywordList(book_, converter_, objects_, link, report_); !keywords.empty())
      body += "<h2>Index</h2>\n" + keywords + "\n";
    // Every page the contents do not reach, so that the index page reaches
    // them all.
    NestedList others("ul");
    std::vector<bool> named(objects_.Objects().size(), false);
    ForEachTocNode(book_.Contents().root, [&](const TocNode& node, int) {
      const Target target = objects_.ResolveBookPath(node.local);
      if (target.kind == Target::Kind::kObject) named[target.object] = true;
    });
    for (std::size_t object : objects_.ReadingOrder()) {
      if (named[object]) continue;
      Target target;
      target.kind = Target::Kind::kObject;
      target.object = object;
      others.Add(0, EntryMarkup(titles_[object], LinkFrom(index, target), objects_.Objects()[object].name));
    }
    if (!others.Empty()) body += "<h2>Other pages</h2>\n" + others.Finish() + "\n";

    HtmlDocument page("<html><head><title>" + EscapeMarkup(title) + "</title><meta charset=\"utf-8\"></head><body>" +
                      body + "</body></html>");
    if (format_ == Format::kHtml) Write(index, page.ToHtml());
    else Write(index, "---\ntitle: " + YamlText(title) + "\n---\n\n" + ToMarkdown(page));
  }

  const Book& book_;
  const TextConverter& converter_;
  Format format_;
  BookObjects objects_;
  OutputNames names_;
  OutputBudget budget_;
  OutputFolder out_;
  std::vector<std::string> titles_;
  ConvertReport report_;
};

}  // namespace

ConvertReport WriteHtmlFolder(const Book& book, const TextConverter& converter, const std::string& folder) {
  return FolderWriter(book, converter, folder, Format::kHtml).Run();
}

ConvertReport WriteMarkdownFolder(const Book& book, const TextConverter& converter, const std::string& folder) {
  return FolderWriter(book, converter, folder, Format::kMarkdown).Run();
}

}  // namespace tessaly::convert
