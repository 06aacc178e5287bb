// The diagnostic log a Book can carry: printf-style text written unchanged
// (no newline added) to an attached stream, or nothing when none is attached.
//
// Several threads may write at once: each Write formats first and then puts
// its whole text on the stream under a lock, so texts never interleave.
// Attach the stream before the book is shared between threads.
#pragma once

#include <atomic>
#include <mutex>
#include <ostream>

namespace tessaly {

class Logger {
 public:
  Logger() = default;
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  void SetStream(std::ostream* out);
  bool Enabled() const { return out_.load(std::memory_order_acquire) != nullptr; }
  void Write(const char* format, ...) __attribute__((format(printf, 2, 3)));

 private:
  std::atomic<std::ostream*> out_{nullptr};  // not owned
  std::mutex mutex_;
};

}  // namespace tessaly
