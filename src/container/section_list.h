// The content sections of a book, named in ::DataSpace/NameList
// (little-endian, 16-bit units): 0 length of the object (not used) |
// 2 number of sections (signed) | 4 one record per section: name length L in
// UTF-16 units, then L + 1 units, the name and a zero unit.
// A section's name keeps the low byte of each unit, at most 255 of them; the
// section is compressed when its name is exactly "MSCompressed".
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "container/book_file.h"

namespace tessaly {

inline constexpr const char* kNameList = "::DataSpace/NameList";

// The sections of the list, in order, their data offsets not yet set.
// Raises BookError for a list that runs past its end.
std::vector<ContentSection> ParseSectionList(std::span<const std::uint8_t> list);

}  // namespace tessaly
