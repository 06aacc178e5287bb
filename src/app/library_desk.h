// LibraryDesk: the reader's side of the user's library. Books the user
// opens join it; a folder or book the user adds joins it too, and what is
// new is indexed on workers while the window shows the progress. An
// editor's help key (`tessaly --keyword WORD [BOOK]`) is answered here: one
// topic opens, several are offered in "Topics Found", none falls back to
// the pages whose text holds the word. The Library view lists the books
// (read by a job); one activated opens in a tab. When the window comes back
// to the front, every folder of the library is looked at again (a stat per
// book) and what changed is indexed: that is how the reader follows its
// folders while it runs, besides watching them (LibraryView::WatchFolders).
//
// Everything runs as jobs (library_jobs.h); nothing here waits. Additions
// run one after the other, so that two indexing runs never race for the
// same books.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
  // A book the user opened joins the library.
  void AddOpened(const std::string& path);
  // Library > Add Folder...: the folder the user chooses joins the library.
  void AddChosenFolder();
  // The folders and books are looked at again (the window came back).
  void Rescan();
  // A watched folder changed (LibraryView::WatchFolders).
  void OnFoldersChanged() { Rescan(); }
  // The Library view shows, with the books as they are now.
  void ShowLibrary();
  // The search across the books kept between queries (Ctrl+K's).
  const std::shared_ptr<KeptLibrarySearch>& KeptSearch() const { return kept_; }

  // Bookmarks: the page of a book kept under a name (Ctrl+D), and every
  // book's, newest first, read when the window starts and after each
  // change; `changed` runs when they were read.
  void AddBookmark(const std::string& book, const std::string& page, const std::string& name);
  void LoadBookmarks(std::function<void()> changed);
  const std::vector<PageBookmark>& Bookmarks() const { return bookmarks_; }
  void OpenBookmark(std::size_t index);
  // The Bookmarks window shows, with every book's.
  void ShowBookmarks();

  // --- From the view ------------------------------------------------------------
  // A book of the Library view (its row as last shown) is activated.
  void OnBookActivated(int row);
  // A bookmark of the Bookmarks window (its row as last shown, the order of
  // Bookmarks()) is opened, renamed (a blank name keeps the old one) or deleted.
  void OnBookmarkActivated(int row) { OpenBookmark(static_cast<std::size_t>(row)); }
  void OnBookmarkRenamed(int row, const std::string& name);
  void OnBookmarkDeleted(int row);

 private:
  std::optional<LibraryPlace> Place() const;
  void StartNextAdd();
  void ShowFound(const KeywordLookupJob& found, const std::string& word, const std::string& book);

  Platform& platform_;
  JobScheduler& jobs_;
  OpenPage open_;
  CancelFlag cancel_ = NewCancelFlag();
  std::shared_ptr<KeptLibrarySearch> kept_ = NewKeptLibrarySearch();
  struct Addition {
    std::string path;
    bool index = false;
  };
  std::deque<Addition> adding_;  // the first is under way
  bool listShown_ = false;       // the Library view shows: additions refresh it
  bool listing_ = false;
  std::vector<std::string> listed_;  // the paths of the rows shown
  std::vector<std::string> watched_;
  std::vector<PageBookmark> bookmarks_;
  std::function<void()> bookmarksChanged_;
  bool bookmarksShown_ = false;  // the Bookmarks window shows: changes refresh it
  void ReadBookmarks(BookmarkChange change, bool present = false);
};

}  // namespace tessaly::app
