// Long work (reading new books, indexing them) as units that run on worker
// threads, under a WorkControl (library.h).
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "library/library.h"

namespace tessaly::library {

bool Cancelled(const WorkControl& control);

// Runs unit(i) for i in [0, count) on the control's threads (never more than
// count); reports progress as each unit ends, named by name(i). A unit that
// raises stops the rest, and its exception is raised here once every worker
// has stopped. Raises WorkCancelled when cancelled.
void RunUnits(std::size_t count, const WorkControl& control, const std::function<void(std::size_t)>& unit,
              const std::function<std::string(std::size_t)>& name);

}  // namespace tessaly::library
