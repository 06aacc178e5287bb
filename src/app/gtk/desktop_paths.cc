#include "app/gtk/desktop_paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace tessaly::app::gtk {

namespace {

bool IsFolder(const char* path) {
  struct stat info {};
  return path != nullptr && path[0] == '/' && stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool IsFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The folder part of a path, without the '/' that ends it.
std::string Parent(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

std::optional<std::string> CacheFolder() {
  std::string cache;
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && xdg[0] == '/') {
    cache = WithoutTrailingSlash(xdg);
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
    cache = WithoutTrailingSlash(home) + "/.cache";
  } else {
    return std::nullopt;
  }
  // The cache folder itself is the user's; only ours is made private.
  if (mkdir(cache.c_str(), 0700) != 0 && errno != EEXIST) return std::nullopt;
  return PrivateFolder(cache + "/tessaly");
}

std::optional<std::string> PrivateFolder(const std::string& path) {
  if (path.empty() || path[0] != '/') return std::nullopt;
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return std::nullopt;
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != geteuid())
    return std::nullopt;
  if ((info.st_mode & 077) != 0 && chmod(path.c_str(), 0700) != 0) return std::nullopt;
  return path;
}

std::optional<std::string> ChannelFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (IsFolder(runtime)) return PrivateFolder(WithoutTrailingSlash(runtime) + "/tessaly");
  const std::optional<std::string> cache = CacheFolder();
  if (!cache) return std::nullopt;
  return PrivateFolder(*cache + "/channel");
}

std::optional<std::string> StoreFile() {
  std::string config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    config = WithoutTrailingSlash(xdg);
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
    config = WithoutTrailingSlash(home) + "/.config";
  } else {
    return std::nullopt;
  }
  // The config folder itself is the user's; only ours is made private.
  if (mkdir(config.c_str(), 0700) != 0 && errno != EEXIST) return std::nullopt;
  const std::optional<std::string> folder = PrivateFolder(config + "/tessaly");
  if (!folder) return std::nullopt;
  return *folder + "/store";
}

std::string ExecutableFolder() {
  std::string buffer(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return {};
  buffer.resize(static_cast<std::size_t>(length));
  return Parent(buffer);
}

std::string InstalledHelpBook() {
  const std::string folder = ExecutableFolder();
  const std::string installed = folder.empty() ? std::string() : Parent(folder) + "/share/tessaly/help.chm";
  if (!installed.empty() && IsFile(installed)) return installed;
  // A build that is run where it was made reads the manual from its sources.
  const std::string inTree = TESSALY_SOURCE_DIR "/help/tessaly.chm";
  if (IsFile(inTree)) return inTree;
  return installed;
}

bool IsReadableFile(const std::string& path) { return IsFile(path) && access(path.c_str(), R_OK) == 0; }

}  // namespace tessaly::app::gtk
