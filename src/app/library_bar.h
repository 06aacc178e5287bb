// LibraryBar: the search field above the tabs, across every book of the
// library. Each change of the query starts a search job and drops the one
// under way (its results never show); a result activated opens its page in
// its book's tab (the tab the book has, else a new one). Enter or an
// opened result keeps the query in the field's history, which Up and Down
// recall (kept in the library's store between runs).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/jobs.h"
#include "app/library_desk.h"
#include "app/library_history.h"
#include "app/library_jobs.h"

namespace tessaly::app {

class Platform;

class LibraryBar {
 public:
  LibraryBar(Platform& platform, JobScheduler& jobs, std::shared_ptr<KeptLibrarySearch> kept,
             LibraryDesk::OpenPage open);
  ~LibraryBar();
  LibraryBar(const LibraryBar&) = delete;
  LibraryBar& operator=(const LibraryBar&) = delete;

  // The window exists: the field's history is read.
  void Start();
  // Ctrl+K.
  void Focus();

  // --- From the view -------------------------------------------------------------
  void OnQueryChanged();
  void OnEnter();
  void OnResultActivated(int line);
  // Up (step 1: an older query) or Down (step -1: a newer one, then none).
  void OnHistory(int step);

 private:
  void Search(const std::string& query);

  Platform& platform_;
  JobScheduler& jobs_;
  std::shared_ptr<KeptLibrarySearch> kept_;
  LibraryDesk::OpenPage open_;
  CancelFlag cancel_ = NewCancelFlag();  // raised when the bar goes
  CancelFlag search_;                    // the search under way, raised by a newer one
  std::vector<LibraryPage> pages_;       // the results on show
  QueryHistory history_;
};

}  // namespace tessaly::app
