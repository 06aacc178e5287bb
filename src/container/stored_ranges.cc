// Reading every stored range of a book with one pass over each section: the
// uncompressed ones straight from the file, each compressed one decoded
// once, in order, reset interval after reset interval. Entries that name the
// same range (section, offset, length) are read as one.
#include <algorithm>
#include <limits>
#include <new>

#include "container/container_parts.h"

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

bool SameRange(const DirectoryEntry& a, const DirectoryEntry& b) {
  return a.section == b.section && a.offset == b.offset && a.length == b.length;
}

// The length of the run of entries from `from` that name the range of
// entries[from] (entries sorted by range).
std::size_t AliasCount(std::span<const DirectoryEntry> entries, std::size_t from) {
  std::size_t to = from + 1;
  while (to < entries.size() && SameRange(entries[from], entries[to])) ++to;
  return to - from;
}

}  // namespace

std::vector<DirectoryEntry> Container::Parts::EntriesByRange() const {
  std::vector<DirectoryEntry> entries(file.entries.begin(), file.entries.end());
  std::stable_sort(entries.begin(), entries.end(), [](const DirectoryEntry& a, const DirectoryEntry& b) {
    if (a.section != b.section) return a.section < b.section;
    return a.offset != b.offset ? a.offset < b.offset : a.length < b.length;
  });
  return entries;
}

std::uint64_t Container::Parts::MeasureDistinctBytes() const {
  const std::vector<DirectoryEntry> entries = EntriesByRange();
  // What a section holds: its plain length when compressed, else the file
  // from where the section starts.
  const auto held = [this](const DirectoryEntry& entry) -> std::uint64_t {
    if (entry.section < compressed.size() && compressed[entry.section] != nullptr)
      return compressed[entry.section]->SetupError() == nullptr ? compressed[entry.section]->Table().plainLength : 0;
    DirectoryEntry sectionStart = entry;
    sectionStart.offset = 0;
    const std::optional<std::uint64_t> at = DirectPosition(sectionStart);
    return at && *at < chm.Size() ? chm.Size() - *at : 0;
  };
  std::uint64_t total = 0;
  std::uint64_t sectionHolds = 0;
  std::uint64_t coveredTo = 0;  // end of the ranges counted so far in this section
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const DirectoryEntry& entry = entries[i];
    if (i == 0 || entry.section != entries[i - 1].section) {
      coveredTo = 0;
      sectionHolds = held(entry);
    }
    const std::uint64_t from = std::max(entry.offset, coveredTo);
    const std::uint64_t to = std::min(entry.offset + entry.length, sectionHolds);  // ENCINTs hold 35 bits: no overflow
    if (to > from) total += to - from;
    coveredTo = std::max(coveredTo, to);
  }
  return total;
}

void Container::ReadStoredRanges(const RangeVisitor& onRange, const RangeErrorVisitor& onError) const {
  const Parts& parts = *parts_;
  const auto& sections = parts.file.sections;
  const std::vector<DirectoryEntry> entries = parts.EntriesByRange();
  const std::span<const DirectoryEntry> all(entries);
  for (std::size_t i = 0; i < entries.size();) {
    const std::uint64_t s = entries[i].section;
    std::size_t end = i;
    while (end < entries.size() && entries[end].section == s) ++end;
    const std::span<const DirectoryEntry> inSection = all.subspan(i, end - i);
    i = end;
    // Until the section list is read every read goes straight to the file.
    if (!sections.empty() && s < sections.size() && sections[s].compressed) {
      parts.ReadCompressedSection(s, inSection, onRange, onError);
      continue;
    }
    for (std::size_t r = 0; r < inSection.size();) {
      const Aliases aliases = inSection.subspan(r, AliasCount(inSection, r));
      r += aliases.size();
      if (!sections.empty() && s >= sections.size()) {
        onError(aliases, BookError(ErrorKind::kFormat, "Wrong content section id.\n").About(aliases.front().name));
        continue;
      }
      ObjectBuffer bytes;
      try {
        bytes = parts.ReadDirect(aliases.front(), aliases.front().name);
      } catch (const BookError& error) {
        onError(aliases, error);
        continue;
      }
      onRange(aliases, bytes);
    }
  }
}

void Container::Parts::ReadCompressedSection(std::uint64_t sectionNumber, std::span<const DirectoryEntry> entries,
                                      const RangeVisitor& onRange, const RangeErrorVisitor& onError) const {
  const CompressedSection& section = *compressed[sectionNumber];
  const BookError* failure = section.SetupError() != nullptr ? section.SetupError() : section.FileError();
  if (failure != nullptr) {
    const BookError error = Wrapped(sectionNumber, *failure);
    for (std::size_t r = 0; r < entries.size();) {
      const Aliases aliases = entries.subspan(r, AliasCount(entries, r));
      r += aliases.size();
      onError(aliases, error);
    }
    return;
  }
  const ResetTable& table = section.Table();

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
      section.Decode(k, chm, decoders, input, std::span<std::uint8_t>(plain).subspan(at));
    } catch (const BookError& error) {
      failures.push_back({interval.plainStart, interval.plainEnd, Wrapped(sectionNumber, error)});
    }
    decodedEnd = interval.plainEnd;
  };

  for (std::size_t r = 0; r < entries.size();) {
    const Aliases aliases = entries.subspan(r, AliasCount(entries, r));
    r += aliases.size();
    const DirectoryEntry& entry = aliases.front();
    const std::uint64_t begin = entry.offset;
    if (entry.length == 0 && begin <= table.plainLength) {
      onRange(aliases, {});
      continue;
    }
    if (!IntervalsFor(table, section.WindowField(), begin, entry.length)) {
      onError(aliases, PastTheEnd(sectionNumber, entry));
      continue;
    }
    const std::uint64_t end = begin + entry.length;
    try {
      while (decodedEnd < end && nextInterval < intervalCount) decodeNext();
    } catch (const std::bad_alloc&) {
      const BookError error = Wrapped(sectionNumber, BookError(ErrorKind::kMemory, "No memory to allocate."));
      for (std::size_t j = r - aliases.size(); j < entries.size();) {
        const Aliases rest = entries.subspan(j, AliasCount(entries, j));
        j += rest.size();
        onError(rest, error);
      }
      return;
    }
    const auto failed = std::find_if(failures.begin(), failures.end(),
                                     [&](const Failure& f) { return f.start < end && begin < f.end; });
    if (failed != failures.end()) {
      onError(aliases, failed->error);
    } else if (decodedEnd < end || begin < plainBase) {
      onError(aliases, PastTheEnd(sectionNumber, entry));
    } else {
      onRange(aliases, std::span<const std::uint8_t>(plain).subspan(begin - plainBase, entry.length));
    }
    // Drop what no later range needs, once it is worth the move.
    if (r < entries.size()) {
      const std::uint64_t keepFrom = std::min<std::uint64_t>(entries[r].offset, decodedEnd);
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
