#include "base/log.h"

#include <cstdarg>
#include <string>

#include "base/book_error.h"

namespace tessaly {

void Logger::SetStream(std::ostream* out) {
  const std::lock_guard<std::mutex> lock(mutex_);
  out_.store(out, std::memory_order_release);
}

void Logger::Write(const char* format, ...) {
  if (!Enabled()) return;
  std::va_list args;
  va_start(args, format);
  const std::string text = FormatTextV(format, args);
  va_end(args);
  const std::lock_guard<std::mutex> lock(mutex_);
  std::ostream* out = out_.load(std::memory_order_relaxed);
  if (out != nullptr) out->write(text.data(), static_cast<std::streamsize>(text.size()));
}

}  // namespace tessaly
