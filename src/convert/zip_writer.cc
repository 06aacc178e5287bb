#include "convert/zip_writer.h"

#include <zlib.h>

#include <cerrno>
#include <climits>

#include "base/book_error.h"

namespace tessaly::convert {

namespace {

constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;
constexpr std::uint16_t kUtf8Names = 1 << 11;
// 1980-01-01 00:00: archives of the same book are the same bytes.
constexpr std::uint16_t kDosDate = (0 << 9) | (1 << 5) | 1;

void Put16(std::string& out, std::uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// Raw deflate (no zlib header), as ZIP stores it; the fastest level, which
// leaves a book's pages a fifth larger than the default level in half the
// time.
std::string Deflated(std::string_view bytes, const std::string& name) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw BookError(ErrorKind::kMemory, "Can't start deflate for " + name + ".");
  std::string out(deflateBound(&stream, static_cast<uLong>(bytes.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int status = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  if (status != Z_STREAM_END) throw BookError(ErrorKind::kMemory, "Can't deflate " + name + ".");
  return out;
}

}  // namespace

ZipWriter::ZipWriter(OwnedFile file, std::string path) : file_(std::move(file)), path_(std::move(path)) {}

void ZipWriter::Put(std::string_view bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size())
    throw BookError(ErrorKind::kIo, "Can't write " + path_ + ".").About(path_).WithSystemError(errno);
  written_ += bytes.size();
}

ZipWriter::Packed ZipWriter::Pack(std::string_view name, std::string_view bytes, bool compress) {
  Packed packed;
  packed.name = std::string(name);
  if (bytes.size() > UINT32_MAX - 1 || name.size() > 0xFFFF)
    throw BookError(ErrorKind::kMemory, "An entry too large for the archive: " + packed.name + ".").About(packed.name);
  packed.crc = static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()),
                                                static_cast<uInt>(bytes.size())));
  packed.size = static_cast<std::uint32_t>(bytes.size());
  if (compress && !bytes.empty()) {
    packed.data = Deflated(bytes, packed.name);
    if (packed.data.size() >= bytes.size()) packed.data.clear();
  }
  packed.method = packed.data.empty() ? kStored : kDeflated;
  if (packed.method == kStored) packed.data = std::string(bytes);
  return packed;
}

void ZipWriter::Add(const Packed& packed) {
  if (written_ > UINT32_MAX - 1 || entries_.size() >= 0xFFFF)
    throw BookError(ErrorKind::kIo, "The archive " + path_ + " would need ZIP64.").About(packed.name);
  Entry entry;
  entry.name = packed.name;
  entry.crc = packed.crc;
  entry.size = packed.size;
  entry.offset = static_cast<std::uint32_t>(written_);
  entry.method = packed.method;
  entry.compressedSize = static_cast<std::uint32_t>(packed.data.size());

  std::string header;
  Put32(header, 0x04034B50);
  Put16(header, 20);  // version needed: 2.0
  Put16(header, kUtf8Names);
  Put16(header, entry.method);
  Put16(header, 0);  // time
  Put16(header, kDosDate);
  Put32(header, entry.crc);
  Put32(header, entry.compressedSize);
  Put32(header, entry.size);
  Put16(header, static_cast<std::uint32_t>(entry.name.size()));
  Put16(header, 0);  // no extra field
  header += entry.name;
  Put(header);
  Put(packed.data);
  entries_.push_back(std::move(entry));
}

void ZipWriter::Finish() {
  const std::uint64_t start = written_;
  std::string directory;
  for (const Entry& e : entries_) {
    Put32(directory, 0x02014B50);
    Put16(directory, 20);
    Put16(directory, 20);
    Put16(directory, kUtf8Names);
    Put16(directory, e.method);
    Put16(directory, 0);
    Put16(directory, kDosDate);
    Put32(directory, e.crc);
    Put32(directory, e.compressedSize);
    Put32(directory, e.size);
    Put16(directory, static_cast<std::uint32_t>(e.name.size()));
    Put16(directory, 0);  // extra
    Put16(directory, 0);  // comment
    Put16(directory, 0);  // disk
    Put16(directory, 0);  // internal attributes
    Put32(directory, 0);  // external attributes
    Put32(directory, e.offset);
    directory += e.name;
  }
  if (start + directory.size() > UINT32_MAX - 22)
    throw BookError(ErrorKind::kIo, "The archive " + path_ + " would need ZIP64.");
  const auto size = static_cast<std::uint32_t>(directory.size());
  Put32(directory, 0x06054B50);
  Put16(directory, 0);
  Put16(directory, 0);
  Put16(directory, static_cast<std::uint32_t>(entries_.size()));
  Put16(directory, static_cast<std::uint32_t>(entries_.size()));
  Put32(directory, size);
  Put32(directory, static_cast<std::uint32_t>(start));
  Put16(directory, 0);
  Put(directory);
  if (std::fclose(file_.release()) != 0)
    throw BookError(ErrorKind::kIo, "Can't write " + path_ + ".").About(path_).WithSystemError(errno);
}

}  // namespace tessaly::convert
