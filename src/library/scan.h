// Finding the books in a folder: every regular file named *.chm (any letter
// case) below it, at most kMaxDepth folders down and at most kMaxFiles
// books. Links are followed, but a folder already visited (by device and
// inode) is never entered again, so a link back up cannot loop; a folder
// that cannot be read is passed over.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tessaly::library {

constexpr int kMaxDepth = 32;
constexpr std::size_t kMaxFiles = 100'000;
constexpr std::size_t kMaxEntries = 2'000'000;  // folder entries looked at in one scan

struct FoundFile {
  std::string path;           // as reached from the folder given
  std::uint64_t size = 0;
  std::int64_t mtime = 0;     // nanoseconds since the epoch
};

// The file's size and modification time (following links); false when it
// is no regular file or cannot be seen.
bool StatFile(const std::string& path, FoundFile& out);

// The books below folder, in path order.
std::vector<FoundFile> FindBooks(const std::filesystem::path& folder);

}  // namespace tessaly::library
