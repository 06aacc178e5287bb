#include "pages/pages.h"

namespace tessaly {

History::History() : entries_(kCapacity, kGrowBy) {}

void History::HistoryClear() {
  count_ = 0;
  position_ = 0;
  navigating_ = false;
  entries_.Reset();
}

std::size_t History::OffsetAfter(std::int32_t n) const {
  std::size_t offset = 0;
  for (std::int32_t i = 0; i < n && offset < entries_.Length(); ++i)
    offset += entries_.StringAt(offset).size() + 1;
  return offset < entries_.Length() ? offset : entries_.Length();
}

void History::HistoryPush(std::string_view path) {
  const std::int32_t index = position_;
  ++position_;
  // SetLength only cuts below the capacity; at the capacity the list is
  // already that long.
  entries_.SetLength(static_cast<std::int64_t>(OffsetAfter(index)));
  entries_.AppendString(path);
  count_ = position_;
}

void History::HistoryForward() {
  if (position_ < count_) ++position_;
}

void History::HistoryBack() {
  // Position 1 is the oldest entry: going below it would leave no current
  // entry while the list still holds some.
  if (count_ > 1 && position_ > 1) --position_;
}

std::string_view History::HistoryCurrent() const {
  if (position_ <= 0) return {};
  return entries_.StringAt(OffsetAfter(position_ - 1));
}

}  // namespace tessaly
