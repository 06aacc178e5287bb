// Taking a book out of its container: a folder of plain HTML, a folder of
// Markdown, or an EPUB 3 book. Each converter reads every object once with
// the book's bulk read, resolves every link between objects (links that
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
#include <string>
#include <vector>

namespace tessaly {
class Book;
class TextConverter;
}  // namespace tessaly

namespace tessaly::convert {

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

}  // namespace tessaly::convert
