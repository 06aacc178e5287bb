// Taking a book out of its container: a folder of plain HTML, a folder of
// Markdown, or an EPUB 3 book. Each converter reads each stored range once
// (Book::ReadStoredRanges), resolves every link between objects (links that
// lead nowhere in the book lose their target; nothing links to the local
// file system), writes book text as UTF-8, and writes only below its target
// through safe_files (a link planted in the target is replaced, never
// followed), within a budget in proportion to the book's distinct content.
//
// The book must be open (Book::Open). Every converter raises BookError: for
// the book, and for the output (kind kIo, with the system's reason; kind
// kMemory when the output would pass its budget).
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {
class Book;
class TextConverter;
}  // namespace tessaly

namespace tessaly::convert {

// Text escaped for HTML and XML content and double-quoted attribute values
// (control bytes, which XML forbids, become spaces).
std::string EscapeMarkup(std::string_view text);

struct ConvertReport {
  std::size_t pages = 0;    // pages written
  std::size_t files = 0;    // every file written (pages included)
  std::vector<std::string> warnings;  // objects that could not be read, parts left out
};

// Every object of the book below `folder`, keeping its folders and names
// (made safe: output_names.h), the pages with their links pointing at the
// files written beside them, and "index.html": the contents, the keyword
// index and the pages the contents do not name, linked.
ConvertReport WriteHtmlFolder(const Book& book, const TextConverter& converter, const std::string& folder);

// One Markdown file per page (the page's name with ".md"), starting with
// front matter (title, source path), its links pointing at the other
// Markdown files; every other object as it is; and "index.md" as above.
ConvertReport WriteMarkdownFolder(const Book& book, const TextConverter& converter, const std::string& folder);

// An EPUB 3 book at `path`: every page as XHTML, the pages the contents
// name first and in their order, then every other page; pictures and style
// sheets carried; the contents as the navigation document; the keyword
// index as a page of links; the book's title and language in the metadata.
ConvertReport WriteEpub(const Book& book, const TextConverter& converter, const std::string& path);

// The document a PDF is printed from: one HTML file holding the pages of the
// book (or of one contents branch) in contents order, each starting on a new
// page, with the pictures and style sheets written beside it. It is written
// twice, laid out alike: once with small marks (white text that takes no
// room, found in the printed PDF by their text) that tell where each topic,
// each anchor a link or a contents entry names and each link landed, and
// once with the marks hidden, which is the document printed for the reader;
// the outline and the links are then added to that PDF where the marks were.
struct PrintDocument {
  struct Entry {
    std::string title;  // UTF-8
    int depth = 0;      // 0 for the branch's top entries
    std::string mark;   // the mark where the entry leads; empty: the entry has no page
  };
  struct Link {
    std::string startMark;  // before the link's text
    std::string endMark;    // after it
    std::string targetMark; // where it leads (a topic or an anchor in one), or empty for an address
    std::string address;    // a web or mail address, when targetMark is empty
  };
  std::string html;       // the path of the document with its marks
  std::string cleanHtml;  // the path of the same document, its marks hidden
  std::vector<Entry> entries;
  std::vector<Link> links;
  ConvertReport report;
};

// Writes the document into `folder` (which it fills; the caller removes it).
// fromTopic: a contents entry (its name, or its page's path) whose branch is
// printed; empty for the whole book. Raises BookError, kind kNotFound when
// no contents entry is called fromTopic.
PrintDocument WritePrintDocument(const Book& book, const TextConverter& converter, const std::string& folder,
                                 std::string_view fromTopic);

// One book as a web site serves it, every object at its own path below the
// book's root: pages decoded to UTF-8 and parsed, their links pointing at the
// paths of their targets (links that lead nowhere dropped), style sheets'
// references likewise, and the contents and keyword index as lists of links
// relative to the root. Not thread-safe: one site serves one thread.
class BookSite {
 public:
  struct Object {
    std::string bytes;
    std::string contentType;  // "text/html; charset=utf-8" for a page
  };

  BookSite(const Book& book, const TextConverter& converter);
  ~BookSite();

  // The object at a book path (decoded, without the leading '/'); none when
  // the book holds no such object. Raises BookError when it cannot be read.
  std::optional<Object> Read(std::string_view path) const;
  // The book's title in UTF-8.
  std::string Title() const;
  // The link from the book's root to the object at a book path (UTF-8).
  static std::string Link(std::string_view path);
  // HTML lists; empty when the book has none (keyword index problems are
  // left out).
  std::string ContentsList() const;
  std::string KeywordList() const;

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

}  // namespace tessaly::convert
