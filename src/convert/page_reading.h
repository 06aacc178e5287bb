// What every converter does with a book's objects: reads them all once with
// the book's bulk read, decodes a page's text to UTF-8 (its byte-order mark,
// its declared charset, else the book's code page) and parses it, and points
// each reference of a page at what the converter made of its target.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "convert/book_objects.h"
#include "convert/convert.h"
#include "convert/html_document.h"

namespace tessaly::convert {

// Book text (a title, a contents entry) in UTF-8; bytes that do not convert
// become U+FFFD.
std::string BookTextUtf8(const Book& book, const TextConverter& converter, std::string_view text);

// Calls visit for every object of `objects` with its bytes (valid during the
// call only), in the book's storage order; an object that cannot be read
// is told in the report's warnings.
void ForEachObject(const Book& book, const BookObjects& objects, ConvertReport& report,
                   const std::function<void(std::size_t object, std::span<const std::uint8_t> bytes)>& visit);

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
