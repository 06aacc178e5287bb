#include "base/sitemap_trees.h"

#include <utility>
#include <vector>

#include "base/text.h"

namespace tessaly {

namespace {

// Destroys the subtrees under a node without recursion: each level's child
// arrays are moved out before the array holding their owners goes, so every
// node dies childless.
template <class Node>
void DestroyChildren(PointerArray<Node>& children) {
  if (children.Empty()) return;
  std::vector<PointerArray<Node>> pending;
  pending.push_back(std::move(children));
  while (!pending.empty()) {
    PointerArray<Node> batch = std::move(pending.back());
    pending.pop_back();
    for (Node* child : batch) {
      if (child != nullptr && !child->children.Empty()) pending.push_back(std::move(child->children));
    }
  }
}

// Visits every node below `from` (its children at depth 0), each before its
// own children, until visit returns true; returns that node.
template <class Node, class Visit>
Node* WalkTree(Node& from, Visit&& visit) {
  std::vector<std::pair<Node*, int>> pending;
  const auto pushChildren = [&pending](Node& node, int depth) {
    for (std::int32_t i = node.children.Count() - 1; i >= 0; --i) {
      if (Node* child = node.children.Get(i)) pending.emplace_back(child, depth);
    }
  };
  pushChildren(from, 0);
  while (!pending.empty()) {
    const auto [node, depth] = pending.back();
    pending.pop_back();
    if (visit(*node, depth)) return node;
    pushChildren(*node, depth + 1);
  }
  return nullptr;
}

}  // namespace

TocNode::~TocNode() { DestroyChildren(children); }

IndexEntry::~IndexEntry() { DestroyChildren(children); }

const TocNode* FindTocNodeByLocal(const TocNode& from, std::string_view path) {
  return WalkTree(from, [&](const TocNode& node, int) { return EqualNoCase(node.local, path); });
}

TocNode* FindTocNodeByLocal(TocNode& from, std::string_view path) {
  return WalkTree(from, [&](const TocNode& node, int) { return EqualNoCase(node.local, path); });
}

void ForEachTocNode(const TocNode& from, const std::function<void(const TocNode&, int depth)>& visit) {
  WalkTree(from, [&](const TocNode& node, int depth) {
    visit(node, depth);
    return false;
  });
}

void ForEachIndexEntry(const IndexEntry& from, const std::function<void(const IndexEntry&, int depth)>& visit) {
  WalkTree(from, [&](const IndexEntry& node, int depth) {
    visit(node, depth);
    return false;
  });
}

}  // namespace tessaly
