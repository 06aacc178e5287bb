#include "base/topic_table.h"

#include <string>

#include "base/book_path.h"
#include "base/bytes.h"
#include "base/text.h"

namespace tessaly {

std::string_view TopicTable::Title(std::int32_t topic) const {
  if (topic < 0 || topic >= Count()) return "Incorrect topic id";
  const std::uint32_t offset = LoadLE32(topics_.data() + 16 * static_cast<std::size_t>(topic) + 4);
  if (offset == 0xFFFFFFFF) return "Untitled topic";
  // A title offset beyond #STRINGS counts as no title.
  if (offset >= strings_.size()) return "Untitled topic";
  return CStringAt(strings_, offset);
}

std::optional<std::string_view> TopicTable::Path(std::int32_t topic) const {
  if (topic < 0 || topic >= Count()) return std::nullopt;
  const std::uint32_t urltblOffset = LoadLE32(topics_.data() + 16 * static_cast<std::size_t>(topic) + 8);
  std::uint32_t urlstrOffset = 0;
  // Records that run past their objects count as absent, not just their starts.
  if (!ReadLE32At(urltbl_, static_cast<std::size_t>(urltblOffset) + 8, urlstrOffset)) return std::nullopt;
  const std::size_t at = static_cast<std::size_t>(urlstrOffset) + 8;
  if (urlstrOffset >= urlstr_.size() || at >= urlstr_.size()) return std::nullopt;
  return CStringAt(urlstr_, at);
}

std::int32_t TopicTable::FindByPath(std::string_view path) const {
  std::string wanted(path.substr(0, std::min(path.find('\0'), kMaxBookPath)));
  DecodeEntities(wanted);
  NormalizeBookPath(wanted);
  if (std::size_t hash = wanted.find('#'); hash != std::string::npos) wanted.resize(hash);
  for (std::int32_t n = 0; n < Count(); ++n) {
    std::optional<std::string_view> stored = Path(n);
    if (stored && EqualNoCase(*stored, wanted)) return n;
  }
  return -1;
}

}  // namespace tessaly
