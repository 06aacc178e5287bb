// The trees a book's sitemaps describe: the contents (TocNode) and the
// keyword index (IndexEntry), as helpdata's parsers build them and the
// reader and the tool show them.
//
// A contents node sits on the tree and also on one chain over the whole
// tree in document order (prev / next); the root is not on it and its prev
// holds the chain's last node. Trees may nest as deep as their input likes:
// searching, walking and destroying them use no recursion. Whatever shows a
// tree shows at most kMaxShownDepth levels: an entry deeper than that is
// shown at the deepest shown level, and the one showing says so.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/pointer_array.h"

namespace tessaly {

struct TocNode {
  TocNode() = default;
  ~TocNode();  // takes the subtree apart without recursion
  TocNode(const TocNode&) = delete;
  TocNode& operator=(const TocNode&) = delete;

  std::string name;   // the "Name" param; empty when absent
  std::string local;  // the "Local" param through NormalizeBookPath; empty when absent
  std::int32_t imageNumber = 0;
  std::uintptr_t treeItem = 0;           // set by the reader's Contents panel
  PointerArray<TocNode> children{1, 5};  // owned, document order
  TocNode* prev = nullptr;               // document-order chain over the whole tree
  TocNode* next = nullptr;
};

struct ContentsTree {
  static constexpr std::size_t kMaxImageType = 19;

  TocNode root;  // nameless; children are the top-level entries; prev is the chain's last node
  std::int32_t windowStyles = 0;
  std::string imageType;       // lower-cased
  std::int32_t nodeCount = 0;  // every node below the root
};

struct IndexTarget {
  std::string name;   // empty when the sitemap gives none
  std::string local;  // as written (entities decoded), not normalised
};

struct IndexEntry {
  IndexEntry() = default;
  ~IndexEntry();  // takes the subtree apart without recursion
  IndexEntry(const IndexEntry&) = delete;
  IndexEntry& operator=(const IndexEntry&) = delete;

  std::string name;
  PointerArray<IndexTarget> targets{1, 1};  // document order
  PointerArray<IndexEntry> children{1, 1};  // sub-keywords, document order
};

// Depth-first, pre-order search below `from` (not `from` itself) for the
// first node whose local path equals `path` under CompareNoCase.
const TocNode* FindTocNodeByLocal(const TocNode& from, std::string_view path);
TocNode* FindTocNodeByLocal(TocNode& from, std::string_view path);

// Call visit for every node or entry below `from` in document order (the
// order the reader lists them) with its depth (0 for the children of
// `from`).
void ForEachTocNode(const TocNode& from, const std::function<void(const TocNode&, int depth)>& visit);
void ForEachIndexEntry(const IndexEntry& from, const std::function<void(const IndexEntry&, int depth)>& visit);

inline constexpr int kMaxShownDepth = 64;

// The level an entry at `depth` (0 for the top) is shown at.
inline int ShownDepth(int depth) { return std::min(depth, kMaxShownDepth - 1); }

}  // namespace tessaly
