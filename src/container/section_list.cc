#include "container/section_list.h"

#include <new>

#include "base/book_error.h"
#include "base/bytes.h"

namespace tessaly {

namespace {
constexpr std::size_t kMaxSectionName = 255;
}  // namespace

std::vector<ContentSection> ParseSectionList(std::span<const std::uint8_t> list) {
  auto damaged = []() { RaiseBookError("Content sections list runs past the end of %s.\n", kNameList); };
  ByteCursor in(list, 2);
  const auto signedCount = static_cast<std::int16_t>(in.U16());
  if (!in.Ok() || signedCount < 0) damaged();
  const auto count = static_cast<std::size_t>(signedCount);
  // Each record takes at least four bytes of the list: its length and a terminator.
  if (count > (list.size() - 4) / 4) damaged();
  std::vector<ContentSection> sections;
  try {
    sections.resize(count);
  } catch (const std::bad_alloc&) {
    RaiseBookError(ErrorKind::kMemory, "Can't allocate memory for content sections list.\n");
  }
  for (ContentSection& section : sections) {
    const std::uint16_t units = in.U16();
    const Bytes name = in.Span((static_cast<std::size_t>(units) + 1) * 2);
    if (!in.Ok()) damaged();
    // One byte per UTF-16 unit: its low byte, up to the terminating zero.
    for (std::size_t u = 0; u < name.size(); u += 2) {
      const char c = static_cast<char>(name[u]);
      if (c == '\0') break;
      if (section.name.size() < kMaxSectionName) section.name.push_back(c);
    }
    section.compressed = section.name == "MSCompressed";
  }
  return sections;
}

}  // namespace tessaly
