// Reader: the reader's window, on a Platform (platform.h).
//
// One Reader runs per process, for one main window of tabs (book_tab.h),
// each tab a book with its own panels, history, text size and find bar.
// It keeps to one running reader per user: a second start hands its book
// over to the first, which opens it in a tab (or brings forward the tab of
// that file, by identity), and ends. It routes commands to the tab in
// front, keeps the menus and tool buttons to that tab, follows links and
// history steps from one book's tab into another's, and keeps the tabs,
// the recent books and the sidebar's state in the store.
//
// Long work runs as jobs (jobs.h) owned by a tab's session: a closed tab
// drops its work; nothing ever waits for a job.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "app/jobs.h"
#include "app/library_bar.h"
#include "app/library_desk.h"
#include "app/object_cache.h"
#include "app/platform.h"
#include "app/recent_books.h"
#include "app/tab_host.h"

namespace tessaly::app {

class BookTab;

class Reader final : public TabHost {
 public:
  // jobs: where long work runs (null: threads of the reader's own).
  explicit Reader(Platform& platform, JobScheduler* jobs = nullptr);
  ~Reader() override;
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  // Start-up with the command line (a book path, maybe prefixed "file:\" or
  // "ms-its:", maybe followed by "::/page.htm", or empty; or a request line
  // of command_line.h: a keyword to look up, a folder for the library). True when the
  // platform is to run its event loop; false when this reader has already
  // ended (it handed its book over, or raised the running reader).
  bool Start(std::string_view commandLine);

  // --- Events from the platform ---------------------------------------------
  void OnCommand(int command);
  // The user brought a tab to the front, or asked to close one (its close
  // button, a middle click).
  void OnTabSelected(const BookTab& tab);
  void OnTabClose(BookTab& tab);
  // A book to open in a tab: handed over by another reader (a command
  // line, or a request line of command_line.h), or dropped on the window (a
  // path).
  void OnOpenRequest(std::string_view commandLine);
  void OnActivate(bool active);
  // The window crossed the width between one pane and the sidebar, or the
  // user dragged the sidebar.
  void OnLayout(Layout layout);
  void OnSidebarResized(int width);
  // The window is asked to close. The close path runs at once; work under
  // way is dropped, never waited for.
  void OnClose();
  void OnNotifyIconTap();

  // The library's search field and view report here.
  LibraryBar& Bar() { return bar_; }
  LibraryDesk& Library() { return library_; }
  QueryHistory& SearchQueries() override { return searchQueries_; }

  // The tab in front (null before the window exists and after it closed).
  BookTab* CurrentTab() { return current_; }

  // --- TabHost -------------------------------------------------------------------
  Platform& Window() override { return platform_; }
  JobScheduler& Jobs() override { return jobs_; }
  ObjectCache& Objects() override { return objects_; }
  RecentBooks& Recent() override { return recent_; }
  Layout CurrentLayout() const override { return layout_; }
  bool SidebarShown() const override { return sidebarShown_; }
  void StoreSidebar(bool shown) override;
  bool IsCurrent(const BookTab& tab) const override { return &tab == current_; }
  const BookSession* OpenBookAt(const std::string& path) const override;
  void TabChanged(BookTab& tab) override;
  void TabBusyChanged(BookTab& tab) override;
  void TabOpened(BookTab& tab, bool opened) override;
  void BookShown(BookTab& tab) override;
  void FollowIntoBook(BookTab& from, const std::string& book, const std::string& page, std::string_view written,
                      bool newTab) override;
  void OpenInNewTab(BookTab& from, const std::string& page) override;
  void StepIntoBook(BookTab& from, const HistoryEntry& entry) override;
  void OpenChosenBook() override;
  void OpenBookFile(const std::string& path) override;
  void ShowLibrary() override { library_.ShowLibrary(); }

 private:
  bool Accepting() const { return windowCreated_ && !closed_; }

  // Start-up and instance bookkeeping.
  void RegisterInstance();
  void ReleaseInstance();
  void ReadDesktopValues();
  void RestoreTabs();
  void StoreTabs();

  // Tabs.
  BookTab& AddTab();
  void Select(BookTab& tab);
  void CloseTab(BookTab& tab);
  void StepTab(int step);
  // The tab of the book at this path (by file identity), opening or open.
  BookTab* TabOf(const std::string& path);
  // Opens a book in its tab: the one it has (shown at the page, when one
  // is named), else a new one, else the start view's. origin: the page of
  // another book a link came from.
  BookTab* OpenBook(std::string path, const std::string& page, std::optional<HistoryEntry> origin = std::nullopt,
                    bool fromHistory = false);
  // Carries out what a command line or a hand-over asks.
  void Carry(std::string_view commandLine);
  void OpenHelpFile();
  // Ctrl+D: the page on screen is bookmarked, named after its title.
  void BookmarkPage();
  void OpenRecent(int index);
  void ShowAbout();

  // The window's parts that follow the tab in front.
  void RefreshWindow();
  void RefreshMenus();
  void RefreshButtons();
  // The tool buttons, the commands and the cursor as the current tab's busy
  // state has them.
  void RefreshBusy();
  void Exit();

  Platform& platform_;
  std::unique_ptr<JobScheduler> ownJobs_;
  JobScheduler& jobs_;
  ObjectCache objects_;

  bool started_ = false;
  bool windowCreated_ = false;
  bool closed_ = false;
  bool restoring_ = false;  // the kept tabs open: none is stored meanwhile
  Layout layout_ = Layout::kSinglePane;
  bool sidebarShown_ = true;
  std::optional<Control> savedFocus_;
  RecentBooks recent_;
  std::vector<std::unique_ptr<BookTab>> tabs_;
  BookTab* current_ = nullptr;
  BookTab* left_ = nullptr;  // the tab shown before it (compared, never followed)
  LibraryDesk library_;
  LibraryBar bar_;
  QueryHistory searchQueries_;
};

}  // namespace tessaly::app
