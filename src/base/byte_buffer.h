// ByteBuffer: a zero-filled byte buffer that grows by a fixed step.
//
// It carries rewritten page text and lists of strings. A string list is a
// run of NUL-terminated texts back to back, built with AppendString; the
// tail of a list is replaced by cutting back with SetLength to where the
// replaced string began and appending again.
//
// Growth is linear: when an Extend does not fit, the capacity gains whole
// `growBy` steps in one allocation until it does (500 bytes with step 100,
// extended from 450 by 120, becomes 600). The capacity never shrinks.
// Reset zeroes the whole capacity and Extend zeroes the bytes it adds to the
// used part; no other byte past Length() is promised to be zero.
//
// Failures: a buffer with step 0 that must grow, or a size that would pass
// the range of std::size_t, throws std::length_error; an allocation failure
// propagates as std::bad_alloc. Either leaves the buffer unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace tessaly {

class ByteBuffer {
 public:
  ByteBuffer(std::size_t capacity, std::size_t growBy);

  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;
  // A moved-from buffer has no bytes and capacity 0; it keeps its step.
  ByteBuffer(ByteBuffer&& other) noexcept;
  ByteBuffer& operator=(ByteBuffer&& other) noexcept;
  ~ByteBuffer() = default;

  std::uint8_t* Data() { return data_.get(); }
  const std::uint8_t* Data() const { return data_.get(); }
  std::size_t Length() const { return length_; }
  std::size_t Capacity() const { return capacity_; }
  std::size_t GrowBy() const { return growBy_; }

  // The used part, bytes 0 .. Length() - 1.
  std::span<const std::uint8_t> Bytes() const { return {data_.get(), length_}; }
  std::string_view View() const { return {reinterpret_cast<const char*>(data_.get()), length_}; }

  // Zeroes every byte of the capacity; the length becomes 0.
  void Reset();

  // Cuts the used part back (or forward over bytes already there) when
  // 0 <= n < Capacity(); otherwise nothing changes. Neither zeroes nor
  // allocates.
  void SetLength(std::int64_t n);

  // Adds n zero bytes to the used part, growing first if they do not fit.
  void Extend(std::size_t n);

  // Extend(n), then copies the n bytes into the new part.
  void Append(const void* bytes, std::size_t n);
  void Append(std::string_view bytes) { Append(bytes.data(), bytes.size()); }

  // Appends the text with a terminating NUL, so the length grows by its
  // size + 1. The text ends at its first NUL, if it holds one.
  void AppendString(std::string_view text);

  // The NUL-terminated string starting at `offset` in the used part (without
  // its NUL); it stops at Length() when no NUL follows. Empty when `offset`
  // is not below Length().
  std::string_view StringAt(std::size_t offset) const;

 private:
  // True when the n bytes lie (partly) inside this buffer's allocation.
  bool Overlaps(const void* bytes, std::size_t n) const;

  std::unique_ptr<std::uint8_t[]> data_;
  std::size_t capacity_ = 0;
  std::size_t length_ = 0;
  std::size_t growBy_ = 0;
};

}  // namespace tessaly
