// PageHistory: the pages a window has shown, for Back and Forward, across
// books: each entry names its book and the page in it (with its fragment).
//
// Push adds an entry after the current one and drops every entry after it;
// Back and Forward move the current entry and say whether they did.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tessaly::app {

struct HistoryEntry {
  std::string book;  // the book's path
  std::string page;  // in-book path, normalised, maybe with #fragment
  bool operator==(const HistoryEntry&) const = default;
};

class PageHistory {
 public:
  void Push(HistoryEntry entry);
  bool Back();
  bool Forward();
  bool CanGoBack() const { return position_ > 0; }
  bool CanGoForward() const { return position_ + 1 < entries_.size(); }
  // The entry shown; nullptr when the history is empty.
  const HistoryEntry* Current() const { return entries_.empty() ? nullptr : &entries_[position_]; }

 private:
  std::vector<HistoryEntry> entries_;
  std::size_t position_ = 0;
};

}  // namespace tessaly::app
