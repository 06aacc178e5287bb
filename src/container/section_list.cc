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
  std::uint16_t rawCount = 0;
  if (!ReadLE16At(list, 2, rawCount) || static_cast<std::int16_t>(rawCount) < 0) damaged();
  const std::size_t count = static_cast<std::int16_t>(rawCount);
  // Each record takes at least four bytes of the list: its length and a terminator.
  if (count > (list.size() - 4) / 4) damaged();
  std::vector<ContentSection> sections;
  try {
    sections.resize(count);
  } catch (const std::bad_alloc&) {
    RaiseBookError(ErrorKind::kMemory, "Can't allocate memory for content sections list.\n");
  }
  std::size_t pos = 4;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint16_t units = 0;
    if (!ReadLE16At(list, pos, units)) damaged();
    pos += 2;
    const std::size_t bytes = (static_cast<std::size_t>(units) + 1) * 2;
    if (bytes > list.size() - pos) damaged();
    ContentSection& section = sections[i];
    // One byte per UTF-16 unit: its low byte, up to the terminating zero.
    for (std::size_t u = 0; u <= units; ++u) {
      char c = static_cast<char>(list[pos + 2 * u]);
      if (c == '\0') break;
      if (section.name.size() < kMaxSectionName) section.name.push_back(c);
    }
    pos += bytes;
    section.compressed = section.name == "MSCompressed";
  }
  return sections;
}

}  // namespace tessaly
