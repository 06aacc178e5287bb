// Reading every object of a book with one pass over each section: the
// uncompressed ones straight from the file, each compressed one decoded
// once, in order, reset interval after reset interval.
#include <algorithm>
#include <limits>
#include <new>

#include "container/container.h"

namespace tessaly {

namespace {

// The error ReadObject raises for a failed compressed read.
BookError Wrapped(std::uint64_t section, const BookError& inner) {
  return BookError(inner.Kind(), FormatText("Can't decompress section %d.\n", static_cast<int>(section)))
      .Wrapping(inner);
}

BookError PastTheEnd(std::uint64_t section, const DirectoryEntry& entry) {
  const std::string name(entry.name.substr(0, entry.name.find('\0')));
  return Wrapped(section, BookError(FormatText("Object %s lies past the end of its content section.\n", name.c_str()))
                              .About(name)
                              .At(entry.offset));
}

}  // namespace

void Container::ReadAllObjects(const ObjectVisitor& onObject, const ErrorVisitor& onError) const {
  const auto& sections = file_.sections;
  std::vector<DirectoryEntry> direct;
  std::vector<std::vector<DirectoryEntry>> compressed(sections.size());
  for (const DirectoryEntry& entry : file_.entries) {
    if (!sections.empty() && entry.section >= sections.size()) {
      onError(entry, BookError(ErrorKind::kFormat, "Wrong content section id.\n").About(entry.name));
    } else if (sections.empty() || !sections[entry.section].compressed) {
      direct.push_back(entry);
    } else {
      compressed[entry.section].push_back(entry);
    }
  }

  for (const DirectoryEntry& entry : direct) {
    ObjectBuffer bytes;
    try {
      bytes = ReadDirect(entry, entry.name);
    } catch (const BookError& error) {
      onError(entry, error);
      continue;
    }
    onObject(entry, bytes);
  }

  for (std::uint64_t s = 0; s < compressed.size(); ++s)
    if (!compressed[s].empty()) ReadCompressedSection(s, compressed[s], onObject, onError);
}

void Container::ReadCompressedSection(std::uint64_t sectionNumber, const std::vector<DirectoryEntry>& entries,
                                      const ObjectVisitor& onObject, const ErrorVisitor& onError) const {
  const CompressedSection& section = *compressed_[sectionNumber];
  const BookError* failure = section.SetupError() != nullptr ? section.SetupError() : section.FileError();
  if (failure != nullptr) {
    const BookError error = Wrapped(sectionNumber, *failure);
    for (const DirectoryEntry& entry : entries) onError(entry, error);
    return;
  }
  const ResetTable& table = section.Table();

  std::vector<DirectoryEntry> sorted = entries;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.offset < b.offset; });

  // plain holds the decoded bytes [plainBase, decodedEnd) of the section.
  std::vector<std::uint8_t> plain;
  std::vector<std::uint8_t> input;
  std::uint64_t plainBase = 0;
  std::uint64_t decodedEnd = 0;
  std::uint64_t nextInterval = 0;
  struct Failure {
    std::uint64_t start, end;
    BookError error;
  };
  std::vector<Failure> failures;
  const std::uint64_t intervalCount = section.IntervalCount();

  // Decodes the next interval with a fresh decoder: a damaged stretch costs
  // only the objects that overlap it.
  auto decodeNext = [&]() {
    const std::uint64_t k = nextInterval++;
    const ResetInterval interval = section.Interval(k);
    if (interval.plainEnd <= interval.plainStart || interval.plainStart != decodedEnd) {
      nextInterval = intervalCount;  // the table places nothing further
      return;
    }
    std::uint64_t size = 0;
    try {
      size = section.PlainSize(k);
    } catch (const BookError& error) {
      // Too large to decode: nothing from here on can be read.
      failures.push_back(
          {interval.plainStart, std::numeric_limits<std::uint64_t>::max(), Wrapped(sectionNumber, error)});
      nextInterval = intervalCount;
      return;
    }
    const std::size_t at = plain.size();
    plain.resize(at + size);
    try {
      section.Decode(k, chm_, decoders_, input, std::span<std::uint8_t>(plain).subspan(at));
    } catch (const BookError& error) {
      failures.push_back({interval.plainStart, interval.plainEnd, Wrapped(sectionNumber, error)});
    }
    decodedEnd = interval.plainEnd;
  };

  for (std::size_t i = 0; i < sorted.size(); ++i) {
    const DirectoryEntry& entry = sorted[i];
    const std::uint64_t begin = entry.offset;
    if (entry.length == 0 && begin <= table.plainLength) {
      onObject(entry, {});
      continue;
    }
    if (!IntervalsFor(table, section.WindowField(), begin, entry.length)) {
      onError(entry, PastTheEnd(sectionNumber, entry));
      continue;
    }
    const std::uint64_t end = begin + entry.length;
    try {
      while (decodedEnd < end && nextInterval < intervalCount) decodeNext();
    } catch (const std::bad_alloc&) {
      const BookError error = Wrapped(sectionNumber, BookError(ErrorKind::kMemory, "No memory to allocate."));
      for (std::size_t j = i; j < sorted.size(); ++j) onError(sorted[j], error);
      return;
    }
    const auto failed = std::find_if(failures.begin(), failures.end(),
                                     [&](const Failure& f) { return f.start < end && begin < f.end; });
    if (failed != failures.end()) {
      onError(entry, failed->error);
    } else if (decodedEnd < end || begin < plainBase) {
      onError(entry, PastTheEnd(sectionNumber, entry));
    } else {
      onObject(entry, std::span<const std::uint8_t>(plain).subspan(begin - plainBase, entry.length));
    }
    // Drop what no later object needs, once it is worth the move.
    if (i + 1 < sorted.size()) {
      const std::uint64_t keepFrom = std::min<std::uint64_t>(sorted[i + 1].offset, decodedEnd);
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
