#include "base/byte_buffer.h"

#include <cstring>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tessaly {

ByteBuffer::ByteBuffer(std::size_t capacity, std::size_t growBy)
    : data_(std::make_unique<std::uint8_t[]>(capacity)), capacity_(capacity), growBy_(growBy) {
  Reset();
}

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : data_(std::move(other.data_)),
      capacity_(std::exchange(other.capacity_, 0)),
      length_(std::exchange(other.length_, 0)),
      growBy_(other.growBy_) {}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
  if (this != &other) {
    data_ = std::move(other.data_);
    capacity_ = std::exchange(other.capacity_, 0);
    length_ = std::exchange(other.length_, 0);
    growBy_ = other.growBy_;
  }
  return *this;
}

void ByteBuffer::Reset() {
  if (capacity_ > 0) std::memset(data_.get(), 0, capacity_);
  length_ = 0;
}

void ByteBuffer::SetLength(std::int64_t n) {
  if (n < 0 || static_cast<std::uint64_t>(n) >= capacity_) return;
  length_ = static_cast<std::size_t>(n);
}

void ByteBuffer::Extend(std::size_t n) {
  constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();
  if (n > kMax - length_) throw std::length_error("ByteBuffer length would pass the size limit");
  const std::size_t needed = length_ + n;
  if (needed > capacity_) {
    if (growBy_ == 0) throw std::length_error("ByteBuffer is full and its growth step is 0");
    // Whole steps, in one allocation: the smallest capacity + k * growBy
    // that holds `needed`.
    const std::size_t steps = (needed - capacity_ + growBy_ - 1) / growBy_;
    if (steps > (kMax - capacity_) / growBy_) {
      throw std::length_error("ByteBuffer capacity would pass the size limit");
    }
    const std::size_t grown = capacity_ + steps * growBy_;
    auto fresh = std::make_unique<std::uint8_t[]>(grown);
    if (capacity_ > 0) std::memcpy(fresh.get(), data_.get(), capacity_);
    data_ = std::move(fresh);
    capacity_ = grown;
  }
  if (n > 0) std::memset(data_.get() + length_, 0, n);
  length_ = needed;
}

bool ByteBuffer::Overlaps(const void* bytes, std::size_t n) const {
  if (n == 0 || data_ == nullptr) return false;
  const auto* p = static_cast<const std::uint8_t*>(bytes);
  const std::uint8_t* base = data_.get();
  const std::less<const std::uint8_t*> before;
  return before(p, base + capacity_) && before(base, p + n);
}

void ByteBuffer::Append(const void* bytes, std::size_t n) {
  // Bytes taken from this buffer itself (a string of a list appended again,
  // perhaps from the part just cut off) would be moved by a growth or
  // zeroed by Extend: copy them out first.
  if (Overlaps(bytes, n)) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    const std::vector<std::uint8_t> copy(p, p + n);
    Append(copy.data(), n);
    return;
  }
  Extend(n);
  if (n > 0) std::memcpy(data_.get() + length_ - n, bytes, n);
}

void ByteBuffer::AppendString(std::string_view text) {
  const std::size_t end = text.find('\0');
  if (end != std::string_view::npos) text = text.substr(0, end);
  if (Overlaps(text.data(), text.size())) {
    const std::string copy(text);
    AppendString(copy);
    return;
  }
  if (text.size() == std::numeric_limits<std::size_t>::max()) {
    throw std::length_error("ByteBuffer length would pass the size limit");
  }
  // One Extend for the text and its NUL; Extend leaves the NUL zero.
  Extend(text.size() + 1);
  if (!text.empty()) std::memcpy(data_.get() + length_ - 1 - text.size(), text.data(), text.size());
}

std::string_view ByteBuffer::StringAt(std::size_t offset) const {
  if (offset >= length_) return {};
  const char* start = reinterpret_cast<const char*>(data_.get()) + offset;
  const std::size_t room = length_ - offset;
  const void* nul = std::memchr(start, 0, room);
  return {start, nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - start) : room};
}

}  // namespace tessaly
