// A Platform that records what the reader's logic does to its window, and
// lets tests act as the person in front of it. Several readers share one
// Desktop: the store, the instance channel and the temporary root, so that
// two readers can hand a book over to each other inside one test.
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
#include "app/workers.h"
#include "codec/iconv_codec.h"
#include "pages/page_cache.h"
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
  std::map<InstanceId, std::string> foreign;         // running readers known only by id and title
  InstanceId nextId = 7001;
  std::vector<std::string> events;  // across readers: "raise 7001", "close 7001"
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

// Jobs the reader gives its workers, run when the test drains them: reader
// tests stay synchronous to read, and a test can hold work back to act
// while it is under way.
class QueuedWorkers : public Workers {
 public:
  void RunBookJob(std::function<void()> job) override { book.push_back(std::move(job)); }
  void RunPageJob(std::function<void()> job) override { page.push_back(std::move(job)); }
  void FinishPageJobs() override {
    while (!page.empty()) RunOne(page);
  }
  static void RunOne(std::deque<std::function<void()>>& queue) {
    std::function<void()> job = std::move(queue.front());
    queue.pop_front();
    job();
  }
  std::deque<std::function<void()>> book;
  std::deque<std::function<void()>> page;
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
  bool failPageView = false;
  std::optional<ScrollInfo> scroll;               // what PageScroll answers
  std::vector<std::optional<std::string>> files;  // ChooseFile answers, in turn (none left: cancel)
  std::vector<int> choices;                       // RunChoiceDialog answers, in turn (none left: -1)
  bool holdWork = false;                          // person actions do not run the workers' jobs

  // --- What was recorded --------------------------------------------------------
  QueuedWorkers workers;
  std::deque<std::function<void()>> posted;
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
  std::vector<RecordedButton> buttons;
  std::vector<std::string> tips;
  std::map<Control, RecordedControl> controls;
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
  bool pageViewCreated = false;
  std::vector<std::string> navigations;
  std::vector<std::string> charsets;
  std::vector<std::string> ownPages;  // the pages of the reader's own (HTML)
  bool showImages = true;
  bool externalFails = false;
  std::vector<int> scrolledTo;  // each ScrollPage  // the desktop has no program for web addresses
  std::vector<int> zoomLevels;
  std::vector<bool> shrinkToFit;
  std::vector<bool> clearType;
  int findBars = 0;
  std::vector<RecordedMessage> messages;
  std::optional<std::string> notice;  // the notice above the page, while shown
  int noticesShown = 0;
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
  std::vector<std::string> log;          // every call, in order, for ordering checks

  // Runs the workers' jobs and the tasks they post until nothing is left.
  void Drain() {
    for (;;) {
      if (!posted.empty()) {
        QueuedWorkers::RunOne(posted);
      } else if (!workers.page.empty()) {
        QueuedWorkers::RunOne(workers.page);
      } else if (!workers.book.empty()) {
        QueuedWorkers::RunOne(workers.book);
      } else {
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
    // Workers on threads of their own post from there (ThreadedTest).
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

  void SetMenus(std::span<const Menu> menus) override {
    if (!menuBarCreated) log.push_back("CreateMenuBar");
    menuBarCreated = true;
    menuLabels.clear();
    std::vector<RecordedButton> tools(buttons.begin() + std::min<std::size_t>(buttons.size(), 2), buttons.end());
    buttons.clear();
    for (const Menu& menu : menus) {
      menuLabels.push_back(menu.label);
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

  void SetPanels(const PanelSet& set) override {
    panels = set;
    std::map<Control, RecordedControl> kept;
    const auto keep = [&](Control control, std::string_view text) {
      auto found = controls.find(control);
      RecordedControl made;
      made.text = std::string(text);
      kept[control] = found != controls.end() ? found->second : made;
    };
    // A panel the new set lacks goes with its contents; one it keeps is
    // made anew when the book changed (every book calls ResetWindow first).
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
    if (pageViewCreated) keep(Control::kPageView, "");
    controls = std::move(kept);
    if (!set.contents) {
      treeItems.clear();
      treeOrder.clear();
      treeSelection = 0;
    }
    if (focus && !controls.count(*focus)) focus.reset();
  }
  void ShowPanel(Panel panel) override { shownPanel = panel; }
  void SetSidebarWidth(int width) override { sidebarWidth = width; }
  void EnableControl(Control control, bool enabled) override {
    if (control == Control::kPageView && !pageViewCreated) return;
    Get(control).enabled = enabled;
  }
  void FocusControl(Control control) override {
    Get(control);
    focus = control;
    focusLog.push_back(control);
  }
  std::optional<Control> FocusedControl() const override { return focus; }

  void ShowContents(std::span<const ContentsRow> rows, bool withLines) override {
    Get(Control::kTree);
    treeLines = withLines;
    treeItems.clear();
    treeOrder.clear();
    treeSelection = 0;
    for (std::size_t row = 0; row < rows.size(); ++row) {
      const ContentsRow& r = rows[row];
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

  void ShowKeywords(std::span<const std::string> lines) override {
    RecordedControl& c = List(Control::kIndexList);
    c.lines.assign(lines.begin(), lines.end());
    c.selection = -1;
    c.top = 0;
  }
  void ScrollKeywords(int line) override { List(Control::kIndexList).top = line; }
  void SelectKeyword(int line) override { List(Control::kIndexList).selection = line; }
  int KeywordSelection() const override { return Selection(Control::kIndexList); }
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

  std::string EditText(Control edit) const override {
    const auto found = controls.find(edit);
    EXPECT_TRUE(found != controls.end());
    return found == controls.end() ? std::string() : found->second.text;
  }
  void SetEditText(Control edit, std::string_view text) override {
    EXPECT_TRUE(edit == Control::kIndexEdit || edit == Control::kSearchEdit);
    Get(edit).text = std::string(text);
    reader_->OnControlEvent(edit, ControlEvent::kTextChanged);
  }

  bool CreatePageView() override {
    log.push_back("CreatePageView");
    if (failPageView) return false;
    EXPECT_FALSE(pageViewCreated) << "page view created twice";
    controls[Control::kPageView] = RecordedControl{};
    pageViewCreated = true;
    return true;
  }
  void ShowPage(std::string_view address, std::string_view charset) override {
    Get(Control::kPageView);
    navigations.emplace_back(address);
    charsets.emplace_back(charset);
    log.push_back("Navigate " + std::string(address));
  }
  void ShowHtml(std::string_view html) override {
    Get(Control::kPageView);
    ownPages.emplace_back(html);
    navigations.emplace_back("about:blank");
    charsets.emplace_back();
    log.push_back("Navigate about:blank");
  }
  void SetViewSettings(const ViewSettings& settings) override {
    // Each setting is recorded when it is new.
    if (zoomLevels.empty() || zoomLevels.back() != settings.zoomLevel) zoomLevels.push_back(settings.zoomLevel);
    if (shrinkToFit.empty() || shrinkToFit.back() != settings.shrinkToFit) shrinkToFit.push_back(settings.shrinkToFit);
    if (clearType.empty() || clearType.back() != settings.clearType) clearType.push_back(settings.clearType);
    showImages = settings.showImages;
  }
  std::optional<ScrollInfo> PageScroll() const override { return scroll; }
  void ScrollPage(int position) override { scrolledTo.push_back(position); }
  void ShowFindBar(const FindBarTexts&) override { ++findBars; }
  void MarkWords(std::span<const std::string> words) override {
    markedWords.push_back({words.begin(), words.end()});
    markedOn.push_back(navigations.empty() ? std::string() : navigations.back());
  }

  void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override {
    messages.push_back({std::string(text), std::string(caption), icon});
    log.push_back("Message " + std::string(caption));
  }
  void ShowNotice(std::string_view text) override {
    notice = std::string(text);
    ++noticesShown;
  }
  void HideNotice() override { notice.reset(); }
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
  InstanceId FindReaderByTitle(std::string_view text) override {
    for (const auto& [id, platform] : desktop_.readers) {
      if (id != own_ && platform->title == text) return id;
    }
    for (const auto& [id, foreignTitle] : desktop_.foreign) {
      if (foreignTitle == text) return id;
    }
    return 0;
  }
  bool ReaderExists(InstanceId id) override { return desktop_.readers.count(id) || desktop_.foreign.count(id); }
  void RaiseReader(InstanceId id) override {
    desktop_.events.push_back("raise " + std::to_string(id));
    const auto found = desktop_.readers.find(id);
    if (found != desktop_.readers.end()) found->second->BringToFront();
  }
  void CloseReader(InstanceId id) override {
    desktop_.events.push_back("close " + std::to_string(id));
    const auto found = desktop_.readers.find(id);
    if (found != desktop_.readers.end()) {
      RecordingPlatform* other = found->second;
      other->reader_->OnClose();
    } else if (desktop_.foreign.erase(id) != 0) {
      // A reader known only by id closes as a reader does: it clears the
      // values when they still name it.
      auto& prev = desktop_.store[StoreKey::kPrev];
      if (prev["HWND"] == std::to_string(id)) {
        prev["HWND"] = "0";
        prev["WorkDirectory"] = "";
      }
    }
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
  const TextCodec& Codec() const override { return codec_; }

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
  // A key of the desktop that stands for a command (Ctrl+F, F9, ...).
  bool Key(int command) {
    if (!menuBarEnabled) return false;
    reader_->OnCommand(command);
    Settle();
    return true;
  }
  void Type(Control edit, std::string_view text) {
    ASSERT_TRUE(Visible(edit)) << "typing into a hidden entry";
    Get(edit).text = std::string(text);
    reader_->OnControlEvent(edit, ControlEvent::kTextChanged);
    Settle();
  }
  void SelectLine(Control list, int index) {
    ASSERT_TRUE(Visible(list));
    ASSERT_LT(index, static_cast<int>(List(list).lines.size()));
    List(list).selection = index;
    reader_->OnControlEvent(list, ControlEvent::kSelectionChanged);
    Settle();
  }
  void DoubleClickLine(Control list, int index) {
    SelectLine(list, index);
    reader_->OnControlEvent(list, ControlEvent::kDoubleClicked);
    Settle();
  }
  void PressEnter(Control edit) {
    ASSERT_TRUE(Visible(edit)) << "Enter in a hidden entry";
    reader_->OnControlEvent(edit, ControlEvent::kActivated);
    Settle();
  }
  bool Press(Control button) {
    const auto found = controls.find(button);
    if (found == controls.end() || !Visible(button) || !found->second.enabled) return false;
    reader_->OnControlEvent(button, ControlEvent::kClicked);
    Settle();
    return true;
  }
  void TapTreeItem(TreeItem item) {
    ASSERT_TRUE(Visible(Control::kTree));
    reader_->OnTreeTap(static_cast<int>(item) - 1);
    Settle();
  }
  void PressEnterInTree() {
    reader_->OnTreeEnter();
    Settle();
  }
  // The expander: the tree expands on its own and tells the reader first.
  void ToggleTreeItem(TreeItem item, bool expanding) {
    reader_->OnTreeExpanding(static_cast<int>(item) - 1, expanding);
  }
  bool TapLink(std::string_view link) {
    const auto found = controls.find(Control::kPageView);
    if (found == controls.end() || !Visible(Control::kPageView) || !found->second.enabled) return false;
    reader_->OnLinkTapped(link);
    Settle();
    return true;
  }
  // The view has loaded what it was last told to.
  void Complete() { reader_->OnDocumentComplete(); }
  // What the view gets when it asks for an address, once the reader has
  // answered (the read runs on the workers).
  PageObject Fetch(std::string_view address) {
    std::optional<PageObject> got;
    reader_->OnObjectRequest(address, [&got](PageObject object) { got = std::move(object); });
    Settle();
    EXPECT_TRUE(got.has_value()) << "no answer for " << address;
    return got.value_or(PageObject{});
  }
  // A key pressed in the page view; returns whether the view acted on it.
  // The action key's own Enter follows on the same press when the reader
  // moved the focus into the tree.
  bool PressPageKey(PageKey key) {
    const bool passedOn = reader_->OnPageKey(key);
    if (key == PageKey::kAction && !passedOn && focus == Control::kTree) reader_->OnTreeEnter();
    Settle();
    return passedOn;
  }

  // --- Questions tests ask ------------------------------------------------------------
  bool Exists(Control control) const { return controls.count(control) != 0; }
  // What shows: one panel in one pane; the page and the sidebar's tab
  // beside it.
  bool Visible(Control control) const {
    if (!Exists(control) || shownPanel == Panel::kNone) return false;
    const Panel panel = PanelOf(control);
    if (layout == Layout::kSidebar && panel == Panel::kHtml) return true;
    return panel == shownPanel;
  }
  const RecordedControl& At(Control control) const { return controls.at(control); }
  std::vector<Control> VisibleControls() const {
    std::vector<Control> shown;
    for (const auto& [control, c] : controls) {
      if (Visible(control)) shown.push_back(control);
    }
    return shown;
  }
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
  // The tree item whose text is `text` (the first in display order).
  TreeItem TreeItemNamed(std::string_view text) const {
    for (TreeItem item : treeOrder) {
      if (treeItems.at(item).text == text) return item;
    }
    return 0;
  }
  std::string LastNavigation() const { return navigations.empty() ? std::string() : navigations.back(); }

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
  RecordedControl& Get(Control control) {
    const auto found = controls.find(control);
    EXPECT_TRUE(found != controls.end()) << "control " << static_cast<int>(control) << " does not exist";
    return controls[control];
  }
  RecordedControl& List(Control control) {
    EXPECT_TRUE(control == Control::kIndexList || control == Control::kResultsList);
    return Get(control);
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

  Desktop& desktop_;
  Reader* reader_ = nullptr;
  InstanceId own_ = 0;
  IconvCodec codec_;
  std::mutex postMutex_;
  std::condition_variable postedSignal_;
};

// One reader on a desktop: its platform and its logic, wired together.
struct Session {
  explicit Session(Desktop& desktop) : platform(desktop), reader(platform, &platform.workers) {
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
    reader().Start(commandLine);
    ui().Drain();
    if (reader().Busy()) ui().Complete();
    return !reader().Closed();
  }
  // Opens a book through File > Open and lets its first page load.
  void OpenThroughMenu(const std::string& path) {
    ui().files.push_back(path);
    ASSERT_TRUE(ui().Click(kCmdOpen));
    if (reader().Busy()) ui().Complete();
  }
  // The file name of the page the view was last told to load.
  std::string ShownFile() const {
    const std::string address = session->platform.LastNavigation();
    const std::size_t slash = address.rfind('/');
    return slash == std::string::npos ? address : address.substr(slash + 1);
  }
  // The in-book path of the page on screen.
  std::string CurrentPath() const {
    return session->reader.CurrentPagePath();
  }
};

}  // namespace tessaly::app::test
