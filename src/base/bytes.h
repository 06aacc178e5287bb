// Little-endian integers in book bytes, and a bounded cursor over a span.
//
// The Load* functions are unchecked: callers have proved that the bytes are
// there. ByteCursor reads the fields of a fixed layout one after another,
// each checked against the end of its span.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace tessaly {

using Bytes = std::span<const std::uint8_t>;

// Unchecked: the caller guarantees 2, 4 or 8 readable bytes at p.
inline std::uint16_t LoadLE16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t LoadLE32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t LoadLE64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(LoadLE32(p)) | (static_cast<std::uint64_t>(LoadLE32(p + 4)) << 32);
}

// Checked reads at an offset: false when the value does not lie inside the span.
inline bool ReadLE16At(Bytes data, std::size_t offset, std::uint16_t& value) {
  if (offset > data.size() || data.size() - offset < 2) return false;
  value = LoadLE16(data.data() + offset);
  return true;
}
inline bool ReadLE32At(Bytes data, std::size_t offset, std::uint32_t& value) {
  if (offset > data.size() || data.size() - offset < 4) return false;
  value = LoadLE32(data.data() + offset);
  return true;
}

// Reads little-endian fields in order from a span. A field that does not lie
// wholly inside the span reads as 0 and fails the cursor for good, so that a
// whole record is read into named fields first and Ok() asked once after.
class ByteCursor {
 public:
  explicit ByteCursor(Bytes data, std::size_t at = 0) : data_(data), at_(at), ok_(at <= data.size()) {}

  std::uint8_t U8() { return Take(1) ? data_[at_ - 1] : 0; }
  std::uint16_t U16() { return Take(2) ? LoadLE16(data_.data() + at_ - 2) : 0; }
  std::uint32_t U32() { return Take(4) ? LoadLE32(data_.data() + at_ - 4) : 0; }
  std::int32_t S32() { return static_cast<std::int32_t>(U32()); }
  std::uint64_t U64() { return Take(8) ? LoadLE64(data_.data() + at_ - 8) : 0; }
  // The next n bytes; empty when they are not all there.
  Bytes Span(std::size_t n) { return Take(n) ? data_.subspan(at_ - n, n) : Bytes(); }
  void Skip(std::size_t n) { Take(n); }

  bool Ok() const { return ok_; }
  std::size_t Position() const { return at_; }

 private:
  bool Take(std::size_t n) {
    if (!ok_ || data_.size() - at_ < n) return ok_ = false;
    at_ += n;
    return true;
  }

  Bytes data_;
  std::size_t at_;
  bool ok_;
};

// The NUL-terminated string starting at offset, cut at the end of the span
// when it has no terminator there; empty when offset lies outside.
inline std::string_view CStringAt(Bytes data, std::size_t offset) {
  if (offset >= data.size()) return {};
  const char* start = reinterpret_cast<const char*>(data.data() + offset);
  std::size_t limit = data.size() - offset;
  const void* nul = std::memchr(start, 0, limit);
  return {start, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - start) : limit};
}

}  // namespace tessaly
