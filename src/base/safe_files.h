// Writing files inside a folder without ever following a link that stands
// in it.
//
// A folder is reached once, by the path its owner gives (that path may be a
// link the owner made), and everything below it through its descriptor:
// sub-folders are opened with O_NOFOLLOW, and a file is created with
// O_CREAT | O_EXCL | O_NOFOLLOW after whatever stood at its name (a file, a
// link, a dangling link) has been removed. A link planted in the folder is
// therefore replaced, never written through, and nothing is created at its
// target.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace tessaly {

// An open descriptor of a folder, closed with the object.
class FolderHandle {
 public:
  FolderHandle() = default;
  explicit FolderHandle(int fd) : fd_(fd) {}
  ~FolderHandle();
  FolderHandle(FolderHandle&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FolderHandle& operator=(FolderHandle&& other) noexcept;
  FolderHandle(const FolderHandle&) = delete;
  FolderHandle& operator=(const FolderHandle&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }

  // The folder at path (following a link there: the caller named it);
  // creates it, and the folders above it, when missing. Not open on failure
  // (errno tells why).
  static FolderHandle Open(const std::string& path, bool create);

  // The sub-folder `name` (one component, no '/'), created when missing; a
  // link there is refused (ELOOP or ENOTDIR). Not open on failure.
  FolderHandle Child(std::string_view name, bool create) const;

 private:
  int fd_ = -1;
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using OwnedFile = std::unique_ptr<std::FILE, FileCloser>;

// The folders below one root folder, each reached from its parent's
// descriptor (FolderHandle::Child: a link standing where a folder belongs is
// refused) and made when missing. The folder reached last is kept, since
// writers name the files of one folder together.
class FolderWalker {
 public:
  explicit FolderWalker(FolderHandle root) : root_(std::move(root)) {}

  // The folder that holds the file at `relative` (components separated by
  // '/'; a name alone is in the root); null (errno set) when it cannot be
  // had.
  const FolderHandle* FolderOf(std::string_view relative);

 private:
  FolderHandle root_;
  FolderHandle last_;
  std::string lastPath_;
};

// Creates the file `name` (one component) in the folder for writing,
// replacing what stood there; null on failure (errno tells why).
OwnedFile CreateFileIn(const FolderHandle& folder, std::string_view name);

// Creates the file `name` as CreateFileIn does and writes the bytes into it,
// without a stream in between; false on failure (errno tells why).
bool WriteFileIn(const FolderHandle& folder, std::string_view name, std::span<const std::uint8_t> bytes);

// Removes the file or link `name` from the folder; true when it is gone.
bool RemoveFileIn(const FolderHandle& folder, std::string_view name);

}  // namespace tessaly
