#include "container/compressed_section.h"

#include <cstring>
#include <new>

#include "base/bytes.h"

namespace tessaly {

namespace {

constexpr const char* kTransform = "{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}";

// The window-size field of the control data.
std::uint32_t ReadWindowField(const ObjectBuffer& data, const std::string& name) {
  if (data.size() < 8 || std::memcmp(data.data() + 4, "LZXC", 4) != 0)
    RaiseBookError("Not LZX compression algorithm.\n");
  std::uint32_t window = 0;
  if (!ReadLE32At(data, 16, window)) RaiseBookError("Control data of section %s is too short.\n", name.c_str());
  return window;
}

}  // namespace

int WindowBitsFor(std::uint32_t windowField) {
  if (windowField == 2) return 16;
  if (windowField == 4) return 17;
  RaiseBookError("Not correct window size %d.\n", static_cast<int>(windowField));
}

CompressedSection::CompressedSection(const ContentSection& section, std::uint64_t start, std::uint64_t fileSize,
                                     const ReadStored& read)
    : name_(section.name), start_(start) {
  const char* name = name_.c_str();
  try {
    ObjectBuffer control;
    try {
      control = read(FormatText("::DataSpace/Storage/%s/ControlData", name));
    } catch (const BookError& inner) {
      throw BookError(inner.Kind(), FormatText("Can't read section %s control data file.\n", name)).Wrapping(inner);
    }
    windowField_ = ReadWindowField(control, name_);
    windowBits_ = WindowBitsFor(windowField_);
    ObjectBuffer table;
    try {
      table = read(FormatText("::DataSpace/Storage/%s/Transform/%s/InstanceData/ResetTable", name, kTransform));
    } catch (const BookError& inner) {
      throw BookError(inner.Kind(), FormatText("Can't read section %s reset table file.\n", name)).Wrapping(inner);
    }
    table_ = ParseResetTable(table, name_);
  } catch (const BookError& error) {
    setupError_ = error;
    return;
  } catch (const std::bad_alloc&) {
    setupError_ = BookError(ErrorKind::kMemory, "No memory to allocate.");
    return;
  }
  // The whole section must lie in the file before memory is set aside for
  // what its table promises.
  if (start_ > fileSize || table_.compressedLength > fileSize - start_) {
    fileError_ =
        BookError(ErrorKind::kIo, FormatText("Compressed section %s runs past the end of the chm file.\n", name))
            .At(start_);
  }
}

std::uint64_t CompressedSection::PlainSize(std::uint64_t k) const {
  const ResetInterval interval = Interval(k);
  if (interval.plainEnd < interval.plainStart ||
      interval.plainEnd - interval.plainStart > windowField_ * table_.blockSize)
    RaiseBookError("Reset table of section %s has too few blocks for its %llu plain bytes.\n", name_.c_str(),
                   static_cast<unsigned long long>(table_.plainLength));
  return interval.plainEnd - interval.plainStart;
}

void CompressedSection::Decode(std::uint64_t k, const ChmFile& file, DecoderPool& decoders,
                               std::vector<std::uint8_t>& input, std::span<std::uint8_t> plain) const {
  const ResetInterval interval = Interval(k);
  const std::uint64_t size = interval.compressedEnd - interval.compressedStart;
  try {
    input.resize(size);
  } catch (const std::bad_alloc&) {
    RaiseBookError(ErrorKind::kMemory, "No memory to allocate.");
  }
  if (!file.ReadAt(start_ + interval.compressedStart, input.data(), input.size()))
    throw BookError(ErrorKind::kIo,
                    FormatText("Can't read compressed section %s: the chm file ends before it.\n", name_.c_str()))
        .At(start_ + interval.compressedStart);
  LzxStatus reset = LzxStatus::NoMemory;
  LzxStatus decoded = LzxStatus::BadData;
  try {
    const DecoderPool::Lease decoder(decoders);
    reset = decoder->Reset(windowBits_);
    if (reset == LzxStatus::Ok) decoded = decoder->Decompress(input, plain);
  } catch (const std::bad_alloc&) {
    reset = LzxStatus::NoMemory;  // no decoder could be made
  }
  if (reset == LzxStatus::NoMemory) RaiseBookError(ErrorKind::kMemory, "No memory to allocate.");
  if (reset != LzxStatus::Ok || decoded != LzxStatus::Ok)
    throw BookError(ErrorKind::kDecompress, "Error while uncompress content section.\n")
        .At(start_ + interval.compressedStart);
}

}  // namespace tessaly
