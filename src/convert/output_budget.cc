#include "convert/output_budget.h"

#include <algorithm>

#include "base/book_error.h"
#include "book/book.h"

namespace tessaly::convert {

OutputBudget::OutputBudget(const Book& book) {
  const std::uint64_t distinct = std::min<std::uint64_t>(book.DistinctBytes(), UINT64_MAX / (2 * kFactor));
  limit_ = distinct * kFactor + kAllowance;
}

void OutputBudget::Spend(std::uint64_t bytes, std::string_view object) {
  spent_ += bytes;
  if (spent_ > limit_) {
    throw BookError(ErrorKind::kMemory,
                    FormatText("The output would pass %llu bytes, %llu times the book's content.",
                               static_cast<unsigned long long>(limit_), static_cast<unsigned long long>(kFactor)))
        .About(object);
  }
}

}  // namespace tessaly::convert
