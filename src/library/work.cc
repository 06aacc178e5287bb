#include "library/work.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace tessaly::library {

bool Cancelled(const WorkControl& control) { return control.cancel != nullptr && control.cancel->load(); }

void RunUnits(std::size_t count, const WorkControl& control, const std::function<void(std::size_t)>& unit,
              const std::function<std::string(std::size_t)>& name) {
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t threads = std::min<std::size_t>(control.threads > 0 ? control.threads : cores, count);
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::mutex lock;  // guards done, failure and the progress calls
  std::size_t done = 0;
  std::exception_ptr failure;
  const auto work = [&] {
    for (std::size_t i = next++; i < count && !failed && !Cancelled(control); i = next++) {
      try {
        unit(i);
      } catch (...) {
        const std::lock_guard<std::mutex> hold(lock);
        if (!failure) failure = std::current_exception();
        failed = true;
        return;
      }
      const std::lock_guard<std::mutex> hold(lock);
      ++done;
      if (control.progress) control.progress({done, count, name(i)});
    }
  };
  std::vector<std::thread> pool;
  for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(work);
  work();
  for (std::thread& thread : pool) thread.join();
  if (failure) std::rethrow_exception(failure);
  if (Cancelled(control)) throw WorkCancelled();
}

}  // namespace tessaly::library
