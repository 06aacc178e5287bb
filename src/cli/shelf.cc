#include "cli/shelf.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>

#include "base/book_error.h"
#include "cli/output.h"

namespace tessaly::cli {

std::size_t ShelfThreads(std::size_t books) {
  const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
  return std::max<std::size_t>(1, std::min(cores, books));
}

int ForEachBook(std::size_t count, std::size_t threads, const std::function<BookOutcome(std::size_t)>& work) {
  std::vector<std::optional<BookOutcome>> outcomes(count);
  std::mutex mutex;
  std::condition_variable ready;
  std::size_t next = 0;     // the next book a thread takes
  std::size_t written = 0;  // books written out, in order
  // No thread runs further ahead of the writing than twice the threads, so
  // that outcomes waiting to be written stay few.
  const std::size_t window = std::max<std::size_t>(1, threads) * 2;

  auto worker = [&] {
    while (true) {
      std::size_t book;
      {
        std::unique_lock lock(mutex);
        ready.wait(lock, [&] { return next >= count || next < written + window; });
        if (next >= count) return;
        book = next++;
      }
      BookOutcome outcome;
      try {
        outcome = work(book);
      } catch (const BookError& error) {
        outcome.err += ErrorReport(error);
        outcome.status = std::max(outcome.status, 1);
      }
      {
        std::lock_guard lock(mutex);
        outcomes[book] = std::move(outcome);
      }
      ready.notify_all();
    }
  };

  std::vector<std::thread> pool;
  for (std::size_t i = 0; i < std::min(threads, count); ++i) pool.emplace_back(worker);
  int status = 0;
  for (std::size_t book = 0; book < count; ++book) {
    BookOutcome outcome;
    {
      std::unique_lock lock(mutex);
      ready.wait(lock, [&] { return outcomes[book].has_value(); });
      outcome = std::move(*outcomes[book]);
      outcomes[book].reset();
    }
    std::fwrite(outcome.out.data(), 1, outcome.out.size(), stdout);
    std::fflush(stdout);
    std::fwrite(outcome.err.data(), 1, outcome.err.size(), stderr);
    status = std::max(status, outcome.status);
    {
      std::lock_guard lock(mutex);
      written = book + 1;
    }
    ready.notify_all();
  }
  for (std::thread& thread : pool) thread.join();
  return status;
}

}  // namespace tessaly::cli
