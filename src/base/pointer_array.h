// PointerArray: an array of owned elements that grows by a fixed step.
//
// Every owner picks its own start capacity and step (contents children 1/5,
// index targets and entries 1/1, search results 100/10), and growth is
// linear: a full array gains exactly `growBy` slots, never a multiple of its
// size. Slots at or above Count() are normally empty; Swap may move an
// element there (sorting works on the whole slot range), and such an element
// is still owned and released by Clear and by the destructor.
//
// Failures: a full array whose step is 0 (or negative) cannot take another
// element and Add throws std::length_error; an allocation failure while
// growing propagates as std::bad_alloc and leaves the array unchanged. A
// failed allocation at construction is not thrown: the array is left not
// Valid() with no slots, and the first Add allocates afresh.
//
// T may be incomplete where the array is declared (a tree node holding an
// array of its own children); it must be complete where the array is used.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>

namespace tessaly {

template <class T>
class PointerArray {
  using Slot = std::unique_ptr<T>;

 public:
  // A negative capacity counts as 0.
  PointerArray(std::int32_t capacity, std::int32_t growBy) : growBy_(growBy) {
    if (capacity < 0) capacity = 0;
    try {
      slots_ = std::make_unique<Slot[]>(static_cast<std::size_t>(capacity));
      capacity_ = capacity;
      valid_ = true;
    } catch (const std::bad_alloc&) {
      slots_.reset();
      capacity_ = 0;
      valid_ = false;
    }
  }

  PointerArray(const PointerArray&) = delete;
  PointerArray& operator=(const PointerArray&) = delete;

  // A moved-from array is empty, holds no slots and keeps its step.
  PointerArray(PointerArray&& other) noexcept
      : count_(std::exchange(other.count_, 0)),
        valid_(other.valid_),
        slots_(std::move(other.slots_)),
        growBy_(other.growBy_),
        capacity_(std::exchange(other.capacity_, 0)) {}

  PointerArray& operator=(PointerArray&& other) noexcept {
    if (this != &other) {
      PointerArray gone(std::move(*this));
      count_ = std::exchange(other.count_, 0);
      valid_ = other.valid_;
      slots_ = std::move(other.slots_);
      growBy_ = other.growBy_;
      capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
  }

  ~PointerArray() = default;

  // Stores the element (which may be null) in slot Count(), growing by
  // exactly growBy slots when the array is full.
  PointerArray& Add(std::unique_ptr<T> element) {
    if (count_ == capacity_) Grow();
    slots_[static_cast<std::size_t>(count_)] = std::move(element);
    ++count_;
    return *this;
  }

  // The element in slot `index`, or null for an empty slot or an index
  // outside 0 .. Count() - 1.
  T* Get(std::int32_t index) const {
    if (index < 0 || index >= count_) return nullptr;
    return slots_[static_cast<std::size_t>(index)].get();
  }

  // Exchanges two slots when both lie in 0 .. Capacity() - 1; otherwise
  // does nothing.
  void Swap(std::int32_t i, std::int32_t j) {
    if (i < 0 || j < 0 || i >= capacity_ || j >= capacity_) return;
    slots_[static_cast<std::size_t>(i)].swap(slots_[static_cast<std::size_t>(j)]);
  }

  // Releases every element and empties every slot; the capacity stays so
  // that a refill needs no allocation until it passes it.
  void Clear() {
    for (std::int32_t i = 0; i < capacity_; ++i) slots_[static_cast<std::size_t>(i)].reset();
    count_ = 0;
  }

  // Stable sort of slots 0 .. Count() - 1 by `less(const T&, const T&)`;
  // empty slots go last, in their order.
  template <class Less>
  void StableSort(Less less) {
    Slot* first = slots_.get();
    if (first == nullptr) return;
    std::stable_sort(first, first + count_, [&less](const Slot& a, const Slot& b) {
      if (!a || !b) return a && !b;
      return static_cast<bool>(less(static_cast<const T&>(*a), static_cast<const T&>(*b)));
    });
  }

  std::int32_t Count() const { return count_; }
  std::int32_t Capacity() const { return capacity_; }
  std::int32_t GrowBy() const { return growBy_; }
  bool Valid() const { return valid_; }
  bool Empty() const { return count_ == 0; }

  // Iteration over the used slots, yielding T* (null for an empty slot).
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = T*;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = T*;

    Iterator() = default;
    explicit Iterator(const Slot* slot) : slot_(slot) {}
    T* operator*() const { return slot_->get(); }
    Iterator& operator++() {
      ++slot_;
      return *this;
    }
    Iterator operator++(int) {
      Iterator old = *this;
      ++slot_;
      return old;
    }
    bool operator==(const Iterator& other) const { return slot_ == other.slot_; }

   private:
    const Slot* slot_ = nullptr;
  };

  Iterator begin() const { return Iterator(slots_.get()); }
  Iterator end() const { return Iterator(slots_ ? slots_.get() + count_ : nullptr); }

 private:
  void Grow() {
    if (growBy_ <= 0) throw std::length_error("PointerArray is full and its growth step is 0");
    if (capacity_ > std::numeric_limits<std::int32_t>::max() - growBy_) {
      throw std::length_error("PointerArray capacity would pass the 32-bit limit");
    }
    const std::int32_t grown = capacity_ + growBy_;
    auto fresh = std::make_unique<Slot[]>(static_cast<std::size_t>(grown));
    for (std::int32_t i = 0; i < capacity_; ++i) {
      fresh[static_cast<std::size_t>(i)] = std::move(slots_[static_cast<std::size_t>(i)]);
    }
    slots_ = std::move(fresh);
    capacity_ = grown;
  }

  std::int32_t count_ = 0;
  bool valid_ = false;
  std::unique_ptr<Slot[]> slots_;
  std::int32_t growBy_ = 0;
  std::int32_t capacity_ = 0;
};

}  // namespace tessaly
