#include "container/chm_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

namespace tessaly {

bool ChmFile::Open(const std::string& path, int& error) {
  Close();
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (descriptor < 0) {
    error = errno;
    return false;
  }
  struct stat status {};
  int refusal = 0;
  if (::fstat(descriptor, &status) != 0) {
    refusal = errno;
  } else if (S_ISDIR(status.st_mode)) {
    refusal = EISDIR;
  } else if (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)) {
    refusal = ESPIPE;  // nothing to read at an offset, as a book is read
  } else if (!S_ISREG(status.st_mode)) {
    refusal = EINVAL;
  }
  if (refusal != 0) {
    ::close(descriptor);
    error = refusal;
    return false;
  }
  descriptor_ = descriptor;
  size_ = static_cast<std::uint64_t>(status.st_size);
  return true;
}

void ChmFile::Close() {
  if (descriptor_ >= 0) ::close(descriptor_);
  descriptor_ = -1;
  size_ = 0;
}

bool ChmFile::Reachable(std::uint64_t offset) {
  return offset <= static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
}

bool ChmFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const {
  if (descriptor_ < 0) return false;
  auto* out = static_cast<unsigned char*>(buffer);
  while (size > 0) {
    if (!Reachable(offset)) return false;
    const ssize_t got = ::pread(descriptor_, out, size, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    out += got;
    size -= static_cast<std::size_t>(got);
    offset += static_cast<std::uint64_t>(got);
  }
  return true;
}

}  // namespace tessaly
