#include "library/scan.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <utility>

#include "base/text.h"

namespace tessaly::library {

namespace {

bool IsBookName(std::string_view name) {
  return name.size() > 4 && EqualNoCase(name.substr(name.size() - 4), ".chm");
}

}  // namespace

bool StatFile(const std::string& path, FoundFile& out) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  out.path = path;
  out.size = static_cast<std::uint64_t>(info.st_size);
  out.mtime = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
  return true;
}

std::vector<FoundFile> FindBooks(const std::filesystem::path& folder) {
  std::vector<FoundFile> found;
  std::set<std::pair<dev_t, ino_t>> visited;
  std::vector<std::pair<std::string, int>> pending{{folder.string(), 0}};
  std::size_t entries = 0;
  while (!pending.empty() && found.size() < kMaxFiles && entries < kMaxEntries) {
    const auto [dir, depth] = pending.back();
    pending.pop_back();
    struct stat info {};
    if (stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) continue;
    if (!visited.insert({info.st_dev, info.st_ino}).second) continue;
    DIR* stream = opendir(dir.c_str());
    if (stream == nullptr) continue;
    while (const dirent* entry = readdir(stream)) {
      if (++entries > kMaxEntries || found.size() >= kMaxFiles) break;
      const std::string_view name = entry->d_name;
      if (name == "." || name == "..") continue;
      const std::string path = dir + (dir.ends_with('/') ? "" : "/") + std::string(name);
      if (IsBookName(name)) {
        FoundFile file;
        if (StatFile(path, file)) {
          found.push_back(std::move(file));
          continue;
        }
      }
      if (depth < kMaxDepth && (entry->d_type == DT_DIR || entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN)) {
        pending.emplace_back(path, depth + 1);
      }
    }
    closedir(stream);
  }
  std::sort(found.begin(), found.end(), [](const FoundFile& a, const FoundFile& b) { return a.path < b.path; });
  return found;
}

}  // namespace tessaly::library
