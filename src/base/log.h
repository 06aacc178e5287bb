// The diagnostic log a Book can carry: printf-style text written unchanged
// (no newline added) to an attached stream, or nothing when none is attached.
#pragma once

#include <ostream>

namespace tessaly {

class Logger {
 public:
  void SetStream(std::ostream* out) { out_ = out; }
  bool Enabled() const { return out_ != nullptr; }
  void Write(const char* format, ...) __attribute__((format(printf, 2, 3)));

 private:
  std::ostream* out_ = nullptr;  // not owned
};

}  // namespace tessaly
