#include "app/book_session.h"

#include <sys/stat.h>

#include "app/page_text_search.h"
#include "book/book.h"

namespace tessaly::app {

std::optional<FileId> IdentityOf(const std::string& path) {
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0) return std::nullopt;
  return FileId{info.st_dev, info.st_ino};
}

BookSession::BookSession(std::shared_ptr<const Book> book, std::string path, std::string title)
    : book_(std::move(book)),
      path_(std::move(path)),
      identity_(IdentityOf(path_)),
      title_(std::move(title)),
      pageText_(std::make_shared<PageTextSearch>()) {}

BookSession::~BookSession() {
  cancel_->store(true);
  pageText_->cancel = true;
}

bool BookSession::IsFile(const std::string& path) const {
  if (path == path_) return true;
  const std::optional<FileId> other = IdentityOf(path);
  return identity_ && other && *identity_ == *other;
}

}  // namespace tessaly::app
