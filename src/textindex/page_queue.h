// Pages handed from the thread that reads a book to the thread that indexes
// them, so that reading and indexing overlap: at most a few MiB of text wait
// at once, and a failure on either side stops the other.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>

#include "textindex/text_index.h"

namespace tessaly::textindex {

class PageQueue {
 public:
  // Reader side. Waits while the queue is full; raises Abandoned once the
  // indexing side has given up.
  struct Abandoned {};
  void Push(BookPage& page);
  // The reading is over: normally, or with the exception it raised.
  void Close(std::exception_ptr failure);

  // Indexing side: the next page; none once the reading is over (then
  // Failure() tells how it ended).
  std::optional<BookPage> Pop();
  std::exception_ptr Failure();
  // Stops the reader at its next Push.
  void Abandon();

 private:
  static constexpr std::size_t kMaxBytes = 8 << 20;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<BookPage> pages_;
  std::size_t bytes_ = 0;
  bool closed_ = false;
  bool abandoned_ = false;
  std::exception_ptr failure_;
};

}  // namespace tessaly::textindex
