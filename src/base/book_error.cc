#include "base/book_error.h"

#include <cstdio>
#include <utility>

namespace tessaly {

namespace {

// Cuts to at most `limit` bytes without leaving half of a UTF-8 sequence.
void CutUtf8(std::string& text, std::size_t limit) {
  if (text.size() <= limit) return;
  std::size_t cut = limit;
  // Step back over continuation bytes (10xxxxxx) to the start of the
  // sequence that would be split, unless the sequence ends exactly at the cut.
  std::size_t start = cut;
  while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
  if (start < cut) {
    unsigned char lead = static_cast<unsigned char>(text[start]);
    std::size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (start + need > cut) cut = start;
  }
  text.resize(cut);
}

}  // namespace

BookError::BookError(ErrorKind kind, std::string text) : kind_(kind), text_(std::move(text)), message_(Message()) {}

BookError& BookError::About(std::string_view object) {
  object_ = std::string(object.substr(0, object.find('\0')));
  return *this;
}

BookError& BookError::At(std::uint64_t offset) {
  offset_ = offset;
  return *this;
}

BookError& BookError::WithSystemError(int error) {
  systemError_ = error;
  return *this;
}

BookError& BookError::Wrapping(const BookError& inner) {
  inner_ = std::make_shared<const BookError>(inner);
  message_ = Message();
  return *this;
}

std::string BookError::Message() const {
  std::string text = text_;
  for (const BookError* inner = inner_.get(); inner != nullptr && text.size() < kMaxMessage;
       inner = inner->inner_.get()) {
    text += inner->text_;
  }
  CutUtf8(text, kMaxMessage);
  return text;
}

std::string FormatTextV(const char* format, std::va_list args) {
  std::va_list copy;
  va_copy(copy, args);
  char small[512];
  int needed = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (needed < 0) return std::string();
  if (static_cast<std::size_t>(needed) < sizeof small) return std::string(small, static_cast<std::size_t>(needed));
  std::string out(static_cast<std::size_t>(needed) + 1, '\0');
  std::vsnprintf(out.data(), out.size(), format, args);
  out.resize(static_cast<std::size_t>(needed));
  return out;
}

std::string FormatText(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = FormatTextV(format, args);
  va_end(args);
  return text;
}

void RaiseBookError(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = FormatTextV(format, args);
  va_end(args);
  throw BookError(ErrorKind::kFormat, std::move(text));
}

void RaiseBookError(ErrorKind kind, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = FormatTextV(format, args);
  va_end(args);
  throw BookError(kind, std::move(text));
}

}  // namespace tessaly
