#include "support/chm_builder.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <unistd.h>

namespace tessaly::test {

namespace fs = std::filesystem;

void Put16(std::vector<std::uint8_t>& out, std::size_t offset, std::uint16_t value) {
  for (int i = 0; i < 2; ++i) out.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
}
void Put32(std::vector<std::uint8_t>& out, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
}
void Put64(std::vector<std::uint8_t>& out, std::size_t offset, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) out.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
}
void Append16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.resize(out.size() + 2);
  Put16(out, out.size() - 2, value);
}
void Append32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  out.resize(out.size() + 4);
  Put32(out, out.size() - 4, value);
}
void Append64(std::vector<std::uint8_t>& out, std::uint64_t value) {
  out.resize(out.size() + 8);
  Put64(out, out.size() - 8, value);
}

void AppendEncInt(std::vector<std::uint8_t>& out, std::uint32_t value) {
  std::uint8_t groups[5];
  int n = 0;
  do {
    groups[n++] = value & 0x7F;
    value >>= 7;
  } while (value != 0);
  while (n > 1) out.push_back(static_cast<std::uint8_t>(groups[--n] | 0x80));
  out.push_back(groups[0]);
}

void ChmBuilder::AddFile(const std::string& name, const std::string& bytes) {
  AddEntry(name, 0, static_cast<std::uint32_t>(content.size()), static_cast<std::uint32_t>(bytes.size()));
  content.insert(content.end(), bytes.begin(), bytes.end());
}

void ChmBuilder::AddEntry(const std::string& name, std::uint32_t section, std::uint32_t offset,
                          std::uint32_t length) {
  entries.push_back({name, section, offset, length});
}

std::vector<std::vector<std::uint8_t>> ChmBuilder::PackChunks() const {
  std::vector<std::vector<std::uint8_t>> areas(1);
  for (const ChmEntry& e : entries) {
    std::vector<std::uint8_t> bytes;
    AppendEncInt(bytes, static_cast<std::uint32_t>(e.name.size()));
    bytes.insert(bytes.end(), e.name.begin(), e.name.end());
    AppendEncInt(bytes, e.section);
    AppendEncInt(bytes, e.offset);
    AppendEncInt(bytes, e.length);
    if (areas.back().size() + bytes.size() > chunkSize - 20) areas.emplace_back();
    if (bytes.size() > chunkSize - 20) throw std::runtime_error("entry larger than a chunk");
    areas.back().insert(areas.back().end(), bytes.begin(), bytes.end());
  }
  return areas;
}

std::size_t ChmBuilder::ContentOffset() const {
  std::size_t chunks = PackChunks().size() + (addIndexChunk ? 1 : 0);
  return kChunksOffset + chunks * chunkSize;
}

std::vector<std::uint8_t> ChmBuilder::Build() const {
  const auto areas = PackChunks();
  listingChunks_ = areas.size();
  const std::size_t chunkCount = areas.size() + (addIndexChunk ? 1 : 0);
  const std::size_t directoryLength = 84 + chunkCount * chunkSize;
  const std::size_t contentOffset = kChunksOffset + chunkCount * chunkSize;

  std::vector<std::uint8_t> out(kChunksOffset, 0);
  // ITSF header.
  std::copy_n("ITSF", 4, out.begin());
  Put32(out, 4, version);
  Put32(out, 8, 96);
  Put32(out, 12, 1);
  Put32(out, 16, 0x12345678);
  Put32(out, 20, 0x409);
  for (int i = 0; i < 16; ++i) out[24 + i] = static_cast<std::uint8_t>(0x10 + i);
  for (int i = 0; i < 16; ++i) out[40 + i] = static_cast<std::uint8_t>(0xA0 + i);
  Put64(out, 56, kSection0Offset);
  Put64(out, 64, 24);
  Put64(out, 72, kItspOffset);
  Put64(out, 80, directoryLength);
  Put64(out, 88, contentOffset);
  // Header section 0.
  Put32(out, kSection0Offset, 0x01FE);
  // File size is patched below.
  // ITSP header.
  std::copy_n("ITSP", 4, out.begin() + kItspOffset);
  Put32(out, kItspOffset + 4, 1);
  Put32(out, kItspOffset + 8, 84);
  Put32(out, kItspOffset + 12, 10);
  Put32(out, kItspOffset + 16, chunkSize);
  Put32(out, kItspOffset + 20, 2);
  Put32(out, kItspOffset + 24, addIndexChunk ? 2 : 1);
  Put32(out, kItspOffset + 28, addIndexChunk ? static_cast<std::uint32_t>(areas.size()) : 0xFFFFFFFF);
  Put32(out, kItspOffset + 32, 0);
  Put32(out, kItspOffset + 36, static_cast<std::uint32_t>(areas.size() - 1));
  Put32(out, kItspOffset + 40, 0xFFFFFFFF);
  Put32(out, kItspOffset + 44, static_cast<std::uint32_t>(chunkCount));
  Put32(out, kItspOffset + 48, 0x409);
  for (int i = 0; i < 16; ++i) out[kItspOffset + 52 + i] = static_cast<std::uint8_t>(0x6A + i);
  Put32(out, kItspOffset + 68, 84);
  for (int i = 72; i < 84; ++i) out[kItspOffset + i] = 0xFF;

  for (std::size_t i = 0; i < areas.size(); ++i) {
    std::vector<std::uint8_t> chunk(chunkSize, 0);
    std::copy_n("PMGL", 4, chunk.begin());
    Put32(chunk, 4, static_cast<std::uint32_t>(chunkSize - 20 - areas[i].size()));
    Put32(chunk, 12, i == 0 ? 0xFFFFFFFF : static_cast<std::uint32_t>(i - 1));
    Put32(chunk, 16, i + 1 == areas.size() ? 0xFFFFFFFF : static_cast<std::uint32_t>(i + 1));
    std::copy(areas[i].begin(), areas[i].end(), chunk.begin() + 20);
    out.insert(out.end(), chunk.begin(), chunk.end());
  }
  if (addIndexChunk) {
    std::vector<std::uint8_t> chunk(chunkSize, 0);
    std::copy_n("PMGI", 4, chunk.begin());
    Put32(chunk, 4, chunkSize - 8);
    out.insert(out.end(), chunk.begin(), chunk.end());
  }
  out.insert(out.end(), content.begin(), content.end());
  Put64(out, kSection0Offset + 8, out.size());
  return out;
}

namespace {

std::string ScratchRoot() {
  static const std::string root = [] {
    fs::path p = fs::temp_directory_path() / ("tessaly-tests-" + std::to_string(getpid()));
    fs::create_directories(p);
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(fs::temp_directory_path() / ("tessaly-tests-" + std::to_string(getpid())), ignored);
    });
    return p.string();
  }();
  return root;
}

std::string UniqueName(const std::string& suffix) {
  static std::atomic<int> counter{0};
  return ScratchRoot() + "/f" + std::to_string(counter++) + suffix;
}

void WriteBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

TempFile::TempFile(const std::vector<std::uint8_t>& bytes, const std::string& suffix)
    : path_(UniqueName(suffix)) {
  WriteBytes(path_, bytes.data(), bytes.size());
}

TempFile::TempFile(const std::string& text, const std::string& suffix) : path_(UniqueName(suffix)) {
  WriteBytes(path_, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

TempFile::~TempFile() {
  std::error_code ignored;
  fs::remove(path_, ignored);
}

void TempFile::Rewrite(const std::vector<std::uint8_t>& bytes) const { WriteBytes(path_, bytes.data(), bytes.size()); }

TempDir::TempDir() : path_(UniqueName("-dir")) { fs::create_directories(path_); }

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string TestBook(const std::string& name) { return std::string(TESSALY_TEST_BOOKS) + "/" + name + "/" + name + ".chm"; }

std::vector<std::string> CorpusFiles() {
  const char* env = std::getenv("TESSALY_CORPUS");
  fs::path dir = fs::path(env ? env : TESSALY_CORPUS) / "files";
  std::vector<std::string> files;
  std::error_code error;
  if (!fs::is_directory(dir, error)) return files;
  for (const auto& entry : fs::directory_iterator(dir, error))
    if (entry.path().extension() == ".chm") files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace tessaly::test
