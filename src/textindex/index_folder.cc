#include "textindex/text_index.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <vector>

namespace tessaly::textindex {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kIndexSuffix = ".sqlite";
constexpr std::string_view kTemporaryMark = ".tmp.";

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

// <64 hex digits>.sqlite at the start of name.
bool StartsWithIndexName(std::string_view name) {
  if (name.size() < 64 + kIndexSuffix.size()) return false;
  if (!std::all_of(name.begin(), name.begin() + 64, IsHex)) return false;
  return name.substr(64, kIndexSuffix.size()) == kIndexSuffix;
}

bool IsIndexName(std::string_view name) { return StartsWithIndexName(name) && name.size() == 64 + kIndexSuffix.size(); }

// Calls visit(name, info) for each entry of the folder, not following links.
void ForEachEntry(const fs::path& folder, const std::function<void(const std::string&, const struct stat&)>& visit) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  std::vector<std::string> names;
  while (const dirent* entry = readdir(dir)) names.emplace_back(entry->d_name);
  closedir(dir);
  for (const std::string& name : names) {
    struct stat info {};
    if (lstat((folder / name).c_str(), &info) == 0) visit(name, info);
  }
}

// A folder we may keep files in: a real folder of ours, private.
std::string CheckFolder(const fs::path& folder) {
  struct stat info {};
  if (lstat(folder.c_str(), &info) != 0) return "can't create " + folder.string() + ": " + std::strerror(errno);
  if (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode)) return folder.string() + " is not a folder";
  if (info.st_uid != geteuid()) return folder.string() + " belongs to another user";
  if ((info.st_mode & 0077) != 0 && chmod(folder.c_str(), 0700) != 0) return "can't protect " + folder.string();
  return {};
}

std::optional<fs::path> UserFolder(const char* xdgVariable, const char* underHome) {
  const char* xdg = std::getenv(xdgVariable);
  if (xdg != nullptr && xdg[0] == '/') return fs::path(xdg);
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return fs::path(home) / underHome;
  return std::nullopt;
}

// The index files of earlier versions, kept in the cache folder that the
// page process can write.
void RemoveOldCacheFiles() {
  const std::optional<fs::path> cache = UserFolder("XDG_CACHE_HOME", ".cache");
  if (!cache) return;
  const fs::path folder = *cache / "tessaly";
  struct stat info {};
  if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != geteuid()) return;
  ForEachEntry(folder, [&](const std::string& name, const struct stat&) {
    if (StartsWithIndexName(name)) unlink((folder / name).c_str());
  });
}

// The process that builds into a temporary file of this name; none for
// another name.
std::optional<pid_t> TemporaryOwner(std::string_view name) {
  if (!StartsWithIndexName(name)) return std::nullopt;
  name.remove_prefix(64 + kIndexSuffix.size());
  if (!name.starts_with(kTemporaryMark)) return std::nullopt;
  name.remove_prefix(kTemporaryMark.size());
  const std::size_t dot = name.find('.');
  if (dot == 0 || dot == std::string_view::npos || dot > 9 || dot + 1 == name.size()) return std::nullopt;
  pid_t pid = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (i == dot) continue;
    if (name[i] < '0' || name[i] > '9') return std::nullopt;
    if (i < dot) pid = pid * 10 + (name[i] - '0');
  }
  return pid;
}

}  // namespace

std::optional<fs::path> DefaultIndexFolder() {
  static std::once_flag tidied;
  std::call_once(tidied, RemoveOldCacheFiles);
  const std::optional<fs::path> data = UserFolder("XDG_DATA_HOME", ".local/share");
  if (!data) return std::nullopt;
  return *data / "tessaly" / "index";
}

std::string PrepareIndexFolder(const fs::path& folder) {
  struct stat info {};
  if (lstat(folder.c_str(), &info) != 0) {
    const fs::path parent = folder.parent_path();
    if (parent.filename() == "tessaly") {
      std::error_code error;
      fs::create_directories(parent.parent_path(), error);
      if (mkdir(parent.c_str(), 0700) != 0 && errno != EEXIST) {
        return "can't create " + parent.string() + ": " + std::strerror(errno);
      }
      if (std::string problem = CheckFolder(parent); !problem.empty()) return problem;
    } else {
      std::error_code error;
      fs::create_directories(parent, error);
    }
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      return "can't create " + folder.string() + ": " + std::strerror(errno);
    }
  }
  return CheckFolder(folder);
}

void RemoveAbandonedBuilds(const fs::path& folder) {
  ForEachEntry(folder, [&](const std::string& name, const struct stat&) {
    const std::optional<pid_t> owner = TemporaryOwner(name);
    if (!owner || *owner == getpid()) return;
    if (*owner > 0 && (kill(*owner, 0) == 0 || errno != ESRCH)) return;  // still building
    unlink((folder / name).c_str());
  });
}

void MarkUsed(const fs::path& index) { utimensat(AT_FDCWD, index.c_str(), nullptr, AT_SYMLINK_NOFOLLOW); }

void EvictPast(const fs::path& folder, std::uint64_t maxBytes, const fs::path& keep) {
  struct Kept {
    std::string name;
    struct timespec used;
    std::uint64_t bytes;
  };
  std::vector<Kept> kept;
  std::uint64_t total = 0;
  ForEachEntry(folder, [&](const std::string& name, const struct stat& info) {
    if (!IsIndexName(name) || !S_ISREG(info.st_mode)) return;
    kept.push_back({name, info.st_mtim, static_cast<std::uint64_t>(info.st_size)});
    total += static_cast<std::uint64_t>(info.st_size);
  });
  std::sort(kept.begin(), kept.end(), [](const Kept& a, const Kept& b) {
    return a.used.tv_sec != b.used.tv_sec ? a.used.tv_sec < b.used.tv_sec : a.used.tv_nsec < b.used.tv_nsec;
  });
  for (const Kept& file : kept) {
    if (total <= maxBytes) break;
    if (folder / file.name == keep) continue;
    if (unlink((folder / file.name).c_str()) == 0) total -= file.bytes;
  }
}

}  // namespace tessaly::textindex
