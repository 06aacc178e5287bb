// SHA-256 (FIPS 180-4), written here so that the index cache needs no
// cryptography library: it names a book's cached index by its content.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace tessaly::textindex {

class Sha256 {
 public:
  Sha256();
  void Update(std::span<const std::uint8_t> data);
  // The digest; the object is spent afterwards.
  std::array<std::uint8_t, 32> Finish();

 private:
  void Block(const std::uint8_t* block);

  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> buffer_{};
  std::size_t buffered_ = 0;
  std::uint64_t length_ = 0;  // bytes
};

// 64 lower-case hexadecimal digits.
std::string HexDigest(std::span<const std::uint8_t> data);

}  // namespace tessaly::textindex
