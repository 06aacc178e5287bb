#include "app/temp_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "app/resources.h"

namespace tessaly::app {

namespace {

std::string WithoutTrailingSlashes(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return std::string(path);
}

std::string Normal(std::string_view path) {
  return WithoutTrailingSlashes(std::filesystem::path(std::string(path)).lexically_normal().string());
}

}  // namespace

FolderLock::~FolderLock() {
  if (fd_ >= 0) ::close(fd_);
}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

std::optional<FolderLock> LockFolder(std::string_view folder) {
  const std::string path = WithoutTrailingSlashes(folder);
  // Close-on-exec: a helper the reader starts never carries the lock on.
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return std::nullopt;
  }
  return FolderLock(fd);
}

std::string UsableTempRoot(std::string_view root) {
  const std::string trimmed = WithoutTrailingSlashes(root);
  struct stat info {};
  if (trimmed.empty() || ::stat(trimmed.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return "/";
  return trimmed;
}

std::optional<LockedFolder> MakeTempFolder(std::string_view root, std::size_t maxBytes) {
  std::string path = std::string(root);
  if (path.empty() || path.back() != '/') path += '/';
  path += kTempFolderName;
  path += "XXXXXX";
  if (path.size() > maxBytes || ::mkdtemp(path.data()) == nullptr) return std::nullopt;
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    ::rmdir(path.c_str());
    return std::nullopt;
  }
  // A fresh folder's lock is free; a file system without locks (some
  // network mounts) leaves it untaken, and then no later reader can take
  // it either, so the folder is never removed as abandoned.
  ::flock(fd, LOCK_EX | LOCK_NB);
  return LockedFolder{path, FolderLock(fd)};
}

bool IsReaderTempFolder(std::string_view folder, std::string_view root) {
  if (folder.empty() || folder.front() != '/' || root.empty()) return false;
  const std::filesystem::path path(Normal(folder));
  if (!path.filename().string().starts_with(kTempFolderName)) return false;
  if (Normal(path.parent_path().string()) != Normal(root)) return false;
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return false;
  return S_ISDIR(info.st_mode) && info.st_uid == ::getuid();
}

bool SameFolder(std::string_view a, std::string_view b) { return Normal(a) == Normal(b); }

bool RemoveFolder(std::string_view folder) {
  const std::string path = WithoutTrailingSlashes(folder);
  // Entries are reached through the folder's descriptor: a folder swapped for
  // a link meanwhile is not followed.
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) {
    if (DIR* dir = ::fdopendir(fd)) {
      std::vector<std::string> names;
      while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
      }
      for (const std::string& name : names) {
        struct stat info {};
        if (::fstatat(fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(info.st_mode)) continue;
        ::unlinkat(fd, name.c_str(), 0);
      }
      ::closedir(dir);  // closes fd
    } else {
      ::close(fd);
    }
  }
  ::rmdir(path.c_str());
  struct stat info {};
  return ::lstat(path.c_str(), &info) != 0;
}

bool RemoveAbandonedFolder(std::string_view folder, std::string_view root) {
  if (!IsReaderTempFolder(folder, root)) return false;
  const std::optional<FolderLock> lock = LockFolder(folder);
  if (!lock) return false;  // its reader still runs
  return RemoveFolder(folder);
}

}  // namespace tessaly::app
