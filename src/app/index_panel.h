// IndexPanel: the book's keywords in a list that scrolls as the user types
// (built by a job the first time the panel shows), and "Topics Found" for a
// keyword with several targets.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/views.h"

namespace tessaly {
struct IndexEntry;
}

namespace tessaly::app {

class BookTab;

class IndexPanel {
 public:
  IndexPanel(BookTab& tab, IndexView& view) : tab_(tab), view_(view) {}

  // The panel shows: its list is built the first time.
  void Prepare();
  bool Building() const { return building_; }

  // --- From the view -----------------------------------------------------------
  void OnTextChanged();
  void OnEnter();             // Enter in the entry
  void OnSelectionChanged();  // by the user
  void OnDisplay();           // the Display button, a double click, Enter in the list

 private:
  std::optional<int> TypedLine() const;
  std::string TargetName(const IndexEntry& entry, int target) const;
  void ShowTarget(const IndexEntry& entry, int target);

  BookTab& tab_;
  IndexView& view_;
  bool pending_ = true;
  bool building_ = false;
  bool copyingToEdit_ = false;
  std::vector<std::string> lines_;
  std::vector<const IndexEntry*> entries_;
};

}  // namespace tessaly::app
