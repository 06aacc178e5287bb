#include "convert/output_budget.h"

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include "base/book_error.h"
#include "book/book.h"

namespace tessaly::convert {

std::uint64_t DistinctContentBytes(const Book& book) {
  std::map<std::uint64_t, std::vector<std::pair<std::uint64_t, std::uint64_t>>> ranges;  // section -> [start, end)
  for (const DirectoryEntry& entry : book.File().entries) {
    if (entry.length == 0) continue;
    const std::uint64_t end = entry.offset + std::min(entry.length, UINT64_MAX - entry.offset);
    ranges[entry.section].emplace_back(entry.offset, end);
  }
  std::uint64_t total = 0;
  for (auto& [section, list] : ranges) {
    std::sort(list.begin(), list.end());
    std::uint64_t coveredTo = 0;
    for (const auto& [start, end] : list) {
      const std::uint64_t from = std::max(start, coveredTo);
      if (end > from) total += end - from;
      coveredTo = std::max(coveredTo, end);
    }
  }
  return total;
}

OutputBudget::OutputBudget(const Book& book) {
  const std::uint64_t distinct = std::min<std::uint64_t>(DistinctContentBytes(book), UINT64_MAX / (2 * kFactor));
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
