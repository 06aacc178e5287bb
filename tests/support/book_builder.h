// Builds whole books for tests: files in the uncompressed section 0 and in an
// "MSCompressed" section whose LZX stream is made of uncompressed blocks, with
// its NameList, ControlData, ResetTable and Content objects, so that every
// byte of the storage layer can be predicted and damaged on purpose.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/chm_builder.h"

namespace tessaly::test {

// An LZX stream that stores plain bytes in uncompressed blocks of blockSize
// bytes (the last may be shorter), with the E8 header bit at every window
// start. blockOffsets receives the stream offset of each block's header.
std::vector<std::uint8_t> LzxStoredStream(const std::vector<std::uint8_t>& plain, std::uint32_t windowSize,
                                          std::uint32_t blockSize, std::vector<std::uint32_t>* blockOffsets);

class BookBuilder {
 public:
  std::uint32_t windowField = 2;      // control data window size (x 32 KiB)
  std::uint32_t blockSize = 0x8000;   // reset table block size
  bool withCompressedSection = true;  // a NameList with "MSCompressed"
  bool withNameList = true;

  // Hooks that may damage the storage objects before the container is built.
  std::function<void(std::vector<std::uint8_t>&)> editControlData;
  std::function<void(std::vector<std::uint8_t>&)> editResetTable;
  std::function<void(std::vector<std::uint8_t>&)> editNameList;

  void AddFile(const std::string& name, const std::string& bytes, bool compressed = true);
  void AddFile(const std::string& name, const std::vector<std::uint8_t>& bytes, bool compressed = true);
  // An entry with arbitrary placement (for damaged directories).
  void AddRawEntry(const std::string& name, std::uint32_t section, std::uint32_t offset, std::uint32_t length);

  std::vector<std::uint8_t> Build() const;

  // The plain bytes of the compressed section, as Build() lays them out.
  const std::vector<std::uint8_t>& Plain() const { return plain_; }

 private:
  struct File {
    std::string name;
    std::vector<std::uint8_t> bytes;
    bool compressed;
  };
  std::vector<File> files_;
  std::vector<ChmEntry> raw_;
  mutable std::vector<std::uint8_t> plain_;
};

std::vector<std::uint8_t> Bytes(const std::string& text);

}  // namespace tessaly::test
