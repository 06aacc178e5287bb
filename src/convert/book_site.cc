// BookSite: a book's objects as a web server hands them out.
#include "base/book_error.h"
#include "base/book_path.h"
#include "book/book.h"
#include "convert/book_lists.h"
#include "convert/convert.h"
#include "convert/output_names.h"
#include "convert/page_reading.h"

namespace tessaly::convert {

namespace {

std::string ContentType(std::string_view name) {
  static const std::pair<std::string_view, std::string_view> kTypes[] = {
      {".css", "text/css; charset=utf-8"}, {".gif", "image/gif"}, {".png", "image/png"},
      {".jpg", "image/jpeg"}, {".jpeg", "image/jpeg"}, {".bmp", "image/bmp"}, {".ico", "image/x-icon"},
      {".svg", "image/svg+xml"}, {".txt", "text/plain"}, {".js", "text/javascript"}, {".woff", "font/woff"},
      {".woff2", "font/woff2"}, {".ttf", "font/ttf"}};
  const std::string extension = FileExtension(name);
  for (const auto& [suffix, type] : kTypes) {
    if (extension == suffix) return std::string(type);
  }
  return "application/octet-stream";
}

}  // namespace

struct BookSite::Parts {
  Parts(const Book& b, const TextConverter& c) : book(b), converter(c), objects(b, c) {}
  const Book& book;
  const TextConverter& converter;
  BookObjects objects;
};

BookSite::BookSite(const Book& book, const TextConverter& converter)
    : parts_(std::make_unique<Parts>(book, converter)) {}

BookSite::~BookSite() = default;

std::optional<BookSite::Object> BookSite::Read(std::string_view path) const {
  const std::optional<std::size_t> object = parts_->objects.Find(path);
  if (!object) return std::nullopt;
  const BookObject& o = parts_->objects.Objects()[*object];
  // Read by its stored name, '%' and '#' escaped (the name is decoded once more).
  std::string stored = "/";
  for (char c : o.name) stored += c == '%' ? "%25" : std::string(1, c);
  const ObjectBuffer buffer = parts_->book.ReadObject(stored);
  const std::span<const std::uint8_t> bytes(buffer.data(), buffer.size());
  // Links point from this object's path to their target's, both below the
  // book's root.
  const LinkFor linkFor = [&](const Target& target, const xmlNode*) -> std::optional<std::string> {
    if (target.kind == Target::Kind::kObject)
      return RelativeLink(o.name, parts_->objects.Objects()[target.object].name, target.fragment);
    if (target.kind == Target::Kind::kExternal) return target.address;
    return std::nullopt;
  };
  if (o.page) {
    HtmlDocument page = ParsePage(parts_->book, parts_->converter, bytes);
    RewriteReferences(page, parts_->objects, *object, linkFor);
    return Object{page.ToHtml(), "text/html; charset=utf-8"};
  }
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (FileExtension(o.name) == ".css")
    return Object{RewriteStyleSheet(text, parts_->objects, *object, linkFor), ContentType(o.name)};
  return Object{std::string(text), ContentType(o.name)};
}

std::string BookSite::Title() const {
  return BookTextUtf8(parts_->book, parts_->converter, parts_->book.Title());
}

std::string BookSite::Link(std::string_view path) {
  while (path.starts_with('/')) path.remove_prefix(1);
  return RelativeLink("", path);
}

std::string BookSite::ContentsList() const {
  return convert::ContentsList(parts_->book, parts_->converter, parts_->objects, "ul", [&](const Target& target) {
    return target.kind == Target::Kind::kObject
               ? std::optional(RelativeLink("", parts_->objects.Objects()[target.object].name, target.fragment))
               : std::nullopt;
  });
}

std::string BookSite::KeywordList() const {
  ConvertReport ignored;
  return convert::KeywordList(
      parts_->book, parts_->converter, parts_->objects,
      [&](const Target& target) {
        return target.kind == Target::Kind::kObject
                   ? std::optional(RelativeLink("", parts_->objects.Objects()[target.object].name, target.fragment))
                   : std::nullopt;
      },
      ignored);
}

}  // namespace tessaly::convert
