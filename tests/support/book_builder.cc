#include "support/book_builder.h"

#include <algorithm>
#include <cstring>

namespace tessaly::test {

namespace {

// Bits MSB first into 16-bit little-endian words.
class Bits {
 public:
  void Put(std::uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      word_ = static_cast<std::uint16_t>((word_ << 1) | ((value >> i) & 1));
      if (++filled_ == 16) Flush();
    }
  }
  // Pads to the next word boundary with zero bits (a whole word when already
  // on one), as the decoder expects before the R0..R2 of a stored block.
  void AlignForStoredBlock() {
    if (filled_ == 0) {
      Put(0, 16);
    } else {
      Put(0, 16 - filled_);
    }
  }
  std::vector<std::uint8_t>& Out() { return out_; }

 private:
  void Flush() {
    out_.push_back(static_cast<std::uint8_t>(word_ & 0xFF));
    out_.push_back(static_cast<std::uint8_t>(word_ >> 8));
    word_ = 0;
    filled_ = 0;
  }
  std::vector<std::uint8_t> out_;
  std::uint16_t word_ = 0;
  int filled_ = 0;
};

void Append(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

}  // namespace

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> LzxStoredStream(const std::vector<std::uint8_t>& plain, std::uint32_t windowSize,
                                          std::uint32_t blockSize, std::vector<std::uint32_t>* blockOffsets) {
  Bits bits;
  std::uint64_t position = 0;
  std::size_t at = 0;
  while (at < plain.size()) {
    if (blockOffsets) blockOffsets->push_back(static_cast<std::uint32_t>(bits.Out().size()));
    const std::uint32_t length = static_cast<std::uint32_t>(std::min<std::size_t>(blockSize, plain.size() - at));
    if (position % windowSize == 0) bits.Put(0, 1);  // no E8 translation
    bits.Put(3, 3);
    bits.Put(length >> 8, 16);
    bits.Put(length & 0xFF, 8);
    bits.AlignForStoredBlock();
    auto& out = bits.Out();
    for (int r = 0; r < 3; ++r) Append32(out, 1);
    out.insert(out.end(), plain.begin() + static_cast<std::ptrdiff_t>(at),
               plain.begin() + static_cast<std::ptrdiff_t>(at + length));
    at += length;
    position += length;
    // An odd block is padded, except where it fills the window: the stream
    // realigns at that reset point by itself.
    if ((length & 1) && position % windowSize != 0) out.push_back(0);
  }
  return bits.Out();
}

void BookBuilder::AddFile(const std::string& name, const std::string& bytes, bool compressed) {
  AddFile(name, Bytes(bytes), compressed);
}

void BookBuilder::AddFile(const std::string& name, const std::vector<std::uint8_t>& bytes, bool compressed) {
  files_.push_back({name, bytes, compressed});
}

void BookBuilder::AddRawEntry(const std::string& name, std::uint32_t section, std::uint32_t offset,
                              std::uint32_t length) {
  raw_.push_back({name, section, offset, length});
}

std::vector<std::uint8_t> BookBuilder::Build() const {
  ChmBuilder chm;
  plain_.clear();
  std::vector<ChmEntry> compressedEntries;
  for (const File& f : files_) {
    if (f.compressed && withCompressedSection) {
      compressedEntries.push_back({f.name, 1, static_cast<std::uint32_t>(plain_.size()),
                                   static_cast<std::uint32_t>(f.bytes.size())});
      Append(plain_, f.bytes);
    } else {
      chm.AddFile(f.name, std::string(f.bytes.begin(), f.bytes.end()));
    }
  }
  if (withNameList) {
    std::vector<std::uint8_t> list;
    const std::vector<std::string> names =
        withCompressedSection ? std::vector<std::string>{"Uncompressed", "MSCompressed"}
                              : std::vector<std::string>{"Uncompressed"};
    Append16(list, 0);
    Append16(list, static_cast<std::uint16_t>(names.size()));
    for (const auto& n : names) {
      Append16(list, static_cast<std::uint16_t>(n.size()));
      for (char c : n) Append16(list, static_cast<std::uint16_t>(c));
      Append16(list, 0);
    }
    Put16(list, 0, static_cast<std::uint16_t>(list.size() / 2));
    if (editNameList) editNameList(list);
    chm.AddFile("::DataSpace/NameList", std::string(list.begin(), list.end()));
  }
  if (withCompressedSection) {
    std::vector<std::uint8_t> control;
    Append32(control, 6);
    control.insert(control.end(), {'L', 'Z', 'X', 'C'});
    Append32(control, 2);
    Append32(control, windowField);  // reset interval
    Append32(control, windowField);
    Append32(control, 0);
    Append32(control, 0);
    if (editControlData) editControlData(control);

    std::vector<std::uint32_t> offsets;
    const std::uint32_t windowSize = std::max<std::uint32_t>(windowField, 1) * 0x8000;
    const auto stream = LzxStoredStream(plain_, windowSize, blockSize, &offsets);
    std::vector<std::uint8_t> table;
    Append32(table, 2);
    Append32(table, static_cast<std::uint32_t>(offsets.size()));
    Append32(table, 8);
    Append32(table, 40);
    Append64(table, plain_.size());
    Append64(table, stream.size());
    Append64(table, blockSize);
    for (std::uint32_t o : offsets) Append64(table, o);
    if (editResetTable) editResetTable(table);

    chm.AddFile("::DataSpace/Storage/MSCompressed/ControlData", std::string(control.begin(), control.end()));
    chm.AddFile("::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/"
                "ResetTable",
                std::string(table.begin(), table.end()));
    chm.AddFile("::DataSpace/Storage/MSCompressed/Content", std::string(stream.begin(), stream.end()));
  }
  for (const auto& e : compressedEntries) chm.entries.push_back(e);
  for (const auto& e : raw_) chm.entries.push_back(e);
  return chm.Build();
}

}  // namespace tessaly::test
