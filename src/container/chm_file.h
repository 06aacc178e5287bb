// The book's file, held open for the container's whole life and read with
// positioned reads (pread): any number of threads read at once, and no read
// moves a file position that another relies on.
//
// Only a regular file is taken: the path is opened without blocking and
// checked with fstat, so that a FIFO or a device named x.chm cannot hang the
// reader. The size is taken at open; a book is not expected to change while
// it is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tessaly {

class ChmFile {
 public:
  ChmFile() = default;
  ~ChmFile() { Close(); }
  ChmFile(const ChmFile&) = delete;
  ChmFile& operator=(const ChmFile&) = delete;

  // Opens path for reading. False with the system's errno when it cannot be
  // opened, or when it is not a regular file (EISDIR for a directory,
  // EINVAL for anything else).
  bool Open(const std::string& path, int& error);
  void Close();
  bool IsOpen() const { return descriptor_ >= 0; }
  // The descriptor number, as the diagnostic dump shows it; -1 when closed.
  int Handle() const { return descriptor_; }
  std::uint64_t Size() const { return size_; }

  // True when a read may start at offset (the system takes offsets up to the
  // largest off_t).
  static bool Reachable(std::uint64_t offset);
  // Reads exactly size bytes at offset, or returns false (the file ends
  // before them, or the system fails). Safe from several threads.
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size) const;

 private:
  int descriptor_ = -1;
  std::uint64_t size_ = 0;
};

}  // namespace tessaly
