// InOrder: a converter's work on every page spread over the machine's
// cores, its results taken one by one in page order on the calling thread
// (which writes them: the output stays in order and is written by one
// thread).
//
// make(i) runs on worker threads, for i from 0 to count - 1, and must only
// read what the threads share; take(i, result) runs on the calling thread,
// in order of i. At most kAhead results wait to be taken, so memory stays
// bounded however many pages there are. When make or take raises, no new
// make starts, and the first error is raised again from InOrder once the
// workers have stopped.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <vector>

namespace tessaly::convert {

constexpr std::size_t kAhead = 64;

// The threads InOrder runs make on: the machine's cores, at most 8.
inline std::size_t WorkerCount() {
  return std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8);
}

template <typename Make, typename Take>
void InOrder(std::size_t count, Make make, Take take) {
  using Result = std::invoke_result_t<Make&, std::size_t>;
  const std::size_t workers = std::min(WorkerCount(), count);
  if (workers <= 1) {
    for (std::size_t i = 0; i < count; ++i) take(i, make(i));
    return;
  }
  struct Slot {
    std::optional<Result> result;
    std::exception_ptr error;
  };
  std::vector<Slot> slots(kAhead);  // result i waits in slot i % kAhead
  std::mutex mutex;
  std::condition_variable made, taken;
  std::size_t next = 0;   // the next i to make
  std::size_t first = 0;  // the next i to take
  bool stop = false;

  const auto work = [&] {
    std::unique_lock lock(mutex);
    while (true) {
      taken.wait(lock, [&] { return stop || next >= count || next < first + kAhead; });
      if (stop || next >= count) return;
      const std::size_t i = next++;
      lock.unlock();
      Slot slot;
      try {
        slot.result.emplace(make(i));
      } catch (...) {
        slot.error = std::current_exception();
      }
      lock.lock();
      slots[i % kAhead] = std::move(slot);
      made.notify_all();
    }
  };
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < workers; ++t) threads.emplace_back(work);

  std::exception_ptr error;
  for (std::size_t i = 0; i < count && !error; ++i) {
    std::optional<Result> result;
    {
      std::unique_lock lock(mutex);
      Slot& slot = slots[i % kAhead];
      made.wait(lock, [&] { return slot.result || slot.error; });
      error = slot.error;
      result = std::move(slot.result);
      slot = Slot();
    }
    if (!error) {
      try {
        take(i, std::move(*result));
      } catch (...) {
        error = std::current_exception();
      }
    }
    std::lock_guard lock(mutex);
    first = i + 1;
    stop = error != nullptr;
    taken.notify_all();
  }
  {
    std::lock_guard lock(mutex);
    stop = true;
    taken.notify_all();
  }
  for (std::thread& thread : threads) thread.join();
  if (error) std::rethrow_exception(error);
}

}  // namespace tessaly::convert
