#include "search/adjacent_characters.h"

#include <algorithm>
#include <map>

namespace tessaly {

namespace {

bool IsLeadByte(unsigned char byte, int codePage) {
  switch (codePage) {
    case 932:
      return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950:
      return byte >= 0x81 && byte <= 0xFE;
    default:
      return false;
  }
}

// Each topic's sorted locations of one character, in titles (flag 1) or in
// text (flag 0).
using Locations = std::map<std::uint32_t, std::vector<std::uint32_t>>;

Locations LocationsOf(const FullTextIndex& index, const std::string& character, std::uint8_t flag) {
  Locations found;
  std::vector<WordEntry> entries;
  index.FindWordEntries(character, entries);
  for (const WordEntry& entry : entries) {
    if (entry.flag != flag) continue;
    index.DecodeLocations(entry, [&](std::uint32_t topic, std::span<const std::uint32_t> locations) {
      std::vector<std::uint32_t>& kept = found[topic];
      kept.insert(kept.end(), locations.begin(), locations.end());
    });
  }
  for (auto& [topic, locations] : found) std::sort(locations.begin(), locations.end());
  return found;
}

}  // namespace

std::vector<std::string> DoubleByteCharacters(std::string_view query, int codePage) {
  std::vector<std::string> characters;
  for (std::size_t at = 0; at < query.size(); at += 2) {
    const auto lead = static_cast<unsigned char>(query[at]);
    if (!IsLeadByte(lead, codePage) || at + 1 >= query.size()) return {};
    characters.emplace_back(query.substr(at, 2));
  }
  if (characters.size() < 2) return {};
  return characters;
}

std::vector<SearchResult> FindAdjacentCharacters(const FullTextIndex& index,
                                                 const std::vector<std::string>& characters) {
  std::map<std::uint32_t, std::uint32_t> matches;  // topic -> times the characters stand in a row
  for (const std::uint8_t flag : {std::uint8_t{0}, std::uint8_t{1}}) {
    std::vector<Locations> each;
    each.reserve(characters.size());
    for (const std::string& character : characters) {
      each.push_back(LocationsOf(index, character, flag));
      if (each.back().empty()) break;
    }
    if (each.size() < characters.size() || each.back().empty()) continue;
    for (const auto& [topic, first] : each[0]) {
      std::uint32_t times = 0;
      for (const std::uint32_t location : first) {
        bool inRow = true;
        for (std::size_t i = 1; i < each.size() && inRow; ++i) {
          const auto other = each[i].find(topic);
          inRow = other != each[i].end() && location <= UINT32_MAX - i &&
                  std::binary_search(other->second.begin(), other->second.end(),
                                     location + static_cast<std::uint32_t>(i));
        }
        if (inRow) ++times;
      }
      if (times > 0) matches[topic] += times;
    }
  }
  std::vector<SearchResult> found;
  found.reserve(matches.size());
  for (const auto& [topic, times] : matches) found.push_back(SearchResult{topic, times});
  return found;
}

}  // namespace tessaly
