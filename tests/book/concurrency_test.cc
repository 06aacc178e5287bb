// One open book read from several threads at once: every object read by four
// threads (and by a bulk read beside them) gives its serial bytes, and the
// parts built on request come out the same, and fail the same, whichever
// thread asks first. scripts/test.sh also runs these under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <latch>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "base/book_error.h"
#include "book/book.h"
#include "support/book_entries.h"
#include "support/chm_builder.h"

namespace tessaly {
namespace {

constexpr int kThreads = 4;

std::uint64_t Digest(std::span<const std::uint8_t> bytes) {
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (std::uint8_t byte : bytes) hash = (hash ^ byte) * 1099511628211ull;
  return hash ^ bytes.size();
}

// What a read of the path gives: its bytes' digest, or its error's.
std::uint64_t Outcome(const Book& book, const std::string& path) {
  try {
    return Digest(book.ReadObject(path));
  } catch (const BookError& error) {
    const std::string message = "error: " + error.Message();
    return Digest({reinterpret_cast<const std::uint8_t*>(message.data()), message.size()});
  }
}

// Runs work(t) on kThreads threads that start together.
template <class Work>
void OnThreads(int count, Work work) {
  std::latch start(count);
  std::vector<std::thread> threads;
  for (int t = 0; t < count; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      work(t);
    });
  }
  for (std::thread& thread : threads) thread.join();
}

void ExpectConcurrentReadsGiveTheSerialBytes(const std::string& path) {
  Book book;
  book.Open(path);
  // Every object a path reaches: folder markers are no objects, and a '#'
  // past the first byte starts a fragment.
  std::vector<std::string> names;
  std::map<std::uint32_t, std::uint64_t> serialOf;  // entry number -> digest
  std::vector<std::uint64_t> serial;
  for (const DirectoryEntry& entry : test::Entries(book)) {
    if (entry.name.ends_with('/') || entry.name.find('#', 1) != std::string_view::npos) continue;
    names.emplace_back(entry.name);
    serial.push_back(Outcome(book, names.back()));
    serialOf[entry.index] = serial.back();
  }
  ASSERT_GT(names.size(), 100u);

  std::atomic<std::size_t> reads{0}, mismatches{0}, bulkMismatches{0};
  OnThreads(kThreads + 1, [&](int t) {
    if (t == kThreads) {
      // The bulk read, through the same decoders and file.
      test::ReadAllObjects(
          book,
          [&](const DirectoryEntry& entry, std::span<const std::uint8_t> bytes) {
            const auto known = serialOf.find(entry.index);
            if (known != serialOf.end() && known->second != Digest(bytes)) ++bulkMismatches;
          },
          [&](const DirectoryEntry& entry, const BookError&) {
            if (serialOf.contains(entry.index)) ++bulkMismatches;
          });
      return;
    }
    // Each thread starts at its own quarter, so they decode different
    // intervals at once and meet on the same ones too.
    const std::size_t n = names.size();
    for (std::size_t k = 0; k < n; ++k) {
      const std::size_t i = (k + static_cast<std::size_t>(t) * n / kThreads) % n;
      if (Outcome(book, names[i]) != serial[i]) ++mismatches;
      ++reads;
    }
  });
  EXPECT_EQ(reads.load(), kThreads * names.size());
  EXPECT_EQ(mismatches.load(), 0u);
  EXPECT_EQ(bulkMismatches.load(), 0u);
}

TEST(Concurrency, EveryObjectOfALargeTestBookFromFourThreads) {
  ExpectConcurrentReadsGiveTheSerialBytes(test::TestBook("large"));
}

TEST(Concurrency, EveryObjectOfTheLargestCorpusBookFromFourThreads) {
  const std::string path = std::string(TESSALY_CORPUS) + "/files/openstacknetsdk-openstack-net-api-reference.chm";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "corpus book " << path << " is absent";
  ExpectConcurrentReadsGiveTheSerialBytes(path);
}

// The keyword index as text, and a search's topics: what the threads compare.
std::string Keywords(const Book& book) {
  std::string out;
  ForEachIndexEntry(book.KeywordIndex(), [&](const IndexEntry& entry, int depth) {
    out += std::to_string(depth) + entry.name + "\n";
  });
  return out;
}

std::vector<std::uint32_t> Topics(const PointerArray<SearchResult>& results) {
  std::vector<std::uint32_t> topics;
  for (const SearchResult* result : results) topics.push_back(result->topic);
  return topics;
}

TEST(Concurrency, PartsBuiltOnRequestAreBuiltOnceForEveryThread) {
  const std::string path = test::TestBook("large");
  Book reference;
  reference.Open(path);
  reference.BuildKeywordIndex();
  reference.LoadFullTextIndex();
  const std::string keywords = Keywords(reference);
  const std::vector<std::uint32_t> found = Topics(reference.Search("the"));
  ASSERT_FALSE(keywords.empty());
  ASSERT_FALSE(found.empty());

  Book book;
  book.Open(path);
  std::atomic<int> differences{0};
  OnThreads(kThreads, [&](int t) {
    // Half the threads search before they load: they find nothing until
    // another thread has loaded the index, then what the reference finds.
    if (t % 2 == 0) book.LoadFullTextIndex();
    const std::vector<std::uint32_t> early = Topics(book.Search("the"));
    if (!early.empty() && early != found) ++differences;
    book.LoadFullTextIndex();
    if (Topics(book.Search("the")) != found) ++differences;
    book.BuildKeywordIndex();
    if (Keywords(book) != keywords) ++differences;
  });
  EXPECT_EQ(differences.load(), 0);

  // A part that cannot be built fails for every thread, with the same error.
  Book plain;
  plain.Open(test::TestBook("plain"));
  std::vector<std::string> errors(kThreads);
  OnThreads(kThreads, [&](int t) {
    try {
      if (t % 2 == 0) plain.BuildKeywordIndex();
      plain.LoadFullTextIndex();
    } catch (const BookError& error) {
      errors[static_cast<std::size_t>(t)] = error.Message();
    }
  });
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(errors[static_cast<std::size_t>(t)], t % 2 == 0 ? "No *.hhk file in CHM." : "No $FIftiMain file in CHM.");
  }
}

}  // namespace
}  // namespace tessaly
