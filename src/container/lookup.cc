// Finding objects by the paths books and links write.
#include <algorithm>
#include <string>

#include "base/book_path.h"
#include "base/text.h"
#include "container/container.h"
#include "container/container_parts.h"

namespace tessaly {

std::optional<DirectoryEntry> Container::Lookup(std::string_view path) const {
  // The path as a link would carry it: at most 255 bytes, entities and
  // escapes decoded, canonical.
  std::string work(path.substr(0, std::min(path.find('\0'), kMaxBookPath)));
  DecodeEntities(work);
  NormalizeBookPath(work);
  const Directory& entries = parts_->file.entries;
  const DirectoryIndex& index = parts_->index;
  // A name may hold '#' itself: it is taken as stored first, and only then
  // without its fragment ("#SYSTEM" keeps its '#').
  const std::size_t hash = work.find('#');
  if (hash != std::string::npos && hash != 0) {
    if (auto i = index.FindName(entries, work)) return entries[*i];
    work.resize(hash);
  }
  if (auto i = index.FindName(entries, work)) return entries[*i];

  // A link that names a page in another folder than the one it lies in still
  // finds it by its file name alone, unless it leads out of the book.
  if (!IsExternalUrl(work)) {
    std::size_t separator = work.rfind('/');
    if (separator == std::string::npos) separator = work.rfind('\\');
    if (separator != std::string::npos) {
      if (auto i = index.FindLastComponent(entries, std::string_view(work).substr(separator + 1))) return entries[*i];
    }
  }
  return std::nullopt;
}

std::optional<DirectoryEntry> Container::FindEntry(std::string_view path) const {
  std::optional<DirectoryEntry> entry = Lookup(path);
  if (!entry) log_.Write("Can't find entry for file %s\n", std::string(path.substr(0, path.find('\0'))).c_str());
  return entry;
}

}  // namespace tessaly
