// Writing one page with its tags rewritten: the tags that reference images,
// style sheets, scripts and frame pages get the names of the copies written
// beside the page; every other byte, comments whole, passes through as it is.
#include <algorithm>
#include <array>
#include <optional>

#include "base/book_error.h"
#include "base/book_path.h"
#include "base/sitemap_scanner.h"
#include "base/text.h"
#include "base/object_source.h"
#include "pages/pages.h"
#include "pages/page_names.h"

namespace tessaly {

namespace {

// Tried in this order; the first one present in a tag is the one handled.
constexpr std::array<std::string_view, 3> kAttributes = {"src", "background", "href"};

void Write(std::FILE* out, std::string_view bytes) {
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), out);
}

// Where the comment opened by the "<!--" at `at` ends: the index of its last
// byte, as a web engine reads it ("<!-->", "<!--->", "-->", "--!>"; one never
// closed runs to the end of the page).
std::size_t CommentEnd(std::string_view page, std::size_t at) {
  std::size_t from = at + 4;
  if (page.compare(from, 1, ">") == 0) return from;
  if (page.compare(from, 2, "->") == 0) return from + 1;
  for (;;) {
    const std::size_t dashes = page.find("--", from);
    if (dashes == std::string_view::npos) return page.size() - 1;
    if (page.compare(dashes + 2, 1, ">") == 0) return dashes + 2;
    if (page.compare(dashes + 2, 2, "!>") == 0) return dashes + 3;
    from = dashes + 1;
  }
}

}  // namespace

std::uint32_t PageCache::RewritePage(const ObjectSource& book, std::string_view pagePath, std::FILE* out,
                                     bool showImages) {
  pairs_.clear();
  namesByPath_.clear();
  imagesForCopies_ = showImages;
  const ObjectBuffer bytes = book.ReadObject(pagePath);
  const std::string pageDir = DirectoryPart(pagePath.substr(0, std::min(pagePath.size(), kMaxPath)));
  const std::string_view page(reinterpret_cast<const char*>(bytes.data()), bytes.size());

  std::uint32_t newPairs = 0;
  std::string tag;
  tag.reserve(kMaxTag);
  bool inTag = false;
  std::size_t textStart = 0;  // start of the text outside tags not yet written
  for (std::size_t i = 0; i < page.size(); ++i) {
    const char c = page[i];
    if (!inTag) {
      if (c == '<' && page.compare(i + 1, 3, "!--") == 0) {
        // A comment passes through as it is: what it names is never loaded,
        // so it is neither copied nor reported missing.
        i = CommentEnd(page, i);
      } else if (c == '<') {
        Write(out, page.substr(textStart, i - textStart));
        inTag = true;
        tag.clear();
      }
    } else if (c == '>') {
      RewriteTag(tag, pageDir, showImages, newPairs);
      std::fputc('<', out);
      Write(out, tag);
      std::fputc('>', out);
      inTag = false;
      textStart = i + 1;
    } else if (tag.size() < kMaxTag) {
      tag += c;
    }
  }
  // A tag still open at the end of the page is not written.
  if (!inTag) Write(out, page.substr(textStart));
  return newPairs;
}

void PageCache::RewriteTag(std::string& tag, std::string_view pageDir, bool showImages,
                           std::uint32_t& newPairs) {
  // The page's folder and the value together must fit an in-book path.
  const std::size_t maxValue = kMaxPath - std::min(pageDir.size(), kMaxPath);
  for (std::string_view attribute : kAttributes) {
    std::string value;
    const std::optional<std::size_t> valueEnd =
        SitemapScanner::AttributeValue(tag, attribute, value, maxValue + 1);
    if (!valueEnd) continue;

    value.resize(std::min(value.find('\0'), value.size()));
    // "/img/a.gif" names a.gif in the book's img folder, whatever folder the
    // page is in; trimming takes the '/' away, the reference keeps it.
    const std::size_t first = value.find_first_not_of(" \t\r\n\"';");
    const bool fromRoot = first != std::string::npos && value[first] == '/';
    TrimLinkText(value);
    value.resize(std::min(value.find('#'), value.size()));
    const std::string extension = FileExtension(value);

    if (IsImageExtension(extension) && !showImages) {
      // Renamed so that the view ignores it: img -> ixg, background -> bxckground.
      std::string lower = tag;
      LowerCaseInPlace(lower);
      const std::size_t at = lower.find(attribute == "background" ? "background" : "img");
      if (at != std::string::npos) {
        tag[at + 1] = 'x';
        return;
      }
    }
    if (IsExternalUrl(value)) return;
    // A reference with a scheme or host (ms-help://Hx/x.css, C:\work\logo.gif)
    // was written for another system: the book's own copy is used when the
    // lookup by name finds one, else the tag stays as written, with no empty
    // copy and no error box (the view loads nothing outside the reader's folder).
    if (HasSchemeOrHost(value)) {
      const std::string full = value.starts_with('/') ? value : std::string(pageDir) + value;
      if (!book_->HasObject(full)) return;
    }

    const bool isSource = attribute == "src";
    const bool copied = extension == ".css" || IsImageExtension(extension) ||
                        (isSource && (IsHtmlPage(value) || extension == ".js"));
    if (!copied || value.empty()) return;

    // The value's own occurrence in the tag: the last one that ends by the
    // end of the attribute (an alt text may name the same file earlier). A
    // value that entity decoding changed is not there: the tag stays.
    if (*valueEnd < value.size()) return;
    std::size_t at = tag.rfind(value, *valueEnd - value.size());
    if (at == std::string::npos) return;
    const std::string name = NameFor(fromRoot ? "/" + value : value, pageDir, extension, newPairs);
    // The copy lies beside the page: the slashes before the value go too.
    std::size_t length = value.size();
    while (at > 0 && tag[at - 1] == '/') {
      --at;
      ++length;
    }
    tag.replace(at, length, name);
    return;
  }
}

std::string PageCache::NameFor(std::string_view reference, std::string_view pageDir, std::string_view extension,
                               std::uint32_t& newPairs) {
  // One copy per object, however the page spells its path.
  std::string key = PathKey(reference, pageDir);
  const auto known = namesByPath_.find(key);
  if (known != namesByPath_.end()) return known->second;
  std::string name = FormatText("%ufile", static_cast<unsigned>(fileCounter_)) + SafeExtension(extension);
  ++fileCounter_;
  pairs_.push_back({std::string(reference), name});
  namesByPath_.emplace(std::move(key), name);
  ++newPairs;
  return name;
}

}  // namespace tessaly
