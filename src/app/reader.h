// Reader: the reader application's logic, on a Platform (platform.h).
//
// One Reader runs per process, for one main window. It keeps to one running
// reader per user (a second start hands its book over or raises the first),
// makes the private temporary folder that pages are extracted into, records
// the running instance in the store so that a later start can remove the
// folder of a reader that died, and opens one book at a time: its File menu
// items, tool buttons, Contents/Index/Search panels and the page view with
// its history. Closing undoes all of it.
//
// Book text stays in the book's code page everywhere except on its way to the
// screen, where DisplayText converts it to UTF-8.
//
// The platform calls the On... methods from its event loop. Calls after the
// window has closed are ignored, and so is input that arrives while the
// reader works synchronously (opening a book, building the index, preparing
// or running a search): a close asked for meanwhile runs when the work ends.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/platform.h"
#include "app/temp_folder.h"
#include "base/book_error.h"
#include "pages/history.h"

namespace tessaly {
class Book;
class PageCache;
struct IndexEntry;
struct TocNode;
}  // namespace tessaly

namespace tessaly::app {

class PageHost;

// Keys the page view reports (Reader::OnPageKey).
enum class PageKey { kUp, kDown, kAction };

class Reader {
 public:
  static constexpr std::size_t kMaxBookPathChars = 259;  // bookPath, in characters
  static constexpr std::size_t kMaxBookPathBytes = 255;  // the path handed to the book
  static constexpr std::size_t kMaxTitleChars = 200;
  static constexpr std::size_t kMaxTreeTextChars = 101;
  static constexpr std::size_t kMaxListTextChars = 100;
  static constexpr std::size_t kMaxEditChars = 99;
  static constexpr std::size_t kMaxQueryBytes = 100;
  static constexpr std::size_t kMaxLinkBytes = 255;
  static constexpr std::size_t kMaxTempFolderBytes = 260;
  static constexpr std::size_t kMaxWorkDirectoryChars = 255;
  static constexpr std::size_t kMaxNoticeLines = 10;  // messages in the notice above a page

  explicit Reader(Platform& platform);
  ~Reader();
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  // Start-up with the command line (a book path, maybe prefixed "file:\", or
  // empty). True when the platform is to run its event loop; false when this
  // reader has already ended (another reader was raised, or the window or
  // the temporary folder could not be made). The exit code is 0 either way.
  bool Start(std::string_view commandLine);

  // --- Events from the platform ---------------------------------------------
  // A menu item or tool button was chosen.
  void OnCommand(int command);
  // A panel control reported something.
  void OnControlEvent(Control control, ControlEvent event);
  // The tree: a tap on an item's image or text (not its expander), Enter
  // while it has focus, and an item about to expand or collapse.
  void OnTreeTap(TreeItem item);
  void OnTreeEnter();
  void OnTreeExpanding(TreeItem item, bool expanding);
  // The page view: a link tapped (as written in the page; the view does not
  // follow it), a load ended, and a key pressed while it has focus. OnPageKey
  // returns whether the view is to act on the key as usual. The action key
  // (Return, where no link or field has focus) that the reader acts on is
  // followed, on the same press, by OnTreeEnter when the tree then has focus:
  // the reader ignores that one Enter.
  void OnLinkTapped(std::string_view link);
  void OnDocumentComplete();
  bool OnPageKey(PageKey key);
  // The main window was activated or deactivated.
  void OnActivate(bool active);
  // The window's area changed size: the panels are laid out again.
  void OnResize();
  // The window is asked to close (by the user, the desktop, or another
  // reader through the instance channel). The close path runs at once, or
  // when the work under way ends; the platform destroys nothing itself but
  // waits for DestroyMainWindow (Closed() tells when it has come).
  void OnClose();
  void OnNotifyIconTap();

  // --- State, for the platform and for tests -------------------------------------
  bool Closed() const { return closed_; }
  const std::string& WindowTitle() const { return windowTitle_; }
  const std::string& BookPath() const { return bookPath_; }
  // The temporary folder, ending in '/'; empty until it exists.
  const std::string& TempFolder() const { return tempFolder_; }
  Book* CurrentBook() const { return currentBook_.get(); }
  const PageCache* Pages() const { return pageCache_.get(); }
  const History& GetHistory() const { return history_; }
  bool Busy() const { return busy_; }
  bool FitToWindow() const { return fitToWindow_; }
  bool ShowImages() const { return showImages_; }
  bool ClearType() const { return clearType_; }
  int TextSize() const { return textSize_; }
  bool IndexPending() const { return indexPending_; }
  bool SearchPending() const { return searchPending_; }
  const Rect& PanelRect() const { return panelRect_; }
  InstanceId OtherInstance() const { return otherInstance_; }

  // Book text (code page `codePage`, or the current book's when 0) as UTF-8
  // of at most maxChars characters: the reader's rule for everything it
  // shows from a book. A code page the system lacks counts as 1252.
  std::string DisplayText(std::string_view text, std::size_t maxChars, int codePage = 0) const;

 private:
  friend class PageHost;

  // Synchronous work: input is ignored and a close is put off meanwhile.
  class WorkScope;
  bool Accepting() const { return windowCreated_ && !closed_ && working_ == 0; }

  // Start-up and instance bookkeeping.
  bool CreateTempFolder();
  void RegisterInstance();
  void RemoveStaleFolder(InstanceId id, const std::string& folder);
  void ReleaseInstance();
  std::optional<std::string> ReadHelpPath();

  // Main window.
  void OnCreate();
  void ComputePanelRect();
  bool DispatchCommand(int command, std::optional<Control> source, std::optional<ControlEvent> event);
  bool DispatchControlEvent(std::optional<Control> source, std::optional<ControlEvent> event);
  void HidePanels();
  void ShowPanel(int panel);
  void ShowProgress(std::string_view caption);
  void SetProgress(int value);
  void HideProgress();
  void ShowBookError(std::string_view message);
  // A book error's text as shown: converted from the book's code page
  // unless it is UTF-8 already.
  std::string BookMessageText(std::string_view message) const;
  // Runs work on the book; the message of the error it raised (a BookError's
  // text, or what another exception says), or nullopt when it finished.
  template <class Work>
  static std::optional<std::string> FailureOf(Work&& work);
  void Exit();

  // Controls the reader has created, and which are shown.
  void Create(Control control, std::string_view text);
  void Destroy(Control control);
  void Show(Control control, bool visible);
  bool Exists(Control control) const { return created_[Index(control)]; }
  bool Visible(Control control) const { return visible_[Index(control)]; }
  static std::size_t Index(Control control) { return static_cast<std::size_t>(control); }

  // Opening a book.
  bool OpenBook(std::string_view path);
  void ResetWindow();
  void ChooseAndOpenBook();
  void OpenHelpFile();
  void ShowAbout();
  void OpenFromPath(std::string_view path);
  void ExtendFileMenu();
  void SetToolTips();
  bool HasContents() const;

  // Contents panel.
  void BuildContentsPanel();
  void OpenSelectedEntry();
  void Locate();
  void LayoutTreeAndPage();

  // Index and search panels.
  void CreateIndexPanel();
  void CreateSearchPanel();
  void LayoutIndexPanel();
  void LayoutSearchPanel();
  void FillIndexList();
  void AddIndexEntry(const IndexEntry& entry, int depth);
  void OnIndexEditChanged();
  std::optional<int> TypedIndexLine() const;
  void DisplayTypedKeyword();
  void OnIndexSelectionChanged();
  void DisplayKeyword();
  std::string TargetName(const IndexEntry& entry, int target) const;
  void ShowTarget(const IndexEntry& entry, int target);
  void PrepareSearch();
  void RunSearch();
  void DisplaySearchResult();

  // Page view.
  void PreparePageView();
  void ApplyTextSize();
  void ShowTopic(std::string_view path);
  bool ShowPage(std::string_view link);
  void UpdatePageNotice();
  void Navigate();
  void BeginBusy();
  void EndBusy();
  void Back();
  void Forward();
  void ShowFromHistory();
  void Refresh();
  void Home();
  void Jump();
  void ToggleImages();
  void StepTopic(PageKey key);
  void ShowHtmlPanel();

  Platform& platform_;
  std::unique_ptr<PageHost> pageHost_;

  // Application state.
  bool started_ = false;
  bool windowCreated_ = false;
  bool closed_ = false;
  int working_ = 0;
  bool closePending_ = false;
  std::string bookPath_;
  std::string windowTitle_;
  InstanceId otherInstance_ = 0;
  std::string tempRoot_;    // the root the temporary folder went into
  std::string tempFolder_;  // ends in '/'
  FolderLock tempLock_;     // held while this reader runs
  std::unique_ptr<Book> currentBook_;

  // Window state.
  std::array<bool, kControlCount> created_{};
  std::array<bool, kControlCount> visible_{};
  std::optional<Control> savedFocus_;
  bool fitToWindow_ = true;
  bool showImages_ = true;
  bool clearType_ = true;
  int textSize_ = 2;
  bool indexPending_ = true;
  bool searchPending_ = true;
  Rect panelRect_;

  // Contents panel.
  std::unordered_map<TreeItem, TocNode*> treeNodes_;
  std::unordered_set<TreeItem> openItems_;  // entries shown expanded (open image)
  bool swallowEnter_ = false;

  // Index and search panels.
  std::vector<std::string> indexLines_;
  std::vector<const IndexEntry*> indexEntries_;
  bool copyingToEdit_ = false;
  const IndexEntry* topicsFoundEntry_ = nullptr;
  std::vector<std::int32_t> resultTopics_;

  // Page view.
  History history_;
  std::unique_ptr<PageCache> pageCache_;
  bool busy_ = false;
  // Parts of the page being prepared that the book lacks (message texts,
  // each once), and the page file the notice beside the view speaks of.
  std::vector<std::string> pageNotices_;
  std::unordered_set<std::string> pageNoticeTexts_;
  int pageDepth_ = 0;
  std::string noticeDocument_;
};

template <class Work>
std::optional<std::string> Reader::FailureOf(Work&& work) {
  try {
    work();
  } catch (const BookError& error) {
    return error.Message();
  } catch (const std::exception& error) {
    return std::string(error.what());
  }
  return std::nullopt;
}

}  // namespace tessaly::app
