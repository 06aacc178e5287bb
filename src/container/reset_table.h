// The reset table of a compressed content section, and the reset intervals
// that reads decode.
//
// Reset table (little-endian): 4 number of blocks (32-bit) | 16 plain length
// | 24 compressed length | 32 plain bytes per block | 40 + 8i compressed
// offset of block i from the start of the section's Content object (all of
// these 64-bit). Block i holds plain bytes [i * block, (i + 1) * block).
//
// Every w-th block (w: the window-size field of the control data) is a reset
// point, where the stream is entered with a fresh decoder. Reset interval k
// runs from block k * w to the next reset point, the last one to the end of
// the section. A read decodes exactly the intervals its object overlaps, one
// decoder call each, so no read ever sets aside more plain bytes than one
// interval (w blocks) beyond what its object holds.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tessaly {

struct ResetTable {
  std::vector<std::uint64_t> offsets;  // compressed offset of each block
  std::uint64_t plainLength = 0;
  std::uint64_t compressedLength = 0;
  std::uint64_t blockSize = 0;
};

// Plain and compressed bytes of one reset interval, relative to the section.
struct ResetInterval {
  std::uint64_t plainStart = 0;
  std::uint64_t plainEnd = 0;
  std::uint64_t compressedStart = 0;
  std::uint64_t compressedEnd = 0;
};

// The intervals [first, last] that hold an object's bytes.
struct IntervalRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;
};

// Largest block the reader accepts: the largest LZX window.
constexpr std::uint64_t kMaxBlockSize = 1u << 21;
// No LZX symbol yields more than 257 plain bytes from less than one bit when
// its Huffman codes are complete; a table promising more than this many
// plain bytes per compressed byte describes no real stream.
constexpr std::uint64_t kMaxExpansion = 257 * 8;

// Checks and copies the table. Raises BookError naming the failed check.
ResetTable ParseResetTable(std::span<const std::uint8_t> data, const std::string& sectionName);

// The number of reset intervals of a table whose reset points are every
// windowField blocks (windowField > 0).
std::uint64_t IntervalCount(const ResetTable& table, std::uint32_t windowField);

// Interval k (below IntervalCount).
ResetInterval IntervalAt(const ResetTable& table, std::uint32_t windowField, std::uint64_t k);

// The intervals holding [offset, offset + length), length > 0. None when the
// table cannot place the object: it ends past the section's plain length, or
// its first interval starts past the table's blocks.
std::optional<IntervalRange> IntervalsFor(const ResetTable& table, std::uint32_t windowField, std::uint64_t offset,
                                          std::uint64_t length);

}  // namespace tessaly
