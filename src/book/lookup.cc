// Finding objects by path and reading them; the content section list.
#include <algorithm>
#include <cstring>
#include <new>

#include "base/book_error.h"
#include "base/bytes.h"
#include "base/text.h"
#include "base/text_converter.h"
#include "book/book.h"
#include "book/file.h"
#include "pages/link_path.h"

namespace tessaly {

namespace {

constexpr const char* kNameList = "::DataSpace/NameList";
constexpr std::size_t kMaxSectionName = 255;

std::string Printable(std::string_view text) { return std::string(text.substr(0, text.find('\0'))); }

}  // namespace

bool IsExternalUrl(std::string_view text) {
  std::string lower(text.substr(0, std::min(text.find('\0'), kMaxBookPath)));
  LowerCaseInPlace(lower);
  return lower.find("http:") != std::string::npos || lower.find("https:") != std::string::npos ||
         lower.find("ftp:") != std::string::npos;
}

const DirectoryEntry* Book::FindEntry(std::string_view path) {
  if (const DirectoryEntry* entry = FindEntryOnce(path)) return entry;
  // Directory names are UTF-8, but sitemaps, topic tables and pages write
  // paths in the book's code page: try again with the path converted.
  const bool wide = std::any_of(path.begin(), path.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  if (wide && converter_ != nullptr) {
    std::optional<std::string> utf8 = converter_->ToUtf8(path, CodePage());
    if (utf8 && *utf8 != path) {
      if (const DirectoryEntry* entry = FindEntryOnce(*utf8)) return entry;
    }
  }
  log_.Write("Can't find entry for file %s\n", Printable(path).c_str());
  return nullptr;
}

const DirectoryEntry* Book::FindEntryOnce(std::string_view path) {
  // The path as a link would carry it: at most 255 bytes, entities and
  // escapes decoded, canonical, without its fragment ("#SYSTEM" keeps its '#').
  std::string work(path.substr(0, std::min(path.find('\0'), kMaxBookPath)));
  DecodeEntities(work);
  NormalizeBookPath(work);
  const std::size_t hash = work.find('#');
  if (hash != std::string::npos && hash != 0) work.resize(hash);

  const auto& entries = bookFile_.entries;
  if (auto i = index_.FindName(work)) return &entries[*i];

  // A link that names a page in another folder than the one it lies in still
  // finds it by its file name alone, unless it leads out of the book.
  if (!IsExternalUrl(work)) {
    std::size_t separator = work.rfind('/');
    if (separator == std::string::npos) separator = work.rfind('\\');
    if (separator != std::string::npos) {
      if (auto i = index_.FindLastComponent(std::string_view(work).substr(separator + 1))) return &entries[*i];
    }
  }
  return nullptr;
}

std::uint32_t Book::ObjectSize(std::string_view path) {
  const DirectoryEntry* entry = FindEntry(path);
  return entry ? entry->length : 0;
}

std::span<const std::uint8_t> Book::ReadObject(std::string_view path) {
  const DirectoryEntry* entry = FindEntry(path);
  if (entry == nullptr) RaiseBookError("Can't find entry for file %s\n", Printable(path).c_str());
  return ReadEntry(*entry, path, false, nullptr);
}

ObjectBuffer Book::ReadObjectCopy(std::string_view path) {
  const DirectoryEntry* entry = FindEntry(path);
  if (entry == nullptr) RaiseBookError("Can't find entry for file %s\n", Printable(path).c_str());
  ObjectBuffer copy;
  ReadEntry(*entry, path, true, &copy);
  return copy;
}

std::span<const std::uint8_t> Book::ReadEntry(const DirectoryEntry& entry, std::string_view path, bool ownCopy,
                                              ObjectBuffer* copy) {
  const auto& sections = bookFile_.sections;
  // Until the section list is built (while it is being read) every read goes
  // straight to the file.
  if (!sections.empty() && entry.section >= sections.size()) RaiseBookError("Wrong content section id.\n");
  if (sections.empty() || !sections[entry.section].compressed) return ReadDirect(entry, path, ownCopy, copy);
  try {
    return ReadCompressedObject(entry, ownCopy, copy);
  } catch (const BookError& inner) {
    RaiseBookError("Can't decompress section %d.\n%s", static_cast<int>(entry.section), inner.Message().c_str());
  }
}

std::uint64_t Book::DirectPosition(const DirectoryEntry& entry) const {
  // Content section 0 starts at the content offset; other uncompressed
  // sections at the offset of their Content object inside it.
  std::uint64_t base = static_cast<std::uint32_t>(bookFile_.contentOffset);
  if (entry.section < bookFile_.sections.size()) base += bookFile_.sections[entry.section].dataOffset;
  return base + entry.offset;
}

void Book::ReadDirectInto(tessaly::File& file, const DirectoryEntry& entry, std::string_view path,
                          std::uint8_t* destination) {
  const std::uint64_t position = DirectPosition(entry);
  if (!file.Seek(position))
    RaiseBookError("Can't move file pointer to get file %s buffer.\n", Printable(path).c_str());
  if (file.Read(destination, entry.length) != entry.length)
    RaiseBookError("Can't read file %s buffer: the chm file ends before it.\n", Printable(path).c_str());
}

std::span<const std::uint8_t> Book::ReadDirect(const DirectoryEntry& entry, std::string_view path, bool ownCopy,
                                               ObjectBuffer* copy) {
  tessaly::File file;
  if (!file.Open(bookFile_.fileName)) RaiseBookError("Can't open chm file: %s.", bookFile_.fileName.c_str());
  // A length the file cannot hold is refused before any memory is set aside.
  const std::optional<std::uint64_t> size = file.Size();
  if (!size || DirectPosition(entry) + entry.length > *size)
    RaiseBookError("Can't read file %s buffer: the chm file ends before it.\n", Printable(path).c_str());
  std::uint8_t* destination;
  if (ownCopy) {
    try {
      copy->resize(entry.length);
    } catch (const std::bad_alloc&) {
      RaiseBookError("Can't allocate memory for file %s buffer.\n", Printable(path).c_str());
    }
    destination = copy->data();
  } else {
    GrowOutputBuffer(entry.length);
    destination = outputBuffer_.get();
  }
  ReadDirectInto(file, entry, path, destination);
  return {destination, entry.length};
}

void Book::ReleaseDirectory() {
  bookFile_.entries.clear();
  bookFile_.sections.clear();
  index_.Clear();
}

void Book::ReadSectionList() {
  std::span<const std::uint8_t> list;
  try {
    list = ReadObject(kNameList);
  } catch (const BookError& inner) {
    ReleaseDirectory();
    RaiseBookError("Can't get buffer for file %s.\n%s", kNameList, inner.Message().c_str());
  }
  // The list lies in the shared buffer; nothing below reads another object.
  std::uint16_t rawCount = 0;
  auto damaged = [this]() {
    ReleaseDirectory();
    RaiseBookError("Content sections list runs past the end of %s.\n", kNameList);
  };
  if (!ReadLE16At(list, 2, rawCount) || static_cast<std::int16_t>(rawCount) < 0) damaged();
  const std::size_t count = static_cast<std::int16_t>(rawCount);
  std::vector<ContentSection> sections;
  try {
    sections.resize(count);
  } catch (const std::bad_alloc&) {
    ReleaseDirectory();
    RaiseBookError("Can't allocate memory for content sections list.\n");
  }
  std::size_t pos = 4;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint16_t units = 0;
    if (!ReadLE16At(list, pos, units)) damaged();
    pos += 2;
    const std::size_t bytes = (static_cast<std::size_t>(units) + 1) * 2;
    if (bytes > list.size() - pos) damaged();
    ContentSection& section = sections[i];
    // One byte per UTF-16 unit: its low byte, up to the terminating zero.
    for (std::size_t u = 0; u <= units; ++u) {
      char c = static_cast<char>(list[pos + 2 * u]);
      if (c == '\0') break;
      if (section.name.size() < kMaxSectionName) section.name.push_back(c);
    }
    pos += bytes;
    section.compressed = section.name == "MSCompressed";
  }
  for (std::size_t i = 0; i < count; ++i) {
    ContentSection& section = sections[i];
    if (i != 0) {
      const DirectoryEntry* content = FindEntry(FormatText("::DataSpace/Storage/%s/Content", section.name.c_str()));
      if (content != nullptr) section.dataOffset = content->offset;
    }
    log_.Write("%02d. %08X %s\n", static_cast<int>(i) + 1, section.dataOffset, section.name.c_str());
  }
  bookFile_.sections = std::move(sections);
}

}  // namespace tessaly
