#include "base/safe_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

const FolderHandle* FolderWalker::FolderOf(std::string_view relative) {
  const std::size_t slash = relative.rfind('/');
  if (slash == std::string_view::npos) return &root_;
  const std::string_view folder = relative.substr(0, slash);
  if (last_.IsOpen() && folder == lastPath_) return &last_;
  last_ = FolderHandle();
  lastPath_.clear();
  const FolderHandle* parent = &root_;
  for (std::size_t start = 0; start <= folder.size();) {
    const std::size_t end = std::min(folder.find('/', start), folder.size());
    FolderHandle child = parent->Child(folder.substr(start, end - start), true);
    if (!child.IsOpen()) {
      const int error = errno;
      last_ = FolderHandle();
      errno = error;
      return nullptr;
    }
    last_ = std::move(child);
    parent = &last_;
    start = end + 1;
  }
  lastPath_ = std::string(folder);
  return &last_;
}

namespace {

// A new file's descriptor, or -1 (errno set).
int CreateNew(const FolderHandle& folder, std::string_view name) {
  if (!IsOneComponent(name)) {
    errno = EINVAL;
    return -1;
  }
  const std::string component(name);
  constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int fd = ::openat(folder.Fd(), component.c_str(), kFlags, 0644);
  // What stands there goes first: a link is removed, not followed.
  if (fd < 0 && errno == EEXIST && ::unlinkat(folder.Fd(), component.c_str(), 0) == 0)
    fd = ::openat(folder.Fd(), component.c_str(), kFlags, 0644);
  return fd;
}

}  // namespace

OwnedFile CreateFileIn(const FolderHandle& folder, std::string_view name) {
  const int fd = CreateNew(folder, name);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) ::close(fd);
  return OwnedFile(file);
}

bool WriteFileIn(const FolderHandle& folder, std::string_view name, std::span<const std::uint8_t> bytes) {
  const int fd = CreateNew(folder, name);
  if (fd < 0) return false;
  int failure = 0;
  for (std::size_t done = 0; failure == 0 && done < bytes.size();) {
    const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote > 0) {
      done += static_cast<std::size_t>(wrote);
    } else if (wrote == 0) {
      failure = EIO;
    } else if (errno != EINTR) {
      failure = errno;
    }
  }
  if (::close(fd) != 0 && failure == 0) failure = errno;
  errno = failure;
  return failure == 0;
}

bool RemoveFileIn(const FolderHandle& folder, std::string_view name) {
  if (!IsOneComponent(name)) return false;
  const std::string component(name);
  return ::unlinkat(folder.Fd(), component.c_str(), 0) == 0 || errno == ENOENT;
}

}  // namespace tessaly
