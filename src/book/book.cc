#include "book/book.h"

#include "base/book_error.h"
#include "book/directory.h"
#include "book/file.h"
#include "lzx/lzx_decoder.h"
#include "pages/link_path.h"

namespace tessaly {

namespace {

// Strips what surrounds a path pasted from a link or a shell: blanks, quotes
// and semicolons at both ends, and trailing slashes. A leading '/' is where an
// absolute path begins on this system, so it stays.
std::string TrimFileName(std::string_view path) {
  constexpr std::string_view kFront = " \t\r\n\"';";
  constexpr std::string_view kBack = " \t\r\n\"';/";
  std::size_t start = path.find_first_not_of(kFront);
  if (start == std::string_view::npos) return std::string();
  path.remove_prefix(start);
  std::size_t end = path.find_last_not_of(kBack);
  return std::string(path.substr(0, end == std::string_view::npos ? 0 : end + 1));
}

}  // namespace

Book::Book() : lzx_(std::make_unique<LzxDecoder>()) {}

Book::~Book() = default;

void Book::Close() {
  inputBuffer_.reset();
  outputBuffer_.reset();
  inputCapacity_ = 0;
  outputCapacity_ = 0;
  index_.Clear();
  bookFile_ = BookFile();
  languageId_ = kDefaultLanguageId;
}

void Book::OpenContainer(std::string_view path) {
  Close();

  std::string name = TrimFileName(path.substr(0, kMaxBookPath));
  bookFile_.fileName = name;

  if (FileExtension(name) != ".chm") RaiseBookError("File must have *.chm extention: %s.", name.c_str());

  tessaly::File file;
  const bool opened = file.Open(name);
  log_.Write("%i", file.Handle());
  if (!opened) RaiseBookError("Can't open chm file: %s.", name.c_str());
  ReadDirectory(file, bookFile_, log_);
  index_.Build(bookFile_.entries);
}

}  // namespace tessaly
