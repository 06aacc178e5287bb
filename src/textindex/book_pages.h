// The pages of a book as plain text: which objects are pages, read with the
// book's bulk read (each compressed section decoded once), turned into text.
//
// Pages are the topics of the topic table that name an HTML object (.htm,
// .html), or, when no topic does, every HTML object of the directory. Each
// page comes once, by its canonical path (ASCII letters folded, as the
// book compares paths), in topic order (else directory order).
#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "base/text_converter.h"
#include "textindex/page_text.h"

namespace tessaly {
class Book;
}

namespace tessaly::textindex {

struct BookPage {
  std::string title;  // UTF-8: the topic's title, else the page's <title>, else its path
  std::string path;   // UTF-8, canonical, without a fragment
  std::string text;   // UTF-8 plain text (page_text.h)
  Decoding decoding = Decoding::kBookCodePage;
};

struct BookPages {
  std::vector<BookPage> pages;
  std::size_t unreadable = 0;  // pages that the book names but could not give
};

// For a worker thread: progress from 0 to 100, and a flag that stops the
// work between two pages (BuildCancelled is raised then).
struct BuildControl {
  std::function<void(int percent)> progress;
  const std::atomic<bool>* cancel = nullptr;
};

class BuildCancelled : public std::exception {
 public:
  const char* what() const noexcept override { return "The page-text index was not built: cancelled."; }
};

// The book must be open (Book::Open). Progress runs from `first` to `last`.
// Raises BuildCancelled, and BookError where the book's directory cannot be
// walked at all; a page that cannot be read is counted, not raised.
BookPages ReadBookPages(const Book& book, const TextConverter& converter, const BuildControl& control, int first = 0,
                        int last = 100);

}  // namespace tessaly::textindex
