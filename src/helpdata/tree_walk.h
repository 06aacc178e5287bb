// Walks a tree of sitemap entries (contents nodes, keywords) depth first, in
// the order they are shown, without recursion: a sitemap may nest its lists
// as deep as its bytes allow.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace tessaly {

// Calls visit(node, depth) for every node below `from` (its children at
// depth 0), each before its own children. Node has `children`, a
// PointerArray of Node.
template <class Node, class Visit>
void WalkTree(const Node& from, Visit&& visit) {
  std::vector<std::pair<const Node*, int>> pending;
  const auto pushChildren = [&pending](const Node& node, int depth) {
    for (std::int32_t i = node.children.Count() - 1; i >= 0; --i) {
      if (const Node* child = node.children.Get(i)) pending.emplace_back(child, depth);
    }
  };
  pushChildren(from, 0);
  while (!pending.empty()) {
    const auto [node, depth] = pending.back();
    pending.pop_back();
    visit(*node, depth);
    pushChildren(*node, depth + 1);
  }
}

}  // namespace tessaly
