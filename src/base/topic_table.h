// The topic table: topic numbers mapped to titles and paths.
//
// #topics: 16-byte records; record n: 4 title offset in #STRINGS
//   (0xFFFFFFFF: no title) | 8 offset of the topic's #urltbl record.
// #urltbl record: 8 offset of the topic's #urlstr record.
// #urlstr record: 8 NUL-terminated in-book path.
// All integers 32-bit little-endian, read without alignment. Titles are
// read from #STRINGS. The table only looks at bytes that its owner keeps.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tessaly {

// A topic that holds a searched word, and how often it does.
struct SearchResult {
  std::uint32_t topic = 0;
  std::uint32_t locationCount = 0;
};

class TopicTable {
 public:
  TopicTable() = default;
  TopicTable(std::span<const std::uint8_t> topics, std::span<const std::uint8_t> urltbl,
             std::span<const std::uint8_t> urlstr, std::span<const std::uint8_t> strings)
      : topics_(topics), urltbl_(urltbl), urlstr_(urlstr), strings_(strings) {}

  std::int32_t Count() const { return static_cast<std::int32_t>(topics_.size() / 16); }
  // "Incorrect topic id" for a number out of range, "Untitled topic" for a
  // topic without a title; never empty-handed.
  std::string_view Title(std::int32_t topic) const;
  // None when the number or a stored offset lies out of range.
  std::optional<std::string_view> Path(std::int32_t topic) const;
  // The lowest topic whose stored path equals the canonical form of path
  // (without fragment) under CompareNoCase; -1 when none does.
  std::int32_t FindByPath(std::string_view path) const;

 private:
  std::span<const std::uint8_t> topics_, urltbl_, urlstr_, strings_;
};

}  // namespace tessaly
