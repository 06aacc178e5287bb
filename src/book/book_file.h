// The file part of a book: its name, the headers as read, the directory and
// the content sections.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tessaly {

// One stored object: where its bytes lie in which content section.
struct DirectoryEntry {
  std::string name;  // as stored (UTF-8 in real books), any length
  std::uint32_t section = 0;
  std::uint32_t offset = 0;  // within the content section
  std::uint32_t length = 0;
};

// One content section named in ::DataSpace/NameList.
struct ContentSection {
  std::string name;             // low byte of each UTF-16 unit, at most 255 bytes
  std::uint32_t dataOffset = 0;  // of its ::DataSpace/Storage/<name>/Content object
  bool compressed = false;       // name is exactly "MSCompressed"
};

struct BookFile {
  static constexpr std::size_t kItsfHeaderSize = 88;
  static constexpr std::size_t kHeaderSection0Size = 24;
  static constexpr std::size_t kDirectoryHeaderSize = 84;

  std::string fileName;  // at most 255 bytes
  std::array<std::uint8_t, kItsfHeaderSize> itsfHeader{};
  std::uint64_t contentOffset = 0;  // file offset of content section 0
  std::array<std::uint8_t, kHeaderSection0Size> headerSection0{};
  std::array<std::uint8_t, kDirectoryHeaderSize> directoryHeader{};
  std::vector<DirectoryEntry> entries;   // in file order
  std::vector<ContentSection> sections;  // index = content section number
};

}  // namespace tessaly
