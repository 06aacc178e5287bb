// The reader's window: start-up and the instance kept in the store, the
// tabs, the commands, the menus and tool buttons of the tab in front.
#include "app/reader.h"

#include <sys/utsname.h>

#include <algorithm>
#include <charconv>
#include <filesystem>

#include "app/book_session.h"
#include "app/book_tab.h"
#include "app/command_line.h"
#include "app/library_texts.h"
#include "app/limits.h"
#include "app/resources.h"
#include "app/utf8.h"
#include "book/book.h"
#include "pages/pages.h"

namespace tessaly::app {

namespace {

constexpr std::string_view kFilePrefix = "file:\\";

// The stored "HWND" value: a decimal instance id; anything else counts as 0
// (no reader to clean up after).
InstanceId ParseInstance(std::string_view text) {
  InstanceId id = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
  if (error != std::errc() || end != text.data() + text.size()) return 0;
  return id;
}

// The book a command line names, its path made absolute: pages are
// addressed by the book's absolute path.
NamedBook ParseCommandLine(std::string_view text) {
  NamedBook named = ParseNamedBook(text);
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(named.path, error);
  if (!error && !named.path.empty()) named.path = absolute.lexically_normal().string();
  return named;
}

int CommandOf(Panel panel) {
  switch (panel) {
    case Panel::kContents: return kCmdContents;
    case Panel::kIndex: return kCmdIndex;
    case Panel::kSearch: return kCmdSearch;
    case Panel::kHtml: return kCmdHtml;
    case Panel::kNone: break;
  }
  return 0;
}

MenuEntry Entry(const MenuItem& item) {
  MenuEntry entry;
  entry.command = item.command;
  entry.text = std::string(item.text);
  entry.mark = item.mark;
  entry.enabled = item.enabled;
  entry.checked = item.checked;
  return entry;
}

MenuEntry Checked(const MenuItem& item, bool checked) {
  MenuEntry entry = Entry(item);
  entry.checked = checked;
  return entry;
}

// A file name as a menu text: its '&' are not mnemonics.
std::string PlainMenuText(std::string_view name) {
  std::string text;
  for (char c : name) {
    if (c == '&') text += '&';
    text += c;
  }
  return text;
}

std::string MenuText(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return PlainMenuText(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace

Reader::Reader(Platform& platform, JobScheduler* jobs)
    : platform_(platform),
      ownJobs_(jobs == nullptr ? std::make_unique<ThreadJobs>() : nullptr),
      jobs_(jobs == nullptr ? *ownJobs_ : *jobs),
      library_(platform, jobs_, [this](const std::string& book, const std::string& page) {
        if (Accepting()) OpenBook(book, page);
      }),
      bar_(platform, jobs_, library_.KeptSearch(), [this](const std::string& book, const std::string& page) {
        if (Accepting()) OpenBook(book, page);
      }),
      searchQueries_(platform, jobs_, "book") {
  jobs_.SetPost([&platform](std::function<void()> task) { platform.Post(std::move(task)); });
}

Reader::~Reader() {
  current_ = nullptr;
  tabs_.clear();
  jobs_.SetPost(nullptr);
}

// --- Start-up ---------------------------------------------------------------------

bool Reader::Start(std::string_view commandLine) {
  if (started_) return !closed_;
  started_ = true;
  // One reader at a time: a book goes to the running one, which opens it in
  // a tab; without a book the running one is raised. Either way this one
  // ends before it shows anything.
  if (const InstanceId other = platform_.FindReader(); other != 0) {
    if (commandLine.empty()) {
      platform_.RaiseReader(other);
      closed_ = true;
      return false;
    }
    // Named from this reader's folder: the running one may stand elsewhere.
    std::string handed(commandLine);
    if (ParseRequestLine(commandLine).kind == RequestKind::kOpen) {
      const NamedBook named = ParseCommandLine(commandLine);
      handed = named.page.empty() ? named.path : named.path + "::/" + named.page;
    }
    if (platform_.HandOver(other, handed)) {
      closed_ = true;
      return false;
    }
  }
  if (!platform_.CreateMainWindow(kNoBookTitle)) {
    closed_ = true;
    return false;
  }
  windowCreated_ = true;
  ReadDesktopValues();
  platform_.AddNotifyIcon();
  RestoreTabs();
  if (!commandLine.empty()) Carry(commandLine);
  if (tabs_.empty()) {
    BookTab& start = AddTab();
    Select(start);
    start.ShowStart();
  }
  RegisterInstance();
  RefreshWindow();
  bar_.Start();
  searchQueries_.Load();
  library_.LoadBookmarks([this] {
    if (Accepting()) RefreshMenus();
  });
  return !closed_;
}

void Reader::RegisterInstance() {
  // Only an existing value is written: the store's keys are never made here.
  if (closed_ || !platform_.ReadStoreValue(StoreKey::kPrev, kStoreWindow)) return;
  platform_.WriteStoreValue(StoreKey::kPrev, kStoreWindow, std::to_string(platform_.OwnInstance()));
}

void Reader::ReleaseInstance() {
  const std::optional<std::string> window = platform_.ReadStoreValue(StoreKey::kPrev, kStoreWindow);
  if (!window || ParseInstance(*window) != platform_.OwnInstance()) return;
  platform_.WriteStoreValue(StoreKey::kPrev, kStoreWindow, "0");
}

void Reader::ReadDesktopValues() {
  recent_.Load(platform_.ReadStoreValue(StoreKey::kPrev, kStoreRecentBooks).value_or(""));
  int width = 0;
  const std::string stored = platform_.ReadStoreValue(StoreKey::kPrev, kStoreSidebarWidth).value_or("");
  std::from_chars(stored.data(), stored.data() + stored.size(), width);
  if (width > 0) platform_.SetSidebarWidth(width);
  sidebarShown_ = platform_.ReadStoreValue(StoreKey::kPrev, kStoreSidebarVisible).value_or("1") != "0";
}

void Reader::RestoreTabs() {
  const std::string kept = platform_.ReadStoreValue(StoreKey::kPrev, kStoreTabs).value_or("");
  const std::string front = platform_.ReadStoreValue(StoreKey::kPrev, kStoreCurrentTab).value_or("0");
  std::size_t wanted = 0;
  std::from_chars(front.data(), front.data() + front.size(), wanted);
  restoring_ = true;
  BookTab* shown = nullptr;
  std::size_t line = 0;
  for (std::size_t start = 0; start < kept.size(); ++line) {
    std::size_t end = kept.find('\n', start);
    if (end == std::string::npos) end = kept.size();
    const std::string path = kept.substr(start, end - start);
    start = end + 1;
    // A book whose file has gone is not reopened.
    if (path.empty() || !IsBookFile(path) || TabOf(path) != nullptr) continue;
    BookTab& tab = AddTab();
    tab.Open(path, "");
    if (shown == nullptr || line == wanted) shown = &tab;
  }
  restoring_ = false;
  if (shown != nullptr) Select(*shown);
}

void Reader::StoreTabs() {
  if (restoring_ || !Accepting()) return;
  std::string kept;
  std::size_t front = 0;
  std::size_t line = 0;
  for (const std::unique_ptr<BookTab>& tab : tabs_) {
    const std::string& path = tab->Session() != nullptr ? tab->Session()->Path() : tab->OpeningPath();
    if (path.empty() || !IsUtf8(path) || path.find('\n') != std::string::npos) continue;
    if (tab.get() == current_) front = line;
    kept += path + "\n";
    ++line;
  }
  platform_.WriteStoreValue(StoreKey::kPrev, kStoreTabs, kept);
  platform_.WriteStoreValue(StoreKey::kPrev, kStoreCurrentTab, std::to_string(front));
}

// --- Tabs ---------------------------------------------------------------------------

BookTab& Reader::AddTab() {
  tabs_.push_back(std::make_unique<BookTab>(*this));
  return *tabs_.back();
}

void Reader::Select(BookTab& tab) {
  if (current_ != &tab) left_ = current_;
  if (current_ != nullptr && current_ != &tab) current_->Page().RememberScroll();
  current_ = &tab;
  platform_.SelectTab(tab.View());
  tab.Shown();
  RefreshWindow();
  // Once the switch is painted: only the tab on screen and the one just
  // left keep their page views (a page process and its memory each); the
  // others' pages come back when they are shown.
  platform_.PostAfterPaint([this] {
    if (current_ == nullptr || !Accepting()) return;
    current_->Page().Restore();
    for (const std::unique_ptr<BookTab>& each : tabs_) {
      if (each.get() != current_ && each.get() != left_) each->Page().Discard();
    }
  });
}

void Reader::OnTabSelected(const BookTab& tab) {
  if (!Accepting() || &tab == current_) return;
  for (const std::unique_ptr<BookTab>& each : tabs_) {
    if (each.get() == &tab) {
      Select(*each);
      StoreTabs();
      return;
    }
  }
}

void Reader::OnTabClose(BookTab& tab) {
  if (!Accepting()) return;
  CloseTab(tab);
}

void Reader::CloseTab(BookTab& tab) {
  const auto found = std::find_if(tabs_.begin(), tabs_.end(), [&](const auto& each) { return each.get() == &tab; });
  if (found == tabs_.end()) return;
  tab.Page().RememberScroll();
  const std::size_t index = static_cast<std::size_t>(found - tabs_.begin());
  const bool wasCurrent = current_ == &tab;
  if (wasCurrent) current_ = nullptr;
  // The session goes with its tab: its jobs' results are dropped.
  std::unique_ptr<BookTab> closing = std::move(*found);
  tabs_.erase(found);
  closing.reset();
  if (tabs_.empty()) {
    BookTab& start = AddTab();
    Select(start);
    start.ShowStart();
  } else if (wasCurrent) {
    Select(*tabs_[std::min(index, tabs_.size() - 1)]);
  }
  StoreTabs();
  RefreshWindow();
}

void Reader::StepTab(int step) {
  if (tabs_.size() < 2 || current_ == nullptr) return;
  const auto found =
      std::find_if(tabs_.begin(), tabs_.end(), [&](const auto& each) { return each.get() == current_; });
  const auto count = static_cast<std::ptrdiff_t>(tabs_.size());
  const std::ptrdiff_t next = ((found - tabs_.begin()) + step + count) % count;
  Select(*tabs_[static_cast<std::size_t>(next)]);
  StoreTabs();
}

BookTab* Reader::TabOf(const std::string& path) {
  const std::optional<FileId> identity = IdentityOf(path);
  for (const std::unique_ptr<BookTab>& tab : tabs_) {
    if (tab->Session() != nullptr && tab->Session()->IsFile(path)) return tab.get();
    if (tab->Opening() && (tab->OpeningPath() == path || (identity && IdentityOf(tab->OpeningPath()) == identity))) {
      return tab.get();
    }
  }
  return nullptr;
}

const BookSession* Reader::OpenBookAt(const std::string& path) const {
  for (const std::unique_ptr<BookTab>& tab : tabs_) {
    if (tab->Session() != nullptr && tab->Session()->Path() == path) return tab->Session();
  }
  return nullptr;
}

BookTab* Reader::OpenBook(std::string path, const std::string& page, std::optional<HistoryEntry> origin,
                          bool fromHistory) {
  if (path.starts_with(kFilePrefix)) path.erase(0, kFilePrefix.size());
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (!error && !path.empty()) path = absolute.lexically_normal().string();
  if (BookTab* tab = TabOf(path)) {
    // The file is open already (under this name or another): its tab.
    Select(*tab);
    if (tab->Session() != nullptr && !page.empty()) {
      if (origin) tab->Session()->History().Push(*origin);
      tab->RevealPage();
      tab->Page().ShowBookPage(tab->Page().BookText(page), fromHistory);
    }
    return tab;
  }
  // The start view's tab becomes the book's; any other book gets a new tab.
  BookTab* tab = current_ != nullptr && current_->Session() == nullptr && !current_->Opening() ? current_ : &AddTab();
  tab->Open(path, page, std::move(origin));
  Select(*tab);
  StoreTabs();
  return tab;
}

void Reader::TabOpened(BookTab& tab, bool opened) {
  if (!opened) {
    // A book that did not open leaves no tab, unless it is the only one:
    // that shows the start view.
    if (tabs_.size() == 1) {
      tab.ShowStart();
      StoreTabs();
      RefreshWindow();
    } else {
      CloseTab(tab);
    }
    return;
  }
  // (Two names of one file never both open: TabOf finds the tab of a file
  // while it opens. A second tab of one book is one the user asked for.)
  StoreTabs();
  if (current_ == &tab) RefreshWindow();
}

void Reader::BookShown(BookTab& tab) {
  // A book the user opens joins the library, once its first page shows:
  // indexing it may take long and must not hold that page back.
  if (tab.Session() != nullptr) library_.AddOpened(tab.Session()->Path());
}

void Reader::FollowIntoBook(BookTab& from, const std::string& book, const std::string& page,
                            std::string_view written, bool) {
  // A book that is not there leaves the page on screen and says so.
  if (TabOf(book) == nullptr && !IsBookFile(book)) {
    platform_.ShowMessage(std::string(kNotInBookText) + CutToChars(written, kMaxLinkBytes), kNotInBookCaption,
                          MessageIcon::kExclamation);
    return;
  }
  std::optional<HistoryEntry> origin;
  if (from.Session() != nullptr && !from.Page().PagePath().empty()) {
    origin = HistoryEntry{from.Session()->Path(), from.Page().PagePath()};
  }
  OpenBook(book, page, std::move(origin));
}

void Reader::OpenInNewTab(BookTab& from, const std::string& page) {
  if (from.Session() == nullptr) return;
  BookTab& tab = AddTab();
  tab.Open(from.Session()->Path(), from.Text(page, kMaxLinkBytes));
  StoreTabs();
  RefreshWindow();
}

void Reader::StepIntoBook(BookTab&, const HistoryEntry& entry) {
  if (BookTab* tab = TabOf(entry.book); tab != nullptr && tab->Session() != nullptr) {
    Select(*tab);
    tab->RevealPage();
    tab->Page().ShowBookPage(entry.page, true);
    return;
  }
  // Its tab was closed: the book opens again at that page.
  OpenBook(entry.book, entry.page);
}

void Reader::OpenChosenBook() {
  const std::optional<std::string> chosen = platform_.ChooseFile(kOpenFilterName, kOpenFilterPattern);
  if (chosen) OpenBook(*chosen, "");
}

void Reader::OpenBookFile(const std::string& path) { OpenBook(path, ""); }

void Reader::OnOpenRequest(std::string_view commandLine) {
  if (!Accepting() || commandLine.empty()) return;
  Carry(commandLine);
  platform_.BringToFront();
}

void Reader::Carry(std::string_view commandLine) {
  const ReaderRequest request = ParseRequestLine(commandLine);
  switch (request.kind) {
    case RequestKind::kOpen: {
      const NamedBook named = ParseCommandLine(commandLine);
      OpenBook(named.path, named.page);
      return;
    }
    case RequestKind::kKeyword: {
      // A book named is taken by its path; a word stays a filter of titles.
      std::string book = request.book;
      if (!book.empty() && IsBookFile(book)) book = ParseCommandLine(book).path;
      library_.LookUp(request.word, book);
      return;
    }
    case RequestKind::kLibraryAdd: library_.Add(ParseCommandLine(request.book).path); return;
  }
}

void Reader::OpenHelpFile() {
  std::optional<std::string> help = platform_.ReadStoreValue(StoreKey::kChmFile, kStoreHelpPath);
  if (!help || help->empty()) {
    platform_.ShowMessage(kHelpFileMissing, kHelpFileCaption, MessageIcon::kError);
    return;
  }
  OpenBook(*help, "");
}

void Reader::OpenRecent(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= recent_.Books().size()) return;
  const std::string path = recent_.Books()[static_cast<std::size_t>(index)].path;
  OpenBook(path, "");
}

void Reader::BookmarkPage() {
  if (current_ == nullptr || current_->Session() == nullptr || current_->Page().PagePath().empty()) return;
  const BookSession& session = *current_->Session();
  const std::string& page = current_->Page().PagePath();
  const TopicTable& topics = session.GetBook().Topics();
  const std::int32_t topic = topics.FindByPath(page.substr(0, page.find('#')));
  std::string name = topic >= 0 ? current_->Text(topics.Title(topic), kMaxListTextChars) : std::string();
  const std::string path = current_->Text(page, kMaxLinkBytes);
  if (name.empty()) name = path;
  library_.AddBookmark(session.Path(), path, name);
}

void Reader::ShowAbout() {
  // The system and machine it runs on, as the kernel names them.
  struct utsname system {};
  std::string platform = "Linux";
  if (uname(&system) == 0) platform = std::string(system.sysname) + " (" + system.machine + ")";
  const std::string name = std::string(kAboutName) + "\r" + FormatText(kAboutPlatform, platform.c_str());
  const std::string version = FormatText(kAboutVersion, TESSALY_VERSION);
  platform_.ShowAbout(AboutBox{name, kAboutLink, version, kAboutButton});
}

// --- Commands -----------------------------------------------------------------------

void Reader::OnCommand(int command) {
  if (!Accepting()) return;
  switch (command) {
    case kCmdExit: Exit(); return;
    case kCmdOpen: OpenChosenBook(); return;
    case kCmdHelpTopics: OpenHelpFile(); return;
    case kCmdAbout: ShowAbout(); return;
    case kCmdCloseTab:
      if (current_ != nullptr) CloseTab(*current_);
      return;
    case kCmdNextTab: StepTab(1); return;
    case kCmdPreviousTab: StepTab(-1); return;
    case kCmdLibrarySearch: bar_.Focus(); return;
    case kCmdShowLibrary: library_.ShowLibrary(); return;
    case kCmdAddFolder: library_.AddChosenFolder(); return;
    case kCmdShowBookmarks: library_.ShowBookmarks(); return;
    case kCmdBookmarkPage: BookmarkPage(); return;
    default: break;
  }
  if (command >= kCmdBookmarkFirst && command <= kCmdBookmarkLast) {
    library_.OpenBookmark(static_cast<std::size_t>(command - kCmdBookmarkFirst));
    return;
  }
  if (command >= kCmdRecentFirst && command <= kCmdRecentLast) {
    OpenRecent(command - kCmdRecentFirst);
    return;
  }
  if (current_ != nullptr) current_->Command(command);
}

void Reader::TabChanged(BookTab& tab) {
  if (IsCurrent(tab) && Accepting()) RefreshWindow();
}

void Reader::TabBusyChanged(BookTab& tab) {
  if (IsCurrent(tab) && Accepting()) RefreshBusy();
}

void Reader::RefreshWindow() {
  if (!Accepting() || current_ == nullptr) return;
  platform_.SetTitle(current_->Title());
  RefreshMenus();
  RefreshBusy();
}

void Reader::RefreshBusy() {
  RefreshButtons();
  const bool busy = current_->Busy();
  platform_.EnableCommands(!busy);
  platform_.SetCursor(busy || current_->Working() ? Cursor::kWait : Cursor::kNormal);
}

void Reader::RefreshMenus() {
  const BookTab* tab = current_;
  const bool book = tab != nullptr && tab->Session() != nullptr;
  std::vector<MenuEntry> file;
  file.push_back(Entry(kOpenItem));
  MenuEntry recent;
  recent.text = std::string(kRecentBooksLabel);
  for (std::size_t i = 0; i < recent_.Books().size() && kCmdRecentFirst + static_cast<int>(i) <= kCmdRecentLast;
       ++i) {
    MenuEntry item;
    item.command = kCmdRecentFirst + static_cast<int>(i);
    item.text = MenuText(recent_.Books()[i].path);
    recent.submenu.push_back(std::move(item));
  }
  recent.enabled = !recent.submenu.empty();
  file.push_back(std::move(recent));
  file.push_back(MenuEntry());
  if (book) {
    const ViewSettings& settings = tab->Settings();
    file.push_back(Checked(kShowImagesItem, settings.showImages));
    file.push_back(Checked(kFitToWindowItem, settings.shrinkToFit));
    file.push_back(Checked(kClearTypeItem, settings.clearType));
  }
  MenuEntry sizes;
  sizes.text = std::string(kTextSizeLabel);
  sizes.enabled = book;
  for (const MenuItem& item : kTextSizeItems) {
    sizes.submenu.push_back(
        Checked(item, book && tab->TextSizeMarked() && item.command - kCmdSmallest == tab->TextSize()));
  }
  file.push_back(std::move(sizes));
  file.push_back(MenuEntry());
  if (book) {
    const int marked = CommandOf(tab->ShownPanel());
    if (tab->Panels().search) file.push_back(Checked(kSearchItem, marked == kCmdSearch));
    if (tab->Panels().index) file.push_back(Checked(kIndexItem, marked == kCmdIndex));
    if (tab->Panels().contents) file.push_back(Checked(kContentsItem, marked == kCmdContents));
    file.push_back(Checked(kHtmlItem, marked == kCmdHtml));
    file.push_back(MenuEntry());
    file.push_back(Entry(kPrintItem));
    MenuEntry exportItem = Entry(kExportItem);
    exportItem.enabled = !tab->Exporting();
    file.push_back(std::move(exportItem));
    file.push_back(MenuEntry());
    file.push_back(Entry(kCloseTabItem));
  }
  file.push_back(Entry(kExitItem));

  std::vector<MenuEntry> library;
  for (const MenuItem& item : kLibraryMenuItems) library.push_back(Entry(item));
  library.push_back(MenuEntry());
  MenuEntry bookmark = Entry(kBookmarkPageItem);
  bookmark.enabled = book;
  library.push_back(std::move(bookmark));
  // The bookmarks: the book's own, then every book's (the book's file name
  // after each name).
  MenuEntry own;
  own.text = std::string(kBookBookmarksLabel);
  MenuEntry all;
  all.text = std::string(kAllBookmarksLabel);
  const std::vector<PageBookmark>& marks = library_.Bookmarks();
  for (std::size_t i = 0; i < marks.size() && kCmdBookmarkFirst + static_cast<int>(i) <= kCmdBookmarkLast; ++i) {
    const int command = kCmdBookmarkFirst + static_cast<int>(i);
    MenuEntry item;
    item.command = command;
    item.text = PlainMenuText(marks[i].name) + " (" + MenuText(marks[i].book) + ")";
    all.submenu.push_back(item);
    if (book && marks[i].book == tab->Session()->Path()) {
      item.text = PlainMenuText(marks[i].name);
      own.submenu.push_back(std::move(item));
    }
  }
  own.enabled = !own.submenu.empty();
  all.enabled = !all.submenu.empty();
  library.push_back(std::move(own));
  library.push_back(std::move(all));
  std::vector<MenuEntry> help;
  for (const MenuItem& item : kHelpMenuItems) help.push_back(Entry(item));
  const Menu menus[] = {Menu{kFileMenuButton, std::string(kFileMenuLabel), std::move(file)},
                        Menu{kLibraryMenuButton, std::string(kLibraryMenuLabel), std::move(library)},
                        Menu{kHelpMenuButton, std::string(kHelpMenuLabel), std::move(help)}};
  platform_.SetMenus(menus);
}

void Reader::RefreshButtons() {
  std::vector<ToolButton> buttons;
  BookTab* tab = current_;
  if (tab != nullptr && tab->Session() != nullptr) {
    BookSession& session = *tab->Session();
    if (tab->Contents().HasEntries()) buttons.push_back({kCmdLocate, kImageLocate, true, std::string(kTipLocate)});
    buttons.push_back({kCmdBack, kImageBack, session.History().CanGoBack(), std::string(kTipBack)});
    buttons.push_back({kCmdForward, kImageForward, session.History().CanGoForward(), std::string(kTipForward)});
    buttons.push_back({kCmdRefresh, tab->Busy() ? kImageLoading : kImageRefresh, true, std::string(kTipRefresh)});
    buttons.push_back({kCmdHome, kImageHome, true, std::string(kTipHome)});
    if (const std::optional<std::string_view> jump = session.GetBook().JumpLabel()) {
      buttons.push_back({kCmdJump, kImageJump, true, tab->Text(*jump, jump->size() + 1)});
    }
  }
  platform_.SetToolButtons(buttons);
}

// --- Window events ------------------------------------------------------------------

void Reader::OnLayout(Layout layout) {
  if (closed_) return;
  layout_ = layout;
}

void Reader::OnSidebarResized(int width) {
  if (!Accepting() || width <= 0) return;
  platform_.WriteStoreValue(StoreKey::kPrev, kStoreSidebarWidth, std::to_string(width));
}

void Reader::StoreSidebar(bool shown) {
  sidebarShown_ = shown;
  platform_.WriteStoreValue(StoreKey::kPrev, kStoreSidebarVisible, shown ? "1" : "0");
}

void Reader::OnActivate(bool active) {
  if (!Accepting()) return;
  // Back at the window: the library's folders may have changed meanwhile.
  if (active) library_.Rescan();
  if (current_ == nullptr) return;
  TabView& view = current_->View();
  if (!active) {
    savedFocus_ = view.FocusedControl();
    return;
  }
  if (savedFocus_ && current_->Visible(*savedFocus_)) {
    view.FocusControl(*savedFocus_);
  } else if (current_->Visible(Control::kPageView)) {
    view.FocusControl(Control::kPageView);
  } else if (current_->Visible(Control::kTree)) {
    view.FocusControl(Control::kTree);
  }
}

void Reader::OnNotifyIconTap() {
  if (Accepting()) platform_.BringToFront();
}

void Reader::Exit() { OnClose(); }

void Reader::OnClose() {
  if (!Accepting()) return;
  if (current_ != nullptr) current_->Page().RememberScroll();
  StoreTabs();
  closed_ = true;
  // Work under way is left to end by itself: the window never waits for it.
  current_ = nullptr;
  tabs_.clear();
  platform_.RemoveNotifyIcon();
  ReleaseInstance();
  platform_.DestroyMainWindow();
}

}  // namespace tessaly::app
