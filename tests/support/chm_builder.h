// Builds CHM container files byte by byte for tests: an ITSF header, header
// section 0, an ITSP directory header, PMGL listing chunks (and optionally a
// PMGI index chunk after them) and the bytes of content section 0.
//
// Layout of a built file (version 3): ITSF header at 0 (96 bytes), header
// section 0 at 96 (24 bytes), ITSP header at 120 (84 bytes), chunks from 204,
// content section 0 right after the chunks. Every field can be patched after
// Build() through the offsets below, so tests can make each one bad.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly::test {

struct ChmEntry {
  std::string name;
  std::uint32_t section = 0;
  std::uint32_t offset = 0;
  std::uint32_t length = 0;
};

class ChmBuilder {
 public:
  static constexpr std::size_t kSection0Offset = 96;
  static constexpr std::size_t kItspOffset = 120;
  static constexpr std::size_t kChunksOffset = 204;

  std::uint32_t version = 3;
  std::uint32_t chunkSize = 4096;
  bool addIndexChunk = false;         // a PMGI chunk after the listing chunks
  std::vector<ChmEntry> entries;      // in file order
  std::vector<std::uint8_t> content;  // content section 0

  // Adds an entry whose bytes are appended to content section 0.
  void AddFile(const std::string& name, const std::string& bytes);
  void AddEntry(const std::string& name, std::uint32_t section, std::uint32_t offset, std::uint32_t length);

  std::vector<std::uint8_t> Build() const;

  // Number of listing chunks of the last Build().
  std::size_t ListingChunks() const { return listingChunks_; }
  std::size_t ContentOffset() const;

 private:
  std::vector<std::vector<std::uint8_t>> PackChunks() const;
  mutable std::size_t listingChunks_ = 0;
};

void AppendEncInt(std::vector<std::uint8_t>& out, std::uint32_t value);
void Put16(std::vector<std::uint8_t>& out, std::size_t offset, std::uint16_t value);
void Put32(std::vector<std::uint8_t>& out, std::size_t offset, std::uint32_t value);
void Put64(std::vector<std::uint8_t>& out, std::size_t offset, std::uint64_t value);
void Append16(std::vector<std::uint8_t>& out, std::uint16_t value);
void Append32(std::vector<std::uint8_t>& out, std::uint32_t value);
void Append64(std::vector<std::uint8_t>& out, std::uint64_t value);

// A file in a per-process scratch folder, removed when the object goes away.
class TempFile {
 public:
  explicit TempFile(const std::vector<std::uint8_t>& bytes, const std::string& suffix = ".chm");
  explicit TempFile(const std::string& text, const std::string& suffix = ".chm");
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& Path() const { return path_; }
  void Rewrite(const std::vector<std::uint8_t>& bytes) const;

 private:
  std::string path_;
};

// A fresh empty folder under the scratch folder, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

std::vector<std::uint8_t> ReadFileBytes(const std::string& path);

// Path of a test book under tests/books, e.g. TestBook("basic").
std::string TestBook(const std::string& name);

// Every .chm file of the shared corpus, sorted; empty when it is absent.
std::vector<std::string> CorpusFiles();

}  // namespace tessaly::test
