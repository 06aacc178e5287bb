#include "app/page_history.h"

namespace tessaly::app {

void PageHistory::Push(HistoryEntry entry) {
  if (!entries_.empty()) entries_.resize(position_ + 1);
  entries_.push_back(std::move(entry));
  position_ = entries_.size() - 1;
}

bool PageHistory::Back() {
  if (!CanGoBack()) return false;
  --position_;
  return true;
}

bool PageHistory::Forward() {
  if (!CanGoForward()) return false;
  ++position_;
  return true;
}

}  // namespace tessaly::app
