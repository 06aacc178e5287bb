// Fuzz target: the bytes as a whole .chm file, driven through every reader a
// book passes through in the reader: the container and its sections, every
// object (one by one and in bulk), the contents and keyword index, the
// full-text index and a few searches, and the default page prepared into a
// scratch folder.
//
// A Book reads from a path, so each input is written to a file first (on
// /dev/shm when there is one, to keep the disk out of the loop).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/book_error.h"
#include "book/book.h"
#include "pages/pages.h"
#include "index_words.h"

namespace {

using tessaly::Book;
using tessaly::BookError;

// The page view of the fuzzer: shows nothing, opens nothing, but follows
// frames through the cache as the reader does.
class QuietPlatform : public tessaly::PagePlatform {
 public:
  tessaly::PageCache* cache = nullptr;
  bool OpenExternal(std::string_view) override { return false; }
  void ReportMissingLink(std::string_view) override {}
  void ShowError(std::string_view) override {}
  void ReportMissingPart(std::string_view) override {}
  bool ShowPage(std::string_view link) override { return cache != nullptr && cache->PreparePage(link); }
  bool ShowImages() const override { return true; }
};

struct Scratch {
  std::string root;
  std::string book;
  std::string pages;
  Scratch() {
    const std::string base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
    root = base + "/tessaly-fuzz-" + std::to_string(::getpid());
    pages = root + "/pages";
    book = root + "/input.chm";
    std::filesystem::create_directories(pages);
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }
};

Scratch& TheScratch() {
  static Scratch scratch;
  return scratch;
}

bool WriteInput(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  const bool written = size == 0 || std::fwrite(data, 1, size, out) == size;
  return std::fclose(out) == 0 && written;
}

// Touches every byte handed out, so that a view past its buffer shows.
std::uint32_t Sum(std::span<const std::uint8_t> bytes) {
  std::uint32_t sum = 0;
  for (std::uint8_t byte : bytes) sum += byte;
  return sum;
}

volatile std::uint32_t sink;

void ReadEveryObject(Book& book) {
  // One by one, each compressed object decodes the reset intervals it lies
  // in: the first and last entries are enough here, the bulk read below
  // takes all.
  constexpr std::size_t kSingleReads = 24;
  const std::size_t count = book.EntryCount();
  std::vector<std::string> names;
  for (std::size_t i = 0; i < count; ++i) {
    if (i < kSingleReads / 2 || i + kSingleReads / 2 >= count) names.emplace_back(book.Entry(i).name);
  }
  for (const std::string& name : names) {
    try {
      sink = sink + Sum(book.ReadObject(name));
    } catch (const BookError&) {
    }
  }
  try {
    book.ReadStoredRanges(
        [](tessaly::Book::Aliases aliases, std::span<const std::uint8_t> bytes) {
          sink = sink + Sum(bytes) + aliases.size();
        },
        [](tessaly::Book::Aliases, const BookError& error) { sink = sink + error.Message().size(); });
    sink = sink + book.DistinctBytes();
  } catch (const BookError&) {
  }
}

void Search(Book& book) {
  // Words that the index's bytes spell, so that searches reach document lists.
  std::vector<std::string> words;
  try {
    book.LoadFullTextIndex();
    words = IndexWords(book.ReadObject("$FIftiMain"), 4);
  } catch (const BookError&) {
    return;
  }
  words.insert(words.end(), {"a", "the", "index", std::string(300, 'x')});
  for (const std::string& word : words) {
    try {
      sink = sink + static_cast<std::uint32_t>(book.Search(word).Count());
    } catch (const BookError&) {
    }
  }
}

void PreparePages(Book& book, const std::string& folder) {
  QuietPlatform platform;
  tessaly::History history;
  tessaly::PageCache cache(platform, history, folder);
  platform.cache = &cache;
  cache.SetBook(&book);
  const std::string topics[] = {std::string(book.DefaultTopic()), std::string(book.HomeTopic())};
  for (const std::string& topic : topics) {
    try {
      cache.SetCurrentPageDir("");
      cache.PreparePage(topic);
    } catch (const BookError&) {
    }
  }
  const tessaly::ContentsTree& contents = book.Contents();
  if (!contents.root.children.Empty()) {
    const tessaly::TocNode* first = contents.root.children.Get(0);
    try {
      cache.SetCurrentPageDir("");
      cache.PreparePage(first->local);
    } catch (const BookError&) {
    }
  }
  cache.ClearPageFiles(false);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Scratch& scratch = TheScratch();
  if (!WriteInput(scratch.book, data, size)) return 0;
  std::ostream nowhere(nullptr);  // formats every log line, writes none

  {
    Book book;
    book.SetLog(&nowhere);
    try {
      book.OpenStorage(scratch.book);
      ReadEveryObject(book);
    } catch (const BookError&) {
    }
  }

  Book book;
  book.SetLog(&nowhere);
  try {
    book.Open(scratch.book);
  } catch (const BookError&) {
    return 0;
  }
  try {
    book.BuildKeywordIndex();
  } catch (const BookError&) {
  }
  Search(book);
  PreparePages(book, scratch.pages);
  book.Close();
  return 0;
}
