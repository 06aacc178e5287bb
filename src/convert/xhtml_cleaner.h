// Makes a parsed page valid XHTML for EPUB 3 reading systems: only the
// elements and attributes of HTML5, in the places HTML5 allows them.
//
// Obsolete presentational elements become their nearest HTML5 form (font and
// big a span, center a div, tt code, strike s, dir and menu ul), and the
// presentational attributes that have a style equivalent (align, valign,
// bgcolor, width, color, face, nowrap) become style declarations. Scripts,
// objects, forms, image maps and event attributes are dropped; elements no
// one knows give up their tag and keep their content. Frames become links to
// the framed pages. A list item, table part or definition outside its
// container becomes a div; content a list or table may not hold directly is
// wrapped in an item, row or cell; an element that may only hold phrasing
// content but holds blocks becomes a div; a link inside a link gives up its
// tag. Ids are made valid XML names (ValidId), and a repeated id is dropped.
#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "convert/html_document.h"

namespace tessaly::convert {

// The new value of a reference attribute (href of a and link, src of img),
// or nullopt to drop it; an img or link left without one is removed.
using ReferenceFor = std::function<std::optional<std::string>(const xmlNode* element, std::string_view value)>;

struct CleanedPage {
  std::set<std::string> ids;  // every id the page holds afterwards
};

// Cleans the page in place. title: the page's title (its <title> is set to
// it); language: a BCP 47 tag for the html element, or empty.
CleanedPage CleanForEpub(HtmlDocument& page, const ReferenceFor& referenceFor, std::string_view title,
                         std::string_view language);

// An id (or a fragment that names one) as a valid ASCII XML name: kept when
// it is one ([A-Za-z_][A-Za-z0-9_.-]*), else "id_" followed by its bytes,
// letters and digits as they are, others as _XX.
std::string ValidId(std::string_view id);

}  // namespace tessaly::convert
