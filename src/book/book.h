// Book: one opened CHM file and everything read or built from it.
//
// A Book is created for every file the reader opens and destroyed when the
// next one is opened; an open that failed part way leaves a Book that can
// still be closed or destroyed safely. The file itself is not held open:
// it is opened for the header and directory and again for each read.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "base/log.h"
#include "book/book_file.h"

namespace tessaly {

class Book {
 public:
  static constexpr std::int32_t kDefaultLanguageId = 1033;

  Book();
  ~Book();
  Book(const Book&) = delete;
  Book& operator=(const Book&) = delete;

  // Checks the path (it must end in ".chm"), opens the file and reads its
  // header and directory. Raises BookError.
  void OpenContainer(std::string_view path);

  // Releases everything the book holds; the Book is then as constructed.
  void Close();

  // Attaches a diagnostic log (not owned; null detaches). The header,
  // directory, content sections and system records are dumped to it.
  void SetLog(std::ostream* log) { log_.SetStream(log); }
  Logger& Log() { return log_; }

  const BookFile& File() const { return bookFile_; }
  std::int32_t LanguageId() const { return languageId_; }

 private:
  BookFile bookFile_;
  Logger log_;
  std::int32_t languageId_ = kDefaultLanguageId;
};

}  // namespace tessaly
