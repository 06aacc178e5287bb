// The reset table of a compressed content section, and the block range a
// request decodes.
//
// Reset table (little-endian): 4 number of blocks | 16 plain length (low 32
// bits) | 24 compressed length | 32 plain bytes per block | 40 + 8i compressed
// offset of block i from the start of the section's Content object.
// Block i holds plain bytes [i * block, (i + 1) * block).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tessaly {

struct ResetTable {
  std::vector<std::uint32_t> offsets;  // compressed offset of each block
  std::uint32_t plainLength = 0;
  std::uint32_t compressedLength = 0;
  std::uint32_t blockSize = 0;
};

// Compressed and plain bytes of one decoder call, from a reset point.
struct BlockRange {
  std::uint64_t plainStart = 0;
  std::uint64_t plainEnd = 0;
  std::uint64_t compressedStart = 0;
  std::uint64_t compressedEnd = 0;
};

// Largest block the reader accepts: the largest LZX window.
constexpr std::uint32_t kMaxBlockSize = 1u << 21;
// No LZX symbol yields more than 257 plain bytes from less than one bit when
// its Huffman codes are complete; a table promising more than this many
// plain bytes per compressed byte describes no real stream.
constexpr std::uint64_t kMaxExpansion = 257 * 8;

// Checks and copies the table. Raises BookError naming the failed check.
ResetTable ParseResetTable(std::span<const std::uint8_t> data, const std::string& sectionName);

// The range that covers [offset, offset + length): from the reset point at or
// before the first block, rounded down to a multiple of windowField blocks,
// through the block holding the byte after the object (or to the end of the
// section). None when the table cannot place the object.
std::optional<BlockRange> TryRangeFor(const ResetTable& table, std::uint32_t windowField, std::uint64_t offset,
                                      std::uint64_t length);

// The same; raises BookError naming the object when it cannot be placed.
BlockRange RangeFor(const ResetTable& table, std::uint32_t windowField, std::uint64_t offset, std::uint64_t length,
                    const std::string& objectName);

}  // namespace tessaly
