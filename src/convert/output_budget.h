// OutputBudget: how much a conversion may write, in proportion to the
// book's distinct content (Book::DistinctBytes), so that a book whose
// directory names the same stored bytes a million times (or overlapping
// ranges of them) cannot make a converter write without end.
#pragma once

#include <cstdint>
#include <string_view>

namespace tessaly {
class Book;
}

namespace tessaly::convert {

class OutputBudget {
 public:
  // Output may grow past the content by links made longer, markup made
  // explicit and the pages the converter adds: eight times the content and
  // a fixed allowance is far beyond what a real book needs.
  static constexpr std::uint64_t kFactor = 8;
  static constexpr std::uint64_t kAllowance = 16u << 20;

  explicit OutputBudget(const Book& book);

  // Counts bytes about to be written for `object`; raises BookError (kind
  // kMemory, about the object) once the total passes the limit.
  void Spend(std::uint64_t bytes, std::string_view object);

 private:
  std::uint64_t limit_;
  std::uint64_t spent_ = 0;
};

}  // namespace tessaly::convert
