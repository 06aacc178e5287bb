// ZipWriter: a ZIP archive written front to back into one file, as EPUB's
// container wants it: entries stored or deflated (zlib), CRC-32 and sizes in
// each local header, the central directory at the end. No ZIP64: an archive
// that would need it (4 GiB, 65535 entries) is refused.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/safe_files.h"

namespace tessaly::convert {

class ZipWriter {
 public:
  // Writes into `file` (owned), whose name `path` is used in errors.
  ZipWriter(OwnedFile file, std::string path);

  // An entry ready to be written: its bytes checked and (when that makes
  // them smaller) deflated. Packing reads nothing of the writer's, so
  // several threads may pack at once; raises BookError (kMemory).
  struct Packed {
    std::string name;
    std::uint32_t crc = 0;
    std::uint32_t size = 0;
    std::uint16_t method = 0;
    std::string data;  // as stored
  };
  static Packed Pack(std::string_view name, std::string_view bytes, bool compress = true);

  // Adds an entry; raises BookError (kIo) when the file cannot be written or
  // the archive would need ZIP64.
  void Add(const Packed& entry);
  void Add(std::string_view name, std::string_view bytes, bool compress = true) { Add(Pack(name, bytes, compress)); }

  // Writes the central directory and closes the file; raises BookError.
  void Finish();

 private:
  struct Entry {
    std::string name;
    std::uint32_t crc;
    std::uint32_t compressedSize;
    std::uint32_t size;
    std::uint16_t method;
    std::uint32_t offset;
  };
  void Put(std::string_view bytes);

  OwnedFile file_;
  std::string path_;
  std::uint64_t written_ = 0;
  std::vector<Entry> entries_;
};

}  // namespace tessaly::convert
