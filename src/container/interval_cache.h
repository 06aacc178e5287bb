// The reset intervals decoded last, kept so that reads close together in a
// section (a page and its pictures, usually stored side by side) decode
// each interval once. Real books have intervals of 64 or 128 KiB: the cache
// keeps about a dozen of them, at most kBudget bytes (and always the
// interval decoded last); the one used longest ago goes first.
//
// Shared by every thread that reads the container: lookups and insertions
// take a lock, decoding happens outside it, and an interval handed out stays
// valid for its holder whatever the cache does afterwards.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace tessaly {

using IntervalBytes = std::shared_ptr<const std::vector<std::uint8_t>>;

class IntervalCache {
 public:
  static constexpr std::size_t kBudget = 1u << 20;

  // The plain bytes of interval `interval` of section `section`, or null.
  IntervalBytes Find(std::uint64_t section, std::uint64_t interval);
  void Put(std::uint64_t section, std::uint64_t interval, IntervalBytes bytes);

 private:
  struct Slot {
    std::uint64_t section = 0;
    std::uint64_t interval = 0;
    std::uint64_t lastUse = 0;
    IntervalBytes bytes;
  };

  std::mutex mutex_;
  std::vector<Slot> slots_;
  std::size_t held_ = 0;  // bytes of the intervals in slots_
  std::uint64_t clock_ = 0;
};

}  // namespace tessaly
