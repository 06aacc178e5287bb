// Opening a container, its section list, and reading one object.
#include "container/container.h"

#include <algorithm>
#include <climits>
#include <limits>
#include <new>

#include "base/book_path.h"
#include "base/text.h"
#include "container/container_parts.h"
#include "container/itsf_header.h"
#include "container/section_list.h"

namespace tessaly {

namespace {

// A path as messages show it: up to its first NUL.
std::string Printable(std::string_view text) { return std::string(text.substr(0, text.find('\0'))); }

// Strips what surrounds a path pasted from a link or a shell: blanks, quotes
// and semicolons at both ends, and trailing slashes. A leading '/' is where an
// absolute path begins on this system, so it stays.
std::string TrimFileName(std::string_view path) {
  constexpr std::string_view kFront = " \t\r\n\"';";
  constexpr std::string_view kBack = " \t\r\n\"';/";
  std::size_t start = path.find_first_not_of(kFront);
  if (start == std::string_view::npos) return std::string();
  path.remove_prefix(start);
  std::size_t end = path.find_last_not_of(kBack);
  return std::string(path.substr(0, end == std::string_view::npos ? 0 : end + 1));
}

}  // namespace

Container::Container(Logger& log) : log_(log), parts_(std::make_unique<Parts>()) {}

Container::~Container() = default;

std::unique_ptr<Container> Container::Open(std::string_view path, Logger& log, Depth depth) {
  std::unique_ptr<Container> container(new Container(log));
  container->OpenFile(path);
  if (depth == Depth::kSections) container->ReadSections();
  container->parts_->distinctBytes = container->parts_->MeasureDistinctBytes();
  return container;
}

std::string_view Container::FileName() const { return parts_->file.fileName; }
std::size_t Container::EntryCount() const { return parts_->file.entries.size(); }
DirectoryEntry Container::Entry(std::size_t index) const { return parts_->file.entries[index]; }
std::uint64_t Container::DistinctBytes() const { return parts_->distinctBytes; }

void Container::OpenFile(std::string_view path) {
  Parts& parts = *parts_;
  const std::string name = TrimFileName(path);
  parts.file.fileName = name;
  // A path is taken as long as the system takes one (PATH_MAX counts the
  // terminating NUL).
  if (name.size() >= PATH_MAX)
    throw BookError(ErrorKind::kArgument,
                    FormatText("Path of chm file is longer than %d bytes: %s.", PATH_MAX - 1, name.c_str()))
        .About(name);
  if (FileExtension(name) != ".chm")
    throw BookError(ErrorKind::kArgument, FormatText("File must have *.chm extention: %s.", name.c_str())).About(name);

  int error = 0;
  const bool opened = parts.chm.Open(name, error);
  log_.Write("%i", parts.chm.Handle());
  if (!opened)
    throw BookError(ErrorKind::kIo, FormatText("Can't open chm file: %s.", name.c_str()))
        .About(name)
        .WithSystemError(error);
  const ContainerHeaders headers = ReadHeaders(parts.chm, parts.file.fileName, log_);
  parts.file.itsf = headers.itsf;
  parts.file.directoryHeader = headers.directory;
  parts.file.contentOffset = headers.contentOffset;
  parts.file.entries = Directory::Read(parts.chm, headers.directoryStart, headers.directory, log_);
  parts.index = DirectoryIndex(parts.file.entries);
}

void Container::ReadSections() {
  Parts& parts = *parts_;
  ObjectBuffer list;
  try {
    list = ReadObject(kNameList);
  } catch (const BookError& inner) {
    throw BookError(inner.Kind(), FormatText("Can't get buffer for file %s.\n", kNameList)).Wrapping(inner);
  }
  std::vector<ContentSection> sections = ParseSectionList(list);
  for (std::size_t i = 0; i < sections.size(); ++i) {
    ContentSection& section = sections[i];
    if (i != 0) {
      const std::optional<DirectoryEntry> content =
          FindEntry(FormatText("::DataSpace/Storage/%s/Content", section.name.c_str()));
      if (content) section.dataOffset = content->offset;
    }
    log_.Write("%02d. %08llX %s\n", static_cast<int>(i) + 1, static_cast<unsigned long long>(section.dataOffset),
               section.name.c_str());
  }
  parts.file.sections = std::move(sections);

  // The tables of the compressed sections, read before any of them is
  // ready: they must be stored directly.
  parts.compressed.resize(parts.file.sections.size());
  const auto readStored = [this](const std::string& path) { return ReadObject(path); };
  for (std::size_t i = 0; i < parts.file.sections.size(); ++i) {
    const ContentSection& section = parts.file.sections[i];
    if (!section.compressed) continue;
    const std::uint64_t start = parts.file.contentOffset + section.dataOffset;
    const std::uint64_t reachable = start < parts.file.contentOffset ? std::numeric_limits<std::uint64_t>::max() : start;
    parts.compressed[i] = std::make_unique<CompressedSection>(section, reachable, parts.chm.Size(), readStored);
  }
}

ObjectBuffer Container::ReadObject(std::string_view path) const {
  const std::optional<DirectoryEntry> entry = FindEntry(path);
  if (!entry)
    throw BookError(ErrorKind::kNotFound, FormatText("Can't find entry for file %s\n", Printable(path).c_str()))
        .About(path);
  return ReadEntry(*entry, path);
}

ObjectBuffer Container::ReadEntry(const DirectoryEntry& entry, std::string_view path) const {
  const auto& sections = parts_->file.sections;
  // Until the section list is read (and while it is being read) every read
  // goes straight to the file.
  if (!sections.empty() && entry.section >= sections.size())
    throw BookError(ErrorKind::kFormat, "Wrong content section id.\n").About(path);
  if (sections.empty() || !sections[entry.section].compressed) return parts_->ReadDirect(entry, path);
  try {
    return parts_->ReadCompressed(entry.section, entry);
  } catch (const BookError& inner) {
    throw BookError(inner.Kind(), FormatText("Can't decompress section %d.\n", static_cast<int>(entry.section)))
        .About(entry.name)
        .Wrapping(inner);
  }
}

std::optional<std::uint64_t> Container::Parts::DirectPosition(const DirectoryEntry& entry) const {
  // Content section 0 starts at the content offset; other uncompressed
  // sections at the offset of their Content object inside it.
  std::uint64_t base = file.contentOffset;
  constexpr std::uint64_t kLargest = std::numeric_limits<std::uint64_t>::max();
  if (entry.section < file.sections.size()) {
    const std::uint64_t dataOffset = file.sections[entry.section].dataOffset;
    if (dataOffset > kLargest - base) return std::nullopt;
    base += dataOffset;
  }
  if (entry.offset > kLargest - base) return std::nullopt;
  return base + entry.offset;
}

ObjectBuffer Container::Parts::ReadDirect(const DirectoryEntry& entry, std::string_view path) const {
  // A length the file cannot hold is refused before any memory is set aside.
  const std::optional<std::uint64_t> position = DirectPosition(entry);
  if (!position || *position > chm.Size())
    throw BookError(ErrorKind::kIo,
                    FormatText("Can't move file pointer to get file %s buffer.\n", Printable(path).c_str()))
        .About(path)
        .At(position.value_or(0));
  const auto endsBefore = [&] {
    return BookError(ErrorKind::kIo,
                     FormatText("Can't read file %s buffer: the chm file ends before it.\n", Printable(path).c_str()))
        .About(path)
        .At(*position);
  };
  if (entry.length > chm.Size() - *position) throw endsBefore();
  ObjectBuffer bytes;
  try {
    bytes.resize(entry.length);
  } catch (const std::bad_alloc&) {
    throw BookError(ErrorKind::kMemory,
                    FormatText("Can't allocate memory for file %s buffer.\n", Printable(path).c_str()))
        .About(path);
  }
  if (!chm.ReadAt(*position, bytes.data(), bytes.size())) throw endsBefore();
  return bytes;
}

ObjectBuffer Container::Parts::ReadCompressed(std::uint64_t sectionNumber, const DirectoryEntry& entry) const {
  const CompressedSection* section = compressed[sectionNumber].get();
  if (section == nullptr)  // a table of a compressed section stored in one
    throw BookError(ErrorKind::kFormat,
                    FormatText("Object %s lies in a section that is not read yet.\n", Printable(entry.name).c_str()));
  if (const BookError* failure = section->SetupError()) throw *failure;
  const ResetTable& table = section->Table();
  // An empty object needs no decoding, even at the very end of the section
  // where no block starts.
  if (entry.length == 0 && entry.offset <= table.plainLength) return {};
  const std::optional<IntervalRange> range = IntervalsFor(table, section->WindowField(), entry.offset, entry.length);
  if (!range)
    throw BookError(ErrorKind::kFormat,
                    FormatText("Object %s lies past the end of its content section.\n", Printable(entry.name).c_str()))
        .About(entry.name)
        .At(entry.offset);
  if (const BookError* failure = section->FileError()) throw *failure;

  ObjectBuffer bytes;
  const std::uint64_t begin = entry.offset;
  const std::uint64_t end = entry.offset + entry.length;
  for (std::uint64_t k = range->first; k <= range->last; ++k) {
    const IntervalBytes plain = DecodedInterval(sectionNumber, k);
    const std::uint64_t start = section->Interval(k).plainStart;
    const std::uint64_t from = std::max(begin, start);
    const std::uint64_t to = std::min(end, start + plain->size());
    if (from >= to) continue;
    try {
      bytes.insert(bytes.end(), plain->begin() + static_cast<std::ptrdiff_t>(from - start),
                   plain->begin() + static_cast<std::ptrdiff_t>(to - start));
    } catch (const std::bad_alloc&) {
      throw BookError(ErrorKind::kMemory,
                      FormatText("Can't allocate memory for file %s buffer.\n", Printable(entry.name).c_str()))
          .About(entry.name);
    }
  }
  if (bytes.size() != entry.length)
    throw BookError(ErrorKind::kFormat,
                    FormatText("Object %s lies past the end of its content section.\n", Printable(entry.name).c_str()))
        .About(entry.name)
        .At(entry.offset);
  return bytes;
}

IntervalBytes Container::Parts::DecodedInterval(std::uint64_t sectionNumber, std::uint64_t interval) const {
  if (IntervalBytes kept = intervals.Find(sectionNumber, interval)) return kept;
  const CompressedSection& section = *compressed[sectionNumber];
  const std::uint64_t size = section.PlainSize(interval);
  std::shared_ptr<std::vector<std::uint8_t>> plain;
  std::vector<std::uint8_t> input;
  try {
    plain = std::make_shared<std::vector<std::uint8_t>>(size);
  } catch (const std::bad_alloc&) {
    RaiseBookError(ErrorKind::kMemory, "No memory to allocate.");
  }
  section.Decode(interval, chm, decoders, input, *plain);
  intervals.Put(sectionNumber, interval, plain);
  return plain;
}

const BookError* Container::CompressedSectionFailure() const {
  const Parts& parts = *parts_;
  const auto& sections = parts.file.sections;
  for (const DirectoryEntry& entry : parts.file.entries) {
    const std::string_view name = entry.name;
    if (name.starts_with("::DataSpace/Storage/") || EqualNoCase(name, "/$FIftiMain") || name.ends_with('/')) continue;
    if (entry.section >= sections.size() || parts.compressed[entry.section] == nullptr) continue;
    if (const BookError* failure = parts.compressed[entry.section]->SetupError()) return failure;
  }
  return nullptr;
}

}  // namespace tessaly
