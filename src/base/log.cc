#include "base/log.h"

#include <cstdarg>
#include <string>

#include "base/book_error.h"

namespace tessaly {

void Logger::Write(const char* format, ...) {
  if (out_ == nullptr) return;
  std::va_list args;
  va_start(args, format);
  std::string text = FormatTextV(format, args);
  va_end(args);
  out_->write(text.data(), static_cast<std::streamsize>(text.size()));
}

}  // namespace tessaly
