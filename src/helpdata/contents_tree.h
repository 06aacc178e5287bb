// The book's table of contents, read from its contents sitemap (.hhc).
//
// The sitemap is HTML-like text: nested <UL> lists of <LI> items, each with
// an <OBJECT> whose <param> tags give the entry's "Name", its topic's
// "Local" path and an "ImageNumber". A "text/site properties" object before
// the first list gives "Window Styles" and "ImageType". Every top-level
// list is read, one after the other (text between them is not). A <UL> that opens before any <LI> of its level has
// no node to hang under: its items are read into the enclosing level, and
// its </UL> closes that level.
// Parsing uses no recursion: a tree may nest as deep as its input likes.
#pragma once

#include <cstdint>
#include <span>

#include "base/log.h"
#include "base/sitemap_trees.h"

namespace tessaly {

// Limits of the texts read from a contents item.
constexpr std::size_t kMaxTocText = 254;    // "Name" and "Local" values
constexpr std::size_t kMaxParamName = 18;   // a "param name" value
constexpr std::size_t kMaxNumberText = 18;  // an "ImageNumber" or "Window Styles" value

// Builds the tree from the sitemap's bytes, logging every entry (indented by
// its depth) to log. Raises BookError "Error while parse TOC file.\n%s" with
// the inner message on a malformed tag or a bad number.
void ParseContents(ContentsTree& tree, std::span<const std::uint8_t> sitemap, Logger& log);

}  // namespace tessaly
