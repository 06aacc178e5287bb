// The page-text index of the open book, as the reader's workers share it:
// opened, or built, by the first one that needs it, then searched by one
// worker at a time (an index is one SQLite connection).
#pragma once

#include <atomic>
#include <mutex>
#include <optional>

#include "textindex/text_index.h"

namespace tessaly::app {

struct PageTextSearch {
  std::mutex mutex;  // held while the index is opened or searched
  std::optional<textindex::TextIndex> index;
  std::atomic<bool> cancel{false};  // the book closed: a build under way stops
};

}  // namespace tessaly::app
