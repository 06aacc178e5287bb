// Reading every object of a book with one pass over each section: the
// uncompressed ones with the file opened once, each compressed one decoded
// once, in order, reset point after reset point.
#include <algorithm>
#include <new>

#include "base/book_error.h"
#include "book/book.h"
#include "book/file.h"
#include "lzx/lzx_decoder.h"
#include "lzx/reset_table.h"

namespace tessaly {

namespace {

// The message ReadObject raises for a failed compressed read.
std::string Wrapped(std::uint32_t section, const std::string& inner) {
  return BookError(FormatText("Can't decompress section %d.\n%s", static_cast<int>(section), inner.c_str()))
      .Message();
}

}  // namespace

void Book::ReadAllObjects(const ObjectVisitor& onObject, const ErrorVisitor& onError) {
  const auto& sections = bookFile_.sections;
  std::vector<const DirectoryEntry*> direct;
  std::vector<std::vector<const DirectoryEntry*>> compressed(sections.size());
  for (const DirectoryEntry& entry : bookFile_.entries) {
    if (!sections.empty() && entry.section >= sections.size()) {
      onError(entry, "Wrong content section id.\n");
    } else if (sections.empty() || !sections[entry.section].compressed) {
      direct.push_back(&entry);
    } else {
      compressed[entry.section].push_back(&entry);
    }
  }

  if (!direct.empty()) {
    tessaly::File file;
    const bool opened = file.Open(bookFile_.fileName);
    const std::optional<std::uint64_t> fileSize = opened ? file.Size() : std::nullopt;
    std::vector<std::uint8_t> bytes;
    for (const DirectoryEntry* entry : direct) {
      try {
        if (!opened) RaiseBookError("Can't open chm file: %s.", bookFile_.fileName.c_str());
        if (!fileSize || DirectPosition(*entry) + entry->length > *fileSize)
          RaiseBookError("Can't read file %s buffer: the chm file ends before it.\n", entry->name.c_str());
        bytes.resize(entry->length);
        ReadDirectInto(file, *entry, entry->name, bytes.data());
      } catch (const BookError& error) {
        onError(*entry, error.Message());
        continue;
      }
      onObject(*entry, bytes);
    }
  }

  for (std::uint32_t s = 0; s < compressed.size(); ++s)
    if (!compressed[s].empty()) ReadCompressedSection(s, compressed[s], onObject, onError);
}

void Book::ReadCompressedSection(std::uint32_t sectionNumber, const std::vector<const DirectoryEntry*>& entries,
                                 const ObjectVisitor& onObject, const ErrorVisitor& onError) {
  const ContentSection& section = bookFile_.sections[sectionNumber];
  std::uint32_t windowField = 0;
  int windowBits = 0;
  ResetTable table;
  std::vector<std::uint8_t> input;
  try {
    windowField = ReadControlData(*entries.front());
    if (windowField == 2) windowBits = 16;
    else if (windowField == 4) windowBits = 17;
    else RaiseBookError("Not correct window size %d.\n", static_cast<int>(windowField));
    table = ReadResetTable(section);
    tessaly::File file;
    if (!file.Open(bookFile_.fileName)) RaiseBookError("Can't open chm file: %s.", bookFile_.fileName.c_str());
    const std::uint64_t start =
        static_cast<std::uint32_t>(bookFile_.contentOffset) + static_cast<std::uint64_t>(section.dataOffset);
    const std::optional<std::uint64_t> fileSize = file.Size();
    if (!fileSize || start + table.compressedLength > *fileSize)
      RaiseBookError("Compressed section %s runs past the end of the chm file.\n", section.name.c_str());
    input.resize(table.compressedLength);
    if (!file.ReadAt(start, input.data(), input.size()))
      RaiseBookError("Can't read compressed section %s: the chm file ends before it.\n", section.name.c_str());
  } catch (const BookError& error) {
    const std::string message = Wrapped(sectionNumber, error.Message());
    for (const DirectoryEntry* entry : entries) onError(*entry, message);
    return;
  } catch (const std::bad_alloc&) {
    const std::string message = Wrapped(sectionNumber, "No memory to allocate.");
    for (const DirectoryEntry* entry : entries) onError(*entry, message);
    return;
  }

  std::vector<const DirectoryEntry*> sorted = entries;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const DirectoryEntry* a, const DirectoryEntry* b) { return a->offset < b->offset; });

  // plain holds the decoded bytes [plainBase, decodedEnd) of the section.
  std::vector<std::uint8_t> plain;
  std::uint64_t plainBase = 0;
  std::uint64_t decodedEnd = 0;
  std::uint64_t nextBlock = 0;
  struct Failure {
    std::uint64_t start, end;
    std::string message;
  };
  std::vector<Failure> failures;
  const std::uint64_t blockCount = table.offsets.size();

  // Decodes the next windowField blocks, from a reset point, with a fresh
  // decoder: a damaged stretch costs only the objects that overlap it.
  auto decodeNext = [&]() {
    const std::uint64_t first = nextBlock;
    const std::uint64_t last = first + windowField;
    BlockRange range;
    range.plainStart = first * table.blockSize;
    range.compressedStart = table.offsets[first];
    if (last < blockCount) {
      range.plainEnd = last * table.blockSize;
      range.compressedEnd = table.offsets[last];
    } else {
      range.plainEnd = table.plainLength;
      range.compressedEnd = table.compressedLength;
    }
    nextBlock = last;
    if (range.plainEnd <= range.plainStart || range.plainStart != decodedEnd) {
      nextBlock = blockCount;  // the table places nothing further
      return;
    }
    const std::size_t at = plain.size();
    plain.resize(at + (range.plainEnd - range.plainStart));
    try {
      DecodeRange(windowBits,
                  std::span<const std::uint8_t>(input).subspan(range.compressedStart,
                                                               range.compressedEnd - range.compressedStart),
                  std::span<std::uint8_t>(plain).subspan(at));
    } catch (const BookError& error) {
      failures.push_back({range.plainStart, range.plainEnd, Wrapped(sectionNumber, error.Message())});
    }
    decodedEnd = range.plainEnd;
  };

  for (std::size_t i = 0; i < sorted.size(); ++i) {
    const DirectoryEntry& entry = *sorted[i];
    const std::uint64_t begin = entry.offset;
    const std::uint64_t end = begin + entry.length;
    if (entry.length == 0 && begin <= table.plainLength) {
      onObject(entry, {});
      continue;
    }
    if (!TryRangeFor(table, windowField, begin, entry.length)) {
      onError(entry, Wrapped(sectionNumber, FormatText("Object %s lies past the end of its content section.\n",
                                                       entry.name.c_str())));
      continue;
    }
    while (decodedEnd < end && nextBlock < blockCount) decodeNext();
    const auto failed = std::find_if(failures.begin(), failures.end(),
                                     [&](const Failure& f) { return f.start < end && begin < f.end; });
    if (failed != failures.end()) {
      onError(entry, failed->message);
    } else if (decodedEnd < end || begin < plainBase) {
      onError(entry, Wrapped(sectionNumber, FormatText("Object %s lies past the end of its content section.\n",
                                                       entry.name.c_str())));
    } else {
      onObject(entry, std::span<const std::uint8_t>(plain).subspan(begin - plainBase, entry.length));
    }
    // Drop what no later object needs, once it is worth the move.
    if (i + 1 < sorted.size()) {
      const std::uint64_t keepFrom = std::min<std::uint64_t>(sorted[i + 1]->offset, decodedEnd);
      const std::uint64_t dead = keepFrom > plainBase ? keepFrom - plainBase : 0;
      if (dead > (1u << 20) && dead * 2 > plain.size()) {
        plain.erase(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(dead));
        plainBase += dead;
        std::erase_if(failures, [&](const Failure& f) { return f.end <= plainBase; });
      }
    }
  }
}

}  // namespace tessaly
