// The book's table of contents, read from its contents sitemap (.hhc).
//
// The sitemap is HTML-like text: nested <UL> lists of <LI> items, each with
// an <OBJECT> whose <param> tags give the entry's "Name", its topic's
// "Local" path and an "ImageNumber". A "text/site properties" object before
// the first list gives "Window Styles" and "ImageType". Every top-level
// list is read, one after the other (text between them is not). A <UL> that opens before any <LI> of its level has
// no node to hang under: its items are read into the enclosing level, and
// its </UL> closes that level.
//
// Besides the tree, every node sits on one chain in document order (prev /
// next); the root is not on it and its prev holds the chain's last node.
// Trees may nest as deep as the input likes: parsing, searching, walking and
// destroying them use no recursion.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "base/log.h"
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

// Limits of the texts read from a contents item.
constexpr std::size_t kMaxTocText = 254;    // "Name" and "Local" values
constexpr std::size_t kMaxParamName = 18;   // a "param name" value
constexpr std::size_t kMaxNumberText = 18;  // an "ImageNumber" or "Window Styles" value

// Builds the tree from the sitemap's bytes, logging every entry (indented by
// its depth) to log. Raises BookError "Error while parse TOC file.\n%s" with
// the inner message on a malformed tag or a bad number.
void ParseContents(ContentsTree& tree, std::span<const std::uint8_t> sitemap, Logger& log);

// Depth-first, pre-order search below `from` (not `from` itself) for the
// first node whose local path equals `path` under CompareNoCase.
const TocNode* FindTocNodeByLocal(const TocNode& from, std::string_view path);
TocNode* FindTocNodeByLocal(TocNode& from, std::string_view path);

// Calls visit for every node below `from` in document order with its depth
// (0 for the children of `from`).
void ForEachTocNode(const TocNode& from, const std::function<void(const TocNode&, int depth)>& visit);

}  // namespace tessaly
