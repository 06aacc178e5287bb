// BookError: the one failure signal of every reader of book data.
//
// A failure is raised with a printf-style message; parsers that guard a
// step wrap the inner message into their own ("Can't decompress section
// %d.\n%s"). Messages are kept to at most 250 bytes, as the reader has always
// shown them; a cut never splits a UTF-8 sequence.
#pragma once

#include <cstdarg>
#include <exception>
#include <string>

namespace tessaly {

class BookError : public std::exception {
 public:
  static constexpr std::size_t kMaxMessage = 250;

  explicit BookError(std::string message);

  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }

 private:
  std::string message_;
};

// Formats like printf into a std::string (no length limit).
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatTextV(const char* format, std::va_list args);

// Formats the message and throws BookError. Never returns.
[[noreturn]] void RaiseBookError(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tessaly
