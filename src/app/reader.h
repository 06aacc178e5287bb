// Reader: the reader application's logic, on a Platform (platform.h).
//
// One Reader runs per process, for one main window. It keeps to one running
// reader per user (a second start hands its book over or raises the first),
// records the running instance in the store, and opens one book at a time:
// its menu items, tool buttons, Contents/Index/Search panels and the page
// view. Closing undoes all of it.
//
// Pages are shown straight from the book: the view is told an address
// "ms-its:/path/BOOK.chm::/page.htm" (book_address.h) and asks the reader
// for each object it needs (OnObjectRequest); the reader reads it on a
// worker and answers later. Nothing of a book is written to disk. The
// history (page_history.h) runs across books: Back after a link into
// another book opens the first one again.
//
// Long work runs on workers (workers.h): opening a book, building the
// keyword index, loading the full-text index, searching, and reading the
// objects of pages. The window keeps answering meanwhile; a result is
// applied when it comes back, unless its book is no longer the current one
// (ResetWindow, a new open and the close move the generation on). A close
// during an open closes at once.
//
// Beside what a handheld reader does, the desktop gets: the sidebar's state,
// the recent books, and each book's last page and text size, all kept in the
// store; pages named on the command line ("BOOK.chm::/page.htm") and links
// into other books ("ms-its:OTHER.chm::/page.htm").
//
// Book text stays in the book's code page everywhere except on its way to the
// screen, where DisplayText converts it to UTF-8.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/page_history.h"
#include "app/platform.h"
#include "app/recent_books.h"
#include "app/workers.h"
#include "base/book_error.h"

namespace tessaly {
class Book;
struct IndexEntry;
struct TocNode;
}  // namespace tessaly

namespace tessaly::app {

struct OpenedBook;
struct PageTextSearch;
struct SearchLines;

// Keys the page view reports (Reader::OnPageKey).
enum class PageKey { kUp, kDown, kAction };

class Reader {
 public:
  static constexpr std::size_t kMaxTitleChars = 200;
  static constexpr std::size_t kMaxTreeTextChars = 101;
  static constexpr std::size_t kMaxListTextChars = 100;
  static constexpr std::size_t kMaxEditChars = 99;
  static constexpr std::size_t kMaxQueryBytes = 100;
  static constexpr std::size_t kMaxLinkBytes = 255;
  static constexpr std::size_t kMaxNoticeLines = 10;  // messages in the notice above a page

  // workers: where long work runs (null: threads of the reader's own).
  explicit Reader(Platform& platform, Workers* workers = nullptr);
  ~Reader();
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  // Start-up with the command line (a book path, maybe prefixed "file:\" or
  // "ms-its:", maybe followed by "::/page.htm", or empty). True when the
  // platform is to run its event loop; false when this reader has already
  // ended. The exit code is 0 either way.
  bool Start(std::string_view commandLine);

  // --- Events from the platform ---------------------------------------------
  void OnCommand(int command);
  void OnControlEvent(Control control, ControlEvent event);
  // The contents tree: a tap on a row's image or text (not its expander),
  // Enter while it has focus, and a row about to expand or collapse.
  void OnTreeTap(int row);
  void OnTreeEnter();
  void OnTreeExpanding(int row, bool expanding);
  // The user chose a tab of the sidebar: as the panel's menu item.
  void OnPanelChosen(Panel panel);
  // The page view: a link tapped (the address it leads to, or as written in
  // the page; the view does not follow it), a load ended, a page that sent
  // itself to another address on its own (a refresh, a script: only an
  // address outside the books is answered, with a page that names it), an
  // object the view needs (answered later, on the interface thread,
  // always), and a key pressed while it has focus. OnPageKey
  // returns whether the view is to act on the key as usual. The action key
  // (Return, where no link or field has focus) that the reader acts on is
  // followed, on the same press, by OnTreeEnter when the tree then has focus:
  // the reader ignores that one Enter.
  void OnLinkTapped(std::string_view link);
  void OnDocumentComplete();
  void OnPageRedirect(std::string_view address);
  void OnObjectRequest(std::string_view address, std::function<void(PageObject)> reply);
  bool OnPageKey(PageKey key);
  void OnActivate(bool active);
  // The platform lays the panels out anew (the window crossed the width
  // between one pane and the sidebar), or the user dragged the sidebar.
  void OnLayout(Layout layout);
  void OnSidebarResized(int width);
  // The window is asked to close (by the user, the desktop, or another
  // reader through the instance channel). The close path runs at once, work
  // under way is dropped; the platform destroys nothing itself but waits for
  // DestroyMainWindow (Closed() tells when it has come).
  void OnClose();
  void OnNotifyIconTap();

  // --- State, for the platform and for tests -------------------------------------
  bool Closed() const { return closed_; }
  const std::string& WindowTitle() const { return windowTitle_; }
  const std::string& BookPath() const { return bookPath_; }
  const Book* CurrentBook() const { return book_.get(); }
  // The page on screen: its in-book path (book text, maybe with #fragment).
  const std::string& CurrentPagePath() const { return pagePath_; }
  // A page loads.
  bool Busy() const { return busy_; }
  // A book is opening, an index being built, or a search running.
  bool Working() const { return opening_ || indexBuilding_ || searching_ || pageTextBuilding_; }
  bool FitToWindow() const { return fitToWindow_; }
  bool ShowImages() const { return showImages_; }
  bool ClearType() const { return clearType_; }
  int TextSize() const { return textSize_; }
  bool IndexPending() const { return indexPending_; }
  bool SearchPending() const { return searchPending_; }
  Panel ShownPanel() const { return panel_; }
  Layout CurrentLayout() const { return layout_; }
  InstanceId OtherInstance() const { return otherInstance_; }

  // Book text (code page `codePage`, or the current book's when 0) as UTF-8
  // of at most maxChars characters: the reader's rule for everything it
  // shows from a book. A code page the system lacks counts as 1252.
  std::string DisplayText(std::string_view text, std::size_t maxChars, int codePage = 0) const;
  // The same from any thread, with the code page given.
  static std::string DisplayText(const TextCodec& codec, std::string_view text, std::size_t maxChars,
                                 int codePage);

 private:
  bool Accepting() const { return windowCreated_ && !closed_; }
  // Hands a worker's result to the interface thread, where it runs while
  // the book it was started for is still the current one.
  void Deliver(std::uint64_t generation, std::function<void()> task);

  // Start-up and instance bookkeeping.
  void RegisterInstance();
  void ReleaseInstance();
  std::optional<std::string> ReadHelpPath();
  void ReadDesktopValues();

  // Main window.
  bool DispatchCommand(int command, std::optional<Control> source, std::optional<ControlEvent> event);
  bool DispatchControlEvent(std::optional<Control> source, std::optional<ControlEvent> event);
  void ShowPanel(Panel panel);
  void ChoosePanel(Panel panel);
  void ToggleSidebar();
  // The tab the sidebar shows: the one last chosen, else the book's first.
  Panel SidebarTab() const;
  bool PanelExists(Panel panel) const;
  bool PanelVisible(Panel panel) const;
  bool Exists(Control control) const;
  bool Visible(Control control) const;
  void RefreshMenus();
  void RefreshButtons();
  void ShowProgress(std::string_view caption, int value);
  void HideProgress();
  void ShowBookError(std::string_view message);
  std::string BookMessageText(std::string_view message) const;
  template <class Work>
  static std::optional<std::string> FailureOf(Work&& work);
  // A book error's message, with the system's reason when a system call
  // refused ("Can't open chm file: x.chm. (Permission denied)").
  static std::string ErrorText(const BookError& error);
  void Exit();

  // Opening a book.
  void OpenFromPath(std::string_view path, std::string_view page = {});
  void OpenBook(std::string_view path);
  void FinishOpen(const std::shared_ptr<OpenedBook>& opened);
  void ResetWindow();
  void ChooseAndOpenBook();
  // No book: the page view shows the recent books and a way to open one;
  // its links come to OnStartLink.
  void ShowStartView();
  void OnStartLink(std::string_view link);
  void OpenHelpFile();
  void OpenRecent(int index);
  void ShowAbout();
  bool HasContents() const;
  // A link that names a book: its page shown, here or in the book opened.
  bool OpenBookLink(const std::string& book, std::string_view page, std::string_view written);
  std::string ResolveBookName(std::string_view name) const;
  bool SameBook(const std::string& path) const;

  // The stored desktop values: the book's page (RememberBook, as a page
  // shows), and how far down it was read (RememberScroll, as the book is
  // left).
  void RememberBook();
  void RememberScroll();
  void StoreSidebar();

  // Contents panel.
  void OpenSelectedEntry();
  void Locate();
  void SelectNodeOf(std::string_view path);

  // Index and search panels.
  void FillIndexList();
  std::optional<int> TypedIndexLine() const;
  void OnIndexEditChanged();
  void DisplayTypedKeyword();
  void OnIndexSelectionChanged();
  void DisplayKeyword();
  std::string TargetName(const IndexEntry& entry, int target) const;
  void ShowTarget(const IndexEntry& entry, int target);
  void PrepareSearch();
  void RunSearch();
  void OpenPageText();
  // On a worker, under the search's lock: opens the page-text index (built
  // when no kept one can be trusted), the progress of a build in the window.
  void OpenPageTextIndex(PageTextSearch& search, const Book& book, const TextCodec& codec,
                         const std::optional<std::filesystem::path>& folder, std::uint64_t generation);
  void StopPageText();
  void ShowSearchLines(const std::shared_ptr<SearchLines>& found);
  // "No topics found", said in the panel (no box), the list emptied.
  void ShowNoTopics();
  void DisplaySearchResult();

  // Page view.
  void CreatePageViewOnce();
  void PreparePageView();
  void ApplyViewSettings();
  void ApplyTextSize();
  void RevealPage();
  // Shows a topic; false when nothing new loads.
  bool ShowTopic(std::string_view path);
  // Shows a page of the open book (book text, from its root, maybe with a
  // #fragment); false when there is nothing new to show.
  bool ShowBookPage(std::string_view page);
  void ShowAddressPage(std::string_view address);
  // The in-book path the book finds for a page named in UTF-8.
  std::string BookText(std::string_view utf8) const;
  void AddNotice(std::string_view message);
  void ShowNotices();
  void Navigate(const std::string& address);
  void GoThroughHistory();
  void BeginBusy();
  void EndBusy();
  void Back();
  void Forward();
  void Refresh();
  void Home();
  void Jump();
  void ToggleImages();
  void StepTopic(PageKey key);

  Platform& platform_;
  std::unique_ptr<ThreadWorkers> ownWorkers_;
  Workers& workers_;
  std::uint64_t generation_ = 1;

  // Application state.
  bool started_ = false;
  bool windowCreated_ = false;
  bool closed_ = false;
  bool registerPending_ = false;  // the start's book decides when to register
  std::string bookPath_;
  std::string startPage_;  // the page to open the book at, when one was named
  bool startFromHistory_ = false;  // the open goes back or forward: no new entry
  std::string windowTitle_;
  InstanceId otherInstance_ = 0;
  std::shared_ptr<const Book> book_;
  bool opening_ = false;

  // Window state.
  Layout layout_ = Layout::kSinglePane;
  Panel panel_ = Panel::kNone;          // the panel chosen (its radio item is marked)
  Panel sidebarTab_ = Panel::kContents; // the tab F9 brings back
  bool sidebarShown_ = true;            // stored: the sidebar shows with a book
  PanelSet panels_;
  bool pageViewCreated_ = false;
  bool pageViewFailed_ = false;  // made once: a view that failed is not tried again
  std::optional<Control> savedFocus_;
  bool fitToWindow_ = true;
  bool showImages_ = true;
  bool clearType_ = true;
  int textSize_ = 2;
  bool textSizeMarked_ = false;
  bool indexPending_ = true;
  bool searchPending_ = true;
  bool indexBuilding_ = false;
  bool searching_ = false;
  bool pageTextBuilding_ = false;
  std::string progressCaption_;
  RecentBooks recent_;

  // Contents panel: rows are numbered in the order they were shown.
  std::vector<const TocNode*> rowNodes_;
  std::unordered_map<const TocNode*, int> nodeRows_;
  std::vector<int> rowImages_;
  std::unordered_set<int> openRows_;  // rows shown expanded (open image)
  bool swallowEnter_ = false;

  // Index and search panels.
  std::vector<std::string> indexLines_;
  std::vector<const IndexEntry*> indexEntries_;
  bool copyingToEdit_ = false;
  const IndexEntry* topicsFoundEntry_ = nullptr;
  // The book's own full-text index, if it has one; the text of its pages,
  // made searchable on a worker the first time it is needed.
  bool ownSearchIndex_ = false;
  std::shared_ptr<PageTextSearch> pageText_;
  // The results on show: their pages (book text), and the words to mark in
  // the page of the one opened (a page-text result's), until it has loaded.
  std::vector<std::string> resultPaths_;
  std::vector<std::string> resultWords_;
  std::vector<std::string> wordsToMark_;

  // Page view.
  PageHistory history_;
  bool navigating_ = false;  // Back, Forward: the page shown adds no entry
  std::string pagePath_;     // the page on screen (book text)
  std::string address_;      // its address, as the view was told
  int restoreScroll_ = 0;    // the book's page loads: how far down it was read
  bool busy_ = false;
  // What the page on screen lacks: each message once, the first few shown.
  std::uint64_t pageSerial_ = 0;
  std::vector<std::string> notices_;
  std::unordered_set<std::string> noticed_;
};

template <class Work>
std::optional<std::string> Reader::FailureOf(Work&& work) {
  try {
    work();
  } catch (const BookError& error) {
    return ErrorText(error);
  } catch (const std::exception& error) {
    return std::string(error.what());
  }
  return std::nullopt;
}

}  // namespace tessaly::app
