// What every converter does with a book's objects: reads them all once with
// the book's bulk read, decodes a page's text to UTF-8 (its byte-order mark,
// its declared charset, else the book's code page) and parses it, and points
// each reference of a page at what the converter made of its target.
#pragma once

#include <cstdint>
#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "convert/book_objects.h"
#include "convert/convert.h"
#include "convert/html_document.h"

namespace tessaly::convert {

// Book text (a title, a contents entry) in UTF-8; bytes that do not convert
// become U+FFFD.
std::string BookTextUtf8(const Book& book, const TextConverter& converter, std::string_view text);

// Calls visit once for every stored range that holds objects of `objects`,
// with those objects (the names the book gives the range, in directory
// order) and its bytes, valid during the call only, in the book's storage
// order (Book::ReadStoredRanges): a range is read once however many names
// share it. A range that cannot be read is told in the report's warnings,
// once for each of its objects.
using RangeVisit = std::function<void(std::span<const std::size_t> objects, std::span<const std::uint8_t> bytes)>;
void ForEachStoredRange(const Book& book, const BookObjects& objects, ConvertReport& report, const RangeVisit& visit);

// The bytes of the objects a converter turns to after the bulk read (its
// pages, its style sheets), kept once for a range that several of them share.
class KeptBytes {
 public:
  explicit KeptBytes(std::size_t objects) : of_(objects, kNone) {}

  void Keep(std::span<const std::size_t> objects, std::span<const std::uint8_t> bytes);
  bool Has(std::size_t object) const { return of_[object] != kNone; }
  // The object's bytes; empty when none were kept.
  std::span<const std::uint8_t> Of(std::size_t object) const;

 private:
  static constexpr std::size_t kNone = SIZE_MAX;
  std::vector<std::vector<std::uint8_t>> ranges_;
  std::vector<std::size_t> of_;  // per object: its range in ranges_
};

// A page's bytes decoded and parsed, its charset declarations and <base>
// taken out (the output is UTF-8, and links are resolved here).
HtmlDocument ParsePage(const Book& book, const TextConverter& converter, std::span<const std::uint8_t> bytes);

// The new value of a reference for its target; nullopt drops the attribute
// (the link or picture then leads nowhere instead of somewhere wrong).
using LinkFor = std::function<std::optional<std::string>(const Target& target, const xmlNode* element)>;

// Rewrites every reference of the page (object `from`): links, pictures,
// frames, style sheets, backgrounds, and url(...) inside <style> elements.
void RewriteReferences(HtmlDocument& page, const BookObjects& objects, std::size_t from, const LinkFor& linkFor);

// A style sheet (object `from`) with its url(...) and @import references
// pointed at what linkFor gives (a reference it drops is left as written).
std::string RewriteStyleSheet(std::string_view css, const BookObjects& objects, std::size_t from,
                              const LinkFor& linkFor);

// The page's <title> text, white space collapsed; empty when none.
std::string PageTitle(const HtmlDocument& page);

}  // namespace tessaly::convert
