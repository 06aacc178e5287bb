// Markdown from a parsed page: headings, paragraphs, lists, block quotes,
// code, tables, emphasis, links and pictures in CommonMark syntax, every
// other element by its text. Links are taken as the tree holds them (the
// converter has already pointed them at the other Markdown files).
#pragma once

#include <string>

#include "convert/html_document.h"

namespace tessaly::convert {

// The body of the page as Markdown (no front matter).
std::string ToMarkdown(const HtmlDocument& page);

}  // namespace tessaly::convert
