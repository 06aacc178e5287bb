#include "book/file.h"

#include <climits>
#include <filesystem>
#include <system_error>

namespace tessaly {

bool File::Open(const std::string& path) {
  Close();
  // A directory opens fine with fopen on Linux and fails only at the first
  // read; refuse it here so that it reports as a file that cannot be opened.
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) return false;
  stream_ = std::fopen(path.c_str(), "rb");
  return stream_ != nullptr;
}

void File::Close() {
  if (stream_ != nullptr) {
    std::fclose(stream_);
    stream_ = nullptr;
  }
}

int File::Handle() const { return stream_ ? fileno(stream_) : -1; }

bool File::Seek(std::uint64_t offset) {
  static_assert(sizeof(long) == 8, "offsets of large books need a 64-bit long");
  if (stream_ == nullptr || offset > static_cast<std::uint64_t>(LONG_MAX)) return false;
  return std::fseek(stream_, static_cast<long>(offset), SEEK_SET) == 0;
}

std::size_t File::Read(void* buffer, std::size_t size) {
  if (stream_ == nullptr || size == 0) return 0;
  return std::fread(buffer, 1, size, stream_);
}

bool File::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) {
  return Seek(offset) && Read(buffer, size) == size;
}

std::optional<std::uint64_t> File::Size() {
  if (stream_ == nullptr) return std::nullopt;
  long here = std::ftell(stream_);
  if (here < 0 || std::fseek(stream_, 0, SEEK_END) != 0) return std::nullopt;
  long end = std::ftell(stream_);
  if (std::fseek(stream_, here, SEEK_SET) != 0 || end < 0) return std::nullopt;
  return static_cast<std::uint64_t>(end);
}

}  // namespace tessaly
