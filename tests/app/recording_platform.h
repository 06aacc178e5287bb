// A Platform that records what the reader's logic does to its window, and
// lets tests act as the person in front of it. Several readers share one
// Desktop: the store, the instance channel and the temporary root, so that
// two readers can hand a book over to each other inside one test. Each tab
// of the window is a RecordingTab: its frame and its panels' views.
//
// The recorder is strict where a real toolkit would be: addressing a
// control that does not exist, marking a menu item that cannot carry that
// mark, or creating a control twice fails the test. Input reaches the
// Reader only the way a person could give it: a disabled menu bar, button
// or page view takes no taps.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/platform.h"
#include "app/reader.h"
#include "app/resources.h"
#include "app/library_texts.h"
#include "app/book_tab.h"
#include "app/jobs.h"
#include "codec/codec.h"
#include "pages/pages.h"
#include "support/book_builder.h"
#include "support/chm_builder.h"

namespace tessaly::app::test {

class RecordingPlatform;

// What several readers of one user share.
struct Desktop {
  explicit Desktop(std::string root) : tempRoot(std::move(root)) {}

  std::string tempRoot;
  // Keys that exist, with their values; a key absent here does not exist.
  std::map<StoreKey, std::map<std::string, std::string>> store{{StoreKey::kPrev, {{"HWND", "0"}}}};
  std::map<InstanceId, RecordingPlatform*> readers;  // readers with a window
  std::map<InstanceId, std::string> foreign;         // running readers known only by id ("takes": takes books)
  InstanceId nextId = 7001;
  std::vector<std::string> events;  // across readers: "raise 7001", "close 7001"
  std::optional<std::filesystem::path> libraryFile;  // none: the readers keep no library
};

using RecordedMenuItem = MenuEntry;

struct RecordedButton {
  int command = 0;
  int image = 0;
  bool enabled = true;
};

struct RecordedControl {
  std::string text;  // label or button text, entry text
  bool enabled = true;
  std::vector<std::string> lines;
  int selection = -1;
  int top = 0;
};

// Tree items are rows + 1 (0 is "none").
using TreeItem = std::uintptr_t;

struct RecordedTreeItem {
  TreeItem parent = 0;
  std::string text;
  int image = 0;
};

struct RecordedMessage {
  std::string text;
  std::string caption;
  MessageIcon icon = MessageIcon::kError;
};

struct RecordedChoice {
  std::string title, prompt, confirm, cancel;
  std::vector<std::string> lines;
};

// Jobs the reader gives its scheduler, run when the test drains them:
// reader tests stay synchronous to read, and a test can hold work back to
// act while it is under way.
class QueuedJobs : public JobScheduler {
 public:
  void Schedule(std::shared_ptr<Job> job, std::function<void()> done) override {
    queue.emplace_back(std::move(job), std::move(done));
  }
  bool RunOne() {
    if (queue.empty()) return false;
    auto [job, done] = std::move(queue.front());
    queue.pop_front();
    Execute(Mail(), job, std::move(done));
    return true;
  }
  std::deque<std::pair<std::shared_ptr<Job>, std::function<void()>>> queue;
};

class RecordingPlatform;

// One tab of the window: its frame and its four panels' views in one
// recorder, with the person's actions on them.
class RecordingTab final : public TabView,
                           public ContentsView,
                           public IndexView,
                           public SearchView,
                           public PageView {
 public:
  RecordingTab(RecordingPlatform& window, BookTab& owner);
  ~RecordingTab() override;

  BookTab& owner;
  std::string label;
  std::map<Control, RecordedControl> controls{{Control::kPageView, RecordedControl{}}};
  PanelSet panels;
  Panel shownPanel = Panel::kNone;
  std::optional<Control> focus;
  std::vector<Control> focusLog;
  bool treeLines = false;
  std::map<TreeItem, RecordedTreeItem> treeItems;
  std::vector<TreeItem> treeOrder;  // in display order
  TreeItem treeSelection = 0;
  std::vector<TreeItem> treeSelections;
  std::vector<ResultLine> results;
  std::string resultsNote;
  std::vector<std::vector<std::string>> markedWords;  // each MarkWords call
  std::vector<std::string> markedOn;                  // the page shown at the time
  std::vector<std::string> navigations;
  std::vector<std::string> charsets;
  std::vector<std::string> ownPages;  // the pages of the reader's own (HTML)
  bool showImages = true;
  std::vector<int> scrolledTo;  // each ScrollPage
  std::vector<int> zoomLevels;
  std::vector<bool> shrinkToFit;
  std::vector<bool> clearType;
  int findBars = 0;
  std::optional<std::string> notice;  // the notice above the page, while shown
  int noticesShown = 0;
  std::vector<std::string> printed;  // the page on screen at each Print
  bool discarded = false;  // the view let go of its page (and its settings)

  // --- TabView -------------------------------------------------------------
  ContentsView& Contents() override { return *this; }
  IndexView& Index() override { return *this; }
  SearchView& Search() override { return *this; }
  PageView& Page() override { return *this; }
  void SetLabel(std::string_view text) override { label = std::string(text); }
  void SetPanels(const PanelSet& set) override {
    panels = set;
    std::map<Control, RecordedControl> kept;
    const auto keep = [&](Control control, std::string_view text) {
      auto found = controls.find(control);
      RecordedControl made;
      made.text = std::string(text);
      kept[control] = found != controls.end() ? found->second : made;
    };
    if (set.contents) keep(Control::kTree, "");
    if (set.index) {
      keep(Control::kIndexLabel, set.keywordPrompt);
      keep(Control::kIndexEdit, "");
      keep(Control::kIndexList, "");
      keep(Control::kIndexDisplayButton, set.display);
    }
    if (set.search) {
      keep(Control::kSearchLabel, set.keywordPrompt);
      keep(Control::kSearchEdit, "");
      keep(Control::kListTopicsButton, set.listTopics);
      keep(Control::kResultsLabel, set.resultsPrompt);
      keep(Control::kResultsList, "");
      keep(Control::kSearchDisplayButton, set.display);
    }
    keep(Control::kPageView, "");
    controls = std::move(kept);
    if (!set.contents) {
      treeItems.clear();
      treeOrder.clear();
      treeSelection = 0;
    }
    if (focus && !controls.count(*focus)) focus.reset();
  }
  void ShowPanel(Panel panel) override { shownPanel = panel; }
  void EnableControl(Control control, bool enabled) override { Get(control).enabled = enabled; }
  void FocusControl(Control control) override {
    Get(control);
    focus = control;
    focusLog.push_back(control);
  }
  std::optional<Control> FocusedControl() const override { return focus; }

  // --- ContentsView -------------------------------------------------------------
  void ShowContents(std::span<const ContentsRow> rows, bool withLines) override {
    Get(Control::kTree);
    treeLines = withLines;
    treeItems.clear();
    treeOrder.clear();
    treeSelection = 0;
    AddContents(rows);
  }
  void AddContents(std::span<const ContentsRow> rows) override {
    for (const ContentsRow& r : rows) {
      const std::size_t row = treeOrder.size();
      EXPECT_LT(r.parent, static_cast<int>(row)) << "a parent after its child";
      treeItems[row + 1] = RecordedTreeItem{static_cast<TreeItem>(r.parent + 1), r.text, r.image};
      treeOrder.push_back(row + 1);
    }
  }
  void SetContentsImage(int row, int image) override { Item(static_cast<TreeItem>(row + 1)).image = image; }
  void SelectContentsRow(int row) override {
    if (row >= 0) Item(static_cast<TreeItem>(row + 1));
    treeSelection = static_cast<TreeItem>(row + 1);
    treeSelections.push_back(treeSelection);
  }
  int ContentsSelection() const override { return static_cast<int>(treeSelection) - 1; }

  // --- IndexView ----------------------------------------------------------------
  void ShowKeywords(std::span<const std::string> lines) override {
    RecordedControl& c = List(Control::kIndexList);
    c.lines.assign(lines.begin(), lines.end());
    c.selection = -1;
    c.top = 0;
  }
  void ScrollKeywords(int line) override { List(Control::kIndexList).top = line; }
  void SelectKeyword(int line) override { List(Control::kIndexList).selection = line; }
  int KeywordSelection() const override { return Selection(Control::kIndexList); }
  std::string KeywordText() const override { return EditText(Control::kIndexEdit); }
  void SetKeywordText(std::string_view text) override;

  // --- SearchView ----------------------------------------------------------------
  std::string QueryText() const override { return EditText(Control::kSearchEdit); }
  void SetQueryText(std::string_view text) override {
    Get(Control::kSearchEdit).text = std::string(text);
    owner.Search().OnTextChanged();
  }
  void ShowResults(std::span<const ResultLine> lines, std::string_view note) override {
    RecordedControl& c = List(Control::kResultsList);
    results.assign(lines.begin(), lines.end());
    resultsNote = note;
    c.lines.clear();
    for (const ResultLine& line : lines) c.lines.push_back(line.title);
    c.selection = -1;
    c.top = 0;
  }
  int ResultSelection() const override { return Selection(Control::kResultsList); }

  // --- PageView ------------------------------------------------------------------
  void ShowPage(std::string_view address, std::string_view charset) override;
  void ShowHtml(std::string_view html) override;
  void SetViewSettings(const ViewSettings& settings) override {
    // Each setting is recorded when it is new.
    if (discarded) zoomLevels.clear();  // a new engine: every setting is new
    if (zoomLevels.empty() || zoomLevels.back() != settings.zoomLevel) zoomLevels.push_back(settings.zoomLevel);
    if (shrinkToFit.empty() || shrinkToFit.back() != settings.shrinkToFit) shrinkToFit.push_back(settings.shrinkToFit);
    if (clearType.empty() || clearType.back() != settings.clearType) clearType.push_back(settings.clearType);
    showImages = settings.showImages;
  }
  std::optional<ScrollInfo> PageScroll() const override;
  void ScrollPage(int position) override { scrolledTo.push_back(position); }
  void ShowFindBar(const FindBarTexts&) override { ++findBars; }
  void MarkWords(std::span<const std::string> words) override {
    markedWords.push_back({words.begin(), words.end()});
    markedOn.push_back(LastNavigation());
  }
  void ShowNotice(std::string_view text) override {
    notice = std::string(text);
    ++noticesShown;
  }
  void HideNotice() override { notice.reset(); }
  void Print() override { printed.push_back(LastNavigation()); }
  void Discard() override {
    discarded = true;
    zoomLevels.clear();
    shrinkToFit.clear();
    clearType.clear();
  }

  // --- Questions ---------------------------------------------------------------------
  bool Exists(Control control) const { return controls.count(control) != 0; }
  // What shows: one panel in one pane; the page and the sidebar's tab
  // beside it.
  bool Visible(Control control) const;
  const RecordedControl& At(Control control) const { return controls.at(control); }
  std::vector<Control> VisibleControls() const {
    std::vector<Control> shown;
    for (const auto& [control, c] : controls) {
      if (Visible(control)) shown.push_back(control);
    }
    return shown;
  }
  // The tree item whose text is `text` (the first in display order).
  TreeItem TreeItemNamed(std::string_view text) const {
    for (TreeItem item : treeOrder) {
      if (treeItems.at(item).text == text) return item;
    }
    return 0;
  }
  std::string LastNavigation() const { return navigations.empty() ? std::string() : navigations.back(); }

  RecordedControl& Get(Control control) {
    const auto found = controls.find(control);
    EXPECT_TRUE(found != controls.end()) << "control " << static_cast<int>(control) << " does not exist";
    return controls[control];
  }
  RecordedControl& List(Control control) {
    EXPECT_TRUE(control == Control::kIndexList || control == Control::kResultsList);
    return Get(control);
  }

 private:
  std::string EditText(Control edit) const {
    const auto found = controls.find(edit);
    EXPECT_TRUE(found != controls.end());
    return found == controls.end() ? std::string() : found->second.text;
  }
  int Selection(Control list) const {
    const auto found = controls.find(list);
    EXPECT_TRUE(found != controls.end());
    return found == controls.end() ? -1 : found->second.selection;
  }
  RecordedTreeItem& Item(TreeItem item) {
    EXPECT_TRUE(treeItems.count(item)) << "unknown tree item " << item;
    return treeItems[item];
  }

  RecordingPlatform& window_;
};

// The library's search field and view.
struct RecordingLibrary final : LibraryView {
  std::string query;
  int focused = 0;
  std::vector<LibraryResultLine> results;
  std::string note;
  int resultShows = 0;  // ShowResults calls
  std::vector<LibraryRow> books;
  int bookShows = 0;
  std::vector<std::optional<std::string>> folders;  // ChooseFolder answers, in turn (none left: cancel)

  std::string QueryText() const override { return query; }
  void SetQueryText(std::string_view text) override { query = std::string(text); }
  void FocusQuery() override { ++focused; }
  void ShowResults(std::span<const LibraryResultLine> lines, std::string_view text) override {
    results.assign(lines.begin(), lines.end());
    note = std::string(text);
    ++resultShows;
  }
  void ShowBooks(std::span<const LibraryRow> rows) override {
    books.assign(rows.begin(), rows.end());
    ++bookShows;
  }
  std::optional<std::string> ChooseFolder() override {
    if (folders.empty()) return std::nullopt;
    std::optional<std::string> answer = folders.front();
    folders.erase(folders.begin());
    return answer;
  }
  std::vector<BookmarkRow> bookmarks;  // the Bookmarks window's rows, once shown
  void ShowBookmarks(std::span<const BookmarkRow> rows, bool) override { bookmarks.assign(rows.begin(), rows.end()); }
  std::vector<std::string> watched;  // the folders watched
  void WatchFolders(std::span<const std::string> folders) override { watched.assign(folders.begin(), folders.end()); }
};

class RecordingPlatform : public Platform {
 public:
  explicit RecordingPlatform(Desktop& desktop) : desktop_(desktop) {}
  ~RecordingPlatform() override {
    if (own_ != 0) desktop_.readers.erase(own_);
  }

  void Attach(Reader& reader) { reader_ = &reader; }
  Reader& GetReader() { return *reader_; }

  // --- What the test sets up --------------------------------------------------
  Layout layout = Layout::kSinglePane;            // what the window reports
  bool failWindow = false;
  std::optional<ScrollInfo> scroll;               // what every page view's PageScroll answers
  std::vector<std::optional<std::string>> files;  // ChooseFile answers, in turn (none left: cancel)
  std::vector<int> choices;                       // RunChoiceDialog answers, in turn (none left: -1)
  bool holdWork = false;                          // person actions do not run the jobs
  bool externalFails = false;                     // the desktop has no program for web addresses
  std::vector<ExportChoice> exports;              // ChooseExport answers, in turn (none left: cancel)
  const TextCodec* codec = nullptr;               // in place of the desktop's own (iconv)

  // --- What was recorded --------------------------------------------------------
  QueuedJobs jobs;
  RecordingLibrary library;
  std::deque<std::function<void()>> posted;
  std::vector<RecordingTab*> tabs;  // the tab row, in order
  RecordingTab* selected = nullptr;
  bool windowCreated = false;
  bool windowDestroyed = false;
  std::string title;
  std::vector<std::string> titles;  // every title set, in order
  Cursor cursor = Cursor::kNormal;
  int raised = 0;
  bool notifyIcon = false;
  bool menuBarCreated = false;
  bool menuBarEnabled = true;
  std::vector<std::string> menuLabels;
  std::vector<RecordedMenuItem> fileMenu;
  std::vector<RecordedMenuItem> helpMenu;
  std::vector<RecordedMenuItem> libraryMenu;
  std::vector<RecordedButton> buttons;
  std::vector<std::string> tips;
  std::vector<RecordedMessage> messages;
  std::vector<std::pair<std::string, std::string>> fileDialogs;
  std::vector<RecordedChoice> choiceDialogs;
  std::vector<std::string> aboutBoxes;
  bool progressVisible = false;
  std::string progressCaption;
  std::vector<int> progressValues;
  std::vector<std::string> progressLog;  // "show <caption>", "<value>", "hide"
  std::vector<std::string> opened;       // OpenExternal
  std::vector<std::string> recentBooks;  // AddRecentBook
  int sidebarWidth = 0;
  bool cancelOffered = false;               // the progress line's Cancel button
  std::vector<std::string> exportDialogs;   // "suggested name|branch label"
  struct PrintJob {
    std::string html, pdf;
    PdfPrinted done;
  };
  std::vector<PrintJob> printJobs;          // PrintToPdf
  std::vector<std::string> log;          // every call, in order, for ordering checks

  // The tab in front.
  RecordingTab& tab() {
    EXPECT_NE(selected, nullptr) << "no tab in front";
    return *selected;
  }
  const RecordingTab& tab() const { return *selected; }

  // Runs the jobs and the tasks they post until nothing is left.
  void Drain() {
    for (;;) {
      if (!posted.empty()) {
        std::function<void()> task = std::move(posted.front());
        posted.pop_front();
        task();
      } else if (!jobs.RunOne()) {
        return;
      }
    }
  }
  void Settle() {
    if (!holdWork) Drain();
  }
  // The window changes its layout (it was made wider or narrower).
  void SetLayout(Layout value) {
    layout = value;
    reader_->OnLayout(value);
  }

  // --- Platform -----------------------------------------------------------------
  bool CreateMainWindow(std::string_view text) override {
    log.push_back("CreateMainWindow");
    if (failWindow) return false;
    windowCreated = true;
    SetTitle(text);
    own_ = desktop_.nextId++;
    desktop_.readers[own_] = this;
    reader_->OnLayout(layout);
    return true;
  }
  void DestroyMainWindow() override {
    log.push_back("DestroyMainWindow");
    {
      std::lock_guard lock(postMutex_);
      windowDestroyed = true;
    }
    menuBarCreated = false;
    desktop_.readers.erase(own_);
  }
  void SetTitle(std::string_view text) override {
    title = std::string(text);
    titles.push_back(title);
  }
  void SetCursor(Cursor c) override { cursor = c; }
  void BringToFront() override {
    ++raised;
    log.push_back("BringToFront");
  }
  void AddNotifyIcon() override { notifyIcon = true; }
  void RemoveNotifyIcon() override { notifyIcon = false; }
  void Post(std::function<void()> task) override {
    // Jobs on threads of their own post from there (ThreadedTest).
    std::lock_guard lock(postMutex_);
    if (!windowDestroyed) posted.push_back(std::move(task));
    postedSignal_.notify_all();
  }
  // With the reader's own threads: runs what they post, on this thread,
  // until `done` holds; false when it does not within the timeout.
  template <class Done>
  bool RunPostedUntil(Done done, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
      std::function<void()> task;
      {
        std::unique_lock lock(postMutex_);
        if (!postedSignal_.wait_until(lock, deadline, [this] { return !posted.empty(); })) return done();
        task = std::move(posted.front());
        posted.pop_front();
      }
      task();
    }
    return true;
  }

  std::unique_ptr<TabView> NewTab(BookTab& owner) override {
    log.push_back("NewTab");
    return std::make_unique<RecordingTab>(*this, owner);
  }
  void SelectTab(TabView& view) override { selected = static_cast<RecordingTab*>(&view); }
  void Forget(RecordingTab& gone) {
    tabs.erase(std::remove(tabs.begin(), tabs.end(), &gone), tabs.end());
    if (selected == &gone) selected = nullptr;
  }

  void SetMenus(std::span<const Menu> menus) override {
    if (!menuBarCreated) log.push_back("CreateMenuBar");
    menuBarCreated = true;
    menuLabels.clear();
    std::vector<RecordedButton> tools(buttons.begin() + std::min<std::size_t>(buttons.size(), 2), buttons.end());
    buttons.clear();
    for (const Menu& menu : menus) {
      menuLabels.push_back(menu.label);
      // The Library menu is recorded apart: the menus before the tool
      // buttons are File and Help.
      if (menu.id == kLibraryMenuButton) {
        libraryMenu = menu.items;
        continue;
      }
      buttons.push_back({menu.id, -1, true});
      if (menu.id == kFileMenuButton) fileMenu = menu.items;
      if (menu.id == kHelpMenuButton) helpMenu = menu.items;
    }
    buttons.insert(buttons.end(), tools.begin(), tools.end());
  }
  void SetToolButtons(std::span<const ToolButton> added) override {
    buttons.resize(std::min<std::size_t>(buttons.size(), 2));
    tips.assign(buttons.size(), "");
    for (const ToolButton& b : added) {
      buttons.push_back({b.command, b.image, b.enabled});
      tips.push_back(b.tip);
    }
    if (added.empty()) tips.clear();
  }
  void EnableCommands(bool enabled) override { menuBarEnabled = enabled; }
  void SetSidebarWidth(int width) override { sidebarWidth = width; }

  void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override {
    messages.push_back({std::string(text), std::string(caption), icon});
    log.push_back("Message " + std::string(caption));
  }
  void ShowProgress(std::string_view caption, int value) override {
    if (!progressVisible || progressCaption != caption) {
      progressLog.push_back("show " + std::string(caption));
    }
    progressVisible = true;
    progressCaption = std::string(caption);
    progressValues.push_back(value);
    progressLog.push_back(std::to_string(value));
  }
  void HideProgress() override {
    progressVisible = false;
    progressLog.push_back("hide");
  }
  void OfferCancel(bool offered) override { cancelOffered = offered; }
  std::optional<ExportChoice> ChooseExport(const ExportDialog& dialog) override {
    exportDialogs.push_back(std::string(dialog.suggestedName) + "|" + std::string(dialog.branchLabel));
    if (exports.empty()) return std::nullopt;
    ExportChoice choice = exports.front();
    exports.erase(exports.begin());
    return choice;
  }
  // The document to print is kept; the test says when printing ends.
  void PrintToPdf(const std::string& html, const std::string& pdf, PdfPrinted done) override {
    printJobs.push_back(PrintJob{html, pdf, std::move(done)});
  }
  std::optional<std::string> ChooseFile(std::string_view filterName, std::string_view pattern) override {
    fileDialogs.emplace_back(filterName, pattern);
    if (files.empty()) return std::nullopt;
    std::optional<std::string> answer = files.front();
    files.erase(files.begin());
    return answer;
  }
  int RunChoiceDialog(const ChoiceDialog& dialog) override {
    choiceDialogs.push_back({std::string(dialog.title), std::string(dialog.prompt), std::string(dialog.confirm),
                             std::string(dialog.cancel), std::vector<std::string>(dialog.lines.begin(),
                                                                                  dialog.lines.end())});
    if (choices.empty()) return -1;
    const int answer = choices.front();
    choices.erase(choices.begin());
    return answer;
  }
  void ShowAbout(const AboutBox& about) override {
    aboutBoxes.push_back(std::string(about.name) + "|" + std::string(about.link) + "|" +
                         std::string(about.version) + "|" + std::string(about.button));
  }

  std::optional<std::string> ReadStoreValue(StoreKey key, std::string_view name) override {
    const auto found = desktop_.store.find(key);
    if (found == desktop_.store.end()) return std::nullopt;
    const auto value = found->second.find(std::string(name));
    if (value == found->second.end()) return std::nullopt;
    return value->second;
  }
  bool WriteStoreValue(StoreKey key, std::string_view name, std::string_view value) override {
    const auto found = desktop_.store.find(key);
    if (found == desktop_.store.end()) return false;
    found->second[std::string(name)] = std::string(value);
    log.push_back("Store " + std::string(name) + "=" + std::string(value));
    return true;
  }
  void AddRecentBook(std::string_view path) override { recentBooks.emplace_back(path); }

  InstanceId OwnInstance() const override { return own_; }
  InstanceId FindReader() override {
    for (const auto& [id, platform] : desktop_.readers) {
      if (id != own_) return id;
    }
    return desktop_.foreign.empty() ? 0 : desktop_.foreign.begin()->first;
  }
  void RaiseReader(InstanceId id) override {
    desktop_.events.push_back("raise " + std::to_string(id));
    const auto found = desktop_.readers.find(id);
    if (found != desktop_.readers.end()) found->second->BringToFront();
  }
  // A reader of this desktop takes the book at once (and lets its work
  // finish); a reader known only by id takes it when it says it does.
  bool HandOver(InstanceId id, std::string_view commandLine) override {
    desktop_.events.push_back("hand " + std::to_string(id) + " " + std::string(commandLine));
    const auto found = desktop_.readers.find(id);
    if (found != desktop_.readers.end()) {
      found->second->reader_->OnOpenRequest(commandLine);
      found->second->Settle();
      return true;
    }
    const auto foreign = desktop_.foreign.find(id);
    return foreign != desktop_.foreign.end() && foreign->second == "takes";
  }

  bool OpenExternal(std::string_view address) override {
    if (externalFails) return false;
    opened.emplace_back(address);
    return true;
  }
  // Page-text indexes go into the desktop's own folder.
  std::optional<std::filesystem::path> PageTextFolder() override {
    return std::filesystem::path(desktop_.tempRoot) / "page-text";
  }
  // The library's store, when the test gives the desktop one.
  std::optional<std::filesystem::path> LibraryFile() override { return desktop_.libraryFile; }
  LibraryView& Library() override { return library; }
  const TextCodec& Codec() const override { return codec != nullptr ? *codec : codec_; }

  // --- A person at the window -----------------------------------------------------
  // Each action lets the work it started finish (unless holdWork).
  // A menu item or tool button, when it exists and takes taps.
  bool Click(int command) {
    if (!menuBarEnabled) return false;
    const RecordedMenuItem* item = FindItem(command);
    const RecordedButton* button = FindButton(command);
    const bool clickable = (item != nullptr && item->enabled && ParentEnabled(command)) ||
                           (button != nullptr && button->enabled && command < kFileMenuButton);
    if (!clickable) return false;
    reader_->OnCommand(command);
    Settle();
    return true;
  }
  // A key of the desktop that stands for a command (Ctrl+F, F9, Ctrl+W, ...).
  bool Key(int command) {
    if (!menuBarEnabled) return false;
    reader_->OnCommand(command);
    Settle();
    return true;
  }
  // The tab row: a tap brings a tab to the front, a middle click closes it.
  void TapTab(std::size_t index) {
    ASSERT_LT(index, tabs.size());
    reader_->OnTabSelected(tabs[index]->owner);
    Settle();
  }
  void MiddleClickTab(std::size_t index) {
    ASSERT_LT(index, tabs.size());
    reader_->OnTabClose(tabs[index]->owner);
    Settle();
  }
  std::vector<std::string> TabLabels() const {
    std::vector<std::string> labels;
    for (const RecordingTab* each : tabs) labels.push_back(each->label);
    return labels;
  }
  // The search field above the tabs: typing, Enter, Up and Down, a result
  // activated; a book of the Library view activated.
  void TypeLibraryQuery(std::string_view text) {
    library.query = std::string(text);
    reader_->Bar().OnQueryChanged();
    Settle();
  }
  void LibraryKey(int historyStep) {
    if (historyStep == 0) reader_->Bar().OnEnter();
    else reader_->Bar().OnHistory(historyStep);
    Settle();
  }
  void ActivateLibraryResult(int line) {
    reader_->Bar().OnResultActivated(line);
    Settle();
  }
  void ActivateLibraryBook(int row) {
    reader_->Library().OnBookActivated(row);
    Settle();
  }
  // A file dropped on the window, or handed over by another reader.
  void Drop(std::string_view path) {
    reader_->OnOpenRequest(path);
    Settle();
  }
  void Type(Control edit, std::string_view text) {
    ASSERT_TRUE(Visible(edit)) << "typing into a hidden entry";
    tab().Get(edit).text = std::string(text);
    if (edit == Control::kIndexEdit) tab().owner.Index().OnTextChanged();
    if (edit == Control::kSearchEdit) tab().owner.Search().OnTextChanged();
    Settle();
  }
  void SelectLine(Control list, int index) {
    ASSERT_TRUE(Visible(list));
    ASSERT_LT(index, static_cast<int>(tab().List(list).lines.size()));
    tab().List(list).selection = index;
    if (list == Control::kIndexList) tab().owner.Index().OnSelectionChanged();
    Settle();
  }
  void DoubleClickLine(Control list, int index) {
    SelectLine(list, index);
    if (list == Control::kIndexList) tab().owner.Index().OnDisplay();
    if (list == Control::kResultsList) tab().owner.Search().OnDisplay();
    Settle();
  }
  void PressEnter(Control edit) {
    ASSERT_TRUE(Visible(edit)) << "Enter in a hidden entry";
    if (edit == Control::kIndexEdit) tab().owner.Index().OnEnter();
    if (edit == Control::kSearchEdit) tab().owner.Search().OnEnter();
    Settle();
  }
  bool Press(Control button) {
    if (selected == nullptr || !tab().Exists(button) || !Visible(button) || !tab().At(button).enabled) return false;
    if (button == Control::kIndexDisplayButton) tab().owner.Index().OnDisplay();
    if (button == Control::kListTopicsButton) tab().owner.Search().OnListTopics();
    if (button == Control::kSearchDisplayButton) tab().owner.Search().OnDisplay();
    Settle();
    return true;
  }
  void TapTreeItem(TreeItem item) {
    ASSERT_TRUE(Visible(Control::kTree));
    tab().owner.Contents().OnTap(static_cast<int>(item) - 1);
    Settle();
  }
  void PressEnterInTree() {
    tab().owner.Contents().OnEnter();
    Settle();
  }
  // The expander: the tree expands on its own and tells the panel first.
  void ToggleTreeItem(TreeItem item, bool expanding) {
    tab().owner.Contents().OnExpanding(static_cast<int>(item) - 1, expanding);
  }
  // A link of the page; newTab: a middle click, Ctrl+click or the context
  // menu's "open in a new tab".
  bool TapLink(std::string_view link, bool newTab = false) {
    if (selected == nullptr || !Visible(Control::kPageView) || !tab().At(Control::kPageView).enabled) return false;
    tab().owner.Page().OnLinkTapped(link, newTab);
    Settle();
    return true;
  }
  // The view of the tab in front has loaded what it was last told to.
  void Complete() { tab().owner.Page().OnLoadEnded(); }
  // Every tab's view that is loading finishes.
  void CompleteAll() {
    for (RecordingTab* each : std::vector<RecordingTab*>(tabs)) each->owner.Page().OnLoadEnded();
    Settle();
  }
  // What the view gets when it asks for an address, once the reader has
  // answered (the read runs as a job).
  PageObject Fetch(std::string_view address) {
    std::optional<PageObject> got;
    tab().owner.Page().OnObjectRequest(address, [&got](PageObject object) { got = std::move(object); });
    Settle();
    EXPECT_TRUE(got.has_value()) << "no answer for " << address;
    return got.value_or(PageObject{});
  }
  // A key pressed in the page view; returns whether the view acted on it.
  // The action key's own Enter follows on the same press when the reader
  // moved the focus into the tree.
  bool PressPageKey(PageKey key) {
    const bool passedOn = tab().owner.Page().OnKey(key);
    if (key == PageKey::kAction && !passedOn && tab().focus == Control::kTree) tab().owner.Contents().OnEnter();
    Settle();
    return passedOn;
  }

  // --- Questions tests ask ------------------------------------------------------------
  bool Exists(Control control) const { return selected != nullptr && tab().Exists(control); }
  bool Visible(Control control) const { return selected != nullptr && tab().Visible(control); }
  const RecordedControl& At(Control control) const { return tab().At(control); }
  std::vector<Control> VisibleControls() const {
    return selected != nullptr ? tab().VisibleControls() : std::vector<Control>();
  }
  TreeItem TreeItemNamed(std::string_view text) const { return tab().TreeItemNamed(text); }
  std::string LastNavigation() const { return selected != nullptr ? tab().LastNavigation() : std::string(); }
  // The File menu as a person reads it: "---" for a separator, "[x] " or
  // "[ ] " before a check item, "(*) " or "( ) " before a radio item, "~"
  // before a disabled item.
  std::vector<std::string> FileMenuText() const { return Describe(fileMenu); }
  std::vector<std::string> HelpMenuText() const { return Describe(helpMenu); }
  std::vector<std::string> TextSizeMenuText() const { return Describe(SubMenu("Text Size")); }
  std::vector<std::string> RecentMenuText() const { return Describe(SubMenu("Recent Books")); }
  std::vector<int> ButtonCommands() const {
    std::vector<int> commands;
    for (const RecordedButton& b : buttons) commands.push_back(b.command);
    return commands;
  }
  const RecordedButton* FindButton(int command) const {
    for (const RecordedButton& b : buttons) {
      if (b.command == command) return &b;
    }
    return nullptr;
  }
  const RecordedMenuItem* FindItem(int command) const { return FindIn(fileMenu, command, helpMenu); }
  RecordedMenuItem* FindItem(int command) {
    return const_cast<RecordedMenuItem*>(static_cast<const RecordingPlatform*>(this)->FindItem(command));
  }
  RecordedButton* FindButton(int command) {
    return const_cast<RecordedButton*>(static_cast<const RecordingPlatform*>(this)->FindButton(command));
  }
  // A page loads in the tab in front: the Refresh button shows its
  // loading image and commands take no input.
  bool Loading() const {
    const RecordedButton* refresh = FindButton(kCmdRefresh);
    return !menuBarEnabled || (refresh != nullptr && refresh->image == kImageLoading);
  }

 private:
  std::vector<RecordedMenuItem> SubMenu(std::string_view text) const {
    for (const RecordedMenuItem& item : fileMenu) {
      if (item.text == text) return item.submenu;
    }
    return {};
  }
  static std::vector<std::string> Describe(const std::vector<RecordedMenuItem>& items) {
    std::vector<std::string> out;
    for (const RecordedMenuItem& item : items) {
      std::string line = item.enabled ? "" : "~";
      if (item.IsSeparator()) {
        out.push_back(line + "---");
        continue;
      }
      if (item.mark == MenuMark::kCheck) line += item.checked ? "[x] " : "[ ] ";
      if (item.mark == MenuMark::kRadio) line += item.checked ? "(*) " : "( ) ";
      out.push_back(line + item.text);
    }
    return out;
  }
  static const RecordedMenuItem* FindIn(const std::vector<RecordedMenuItem>& items, int command,
                                        const std::vector<RecordedMenuItem>& more) {
    for (const std::vector<RecordedMenuItem>* list : {&items, &more}) {
      for (const RecordedMenuItem& item : *list) {
        if (item.command == command && command != 0) return &item;
        for (const RecordedMenuItem& sub : item.submenu) {
          if (sub.command == command) return &sub;
        }
      }
    }
    return nullptr;
  }
  // A sub-menu item takes taps only while its sub-menu's item is enabled.
  bool ParentEnabled(int command) const {
    for (const std::vector<RecordedMenuItem>* list : {&fileMenu, &helpMenu}) {
      for (const RecordedMenuItem& item : *list) {
        for (const RecordedMenuItem& sub : item.submenu) {
          if (sub.command == command) return item.enabled;
        }
      }
    }
    return true;
  }

  friend class RecordingTab;
  Desktop& desktop_;
  Reader* reader_ = nullptr;
  InstanceId own_ = 0;
  IconvCodec codec_;
  std::mutex postMutex_;
  std::condition_variable postedSignal_;
};

inline RecordingTab::RecordingTab(RecordingPlatform& window, BookTab& tab) : owner(tab), window_(window) {
  window_.tabs.push_back(this);
}
inline RecordingTab::~RecordingTab() { window_.Forget(*this); }
inline void RecordingTab::SetKeywordText(std::string_view text) {
  Get(Control::kIndexEdit).text = std::string(text);
  owner.Index().OnTextChanged();
}
inline void RecordingTab::ShowPage(std::string_view address, std::string_view charset) {
  Get(Control::kPageView);
  discarded = false;
  navigations.emplace_back(address);
  charsets.emplace_back(charset);
  window_.log.push_back("Navigate " + std::string(address));
}
inline void RecordingTab::ShowHtml(std::string_view html) {
  Get(Control::kPageView);
  discarded = false;
  ownPages.emplace_back(html);
  navigations.emplace_back("about:blank");
  charsets.emplace_back();
  window_.log.push_back("Navigate about:blank");
}
inline std::optional<ScrollInfo> RecordingTab::PageScroll() const {
  return discarded ? std::nullopt : window_.scroll;
}
inline bool RecordingTab::Visible(Control control) const {
  if (!Exists(control) || shownPanel == Panel::kNone) return false;
  const Panel panel = PanelOf(control);
  if (window_.layout == Layout::kSidebar && panel == Panel::kHtml) return true;
  return panel == shownPanel;
}

// One reader on a desktop: its platform and its logic, wired together.
struct Session {
  explicit Session(Desktop& desktop) : platform(desktop), reader(platform, &platform.jobs) {
    platform.Attach(reader);
  }
  RecordingPlatform platform;
  Reader reader;
};

// Books built byte by byte, for what the compiled test books do not show.
// #SYSTEM records: 0 contents file, 1 index file, 2 default topic, 3 title
// (texts end in NUL), 4 language id (4 bytes).
inline std::string SystemObject(const std::vector<std::pair<int, std::string>>& records) {
  std::vector<std::uint8_t> out;
  tessaly::test::Append32(out, 3);
  for (const auto& [code, data] : records) {
    tessaly::test::Append16(out, static_cast<std::uint16_t>(code));
    tessaly::test::Append16(out, static_cast<std::uint16_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
  }
  return std::string(out.begin(), out.end());
}
inline std::string Text(const std::string& text) { return text + '\0'; }
inline std::string LanguageRecord(std::uint32_t id) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((id >> (8 * i)) & 0xFF);
  return bytes;
}

// A built book written to a file that lives as long as the object.
struct BuiltBook {
  explicit BuiltBook(const tessaly::test::BookBuilder& builder, const std::string& suffix = ".chm")
      : file(builder.Build(), suffix) {}
  std::string Path() const { return file.Path(); }
  tessaly::test::TempFile file;
};

// A reader on a desktop of its own, whose temporary root is a fresh folder.
class ReaderTest : public ::testing::Test {
 protected:
  tessaly::test::TempDir root;
  Desktop desktop{root.Path()};
  std::unique_ptr<Session> session = std::make_unique<Session>(desktop);

  RecordingPlatform& ui() { return session->platform; }
  Reader& reader() { return session->reader; }

  // Starts the reader and lets the view finish loading the first page.
  bool Start(std::string_view commandLine = "") {
    const bool running = reader().Start(commandLine);
    ui().Drain();
    if (ui().Loading()) ui().Complete();
    return running && !ui().windowDestroyed;
  }
  // Opens a book through File > Open and lets its first page load.
  void OpenThroughMenu(const std::string& path) {
    ui().files.push_back(path);
    ASSERT_TRUE(ui().Click(kCmdOpen));
    if (ui().Loading()) ui().Complete();
  }
  // The file name of the page the view was last told to load.
  std::string ShownFile() const {
    const std::string address = session->platform.LastNavigation();
    const std::size_t slash = address.rfind('/');
    return slash == std::string::npos ? address : address.substr(slash + 1);
  }
  // The book of the page on screen (its path as the address names it).
  std::string ShownBook() const {
    const auto address = ParseBookAddress(session->platform.LastNavigation(), IsBookFile);
    return address ? address->book : std::string();
  }
  // The in-book path of the page on screen, with its #fragment.
  std::string CurrentPath() const {
    const auto address = ParseBookAddress(session->platform.LastNavigation(), IsBookFile);
    if (!address) return std::string();
    return address->fragment.empty() ? address->page : address->page + "#" + address->fragment;
  }
};

}  // namespace tessaly::app::test
