// BookError: the one failure signal of every reader of book data.
//
// An error carries what failed: its kind, the text of the step that failed
// (worded as the reader has always worded it, printf-formatted where it is
// raised), the object and the file offset it concerns where there is one,
// the system's errno where the system refused, and the inner error when one
// step wraps the failure of another ("Can't decompress section 1.\n" around
// the decoder's message). Message() puts the text together where it is
// shown: each step's text followed by its inner error's message, cut to 250
// bytes without splitting a UTF-8 sequence.
//
// Errors are values: copying one is cheap (the inner error is shared), so a
// failure can be remembered and raised again to every later caller.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

enum class ErrorKind {
  kNotFound,    // no such object, no such record
  kIo,          // the file cannot be opened or ends before what it promises
  kFormat,      // bytes that do not follow the format
  kDecompress,  // the compressed content cannot be decoded
  kMemory,      // no memory for what the book justifies
  kArgument,    // the caller's request itself (a path, a query) is refused
};

class BookError : public std::exception {
 public:
  static constexpr std::size_t kMaxMessage = 250;

  BookError(ErrorKind kind, std::string text);
  // A format error with this text.
  explicit BookError(std::string text) : BookError(ErrorKind::kFormat, std::move(text)) {}

  // What the error concerns; each returns the error for a throw expression.
  BookError& About(std::string_view object);
  BookError& At(std::uint64_t offset);
  BookError& WithSystemError(int error);
  // This step's text is followed by the inner error's message.
  BookError& Wrapping(const BookError& inner);

  ErrorKind Kind() const noexcept { return kind_; }
  // This step's own text, without the inner message and without a cut.
  const std::string& Text() const noexcept { return text_; }
  // The object (a path in the book) the error concerns; empty when none.
  const std::string& Object() const noexcept { return object_; }
  std::optional<std::uint64_t> Offset() const noexcept { return offset_; }
  // errno of the failed system call; 0 when the system did not refuse.
  int SystemError() const noexcept { return systemError_; }
  const BookError* Inner() const noexcept { return inner_.get(); }

  // The text shown for the error: this step's text and the inner messages
  // after it, at most kMaxMessage bytes.
  std::string Message() const;
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  ErrorKind kind_;
  std::string text_;
  std::string object_;
  std::optional<std::uint64_t> offset_;
  int systemError_ = 0;
  std::shared_ptr<const BookError> inner_;
  std::string message_;  // Message(), kept for what()
};

// Formats like printf into a std::string (no length limit).
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatTextV(const char* format, std::va_list args);

// Formats the text and throws a BookError of that kind (a format error when
// no kind is given). Never returns.
[[noreturn]] void RaiseBookError(const char* format, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void RaiseBookError(ErrorKind kind, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace tessaly
