// Fuzz target: a kept page-text index file, as the reader and the tool meet
// one: opened (its schema checked before anything else runs), validated for
// the book it claims to index, and searched when it passes. The seeds are
// indexes of tests/books/textsearch, whose hash is the one below.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "textindex/text_index.h"

namespace {

constexpr const char* kSeedBook = "bb946e835e822c5072e264e8015dd091eb37cbe13c9568933945a7e08bccf5d1";

// A file of this process, on a memory-backed folder where there is one.
const std::string& ScratchPath() {
  static const std::string path =
      std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/fuzz_textindex." +
      std::to_string(getpid()) + ".sqlite";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tessaly::textindex;
  const std::string& path = ScratchPath();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  try {
    const TextIndex index = TextIndex::Open(path);
    if (index.Validate(kSeedBook).empty()) {
      SearchOptions options;
      options.timeout = std::chrono::milliseconds(2000);
      for (const char* query : {"quokka", "quok*", "\"red fox\"", "fox OR jumps -tag", "函数", "文字列を連結"}) {
        index.Search(query, options);
      }
    }
  } catch (const TextIndexError&) {
  } catch (const QueryError&) {
  }
  unlink(path.c_str());
  return 0;
}
