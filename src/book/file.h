// A CHM file opened for binary reading, closed when the object goes away.
//
// The reader never keeps a book's file open between reads: each read opens
// it, seeks, reads and lets the File close it on every path, errors included.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace tessaly {

class File {
 public:
  File() = default;
  ~File() { Close(); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return stream_ != nullptr; }
  // The descriptor number, as the diagnostic dump shows it; -1 when closed.
  int Handle() const;
  bool Seek(std::uint64_t offset);
  // Reads up to size bytes; returns how many were read.
  std::size_t Read(void* buffer, std::size_t size);
  // Reads exactly size bytes at offset, or returns false.
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size);
  std::optional<std::uint64_t> Size();

 private:
  std::FILE* stream_ = nullptr;
};

}  // namespace tessaly
