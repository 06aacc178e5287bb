// Resources stay bounded by what a book file justifies: a bad book opened a
// thousand times leaves no file descriptor and no memory behind, a small
// file that declares a huge object, directory, table or index fails before
// memory for what it declares is set aside, plain bytes are set aside only
// as they are decoded, and a directory costs a small multiple of its bytes.
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/book_error.h"
#include "book/book.h"
#include "search/fti_builder.h"
#include "search/full_text_index.h"
#include "support/book_builder.h"
#include "support/book_entries.h"
#include "support/chm_builder.h"

#if defined(__SANITIZE_ADDRESS__)
#define TESSALY_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSALY_ASAN 1
#endif
#endif

#ifdef TESSALY_ASAN
extern "C" {
int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*, std::size_t),
                                              void (*freeHook)(const volatile void*));
std::size_t __sanitizer_get_current_allocated_bytes();
}
#endif

namespace tessaly {
namespace {

using test::Append16;
using test::Append32;
using test::BookBuilder;
using test::ChmBuilder;
using test::Put16;
using test::Put32;
using test::Put64;
using test::TempFile;

std::string SystemObject(const std::string& title) {
  std::vector<std::uint8_t> out;
  Append32(out, 3);
  Append16(out, 3);
  Append16(out, static_cast<std::uint16_t>(title.size() + 1));
  out.insert(out.end(), title.begin(), title.end());
  out.push_back(0);
  return {out.begin(), out.end()};
}

BookBuilder SmallBook() {
  BookBuilder b;
  b.AddFile("#SYSTEM", SystemObject("Small"));
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/index.htm", "<html>index</html>");
  return b;
}

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

// Bytes the heap holds for the program right now.
std::size_t HeapInUse() {
#ifdef TESSALY_ASAN
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

// A bad book, and what opening it must say.
struct BadBook {
  std::string what;
  std::vector<std::uint8_t> bytes;
  std::string message;
  std::function<void(Book&)> after;  // runs after a successful Open (index, search)
};

std::vector<BadBook> BadBooks() {
  std::vector<BadBook> books;
  {
    std::vector<std::uint8_t> bytes = SmallBook().Build();
    bytes.resize(60);
    books.push_back({"truncated header", bytes, "Can't read chm's header.", nullptr});
  }
  {
    std::vector<std::uint8_t> bytes = SmallBook().Build();
    Put32(bytes, ChmBuilder::kItspOffset + 44, 1000000);
    Put32(bytes, ChmBuilder::kChunksOffset + 16, 5);  // the listing goes on past the file
    books.push_back({"a million chunks", bytes,
                     "Directory of 1000000 chunks of 4096 bytes does not fit in the file.\n", nullptr});
  }
  {
    BookBuilder b = SmallBook();
    b.editNameList = [](auto& l) { Put16(l, 2, 9); };
    books.push_back({"section list", b.Build(),
                     "Content sections list runs past the end of ::DataSpace/NameList.\n", nullptr});
  }
  {
    BookBuilder b = SmallBook();
    b.editResetTable = [](auto& t) { Put32(t, 4, 1000000); };
    books.push_back(
        {"reset table count", b.Build(),
         "Can't decompress section 1.\nReset table of section MSCompressed is shorter than its 1000000 "
         "entries.\n",
         nullptr});
  }
  {
    // Opens as far as its contents sitemap, which holds a malformed tag.
    BookBuilder named;
    named.AddFile("#SYSTEM", std::string("\3\0\0\0"
                                         "\0\0\10\0"
                                         "toc.hhc\0",
                                         16));
    named.AddFile("#STRINGS", std::string(1, '\0'));
    named.AddFile("/toc.hhc",
                  "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"x\"></OBJECT>"
                  "<LI <OBJECT></UL>");
    books.push_back({"contents", named.Build(), "", nullptr});
  }
  {
    // Opens; the full-text index claims far more leaves than it holds.
    BookBuilder b = SmallBook();
    std::vector<std::uint8_t> fti(64, 0);
    Put32(fti, 16, 0xFFFFFFFF);
    Put32(fti, 46, 64);
    b.AddFile("/$FIftiMain", fti, false);
    books.push_back({"full-text index", b.Build(), "", [](Book& book) {
                       try {
                         book.LoadFullTextIndex();
                         ADD_FAILURE() << "the index loaded";
                       } catch (const BookError& e) {
                         EXPECT_NE(e.Message().find("$FIftiMain is damaged"), std::string::npos)
                             << e.Message();
                       }
                     }});
  }
  return books;
}

std::string OpenMessage(Book& book, const std::string& path) {
  try {
    book.Open(path);
  } catch (const BookError& e) {
    return e.Message();
  }
  return "";
}

TEST(ResourceBounds, ThousandOpensOfBadBooksLeakNothing) {
  std::vector<BadBook> books = BadBooks();
  std::vector<std::unique_ptr<TempFile>> files;
  for (const BadBook& bad : books) files.push_back(std::make_unique<TempFile>(bad.bytes));
  // The contents case fails in the sitemap parser; its message comes from there.
  {
    Book probe;
    books[4].message = OpenMessage(probe, files[4]->Path());
    ASSERT_EQ(books[4].message.rfind("Error while parse TOC file.\n", 0), 0u) << books[4].message;
  }

  auto round = [&](int times) {
    for (int i = 0; i < times; ++i) {
      for (std::size_t k = 0; k < books.size(); ++k) {
        // A fresh Book each time, and one Book reused across failures.
        Book fresh;
        const std::string message = OpenMessage(fresh, files[k]->Path());
        if (message != books[k].message) {
          ADD_FAILURE() << books[k].what << ": " << message;
          return;
        }
        if (message.empty() && books[k].after) books[k].after(fresh);
      }
    }
  };
  Book reused;
  auto reuse = [&](int times) {
    for (int i = 0; i < times; ++i) {
      for (std::size_t k = 0; k < books.size(); ++k) {
        if (OpenMessage(reused, files[k]->Path()) != books[k].message) {
          ADD_FAILURE() << "reused Book: " << books[k].what;
          return;
        }
        reused.Close();
      }
    }
  };
  // Warm up: buffers the library keeps (the log, iostreams, the decoder's
  // first window) are there before counting starts.
  round(20);
  reuse(20);
  const std::size_t descriptors = OpenDescriptors();
  const std::size_t heap = HeapInUse();
  round(1000);
  reuse(1000);
  EXPECT_EQ(OpenDescriptors(), descriptors);
  const std::size_t after = HeapInUse();
  EXPECT_LE(after, heap + 64 * 1024) << "heap grew from " << heap << " to " << after << " bytes";
}

// ---------------------------------------------------------------------------
// Allocation bounds. In a normal build each case runs in a child process
// whose address space is capped a little above what it already uses, so any
// attempt to set aside what a header declares fails the child. Under the
// address sanitizer (which reserves terabytes of address space) the
// allocator reports each allocation instead, and the largest is checked.

constexpr std::size_t kAllowance = 64u << 20;  // far above any real need here, far below the claims

#ifdef TESSALY_ASAN
std::atomic<bool> recording{false};
std::atomic<std::size_t> largest{0};

void OnMalloc(const volatile void*, std::size_t size) {
  if (!recording.load(std::memory_order_relaxed)) return;
  std::size_t seen = largest.load(std::memory_order_relaxed);
  while (size > seen && !largest.compare_exchange_weak(seen, size)) {
  }
}
void OnFree(const volatile void*) {}

// Runs the case, returning its BookError message, or a note of the largest
// allocation when one exceeded the allowance.
std::string RunBounded(const std::function<void()>& run) {
  static const bool installed = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree) != 0;
  if (!installed) return "<no allocation hooks>";
  largest = 0;
  recording = true;
  std::string message = "<no error>";
  try {
    run();
  } catch (const BookError& e) {
    message = e.Message();
  } catch (const std::bad_alloc&) {
    message = "<bad_alloc>";
  }
  recording = false;
  if (largest.load() > kAllowance) return "<allocation of " + std::to_string(largest.load()) + " bytes>";
  return message;
}
#else
std::size_t AddressSpaceInUse() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return 0;
  char line[256];
  std::size_t kib = 0;
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::strncmp(line, "VmSize:", 7) == 0) kib = std::strtoull(line + 7, nullptr, 10);
  }
  std::fclose(status);
  return kib * 1024;
}

// Runs the case in a child under the cap, returning the child's BookError
// message; a child that dies (an allocation the cap refused, a crash)
// returns a description of its end.
std::string RunBounded(const std::function<void()>& run) {
  int pipe[2];
  if (::pipe(pipe) != 0) return "<no pipe>";
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipe[0]);
    const std::size_t cap = AddressSpaceInUse() + kAllowance;
    const rlimit limit{cap, cap};
    ::setrlimit(RLIMIT_AS, &limit);
    std::string message = "<no error>";
    try {
      run();
    } catch (const BookError& e) {
      message = e.Message();
    } catch (const std::bad_alloc&) {
      message = "<bad_alloc>";
    }
    const ssize_t written = ::write(pipe[1], message.data(), message.size());
    ::_exit(written == static_cast<ssize_t>(message.size()) ? 0 : 3);
  }
  ::close(pipe[1]);
  std::string message;
  char buffer[512];
  for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;)
    message.append(buffer, static_cast<std::size_t>(n));
  ::close(pipe[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return "<child ended with status " + std::to_string(status) + ">";
  return message;
}
#endif

TEST(ResourceBounds, TheBoundCatchesAnOversizedAllocation) {
  // The harness itself: a case that does set aside 1 GiB does not pass.
  const std::string message = RunBounded([] {
    std::vector<std::uint8_t> claimed(std::size_t{1} << 30);
    claimed[claimed.size() - 1] = 1;
    if (claimed.back() != 1) RaiseBookError("unreachable");
  });
  EXPECT_EQ(message.rfind("<", 0), 0u) << message;
  EXPECT_EQ(RunBounded([] { RaiseBookError("small"); }), "small");
}

struct ClaimCase {
  const char* what;
  std::vector<std::uint8_t> bytes;
  std::function<void(Book&, const std::string&)> run;
  std::string message;
};

TEST(ResourceBounds, HugeClaimsInSmallFilesFailBeforeAllocating) {
  auto open = [](Book& book, const std::string& path) { book.Open(path); };
  auto openStorage = [](Book& book, const std::string& path) { book.OpenStorage(path); };
  std::vector<ClaimCase> cases;
  {
    std::vector<std::uint8_t> bytes = SmallBook().Build();
    Put32(bytes, ChmBuilder::kItspOffset + 44, 1000000);
    Put32(bytes, ChmBuilder::kChunksOffset + 16, 5);  // the listing goes on past the file
    cases.push_back({"a million chunks", bytes, open,
                     "Directory of 1000000 chunks of 4096 bytes does not fit in the file.\n"});
  }
  {
    std::vector<std::uint8_t> bytes = SmallBook().Build();
    Put32(bytes, ChmBuilder::kItspOffset + 16, 0x40000000);
    cases.push_back({"a 1 GiB chunk", bytes, open,
                     "Directory of 1 chunks of 1073741824 bytes does not fit in the file.\n"});
    Put32(bytes, ChmBuilder::kItspOffset + 44, 0);
    cases.push_back({"no chunks of 1 GiB", bytes, open, "Can't find last directory chunk\n"});
  }
  {
    BookBuilder b = SmallBook();
    b.AddRawEntry("/huge.bin", 0, 0, 0xFFFFFFFF);
    cases.push_back({"a 4 GiB stored object", b.Build(),
                     [](Book& book, const std::string& path) {
                       book.OpenStorage(path);
                       book.ReadObject("huge.bin");
                     },
                     "Can't read file huge.bin buffer: the chm file ends before it.\n"});
  }
  {
    BookBuilder b = SmallBook();
    b.AddRawEntry("/huge.bin", 1, 0, 0xFFFFFFFF);
    cases.push_back(
        {"a 4 GiB compressed object", b.Build(),
         [](Book& book, const std::string& path) {
           book.Open(path);
           book.ReadObject("huge.bin");
         },
         "Can't decompress section 1.\nObject /huge.bin lies past the end of its content section.\n"});
  }
  {
    BookBuilder b = SmallBook();
    b.editResetTable = [](auto& t) { Put32(t, 4, 1000000); };
    cases.push_back(
        {"a reset table of a million blocks", b.Build(), open,
         "Can't decompress section 1.\nReset table of section MSCompressed is shorter than its 1000000 "
         "entries.\n"});
  }
  {
    BookBuilder b = SmallBook();
    b.editResetTable = [](auto& t) { Put64(t, 16, 0xFFFFFFFF); };
    cases.push_back(
        {"a 4 GiB plain length", b.Build(), open,
         "Can't decompress section 1.\nReset table of section MSCompressed promises more plain bytes "
         "than its compressed bytes can hold.\n"});
  }
  {
    BookBuilder b = SmallBook();
    b.editResetTable = [](auto& t) { Put64(t, 24, 0xFFFFFFF0); };
    cases.push_back({"a 4 GiB compressed length", b.Build(), openStorage, ""});
    cases.back().run = [](Book& book, const std::string& path) {
      book.OpenStorage(path);
      book.ReadObject("index.htm");
    };
    cases.back().message =
        "Can't decompress section 1.\nCompressed section MSCompressed runs past the end of the chm file.\n";
  }
  {
    BookBuilder b = SmallBook();
    std::vector<std::uint8_t> fti(64, 0);
    Put32(fti, 16, 0xFFFFFFFF);
    Put32(fti, 46, 64);
    b.AddFile("/$FIftiMain", fti, false);
    cases.push_back(
        {"four billion index leaves", b.Build(),
         [](Book& book, const std::string& path) {
           book.Open(path);
           book.LoadFullTextIndex();
         },
         "$FIftiMain is damaged: 4294967295 leaf nodes of 64 bytes do not fit an object of 64 bytes."});
  }
  for (const ClaimCase& c : cases) {
    ASSERT_LT(c.bytes.size(), 20000u) << c.what;
    TempFile file(c.bytes);
    const std::string message = RunBounded([&] {
      Book book;
      c.run(book, file.Path());
    });
    EXPECT_EQ(message, c.message) << c.what;
  }
}

TEST(ResourceBounds, AWordClaimingBillionsOfDocumentsFailsBeforeAllocating) {
  test::FtiBuilder fti;
  test::FtiWord& word = fti.Add("huge", {0});
  word.documentCount = 0xFFFFFFF0;
  word.listSize = 0xFFFFFFF0;
  const std::vector<std::uint8_t> data = fti.Build().data;
  const std::string message = RunBounded([&] {
    test::TopicTableBytes topics;
    topics.Add("t", "t.htm");
    FullTextIndex index;
    index.Load(data);
    PointerArray<SearchResult> results(10, 10);
    index.Search("huge", TopicTable(topics.topics, topics.urltbl, topics.urlstr, topics.strings), results);
  });
  EXPECT_EQ(message.rfind("$FIftiMain is damaged: the document list at ", 0), 0u) << message;
}

TEST(ResourceBounds, PlainBytesAreSetAsideOnlyAsTheyAreDecoded) {
  // A 2 MiB book whose reset table claims 4 GiB of plain bytes (as many as
  // its compressed bytes could hold) past its last block, with an object
  // claiming nearly all of them. Reads decode what the table places and
  // refuse the rest, within the allowance: the huge object and the one whose
  // end lies in the last (overlong) interval fail, the others read.
  BookBuilder b = SmallBook();
  std::vector<std::uint8_t> filler(2200000);
  for (std::size_t i = 0; i < filler.size(); ++i) filler[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
  b.AddFile("/filler.bin", filler);
  b.AddFile("/tail.bin", std::string(100000, 't'));
  b.AddRawEntry("/huge.bin", 1, 0, 0xFFFF0000);
  b.editResetTable = [](auto& t) { Put64(t, 16, 0xFFFFFFF0); };
  TempFile file(b.Build());
  const std::string refused =
      "Can't decompress section 1.\nReset table of section MSCompressed has too few blocks for its 4294967280 "
      "plain bytes.\n";
  auto outcome = [&](const std::string& message) { return message == refused ? "refused" : "other: " + message; };
  EXPECT_EQ(RunBounded([&] {
              Book book;
              book.Open(file.Path());
              std::string read = book.ReadObject("filler.bin") == filler ? "filler read;" : "filler wrong;";
              for (const char* name : {"huge.bin", "tail.bin"}) {
                try {
                  book.ReadObject(name);
                } catch (const BookError& error) {
                  read += std::string(name) + " " + outcome(error.Message()) + ";";
                }
              }
              RaiseBookError("%s", read.c_str());
            }),
            "filler read;huge.bin refused;tail.bin refused;");
  EXPECT_EQ(RunBounded([&] {
              Book book;
              book.OpenStorage(file.Path());
              std::string read;
              test::ReadAllObjects(
                  book,
                  [&](const DirectoryEntry& entry, std::span<const std::uint8_t> bytes) {
                    if (entry.name != "/filler.bin") return;
                    read += std::ranges::equal(bytes, filler) ? "filler read;" : "filler wrong;";
                  },
                  [&](const DirectoryEntry& entry, const BookError& error) {
                    read += std::string(entry.name) + " " + outcome(error.Message()) + ";";
                  });
              RaiseBookError("%s", read.c_str());
            }),
            "/huge.bin refused;filler read;/tail.bin refused;");
}

TEST(ResourceBounds, DirectoryMemoryIsASmallMultipleOfItsBytes) {
  // 300,000 entries of six bytes each: names of two bytes, one-byte numbers.
  ChmBuilder b;
  constexpr std::size_t kEntries = 300000;
  for (std::size_t i = 0; i < kEntries; ++i) b.AddEntry("/" + std::to_string(i % 10), 0, 0, 0);
  const std::vector<std::uint8_t> bytes = b.Build();
  const std::size_t directoryBytes = b.ListingChunks() * b.chunkSize;
  TempFile file(bytes);
  const std::size_t before = HeapInUse();
  {
    Book book;
    book.OpenContainer(file.Path());
    const std::size_t held = HeapInUse() - before;
    ASSERT_EQ(book.EntryCount(), kEntries);
    ASSERT_TRUE(book.FindEntry("7"));
    EXPECT_EQ(book.FindEntry("7")->index, 7u);
    EXPECT_LT(held, 4 * directoryBytes) << held << " bytes for a directory of " << directoryBytes;
  }
}

}  // namespace
}  // namespace tessaly
