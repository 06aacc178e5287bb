// TabHost: what a tab asks of the window it stands in (the Reader): the
// platform and the jobs, the layout, the store of recent books, the other
// tabs' books, and what crosses tabs (a link or a history step into another
// book, the start view's links).
#pragma once

#include <string>
#include <string_view>

#include "app/page_history.h"
#include "app/views.h"

namespace tessaly::app {

class BookSession;
class BookTab;
class JobScheduler;
class ObjectCache;
class Platform;
class QueryHistory;
class RecentBooks;

class TabHost {
 public:
  virtual ~TabHost() = default;
  virtual Platform& Window() = 0;
  virtual JobScheduler& Jobs() = 0;
  virtual ObjectCache& Objects() = 0;
  virtual RecentBooks& Recent() = 0;
  // The queries of the books' Search panels, one history for every tab.
  virtual QueryHistory& SearchQueries() = 0;
  virtual Layout CurrentLayout() const = 0;
  // Whether the sidebar shows beside the page (kept between runs).
  virtual bool SidebarShown() const = 0;
  virtual void StoreSidebar(bool shown) = 0;
  virtual bool IsCurrent(const BookTab& tab) const = 0;
  // The session of an open book whose path is exactly this; null: none.
  virtual const BookSession* OpenBookAt(const std::string& path) const = 0;
  // The tab's menus, tool buttons, title or busy state changed.
  virtual void TabChanged(BookTab& tab) = 0;
  // The tab's page began or ended loading: its tool buttons and busy state
  // (its menus stay as they are).
  virtual void TabBusyChanged(BookTab& tab) = 0;
  // The tab's book has opened (or failed to: the tab is to go).
  virtual void TabOpened(BookTab& tab, bool opened) = 0;
  // The first page of the tab's book has loaded: work for the book that
  // nobody waits for may start now, without slowing that page.
  virtual void BookShown(BookTab& tab) = 0;
  // A link of the tab's page into another book (path resolved, page in
  // that book's text, the link as written for messages). newTab: the user
  // asked for a tab of its own.
  virtual void FollowIntoBook(BookTab& from, const std::string& book, const std::string& page,
                              std::string_view written, bool newTab) = 0;
  // A link of the tab's page to open in a new tab of its own book.
  virtual void OpenInNewTab(BookTab& from, const std::string& page) = 0;
  // Back or forward in the tab's history reached another book's page.
  virtual void StepIntoBook(BookTab& from, const HistoryEntry& entry) = 0;
  // The start view's links: open a book, chosen or named.
  virtual void OpenChosenBook() = 0;
  virtual void OpenBookFile(const std::string& path) = 0;
  virtual void ShowLibrary() = 0;
};

}  // namespace tessaly::app
