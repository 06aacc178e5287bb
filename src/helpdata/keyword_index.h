// The book's keyword index, read from its index sitemap (.hhk).
//
// The sitemap has the contents' form: nested <UL> lists of <LI> items whose
// <OBJECT> params name a keyword and its topics. In an item, the first
// "Name" (or "Keyword") names the keyword; after it, each "Name" names a
// target and each "Local" gives a target's path:
//   Name k, Local a                          -> k: (, a)
//   Name k, Name t1, Local a, Name t2, Local b -> k: (t1, a) (t2, b)
//   Name k, Local a, Local b                 -> k: (, a) (, b)
//   Name k, Name t1, Name t2                 -> error
// Every top-level list is read; a <UL> before any <LI> of its level
// reads into the enclosing level, as in the contents. The top level is
// sorted by name (leading '_' and case ignored, ties in document order);
// sub-keywords keep document order. Nothing here recurses, so an index may
// nest as deep as its input.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "base/log.h"
#include "base/object_source.h"
#include "base/sitemap_trees.h"

namespace tessaly {

constexpr std::size_t kMaxKeywordName = 99;   // keyword and target names
constexpr std::size_t kMaxTargetLocal = 254;  // target paths

// Reads the sitemap's keywords into root's children (appending to any that
// are there), logging each keyword indented by its depth, then sorts the top
// level. Raises BookError "Error while parse Index file.\n%s" with the inner
// message; the entries read before the failure stay (unsorted).
void ParseIndex(IndexEntry& root, std::span<const std::uint8_t> sitemap, Logger& log);

// Reads the index sitemap that the book names (indexFile) and parses it into
// root as ParseIndex does. Raises BookError, "No *.hhk file in CHM." when
// the book names none.
void ReadKeywordIndex(IndexEntry& root, const ObjectSource& objects, std::string_view indexFile, Logger& log);

// The order of top-level keywords: CompareNoCase of the names without their
// leading '_' characters.
int CompareKeywordNames(std::string_view a, std::string_view b);

// Stable sort of parent's children by CompareKeywordNames.
void SortKeywords(IndexEntry& parent);

}  // namespace tessaly
