// The Contents panel: the book's table of contents in a tree view, entries
// opened by tap or Enter, and Locate.
#include <cstdint>
#include <vector>

#include "app/reader.h"
#include "app/resources.h"
#include "book/book.h"
#include "helpdata/contents_tree.h"
#include "pages/page_cache.h"

namespace tessaly::app {

namespace {

constexpr std::int32_t kHasLinesStyle = 0x2;

// The image of a node: its own image number when it names one of the
// twelve, else a book or folder for a heading and a page for a leaf.
int NodeImage(const TocNode& node, const ContentsTree& tree) {
  if (node.imageNumber >= 1 && node.imageNumber <= kContentsImageCount) return node.imageNumber - 1;
  const bool heading = node.children.Count() > 0;
  if (tree.imageType == "folder") return heading ? 4 : 10;
  return heading ? 0 : 8;
}

}  // namespace

void Reader::LayoutTreeAndPage() {
  const Rect client = platform_.ClientRect();
  const Rect area{client.left, client.top, client.right, client.bottom - platform_.MenuBarHeight()};
  if (Exists(Control::kTree)) platform_.MoveControl(Control::kTree, area);
  if (Exists(Control::kPageView)) platform_.MoveControl(Control::kPageView, area);
}

void Reader::BuildContentsPanel() {
  ContentsTree& contents = currentBook_->Contents();
  if (Exists(Control::kTree)) Destroy(Control::kTree);
  platform_.CreateTree((contents.windowStyles & kHasLinesStyle) != 0);
  created_[Index(Control::kTree)] = true;
  visible_[Index(Control::kTree)] = false;
  treeNodes_.clear();
  openItems_.clear();
  LayoutTreeAndPage();

  // Depth-first, in document order, without recursion: contents may nest as
  // deep as the book likes.
  struct Level {
    TocNode* node;
    std::int32_t next;
    TreeItem item;
  };
  const std::int64_t total = contents.nodeCount > 0 ? contents.nodeCount : 1;
  std::int64_t inserted = 0;
  std::vector<Level> levels{{&contents.root, 0, 0}};
  while (!levels.empty()) {
    Level& level = levels.back();
    if (level.next >= level.node->children.Count()) {
      levels.pop_back();
      continue;
    }
    TocNode* node = level.node->children.Get(level.next++);
    if (node == nullptr) continue;
    const TreeItem parent = level.item;
    const TreeItem item =
        platform_.TreeInsert(parent, DisplayText(node->name, kMaxTreeTextChars), NodeImage(*node, contents));
    node->treeItem = item;
    treeNodes_[item] = node;
    ++inserted;
    SetProgress(static_cast<int>(inserted * 90 / total + 10));
    if (node->children.Count() > 0) levels.push_back({node, 0, item});
  }
}

void Reader::OnTreeExpanding(TreeItem item, bool expanding) {
  // An entry shows its open image exactly while it is expanded, also when
  // the reader itself expands it (selecting an entry opens its parents) in
  // the middle of other work. The tree tells only the entry the user
  // collapsed, and its sub-entries close with it: they take their closed
  // image too.
  if (!windowCreated_ || closed_ || !Exists(Control::kTree) || item == 0) return;
  if (expanding) {
    if (openItems_.insert(item).second) platform_.TreeSetImage(item, platform_.TreeImage(item) + 1);
    return;
  }
  std::vector<TreeItem> closing{item};
  while (!closing.empty()) {
    const TreeItem next = closing.back();
    closing.pop_back();
    if (openItems_.erase(next) == 0) continue;  // closed already: so is all below it
    platform_.TreeSetImage(next, platform_.TreeImage(next) - 1);
    const auto node = treeNodes_.find(next);
    if (node == treeNodes_.end()) continue;
    for (std::int32_t i = 0; i < node->second->children.Count(); ++i) {
      if (const TocNode* child = node->second->children.Get(i); child != nullptr && child->treeItem != 0)
        closing.push_back(child->treeItem);
    }
  }
}

void Reader::OnTreeTap(TreeItem item) {
  if (!Accepting() || !Exists(Control::kTree) || item == 0) return;
  platform_.TreeSelect(item);
  OpenSelectedEntry();
}

void Reader::OnTreeEnter() {
  if (!Accepting() || !Exists(Control::kTree)) return;
  if (swallowEnter_) {
    swallowEnter_ = false;
    return;
  }
  OpenSelectedEntry();
}

void Reader::OpenSelectedEntry() {
  if (!Exists(Control::kTree)) return;
  const auto found = treeNodes_.find(platform_.TreeSelection());
  if (found == treeNodes_.end()) return;
  const std::string local = found->second->local;
  if (local.empty()) return;
  HidePanels();
  ShowPanel(kCmdHtml);
  ShowTopic(local);
}

void Reader::Locate() {
  if (!HasContents() || !pageCache_) return;
  if (Visible(Control::kTree)) {
    OpenSelectedEntry();
    return;
  }
  const std::string path = pageCache_->CurrentPagePath();
  if (path.empty()) return;
  const TocNode* node = FindTocNodeByLocal(currentBook_->Contents().root, path);
  HidePanels();
  ShowPanel(kCmdContents);
  if (node != nullptr && node->treeItem != 0 && Exists(Control::kTree)) platform_.TreeSelect(node->treeItem);
}

}  // namespace tessaly::app
