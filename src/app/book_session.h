// BookSession: one open book and what belongs to it alone: the Book, its
// file's identity (device and inode: the same file under any name), its
// title as the window shows it, the page history of the tab reading it, the
// page-text index made searchable for it, and the cancel flag of every job
// started for it. Made when a book has opened, destroyed when its tab
// closes: the destructor raises the flag, so no result of its jobs comes
// back and a page-text build under way stops.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>

#include "app/jobs.h"
#include "app/page_history.h"

namespace tessaly {
class Book;
}

namespace tessaly::app {

struct PageTextSearch;

// A file's identity; nullopt for a path that names no file.
struct FileId {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileId&) const = default;
};
std::optional<FileId> IdentityOf(const std::string& path);

class BookSession {
 public:
  BookSession(std::shared_ptr<const Book> book, std::string path, std::string title);
  ~BookSession();
  BookSession(const BookSession&) = delete;
  BookSession& operator=(const BookSession&) = delete;

  const Book& GetBook() const { return *book_; }
  const std::shared_ptr<const Book>& SharedBook() const { return book_; }
  // The book's absolute path, as its pages' addresses name it.
  const std::string& Path() const { return path_; }
  const std::optional<FileId>& Identity() const { return identity_; }
  const std::string& Title() const { return title_; }
  PageHistory& History() { return history_; }
  const std::shared_ptr<PageTextSearch>& PageText() const { return pageText_; }
  const CancelFlag& Cancel() const { return cancel_; }
  // The same file as `path`, by identity.
  bool IsFile(const std::string& path) const;

 private:
  std::shared_ptr<const Book> book_;
  std::string path_;
  std::optional<FileId> identity_;
  std::string title_;
  PageHistory history_;
  std::shared_ptr<PageTextSearch> pageText_;
  CancelFlag cancel_ = NewCancelFlag();
};

}  // namespace tessaly::app
