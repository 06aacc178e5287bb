// LibraryDesk: the reader's side of the user's library. Books the user
// opens join it; a folder or book the user adds joins it too, and what is
// new is indexed on workers while the window shows the progress. An
// editor's help key (`tessaly --keyword WORD [BOOK]`) is answered here: one
// topic opens, several are offered in "Topics Found", none falls back to
// the pages whose text holds the word.
//
// Everything runs as jobs (library_jobs.h); nothing here waits. Additions
// run one after the other, so that two indexing runs never race for the
// same books.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "app/jobs.h"
#include "app/library_jobs.h"

namespace tessaly::app {

class Platform;

class LibraryDesk {
 public:
  // Opens a page of a book in its tab (empty page: where the book starts).
  using OpenPage = std::function<void(const std::string& book, const std::string& page)>;
  LibraryDesk(Platform& platform, JobScheduler& jobs, OpenPage open);
  ~LibraryDesk();
  LibraryDesk(const LibraryDesk&) = delete;
  LibraryDesk& operator=(const LibraryDesk&) = delete;

  // The keyword index entries named `word` in `book` (an absolute path; it
  // joins the library) or, book empty, in every book of the library.
  void LookUp(const std::string& word, const std::string& book);
  // A folder (its books found below it) or a book joins the library, and
  // what is new is indexed.
  void Add(const std::string& path);
  // A book the user opened joins the library (indexed by the next search,
  // lookup or addition: its tab builds the index it needs itself).
  void AddOpened(const std::string& path);

 private:
  std::optional<LibraryPlace> Place() const;
  void StartNextAdd();
  void ShowFound(const KeywordLookupJob& found, const std::string& word, const std::string& book);

  Platform& platform_;
  JobScheduler& jobs_;
  OpenPage open_;
  CancelFlag cancel_ = NewCancelFlag();
  struct Addition {
    std::string path;
    bool index = false;
  };
  std::deque<Addition> adding_;  // the first is under way
};

}  // namespace tessaly::app
