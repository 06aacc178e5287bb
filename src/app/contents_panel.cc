// The Contents panel: the book's table of contents as rows of a tree (the
// reader keeps its own map between nodes and rows), entries opened by tap or
// Enter, and Locate.
#include <cstdint>
#include <vector>

#include "app/reader.h"
#include "app/resources.h"
#include "book/book.h"
#include "helpdata/contents_tree.h"

namespace tessaly::app {

void Reader::OnTreeExpanding(int row, bool expanding) {
  // An entry shows its open image exactly while it is expanded, also when
  // the reader itself expands it (selecting an entry opens its parents).
  // The tree tells only the entry the user collapsed, and its sub-entries
  // close with it: they take their closed image too.
  if (!windowCreated_ || closed_ || !panels_.contents || row < 0 ||
      static_cast<std::size_t>(row) >= rowNodes_.size()) {
    return;
  }
  if (expanding) {
    if (openRows_.insert(row).second) platform_.SetContentsImage(row, ++rowImages_[static_cast<std::size_t>(row)]);
    return;
  }
  std::vector<int> closing{row};
  while (!closing.empty()) {
    const int next = closing.back();
    closing.pop_back();
    if (openRows_.erase(next) == 0) continue;  // closed already: so is all below it
    platform_.SetContentsImage(next, --rowImages_[static_cast<std::size_t>(next)]);
    const TocNode* node = rowNodes_[static_cast<std::size_t>(next)];
    for (std::int32_t i = 0; i < node->children.Count(); ++i) {
      const auto child = nodeRows_.find(node->children.Get(i));
      if (child != nodeRows_.end()) closing.push_back(child->second);
    }
  }
}

void Reader::OnTreeTap(int row) {
  if (!Accepting() || !panels_.contents || row < 0 || static_cast<std::size_t>(row) >= rowNodes_.size()) return;
  platform_.SelectContentsRow(row);
  OpenSelectedEntry();
}

void Reader::OnTreeEnter() {
  if (!Accepting() || !panels_.contents) return;
  if (swallowEnter_) {
    swallowEnter_ = false;
    return;
  }
  OpenSelectedEntry();
}

void Reader::OpenSelectedEntry() {
  if (!panels_.contents) return;
  const int row = platform_.ContentsSelection();
  if (row < 0 || static_cast<std::size_t>(row) >= rowNodes_.size()) return;
  const std::string local = rowNodes_[static_cast<std::size_t>(row)]->local;
  if (local.empty()) return;
  RevealPage();
  ShowTopic(local);
}

void Reader::SelectNodeOf(std::string_view path) {
  if (!panels_.contents || path.empty()) return;
  // The entry of the page at this place, else of the page; a page without
  // an entry leaves none selected.
  const TocNode* node = FindTocNodeByLocal(book_->Contents().root, path);
  if (node == nullptr) node = FindTocNodeByLocal(book_->Contents().root, path.substr(0, path.find('#')));
  const auto found = nodeRows_.find(node);
  platform_.SelectContentsRow(node != nullptr && found != nodeRows_.end() ? found->second : -1);
}

void Reader::Locate() {
  if (!HasContents()) return;
  // One pane showing the tree: the entry selected opens. Otherwise the tree
  // shows with the entry of the page on screen.
  if (layout_ == Layout::kSinglePane && Visible(Control::kTree)) {
    OpenSelectedEntry();
    return;
  }
  const std::string path = pagePath_;
  if (path.empty()) return;
  ShowPanel(Panel::kContents);
  SelectNodeOf(path);
}

}  // namespace tessaly::app
