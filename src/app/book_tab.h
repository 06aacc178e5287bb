// BookTab: one tab of the reader's window. It opens its book (a job), then
// holds the BookSession and the four panels over the tab's views, and
// decides what shows in the tab: which panel, the sidebar beside the page
// or one pane, focus, the view settings and text size of this tab. A tab
// without a book shows the start view (the recent books and a way to open
// one). Closing the tab destroys it: its session, its jobs' results and its
// views go with it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/book_export.h"
#include "app/book_jobs.h"
#include "app/contents_panel.h"
#include "app/index_panel.h"
#include "app/jobs.h"
#include "app/page_history.h"
#include "app/page_panel.h"
#include "app/search_panel.h"
#include "app/tab_host.h"
#include "app/views.h"

namespace tessaly::app {

class BookSession;

class BookTab {
 public:
  explicit BookTab(TabHost& host);
  ~BookTab();
  BookTab(const BookTab&) = delete;
  BookTab& operator=(const BookTab&) = delete;

  // Opens the book (an absolute path) at the page (UTF-8, empty: where it
  // was left, else its default topic). origin: the page a link came from,
  // first in the new book's history.
  void Open(const std::string& path, const std::string& page, std::optional<HistoryEntry> origin = std::nullopt);
  // No book: the start view.
  void ShowStart();

  // --- State -------------------------------------------------------------------------
  BookSession* Session() { return session_.get(); }
  const BookSession* Session() const { return session_.get(); }
  bool Opening() const { return opening_; }
  const std::string& OpeningPath() const { return openingPath_; }
  // A page loads, or work the user waits for runs (the index, a search).
  bool Busy() const { return page_.Busy(); }
  bool Working() const { return opening_ || index_.Building() || search_.Working(); }
  bool Accepting() const;
  const std::string& Title() const { return title_; }
  int TextSize() const { return settings_.zoomLevel; }
  const ViewSettings& Settings() const { return settings_; }
  bool TextSizeMarked() const { return textSizeMarked_; }
  const PanelSet& Panels() const { return panels_; }
  Panel ShownPanel() const { return panel_; }
  bool Exporting() const { return exporter_.Running(); }

  // --- Commands (the window routes the book's commands to its tab) ---------------------
  void Command(int command);
  void ChoosePanel(Panel panel);
  void ShowPanel(Panel panel);
  void RevealPage();
  void Locate();
  bool PanelExists(Panel panel) const;
  bool Visible(Control control) const;
  // The tab comes to the front: its progress, its focus.
  void Shown();
  // The window's layout changed.
  void LaidOut();
  // The page view has loaded what it was told to: the first time after the
  // book opened, the window may start the book's work in the background.
  void PageLoaded();

  // --- For the panels --------------------------------------------------------------------
  TabHost& Host() { return host_; }
  TabView& View() { return *view_; }
  JobScheduler& Jobs() { return host_.Jobs(); }
  const TextCodec& Codec() const;
  const CancelFlag& Cancel() const { return cancel_; }
  ContentsPanel& Contents() { return contents_; }
  IndexPanel& Index() { return index_; }
  SearchPanel& Search() { return search_; }
  PagePanel& Page() { return page_; }
  // Book text (the book's code page) as UTF-8 of at most maxChars.
  std::string Text(std::string_view text, std::size_t maxChars) const;
  std::string MessageOf(std::string_view message) const;
  void ShowBookError(std::string_view message);
  void ShowProgress(std::string_view caption, int value);
  void HideProgress();
  // Hides the bar when it shows this caption.
  void HideProgressOf(std::string_view caption);
  // A job's progress, shown under this caption while the flag is down.
  Progress ProgressOf(std::string_view caption, const CancelFlag& cancel);
  PageTextSource PageTextSourceOf(const BookSession& session);
  void StoreRecent();

 private:
  void FinishOpen(OpenBookJob& done, const std::string& page, const std::optional<HistoryEntry>& origin);
  Panel SidebarTab() const;
  void ToggleSidebar();
  void SetTextSize(int size);
  void ApplySettings();

  TabHost& host_;
  CancelFlag cancel_ = NewCancelFlag();
  std::unique_ptr<TabView> view_;
  std::unique_ptr<BookSession> session_;
  ContentsPanel contents_;
  IndexPanel index_;
  SearchPanel search_;
  PagePanel page_;
  BookExport exporter_{*this};

  bool opening_ = false;
  std::string openingPath_;
  std::string title_;
  PanelSet panels_;
  Panel panel_ = Panel::kNone;           // the panel chosen (its radio item is marked)
  Panel sidebarTab_ = Panel::kContents;  // the tab F9 brings back
  ViewSettings settings_;
  bool textSizeMarked_ = false;
  bool awaitingFirstPage_ = false;
  std::string progressCaption_;
  int progressValue_ = 0;
};

}  // namespace tessaly::app
