// extract: every stored object of one or more books into a folder.
//
// A book is read once per stored range (each compressed section decoded
// once, in order) while a second thread writes the files: decoding and
// writing overlap, as they do for an archive tool whose decompressor runs
// beside it. The names a range goes by are written from the one copy of its
// bytes. Several books are extracted one per core, each into a folder of
// its own named after it.
//
// What one book writes is at most twice its distinct stored bytes and 1 MiB
// (Book::DistinctBytes), never more than 1 GB: a book whose directory names
// one range many times writes no more than twice what it holds. Past the
// budget the extraction stops with a message, and exits 1.
//
// Files are written through the target folder's descriptor: a link that
// stands in the folder is refused as a folder and replaced as a file, never
// written through (base/safe_files.h).
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/book_error.h"
#include "base/safe_files.h"
#include "book/book.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "cli/shelf.h"

namespace tessaly::cli {

namespace {

namespace fs = std::filesystem;

// Where a book's messages go: straight to standard error (one book, with
// its progress line), or gathered for the shelf to write in book order.
class Messages {
 public:
  Messages(bool direct, bool progress) : direct_(direct), progress_(progress) {}

  void Warn(const std::string& line) {
    std::lock_guard lock(mutex_);
    const std::string shown = Printable(line, true);
    if (!direct_) {
      gathered_ += shown;
      return;
    }
    if (progress_) std::fputc('\n', stderr);
    std::fputs(shown.c_str(), stderr);
  }
  std::string Gathered() {
    std::lock_guard lock(mutex_);
    return std::move(gathered_);
  }

 private:
  std::mutex mutex_;
  bool direct_;
  bool progress_;
  std::string gathered_;
};

// The files waiting for the writing thread, at most kMaxPending bytes of
// them, so that a book larger than memory streams through.
class WriteQueue {
 public:
  static constexpr std::size_t kMaxPending = 32u << 20;

  // One stored range: the names (relative paths) to write its bytes under.
  struct File {
    std::vector<std::string> names;
    std::shared_ptr<const std::vector<std::uint8_t>> bytes;
  };

  void Push(File file) {
    std::unique_lock lock(mutex_);
    room_.wait(lock, [&] { return pending_ == 0 || pending_ + file.bytes->size() <= kMaxPending; });
    pending_ += file.bytes->size();
    files_.push_back(std::move(file));
    filled_.notify_one();
  }
  void Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    filled_.notify_one();
  }
  // The next file, or false once the queue is closed and empty.
  bool Pop(File& file) {
    std::unique_lock lock(mutex_);
    filled_.wait(lock, [&] { return closed_ || !files_.empty(); });
    if (files_.empty()) return false;
    file = std::move(files_.front());
    files_.pop_front();
    pending_ -= file.bytes->size();
    room_.notify_one();
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable filled_, room_;
  std::deque<File> files_;
  std::size_t pending_ = 0;
  bool closed_ = false;
};

struct Extraction {
  std::size_t written = 0;
  int status = 0;
};

constexpr std::uint64_t kWriteFloor = 1 << 20;
constexpr std::uint64_t kWriteCeiling = 1'000'000'000;

// What a book with this many distinct stored bytes may write.
std::uint64_t WriteBudget(std::uint64_t distinctBytes) {
  return std::min(kWriteCeiling, std::min(distinctBytes, kWriteCeiling) * 2 + kWriteFloor);
}

struct BudgetSpent {};

// Extracts one book into target; raises BookError when the book cannot be
// opened. Messages about single objects go to `messages`.
Extraction ExtractBook(const std::string& path, const fs::path& target, Messages& messages, bool progress) {
  Book book;
  book.OpenStorage(path);
  Extraction result;
  FolderHandle root = FolderHandle::Open(target, true);
  if (!root.IsOpen()) {
    messages.Warn("tessaly-cli: cannot create " + target.string() + ": " + std::strerror(errno) + "\n");
    result.status = 1;
    return result;
  }
  FolderWalker folders(std::move(root));
  WriteQueue queue;
  std::size_t written = 0;
  bool failed = false;
  std::thread writer([&] {
    WriteQueue::File file;
    while (queue.Pop(file)) {
      for (const std::string& relative : file.names) {
        // Nothing already in the folder is followed: a link where a folder
        // should be is refused, a file or link where the file goes is
        // replaced.
        const FolderHandle* folder = folders.FolderOf(relative);
        const std::string_view name = std::string_view(relative).substr(relative.rfind('/') + 1);
        if (folder == nullptr || !WriteFileIn(*folder, name, *file.bytes)) {
          messages.Warn("tessaly-cli: cannot write " + (target / relative).string() + ": " + std::strerror(errno) +
                        "\n");
          failed = true;
          continue;
        }
        ++written;
      }
    }
  });

  const std::size_t total = book.EntryCount();
  std::size_t done = 0;
  auto report = [&](std::size_t objects) {
    const std::size_t before = done;
    done += objects;
    if (progress && (done / 64 != before / 64 || done == total))
      std::fprintf(stderr, "\rExtracting: %zu of %zu objects", done, total);
  };
  const std::uint64_t budget = WriteBudget(book.DistinctBytes());
  std::uint64_t spent = 0;
  std::size_t queued = 0;
  try {
    book.ReadStoredRanges(
        [&](Book::Aliases aliases, std::span<const std::uint8_t> bytes) {
          report(aliases.size());
          WriteQueue::File file;
          bool spentAll = false;
          for (const DirectoryEntry& entry : aliases) {
            if (entry.name.ends_with('/')) continue;
            std::string relative = SafeRelativePath(entry.name);
            if (relative.empty()) {
              messages.Warn("tessaly-cli: skipping '" + std::string(entry.name.substr(0, entry.name.find('\0'))) +
                            "': its name would leave the target folder\n");
              continue;
            }
            if (bytes.size() > budget - spent) {
              spentAll = true;
              break;
            }
            spent += bytes.size();
            file.names.push_back(std::move(relative));
          }
          if (!file.names.empty()) {
            queued += file.names.size();
            file.bytes = std::make_shared<const std::vector<std::uint8_t>>(bytes.begin(), bytes.end());
            queue.Push(std::move(file));
          }
          if (spentAll) throw BudgetSpent();
        },
        [&](Book::Aliases aliases, const BookError& error) {
          report(aliases.size());
          std::string text = error.Message();
          if (text.empty() || text.back() != '\n') text += '\n';
          for (const DirectoryEntry& entry : aliases) messages.Warn(std::string(entry.name) + ": " + text);
          result.status = 1;
        });
  } catch (const BudgetSpent&) {
    messages.Warn("tessaly-cli: " + path + ": the extraction stops after " + std::to_string(queued) +
                  " files: more would pass " + std::to_string(budget >> 20) +
                  " MiB, the most that the book's size allows\n");
    result.status = 1;
  } catch (...) {
    queue.Close();
    writer.join();
    throw;
  }
  queue.Close();
  writer.join();
  result.written = written;
  if (failed) result.status = 1;
  return result;
}

// The folders several books go into: each book's file name without its
// ".chm", made unique among them with "-2", "-3", ...
std::vector<fs::path> BookFolders(const Args& books, const fs::path& target) {
  std::vector<fs::path> folders;
  std::set<std::string> taken;
  for (const std::string& book : books) {
    std::string stem = fs::path(book).stem().string();
    if (stem.empty() || stem == "." || stem == "..") stem = "book";
    std::string name = stem;
    for (int n = 2; !taken.insert(name).second; ++n) name = stem + "-" + std::to_string(n);
    folders.push_back(target / name);
  }
  return folders;
}

}  // namespace

int RunExtract(const Args& args) {
  const Args books(args.begin(), args.end() - 1);
  const fs::path target = args.back();
  if (books.size() == 1) {
    const bool progress = isatty(fileno(stderr));
    Messages messages(true, progress);
    const Extraction result = ExtractBook(books[0], target, messages, progress);
    if (progress) std::fprintf(stderr, "\rExtracted %zu objects into %s\n", result.written, target.c_str());
    return result.status;
  }
  const std::vector<fs::path> folders = BookFolders(books, target);
  return ForEachBook(books.size(), ShelfThreads(books.size()), [&](std::size_t i) {
    Messages messages(false, false);
    BookOutcome outcome;
    try {
      const Extraction result = ExtractBook(books[i], folders[i], messages, false);
      outcome.status = result.status;
      outcome.err = messages.Gathered();
    } catch (const BookError& error) {
      outcome.err = messages.Gathered() + books[i] + ": " + ErrorReport(error);
      outcome.status = 1;
    }
    return outcome;
  });
}

}  // namespace tessaly::cli
