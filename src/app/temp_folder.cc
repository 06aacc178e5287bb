#include "app/temp_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

std::string UsableTempRoot(std::string_view root) {
  const std::string trimmed = WithoutTrailingSlashes(root);
  struct stat info {};
  if (trimmed.empty() || ::stat(trimmed.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return "/";
  return trimmed;
}

std::optional<std::string> MakeTempFolder(std::string_view root, std::size_t maxBytes) {
  std::string path = std::string(root);
  if (path.empty() || path.back() != '/') path += '/';
  path += kTempFolderName;
  while (path.size() <= maxBytes) {
    if (::mkdir(path.c_str(), 0700) == 0) return path;
    if (errno != EEXIST) return std::nullopt;
    path += '_';
  }
  return std::nullopt;
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

}  // namespace tessaly::app
