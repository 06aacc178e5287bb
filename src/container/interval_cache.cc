#include "container/interval_cache.h"

#include <algorithm>

namespace tessaly {

IntervalBytes IntervalCache::Find(std::uint64_t section, std::uint64_t interval) {
  const std::lock_guard<std::mutex> lock(mutex_);
  for (Slot& slot : slots_) {
    if (slot.section == section && slot.interval == interval) {
      slot.lastUse = ++clock_;
      return slot.bytes;
    }
  }
  return nullptr;
}

void IntervalCache::Put(std::uint64_t section, std::uint64_t interval, IntervalBytes bytes) {
  const std::lock_guard<std::mutex> lock(mutex_);
  for (const Slot& slot : slots_) {
    if (slot.section == section && slot.interval == interval) return;  // another thread was first
  }
  // Room for the new interval: the ones used longest ago go.
  while (!slots_.empty() && held_ + bytes->size() > kBudget) {
    const auto oldest = std::min_element(slots_.begin(), slots_.end(),
                                         [](const Slot& a, const Slot& b) { return a.lastUse < b.lastUse; });
    held_ -= oldest->bytes->size();
    slots_.erase(oldest);
  }
  try {
    slots_.push_back(Slot{section, interval, ++clock_, bytes});
    held_ += bytes->size();
  } catch (...) {
    // Without room to keep it, the interval is simply not kept.
  }
}

}  // namespace tessaly
