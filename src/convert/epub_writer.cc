// The EPUB 3 writer: every page as XHTML in reading order, pictures, fonts
// and style sheets under res/, the contents as the navigation document, the
// keyword index as a page of links, in a ZIP container with the mimetype
// entry first and stored.
//
// Pages are read first and written last: a page may link to a picture or a
// fragment of a page that the bulk read brings later, and every link must
// lead to something the book carries (a link to a fragment that its page
// lacks keeps the page and loses the fragment).
#include <chrono>
#include <cerrno>
#include <ctime>
#include <map>
#include <random>
#include <set>

#include "base/book_error.h"
#include "base/book_path.h"
#include "base/safe_files.h"
#include "book/book.h"
#include "convert/book_lists.h"
#include "convert/convert.h"
#include "convert/css_cleaner.h"
#include "convert/in_order.h"
#include "convert/language_tags.h"
#include "convert/output_budget.h"
#include "convert/output_names.h"
#include "convert/page_reading.h"
#include "convert/xhtml_cleaner.h"
#include "convert/zip_writer.h"

namespace tessaly::convert {

namespace {

constexpr std::string_view kRoot = "OEBPS/";
constexpr std::string_view kNavName = "nav.xhtml";
constexpr std::string_view kKeywordsName = "text/keywords.xhtml";
constexpr std::string_view kEmptyName = "text/empty.xhtml";
// What a style sheet's reference to something the book does not carry
// becomes: an empty address of data, which leads nowhere and is no error.
constexpr std::string_view kNothing = "data:,";

constexpr std::string_view kContainerXml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">\n"
    "  <rootfiles>\n"
    "    <rootfile full-path=\"OEBPS/content.opf\" media-type=\"application/oebps-package+xml\"/>\n"
    "  </rootfiles>\n"
    "</container>\n";

bool StartsWith(std::span<const std::uint8_t> bytes, std::string_view magic) {
  return bytes.size() >= magic.size() && std::equal(magic.begin(), magic.end(), bytes.begin(),
                                                    [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

struct MediaType {
  const char* type;
  const char* extension;
  bool compressed = false;  // deflating it again gains nothing
};

// The EPUB core media type of a picture or font, from its first bytes;
// none for anything else (a BMP, an icon, a script...).
std::optional<MediaType> SniffMediaType(std::span<const std::uint8_t> bytes) {
  if (StartsWith(bytes, "GIF87a") || StartsWith(bytes, "GIF89a")) return MediaType{"image/gif", ".gif", true};
  if (StartsWith(bytes, "\x89PNG\r\n\x1A\n")) return MediaType{"image/png", ".png", true};
  if (StartsWith(bytes, "\xFF\xD8\xFF")) return MediaType{"image/jpeg", ".jpg", true};
  if (StartsWith(bytes, "wOFF")) return MediaType{"application/font-woff", ".woff", true};
  if (StartsWith(bytes, "wOF2")) return MediaType{"font/woff2", ".woff2", true};
  if (StartsWith(bytes, "OTTO")) return MediaType{"application/vnd.ms-opentype", ".otf"};
  if (StartsWith(bytes, std::string_view("\0\1\0\0", 4))) return MediaType{"application/font-sfnt", ".ttf"};
  const std::string_view head(reinterpret_cast<const char*>(bytes.data()), std::min<std::size_t>(bytes.size(), 1024));
  if ((head.starts_with("<?xml") || head.starts_with("<svg")) && head.find("<svg") != std::string_view::npos)
    return MediaType{"image/svg+xml", ".svg"};
  return std::nullopt;
}

// An address kept in a link, with what may not stand in a URI escaped.
std::string EscapedAddress(std::string_view address) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : address) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' || c == '`' ||
        c == '{' || c == '|' || c == '}') {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

std::string NowUtc() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string NewUuid() {
  std::random_device random;
  std::uniform_int_distribution<int> digit(0, 15);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string uuid = "xxxxxxxx-xxxx-4xxx-yxxx-xxxxxxxxxxxx";
  for (char& c : uuid) {
    if (c == 'x') c = kHex[digit(random)];
    else if (c == 'y') c = kHex[8 + digit(random) % 4];
  }
  return uuid;
}

std::string XhtmlPage(std::string_view title, std::string_view language, std::string_view body,
                      std::string_view bodyAttributes = {}) {
  std::string lang;
  if (!language.empty()) lang = " lang=\"" + std::string(language) + "\" xml:lang=\"" + std::string(language) + "\"";
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html>\n"
         "<html xmlns=\"http://www.w3.org/1999/xhtml\" xmlns:epub=\"http://www.idpf.org/2007/ops\"" + lang +
         ">\n<head><meta charset=\"utf-8\"/><title>" + EscapeMarkup(title) + "</title></head>\n<body" +
         std::string(bodyAttributes) + ">\n" + std::string(body) + "\n</body>\n</html>\n";
}

class EpubWriter {
 public:
  EpubWriter(const Book& book, const TextConverter& converter, const std::string& path)
      : book_(book),
        converter_(converter),
        path_(path),
        objects_(book, converter),
        budget_(book),
        language_(LanguageTag(book.LanguageId())),
        pageHrefs_(objects_.Objects().size()),
        resources_(objects_.Objects().size()),
        titles_(objects_.Objects().size()),
        ids_(objects_.Objects().size()) {}

  ConvertReport Run() {
    ZipWriter zip(OpenOutput(), path_);
    zip.Add("mimetype", "application/epub+zip", false);
    zip.Add("META-INF/container.xml", kContainerXml);

    // Pictures and fonts go into the archive as the bulk read brings them,
    // one file for a range that several names share; pages and style sheets
    // are kept until every target is known.
    KeptBytes pages(objects_.Objects().size()), styles(objects_.Objects().size());
    std::vector<std::size_t> keptPages, keptStyles;
    ForEachStoredRange(book_, objects_, report_, [&](std::span<const std::size_t> aliases, std::span<const std::uint8_t> bytes) {
      keptPages.clear();
      keptStyles.clear();
      std::optional<std::size_t> carried;  // the alias whose picture or font is in the archive
      for (std::size_t object : aliases) {
        const BookObject& o = objects_.Objects()[object];
        if (o.page) {
          keptPages.push_back(object);
        } else if (FileExtension(o.name) == ".css") {
          resources_[object] = {"res/s" + std::to_string(object) + ".css", "text/css"};
          keptStyles.push_back(object);
        } else if (carried) {
          resources_[object] = resources_[*carried];
        } else if (const std::optional<MediaType> media = SniffMediaType(bytes)) {
          carried = object;
          resources_[object] = {"res/r" + std::to_string(object) + media->extension, media->type};
          budget_.Spend(bytes.size(), o.name);
          zip.Add(std::string(kRoot) + resources_[object].href,
                  std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                  !media->compressed);
          ++report_.files;
        }
      }
      if (!keptPages.empty() || !keptStyles.empty()) budget_.Spend(bytes.size(), objects_.Objects()[aliases[0]].name);
      pages.Keep(keptPages, bytes);
      styles.Keep(keptStyles, bytes);
    });
    for (std::size_t object : objects_.ReadingOrder()) {
      if (!pages.Has(object)) continue;
      pageHrefs_[object] = "text/p" + std::to_string(spine_.size() + 1) + ".xhtml";
      spine_.push_back(object);
    }
    for (std::size_t object : spine_) byHref_.emplace(pageHrefs_[object], object);
    for (std::size_t object = 0; object < resources_.size(); ++object) {
      if (!styles.Has(object)) continue;
      const std::string& href = resources_[object].href;
      const std::span<const std::uint8_t> css = styles.Of(object);
      const std::string rewritten = CleanStyleSheet(RewriteStyleSheet(
          std::string_view(reinterpret_cast<const char*>(css.data()), css.size()), objects_, object,
          [&](const Target& target, const xmlNode*) {
            return std::optional<std::string>(ResourceLink(href, target).value_or(std::string(kNothing)));
          }));
      budget_.Spend(rewritten.size(), href);
      zip.Add(std::string(kRoot) + href, rewritten);
      ++report_.files;
    }
    ContentsTitles();
    // Every page converted on the machine's cores; then, once every page's
    // ids are known, its links to fragments checked and the page packed, on
    // the cores too, and written in spine order.
    std::vector<std::string> written(spine_.size());
    InOrder(
        spine_.size(), [&](std::size_t i) { return PageXhtml(spine_[i], pages.Of(spine_[i])); },
        [&](std::size_t i, ConvertedPage page) {
          budget_.Spend(page.xhtml.size(), pageHrefs_[spine_[i]]);
          written[i] = std::move(page.xhtml);
          ids_[spine_[i]] = std::move(page.ids);
          titles_[spine_[i]] = std::move(page.title);
        });
    InOrder(
        spine_.size(),
        [&](std::size_t i) {
          DropMissingFragments(written[i], spine_[i]);
          return ZipWriter::Pack(std::string(kRoot) + pageHrefs_[spine_[i]], written[i]);
        },
        [&](std::size_t i, const ZipWriter::Packed& packed) {
          zip.Add(packed);
          std::string().swap(written[i]);
          ++report_.pages;
          ++report_.files;
        });
    // A book without pages still gets one: a spine may not be empty.
    const std::string title = BookTextUtf8(book_, converter_, book_.Title());
    if (spine_.empty()) {
      extra_.push_back({"empty", std::string(kEmptyName), title});
      zip.Add(std::string(kRoot) + std::string(kEmptyName),
              XhtmlPage(title, Language(), "<h1>" + EscapeMarkup(title) + "</h1>\n<p>This book holds no pages.</p>"));
    }
    if (const std::string keywords = KeywordsPage(); !keywords.empty()) {
      extra_.push_back({"keywords", std::string(kKeywordsName), "Index"});
      zip.Add(std::string(kRoot) + std::string(kKeywordsName), keywords);
    }
    zip.Add(std::string(kRoot) + std::string(kNavName), NavPage());
    zip.Add(std::string(kRoot) + "content.opf", Package());
    report_.files += 4 + extra_.size();  // mimetype, container, nav, package and the pages added
    zip.Finish();
    return std::move(report_);
  }

 private:
  // The book's language for the lang attributes: none when unknown.
  std::string Language() const { return language_ == "und" ? std::string() : language_; }

  struct ExtraPage {
    std::string id;
    std::string href;  // below OEBPS/
    std::string title;
  };

  struct Resource {
    std::string href;  // below OEBPS/; empty when the book's object is not carried
    std::string type;
  };

  // The archive file, created in its folder through the folder's
  // descriptor: a link standing at its name is replaced, not followed.
  OwnedFile OpenOutput() {
    const std::size_t slash = path_.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path_.substr(0, slash);
    const std::string name = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    FolderHandle handle = FolderHandle::Open(folder, true);
    OwnedFile file = handle.IsOpen() ? CreateFileIn(handle, name) : nullptr;
    if (file == nullptr) throw BookError(ErrorKind::kIo, "Can't write " + path_ + ".").About(path_).WithSystemError(errno);
    return file;
  }

  // A link from the file at `from` (below OEBPS/) to a picture, font or
  // style sheet the book carries.
  std::optional<std::string> ResourceLink(const std::string& from, const Target& target) const {
    if (target.kind != Target::Kind::kObject || resources_[target.object].href.empty()) return std::nullopt;
    return RelativeLink(from, resources_[target.object].href);
  }

  // A link from `from` to a page; its fragment is checked once every page
  // is written (DropMissingFragments).
  std::optional<std::string> PageLink(const std::string& from, const Target& target) const {
    if (target.kind == Target::Kind::kExternal) return EscapedAddress(target.address);
    if (target.kind != Target::Kind::kObject || pageHrefs_[target.object].empty()) return std::nullopt;
    const std::string id = target.fragment.empty() ? std::string() : ValidId(target.fragment);
    return RelativeLink(from, pageHrefs_[target.object], id);
  }

  // Each page's title from the first contents entry that names it.
  void ContentsTitles() {
    ForEachTocNode(book_.Contents().root, [&](const TocNode& node, int) {
      const Target target = objects_.ResolveBookPath(node.local);
      if (target.kind == Target::Kind::kObject && titles_[target.object].empty())
        titles_[target.object] = BookTextUtf8(book_, converter_, node.name);
    });
  }

  struct ConvertedPage {
    std::string xhtml;
    std::set<std::string> ids;
    std::string title;
  };

  // One page as XHTML (on a worker: reads only what the workers share).
  ConvertedPage PageXhtml(std::size_t object, std::span<const std::uint8_t> raw) const {
    const std::string& href = pageHrefs_[object];
    HtmlDocument page = ParsePage(book_, converter_, raw);
    // Style elements' url(...) first; the cleaner moves them into the head.
    ForEachElement(page.Root(), [&](xmlNode* element) {
      if (!IsElement(element, "style")) return;
      const std::string css = TextOf(element);
      const std::string rewritten =
          CleanStyleSheet(RewriteStyleSheet(css, objects_, object, [&](const Target& target, const xmlNode*) {
            return std::optional<std::string>(ResourceLink(href, target).value_or(std::string(kNothing)));
          }));
      xmlNodeSetContent(element, nullptr);
      AppendText(element, rewritten);
    });
    ConvertedPage converted;
    converted.title = titles_[object];
    if (converted.title.empty()) converted.title = PageTitle(page);
    if (converted.title.empty()) converted.title = objects_.Objects()[object].name;
    const ReferenceFor referenceFor = [&](const xmlNode* element, std::string_view value) -> std::optional<std::string> {
      const Target target = objects_.Resolve(object, value);
      if (IsElement(element, "a")) return PageLink(href, target);
      if (target.kind != Target::Kind::kObject) return std::nullopt;
      const std::string& type = resources_[target.object].type;
      if (IsElement(element, "img") ? type.starts_with("image/") : type == "text/css") return ResourceLink(href, target);
      return std::nullopt;
    };
    converted.ids = CleanForEpub(page, referenceFor, converted.title, Language()).ids;
    converted.xhtml = page.ToXhtml();
    return converted;
  }

  // Every link in `xhtml` (the page at spine position of `object`) to a
  // fragment its target page lacks leads to the page instead.
  void DropMissingFragments(std::string& xhtml, std::size_t object) const {
    const std::string& from = pageHrefs_[object];
    for (std::size_t at = xhtml.find(" href=\""); at != std::string::npos; at = xhtml.find(" href=\"", at + 1)) {
      const std::size_t start = at + 7;
      const std::size_t end = xhtml.find('"', start);
      const std::size_t hash = xhtml.find('#', start);
      if (end == std::string::npos || hash == std::string::npos || hash > end) continue;
      const std::string link = xhtml.substr(start, hash - start);
      if (link.find(':') != std::string::npos) continue;  // a web address
      const std::string target = (link.find('/') == std::string::npos ? from.substr(0, from.rfind('/') + 1) : "") + link;
      const auto page = byHref_.find(target);
      if (page != byHref_.end() && ids_[page->second].count(xhtml.substr(hash + 1, end - hash - 1)) != 0) continue;
      xhtml.erase(hash, end - hash);
    }
  }

  // A link from the navigation or keyword page to an entry's target, its
  // fragment kept only when the page holds it.
  std::optional<std::string> EntryLink(const std::string& from, const Target& target) {
    if (target.kind != Target::Kind::kObject || pageHrefs_[target.object].empty()) return std::nullopt;
    const std::string id = ValidId(target.fragment);
    const bool known = !target.fragment.empty() && ids_[target.object].count(id) != 0;
    return RelativeLink(from, pageHrefs_[target.object], known ? id : std::string());
  }

  std::string NavPage() {
    const std::string from(kNavName);
    // An entry that leads nowhere stays as the heading of the entries below
    // it that lead somewhere, and is left out when none does.
    struct Entry {
      const TocNode* node;
      int depth;
      std::optional<std::string> href;
      bool shown;
    };
    std::vector<Entry> entries;
    ForEachTocNode(book_.Contents().root, [&](const TocNode& node, int depth) {
      const int shownDepth = std::min(depth, kMaxListDepth - 1);
      entries.push_back({&node, shownDepth, EntryLink(from, objects_.ResolveBookPath(node.local)), false});
    });
    std::vector<bool> below(kMaxListDepth + 1, false);  // per depth: an entry below the one being looked at is shown
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
      it->shown = it->href.has_value() || below[it->depth + 1];
      below[it->depth + 1] = false;
      if (it->shown) below[it->depth] = true;
    }
    NestedList list("ol");
    for (const Entry& e : entries) {
      if (e.shown)
        list.Add(e.depth, EntryMarkup(BookTextUtf8(book_, converter_, e.node->name), e.href,
                                      BookTextUtf8(book_, converter_, e.node->local)));
    }
    if (list.Empty()) {
      for (std::size_t object : spine_) list.Add(0, EntryMarkup(titles_[object], RelativeLink(from, pageHrefs_[object]), "-"));
    }
    for (const ExtraPage& page : extra_) list.Add(0, EntryMarkup(page.title, RelativeLink(from, page.href), "-"));
    const std::string title = BookTextUtf8(book_, converter_, book_.Title());
    return XhtmlPage(title, Language(),
                     "<nav epub:type=\"toc\" id=\"toc\"><h1>" + EscapeMarkup(title) + "</h1>\n" + list.Finish() + "</nav>");
  }

  std::string KeywordsPage() {
    const std::string from(kKeywordsName);
    const std::string list = KeywordList(book_, converter_, objects_,
                                         [&](const Target& target) { return EntryLink(from, target); }, report_);
    if (list.empty()) return {};
    return XhtmlPage("Index", Language(), "<h1>Index</h1>\n" + list);
  }

  std::string Package() {
    const std::string title = BookTextUtf8(book_, converter_, book_.Title());
    std::string manifest = "    <item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" properties=\"nav\"/>\n";
    std::string spine;
    for (std::size_t i = 0; i < spine_.size(); ++i) {
      const std::string id = "p" + std::to_string(i + 1);
      manifest += "    <item id=\"" + id + "\" href=\"" + EscapeMarkup(pageHrefs_[spine_[i]]) +
                  "\" media-type=\"application/xhtml+xml\"/>\n";
      spine += "    <itemref idref=\"" + id + "\"/>\n";
    }
    for (const ExtraPage& page : extra_) {
      manifest += "    <item id=\"" + page.id + "\" href=\"" + page.href + "\" media-type=\"application/xhtml+xml\"/>\n";
      spine += "    <itemref idref=\"" + page.id + "\"/>\n";
    }
    for (std::size_t object = 0; object < resources_.size(); ++object) {
      const Resource& r = resources_[object];
      if (r.href.empty()) continue;
      manifest += "    <item id=\"r" + std::to_string(object) + "\" href=\"" + r.href + "\" media-type=\"" + r.type + "\"/>\n";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\" unique-identifier=\"book-id\">\n"
           "  <metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
           "    <dc:identifier id=\"book-id\">urn:uuid:" + NewUuid() + "</dc:identifier>\n"
           "    <dc:title>" + EscapeMarkup(title.empty() ? "-" : title) + "</dc:title>\n"
           "    <dc:language>" + language_ + "</dc:language>\n"
           "    <meta property=\"dcterms:modified\">" + NowUtc() + "</meta>\n"
           "  </metadata>\n  <manifest>\n" + manifest + "  </manifest>\n  <spine>\n" + spine + "  </spine>\n</package>\n";
  }

  const Book& book_;
  const TextConverter& converter_;
  std::string path_;
  BookObjects objects_;
  OutputBudget budget_;
  std::string language_;
  std::vector<std::string> pageHrefs_;  // per object: its XHTML below OEBPS/, empty for no page
  std::vector<Resource> resources_;     // per object: the picture, font or style sheet carried
  std::vector<std::string> titles_;
  std::vector<std::set<std::string>> ids_;  // per object: the ids its page holds
  std::map<std::string, std::size_t> byHref_;
  std::vector<std::size_t> spine_;
  std::vector<ExtraPage> extra_;  // pages the converter adds after the book's
  ConvertReport report_;
};

}  // namespace

ConvertReport WriteEpub(const Book& book, const TextConverter& converter, const std::string& path) {
  return EpubWriter(book, converter, path).Run();
}

}  // namespace tessaly::convert
