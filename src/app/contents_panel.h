// ContentsPanel: the book's table of contents as rows of a tree (the panel
// keeps the map between nodes and rows), laid out by a job and shown batch
// by batch as they come; entries opened by tap or Enter, the entry of the
// page on screen selected as it loads (or as its row arrives), stepping to
// the previous or next entry, and Locate.
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

class BookSession;
class BookTab;
struct ContentsBatch;

class ContentsPanel {
 public:
  ContentsPanel(BookTab& tab, ContentsView& view) : tab_(tab), view_(view) {}

  // Lays out the session's contents on a worker; the tree starts empty and
  // grows as the rows come.
  void Fill(const BookSession& session, bool withLines);
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
  void Add(ContentsBatch& batch);

  BookTab& tab_;
  ContentsView& view_;
  // The entry to select when its row arrives.
  const TocNode* pendingNode_ = nullptr;
  std::vector<const TocNode*> rowNodes_;
  std::unordered_map<const TocNode*, int> nodeRows_;
  std::vector<int> rowImages_;
  std::unordered_set<int> openRows_;  // rows shown expanded (open image)
  bool swallowEnter_ = false;
};

}  // namespace tessaly::app
