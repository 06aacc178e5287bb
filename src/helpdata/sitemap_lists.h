// The nested lists of a sitemap, shared by the contents (.hhc) and the
// keyword index (.hhk):
//
//   <UL>
//     <LI> <OBJECT type="text/sitemap"> <param ...> ... </OBJECT>
//     <UL> <LI> ... </UL>        items under the <LI> before the <UL>
//   </UL>
//   <UL> ... </UL>               more top-level items
//
// An <LI> adds an item at the open level; a <UL> opens a level under the
// level's last item (a <UL> with no item to hang under keeps its items at
// this level); a </UL> closes the level. When the top-level list closes, a
// later top-level <UL> continues it: some writers put every entry, or every
// part, in a list of its own. Each level gathers its items and hands them to
// its parent when it closes, or when reading stops for any reason, so an
// error keeps every item read before it.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/log.h"
#include "base/pointer_array.h"
#include "base/sitemap_scanner.h"
#include "base/text.h"

namespace tessaly {

// Moves items onto the end of array (used by the sitemap parsers, which
// gather each list's items before handing them to their parent). Adding
// them one by one would copy the slots at every growth step of the array,
// quadratic for long lists; an empty array is instead rebuilt once with the
// capacity those steps would have reached.
template <class T>
void AppendAll(PointerArray<T>& array, std::vector<std::unique_ptr<T>>& items) {
  if (items.empty()) return;
  const std::int64_t step = array.GrowBy();
  if (array.Empty() && step > 0) {
    const auto needed = static_cast<std::int64_t>(items.size());
    std::int64_t capacity = array.Capacity();
    if (needed > capacity) capacity += (needed - capacity + step - 1) / step * step;
    if (capacity <= std::numeric_limits<std::int32_t>::max()) {
      array = PointerArray<T>(static_cast<std::int32_t>(capacity), static_cast<std::int32_t>(step));
    }
  }
  for (std::unique_ptr<T>& item : items) array.Add(std::move(item));
  items.clear();
}

// Where a sitemap parser stands: the bytes left and the last tag read.
struct SitemapCursor {
  SitemapCursor(const char* begin, const char* finish) : at(begin), end(finish) {
    tag.reserve(SitemapScanner::kMaxTag + 1);
  }
  bool More() const { return at < end; }
  void Next() { SitemapScanner::NextTag(at, end, tag); }

  const char* at;
  const char* end;
  std::string tag;
  int depth = 0;  // list depth; indents the log only
};

// Reads the lists that start at the top-level <UL> just read, up to the end
// of the last top-level list, into root's children. readItem() reads the
// item after an <LI> and returns its node (which has a `name` and
// `children`); each is logged with its name, indented by depth. unstored(node)
// is told when a read node could not be stored (it is destroyed next).
template <class Node, class ReadItem, class Unstored>
void ReadSitemapLists(SitemapCursor& in, Node& root, Logger& log, ReadItem readItem, Unstored unstored) {
  struct Level {
    Node* parent;
    Node* last = nullptr;
    std::vector<std::unique_ptr<Node>> items;
  };
  std::vector<Level> levels;
  const auto closeLevel = [&levels] {
    Level& level = levels.back();
    AppendAll(level.parent->children, level.items);
    levels.pop_back();
  };
  const auto closeAll = [&] {
    while (!levels.empty()) closeLevel();
  };
  // The next top-level <UL> after a closed one; false at the end.
  const auto nextTopLevelList = [&in] {
    while (in.More()) {
      in.Next();
      if (EqualNoCase(in.tag, "UL")) return true;
    }
    return false;
  };

  levels.push_back(Level{&root, nullptr, {}});
  in.depth = 1;
  try {
    while (in.More()) {
      in.Next();
      if (EqualNoCase(in.tag, "LI")) {
        std::unique_ptr<Node> node = readItem();
        Node* added = node.get();
        log.Write("%*.s%s\n", in.depth, "", added->name.c_str());
        try {
          levels.back().items.push_back(std::move(node));
        } catch (...) {
          unstored(added);
          throw;
        }
        levels.back().last = added;
      } else if (EqualNoCase(in.tag, "UL")) {
        ++in.depth;
        if (levels.back().last == nullptr) continue;  // its items stay at this level
        Node* parent = levels.back().last;
        levels.push_back(Level{parent, nullptr, {}});
      } else if (EqualNoCase(in.tag, "/UL")) {
        --in.depth;
        if (levels.size() > 1) {
          closeLevel();
          continue;
        }
        if (!nextTopLevelList()) break;
        levels.back().last = nullptr;
        ++in.depth;
      }
    }
  } catch (...) {
    closeAll();
    throw;
  }
  closeAll();
}

}  // namespace tessaly
