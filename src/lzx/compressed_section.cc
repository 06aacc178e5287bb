// Reading objects of an LZX-compressed content section.
//
// Control data "::DataSpace/Storage/<section>/ControlData" (little-endian):
//   4 "LZXC" | 16 window size in units of 32 KiB (2 -> 2^16, 4 -> 2^17)
// Reset table ".../Transform/{7FC28940-...}/InstanceData/ResetTable":
//   4 number of blocks | 16 plain length | 24 compressed length
//   32 plain bytes per block | 40 + 8i compressed offset of block i
// Every table offset is a point where the stream can be entered with a fresh
// decoder. A request decodes from the reset point at or before the object's
// first block that is a multiple of the window-size field, through the block
// holding the byte just after the object, in one decoder call.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "base/book_error.h"
#include "base/bytes.h"
#include "base/text.h"
#include "book/book.h"
#include "book/file.h"
#include "lzx/lzx_decoder.h"
#include "lzx/reset_table.h"

namespace tessaly {

namespace {

constexpr const char* kTransform = "{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}";

int WindowBitsFor(std::uint32_t windowField) {
  if (windowField == 2) return 16;
  if (windowField == 4) return 17;
  RaiseBookError("Not correct window size %d.\n", static_cast<int>(windowField));
}

}  // namespace

void Book::GrowInputBuffer(std::uint64_t size) { GrowWorkBuffer(inputBuffer_, inputCapacity_, size); }

void Book::GrowOutputBuffer(std::uint64_t size) { GrowWorkBuffer(outputBuffer_, outputCapacity_, size); }

void Book::GrowWorkBuffer(std::unique_ptr<std::uint8_t[]>& buffer, std::uint32_t& capacity, std::uint64_t size) {
  // Buffers only grow, and a growth does not keep the old contents.
  if (buffer != nullptr && size <= capacity) return;
  if (size > UINT32_MAX) RaiseBookError("No memory to allocate.");
  const auto wanted = static_cast<std::uint32_t>(buffer == nullptr ? std::max<std::uint64_t>(size, kMinWorkBuffer) : size);
  buffer.reset();
  capacity = 0;
  try {
    buffer = std::make_unique_for_overwrite<std::uint8_t[]>(wanted);
  } catch (const std::bad_alloc&) {
    RaiseBookError("No memory to allocate.");
  }
  capacity = wanted;
}

std::uint32_t Book::ReadControlData(const DirectoryEntry& entry) {
  const std::string& name = bookFile_.sections.at(entry.section).name;
  std::span<const std::uint8_t> data;
  try {
    data = ReadObject(FormatText("::DataSpace/Storage/%s/ControlData", name.c_str()));
  } catch (const BookError& inner) {
    RaiseBookError("Can't read section %s control data file.\n%s", name.c_str(), inner.Message().c_str());
  }
  if (data.size() < 8 || std::memcmp(data.data() + 4, "LZXC", 4) != 0) RaiseBookError("Not LZX compression algorithm.\n");
  std::uint32_t window = 0;
  if (!ReadLE32At(data, 16, window)) RaiseBookError("Control data of section %s is too short.\n", name.c_str());
  return window;
}

ResetTable Book::ReadResetTable(const ContentSection& section) {
  std::span<const std::uint8_t> data;
  try {
    data = ReadObject(
        FormatText("::DataSpace/Storage/%s/Transform/%s/InstanceData/ResetTable", section.name.c_str(), kTransform));
  } catch (const BookError& inner) {
    RaiseBookError("Can't read section %s reset table file.\n%s", section.name.c_str(), inner.Message().c_str());
  }
  // Everything is copied out: the table lies in the shared output buffer,
  // which the decoding that follows overwrites.
  return ParseResetTable(data, section.name);
}

std::span<const std::uint8_t> Book::ReadCompressedObject(const DirectoryEntry& entry, bool ownCopy,
                                                         ObjectBuffer* copy) {
  const ContentSection& section = bookFile_.sections.at(entry.section);
  const std::uint32_t windowField = ReadControlData(entry);
  const int windowBits = WindowBitsFor(windowField);
  const ResetTable table = ReadResetTable(section);
  // An empty object needs no decoding, even at the very end of the section
  // where no block starts.
  if (entry.length == 0 && entry.offset <= table.plainLength) {
    if (ownCopy) copy->clear();
    GrowOutputBuffer(0);
    return {outputBuffer_.get(), 0};
  }
  const BlockRange range = RangeFor(table, windowField, entry.offset, entry.length, entry.name);

  const std::uint64_t plainSize = range.plainEnd - range.plainStart;
  const std::uint64_t compressedSize = range.compressedEnd - range.compressedStart;
  {
    tessaly::File file;
    if (!file.Open(bookFile_.fileName)) RaiseBookError("Can't open chm file: %s.", bookFile_.fileName.c_str());
    // The whole section must lie in the file before memory is set aside for
    // what its table promises.
    const std::uint64_t sectionStart =
        static_cast<std::uint32_t>(bookFile_.contentOffset) + static_cast<std::uint64_t>(section.dataOffset);
    const std::optional<std::uint64_t> fileSize = file.Size();
    if (!fileSize || sectionStart + table.compressedLength > *fileSize)
      RaiseBookError("Compressed section %s runs past the end of the chm file.\n", section.name.c_str());
    GrowOutputBuffer(plainSize);
    GrowInputBuffer(compressedSize);
    if (!file.Seek(sectionStart + range.compressedStart))
      RaiseBookError("Can't move file pointer to compressed section %s.\n", section.name.c_str());
    if (file.Read(inputBuffer_.get(), compressedSize) != compressedSize)
      RaiseBookError("Can't read compressed section %s: the chm file ends before it.\n", section.name.c_str());
  }
  DecodeRange(windowBits, {inputBuffer_.get(), compressedSize}, {outputBuffer_.get(), plainSize});

  const std::uint8_t* bytes = outputBuffer_.get() + (entry.offset - range.plainStart);
  if (!ownCopy) return {bytes, entry.length};
  try {
    copy->assign(bytes, bytes + entry.length);
  } catch (const std::bad_alloc&) {
    RaiseBookError("Can't allocate memory for file %s buffer.\n", entry.name.c_str());
  }
  return {copy->data(), copy->size()};
}

void Book::DecodeRange(int windowBits, std::span<const std::uint8_t> input, std::span<std::uint8_t> output) {
  const LzxStatus reset = lzx_->Reset(windowBits);
  if (reset == LzxStatus::NoMemory) RaiseBookError("No memory to allocate.");
  if (reset != LzxStatus::Ok || lzx_->Decompress(input, output) != LzxStatus::Ok)
    RaiseBookError("Error while uncompress content section.\n");
}

void Book::PresizeBuffers() {
  std::uint64_t largestPlain = 0;
  std::uint64_t largestCompressed = 0;
  std::optional<std::uint32_t> current;
  std::uint32_t windowField = 0;
  ResetTable table;
  for (const DirectoryEntry& entry : bookFile_.entries) {
    const std::string_view name = entry.name;
    if (name.starts_with("::DataSpace/Storage/") || EqualNoCase(name, "/$FIftiMain") || name.ends_with('/')) continue;
    // Objects stored uncompressed need no work buffers; a book without any
    // compressed section opens without them.
    if (entry.section >= bookFile_.sections.size() || !bookFile_.sections[entry.section].compressed) continue;
    if (current != entry.section) {
      windowField = ReadControlData(entry);
      WindowBitsFor(windowField);
      table = ReadResetTable(bookFile_.sections[entry.section]);
      current = entry.section;
    }
    // An object the table cannot place fails when it is read; it does not
    // keep the book from opening.
    std::optional<BlockRange> range = TryRangeFor(table, windowField, entry.offset, entry.length);
    if (!range) continue;
    largestPlain = std::max(largestPlain, range->plainEnd - range->plainStart);
    largestCompressed = std::max(largestCompressed, range->compressedEnd - range->compressedStart);
  }
  GrowInputBuffer(largestCompressed);
  GrowOutputBuffer(largestPlain);
}

}  // namespace tessaly
