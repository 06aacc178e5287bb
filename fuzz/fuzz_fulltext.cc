// Fuzz target: the full-text index ($FIftiMain) alone. In real books the
// index lies in the compressed section, where fuzz_book's mutations rarely
// leave a stream that still decodes; here the bytes are the index itself.
// Loaded, then searched for words that its bytes spell and a few fixed
// words.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/book_error.h"
#include "base/pointer_array.h"
#include "base/topic_table.h"
#include "index_words.h"
#include "search/full_text_index.h"


extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tessaly::FullTextIndex index;
  try {
    index.Load(std::vector<std::uint8_t>(data, data + size));
  } catch (const tessaly::BookError&) {
    return 0;
  }
  std::vector<std::string> words = IndexWords({data, size}, 8);
  words.insert(words.end(), {"a", "the", "zzzz"});
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
