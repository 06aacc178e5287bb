// Work over several books at once: one book per core, results in the order
// the books were named.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace tessaly::cli {

// What one book's work gives: its standard output, its standard error, and
// its exit status.
struct BookOutcome {
  std::string out;
  std::string err;
  int status = 0;
};

// Runs work(i) for every book 0 .. count-1 on up to `threads` threads and
// writes each outcome (its output, then its messages) in book order as soon
// as the books before it are written. Returns the highest status.
int ForEachBook(std::size_t count, std::size_t threads, const std::function<BookOutcome(std::size_t)>& work);

// The threads to use for `books` books: one per core, at most one per book.
std::size_t ShelfThreads(std::size_t books);

}  // namespace tessaly::cli
