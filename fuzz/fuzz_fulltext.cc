// Fuzz target: the full-text index ($FIftiMain) alone. In real books the
// index lies in the compressed section, where fuzz_book's mutations rarely
// leave a stream that still decodes; here the bytes are the index itself.
// Loaded, then searched for the first words of its first and last leaves
// and a few fixed words.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/book_error.h"
#include "base/pointer_array.h"
#include "base/topic_table.h"
#include "search/full_text_index.h"

namespace {

// The word of the first entry of a leaf, when it decodes.
std::string FirstWordOf(const tessaly::FullTextIndex& index, std::uint32_t leaf) {
  const std::span<const std::uint8_t> data = index.Data();
  if (leaf >= data.size()) return {};
  const std::size_t length = std::min<std::size_t>(index.NodeLength(), data.size() - leaf);
  std::size_t cursor = tessaly::FullTextIndex::kLeafHeaderSize;
  tessaly::WordEntry entry;
  if (!tessaly::ReadWordEntry(data.subspan(leaf, length), cursor, entry)) return {};
  return std::string(entry.characters.begin(), entry.characters.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tessaly::FullTextIndex index;
  try {
    index.Load(std::vector<std::uint8_t>(data, data + size));
  } catch (const tessaly::BookError&) {
    return 0;
  }
  std::vector<std::string> words = {"a", "the", "zzzz"};
  if (!index.Empty()) {
    words.push_back(FirstWordOf(index, index.Leaves().front()));
    words.push_back(FirstWordOf(index, index.Leaves().back()));
  }
  static const tessaly::TopicTable topics;
  tessaly::PointerArray<tessaly::SearchResult> results(100, 10);
  std::vector<tessaly::WordEntry> entries;
  for (const std::string& word : words) {
    if (word.empty()) continue;
    index.FindWordEntries(word, entries);
    for (const tessaly::WordEntry& entry : entries) {
      std::vector<tessaly::SearchResult> documents;
      try {
        index.DecodeDocumentList(entry, documents);
      } catch (const tessaly::BookError&) {
      }
    }
    try {
      index.Search(word, topics, results);
    } catch (const tessaly::BookError&) {
    }
  }
  return 0;
}
