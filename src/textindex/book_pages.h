// The pages of a book as plain text: which objects are pages, read with the
// book's bulk read (each compressed section decoded once), turned into text
// once per stored object, within a budget.
//
// Pages are all the HTML objects (.htm, .html) of the directory: the topic
// table and the contents may name only some of them, and give titles. Each
// stored range of bytes is a page once, however many directory entries name
// it (the first entry's path is the page's), and each canonical path (ASCII
// letters folded, as the book compares paths) names one page. Pages come
// in the order the book stores them.
//
// Budget: the text of all pages (titles, names and paths included) is at most
// three times the book's distinct stored bytes (a code page's character may
// take three bytes of UTF-8) plus 1 MiB, and never more than 128 MiB; the
// pages past it are left out (PagesRead::budgetSpent).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "base/text_converter.h"
#include "textindex/page_text.h"

namespace tessaly {
class Book;
}

namespace tessaly::textindex {

struct BookPage {
  // UTF-8: its topic's title (the page's <title> when that is fuller), else
  // its <title>, else its path; but its first name in the contents when
  // many pages share that title.
  std::string title;
  // Its other names, a line each: the contents' and the keyword index's
  // names for it, and a shared <title> that gave way to one of them.
  std::string names;
  std::string headings;  // the text of its headings, a line each
  std::string path;   // UTF-8, canonical, without a fragment
  std::string text;   // UTF-8 plain text (page_text.h)
  Decoding decoding = Decoding::kBookCodePage;
};

struct PagesRead {
  std::size_t pages = 0;
  std::size_t unreadable = 0;   // pages that the book names but could not give
  bool budgetSpent = false;     // pages were left out: their text would pass the budget
  std::uint64_t budget = 0;     // bytes of text
};

// For a worker thread: progress from 0 to 100 (called from one thread at a
// time, not always the caller's), and a flag that stops the work between
// two pages (BuildCancelled is raised then).
struct BuildControl {
  std::function<void(int percent)> progress;
  const std::atomic<bool>* cancel = nullptr;
};

class BuildCancelled : public std::exception {
 public:
  const char* what() const noexcept override { return "The page-text index was not built: cancelled."; }
};

// The budget of the text of a book whose objects hold this many distinct
// stored bytes.
std::uint64_t TextBudget(std::uint64_t distinctBytes);

// Calls onPage for each page (the page may be moved from). The book must be
// open (Book::Open). Progress runs from `first` to `last`. Raises
// BuildCancelled, and BookError where the book's directory cannot be walked
// at all; a page that cannot be read is counted, not raised.
PagesRead ForEachBookPage(const Book& book, const TextConverter& converter, const BuildControl& control,
                          const std::function<void(BookPage&)>& onPage, int first = 0, int last = 100);

}  // namespace tessaly::textindex
