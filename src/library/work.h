// Long work (reading new books, indexing them) as units that run on worker
// threads: progress as units finish, and a flag that stops the work between
// units and inside the one under way.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>

namespace tessaly::library {

struct Progress {
  std::size_t done = 0;   // units finished
  std::size_t total = 0;  // units in this piece of work
  std::string book;       // the path of the book just finished
};

struct WorkControl {
  // Called from the workers, one call at a time.
  std::function<void(const Progress&)> progress;
  const std::atomic<bool>* cancel = nullptr;
  unsigned threads = 0;  // 0: one per core
};

// The work stopped because its cancel flag was set; what was finished before is kept.
class WorkCancelled : public std::runtime_error {
 public:
  WorkCancelled() : std::runtime_error("The library's work was cancelled.") {}
};

bool Cancelled(const WorkControl& control);

// Runs unit(i) for i in [0, count) on the control's threads (never more than
// count); reports progress as each unit ends, named by name(i). A unit that
// raises stops the rest, and its exception is raised here once every worker
// has stopped. Raises WorkCancelled when cancelled.
void RunUnits(std::size_t count, const WorkControl& control, const std::function<void(std::size_t)>& unit,
              const std::function<std::string(std::size_t)>& name);

}  // namespace tessaly::library
