// ContentsPanel: the book's table of contents as rows of a tree (the panel
// keeps the map between nodes and rows), entries opened by tap or Enter,
// the entry of the page on screen selected as it loads, stepping to the
// previous or next entry, and Locate.
#pragma once

#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/views.h"

namespace tessaly {
struct TocNode;
}

namespace tessaly::app {

class BookTab;

class ContentsPanel {
 public:
  ContentsPanel(BookTab& tab, ContentsView& view) : tab_(tab), view_(view) {}

  // The rows laid out by the open job, and their nodes.
  void Fill(std::span<const ContentsRow> rows, std::vector<const TocNode*> nodes, bool withLines);
  bool HasEntries() const { return !rowNodes_.empty(); }

  // --- From the view ---------------------------------------------------------
  // A tap on a row's image or text (not its expander), Enter while the tree
  // has focus, and a row about to expand or collapse.
  void OnTap(int row);
  void OnEnter();
  void OnExpanding(int row, bool expanding);

  // --- From the tab ------------------------------------------------------------
  void OpenSelected();
  // Selects the entry of the page (in-book path, maybe with #fragment).
  void SelectPage(std::string_view path);
  // Opens the entry before or after the selected one that has a page;
  // false when no entry is selected.
  bool Step(bool down);
  // The entry selected in the tree; null: none.
  const TocNode* SelectedNode() const;
  // The action key opened the tree: the Enter of the same press is not one.
  void SwallowNextEnter() { swallowEnter_ = true; }

 private:
  BookTab& tab_;
  ContentsView& view_;
  std::vector<const TocNode*> rowNodes_;
  std::unordered_map<const TocNode*, int> nodeRows_;
  std::vector<int> rowImages_;
  std::unordered_set<int> openRows_;  // rows shown expanded (open image)
  bool swallowEnter_ = false;
};

}  // namespace tessaly::app
