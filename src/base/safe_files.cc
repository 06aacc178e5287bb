#include "base/safe_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace tessaly {

namespace {

bool IsOneComponent(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

}  // namespace

FolderHandle::~FolderHandle() {
  if (fd_ >= 0) ::close(fd_);
}

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

FolderHandle FolderHandle::Open(const std::string& path, bool create) {
  if (create) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
  }
  return FolderHandle(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

FolderHandle FolderHandle::Child(std::string_view name, bool create) const {
  if (!IsOneComponent(name)) {
    errno = EINVAL;
    return FolderHandle();
  }
  const std::string component(name);
  if (create && ::mkdirat(fd_, component.c_str(), 0755) != 0 && errno != EEXIST) return FolderHandle();
  return FolderHandle(::openat(fd_, component.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

OwnedFile CreateFileIn(const FolderHandle& folder, std::string_view name) {
  if (!IsOneComponent(name)) {
    errno = EINVAL;
    return nullptr;
  }
  const std::string component(name);
  // What stands there goes first: a link is removed, not followed.
  if (::unlinkat(folder.Fd(), component.c_str(), 0) != 0 && errno != ENOENT) return nullptr;
  const int fd =
      ::openat(folder.Fd(), component.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) ::close(fd);
  return OwnedFile(file);
}

bool RemoveFileIn(const FolderHandle& folder, std::string_view name) {
  if (!IsOneComponent(name)) return false;
  const std::string component(name);
  return ::unlinkat(folder.Fd(), component.c_str(), 0) == 0 || errno == ENOENT;
}

}  // namespace tessaly
