// The main window: the command table, the menus and tool buttons as the
// reader hands them over, panel switching (one pane or the sidebar), focus,
// progress and how book errors are shown.
#include <cstring>

#include "app/reader.h"
#include "app/resources.h"
#include "app/utf8.h"
#include "book/book.h"

namespace tessaly::app {

namespace {

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
std::string MenuText(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  std::string text;
  for (char c : name) {
    if (c == '&') text += '&';
    text += c;
  }
  return text;
}

}  // namespace

void Reader::Deliver(std::uint64_t generation, std::function<void()> task) {
  platform_.Post([this, generation, task = std::move(task)] {
    if (generation == generation_ && !closed_) task();
  });
}

bool Reader::PanelExists(Panel panel) const {
  switch (panel) {
    case Panel::kContents: return panels_.contents;
    case Panel::kIndex: return panels_.index;
    case Panel::kSearch: return panels_.search;
    case Panel::kHtml: return pageViewCreated_;
    case Panel::kNone: break;
  }
  return false;
}

bool Reader::PanelVisible(Panel panel) const {
  if (!PanelExists(panel) || panel_ == Panel::kNone || !PanelExists(panel_)) return false;
  if (layout_ == Layout::kSidebar && panel == Panel::kHtml) return true;
  return panel == panel_;
}

bool Reader::Exists(Control control) const { return PanelExists(PanelOf(control)); }

bool Reader::Visible(Control control) const { return PanelVisible(PanelOf(control)); }

void Reader::RefreshMenus() {
  const bool book = book_ != nullptr;
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
    file.push_back(Checked(kShowImagesItem, showImages_));
    file.push_back(Checked(kFitToWindowItem, fitToWindow_));
    file.push_back(Checked(kClearTypeItem, clearType_));
  }
  MenuEntry sizes;
  sizes.text = std::string(kTextSizeLabel);
  sizes.enabled = book;
  for (const MenuItem& item : kTextSizeItems) {
    sizes.submenu.push_back(Checked(item, textSizeMarked_ && item.command - kCmdSmallest == textSize_));
  }
  file.push_back(std::move(sizes));
  file.push_back(MenuEntry());
  if (book) {
    const int marked = CommandOf(panel_);
    if (panels_.search) file.push_back(Checked(kSearchItem, marked == kCmdSearch));
    if (panels_.index) file.push_back(Checked(kIndexItem, marked == kCmdIndex));
    if (panels_.contents) file.push_back(Checked(kContentsItem, marked == kCmdContents));
    file.push_back(Checked(kHtmlItem, marked == kCmdHtml));
    file.push_back(MenuEntry());
  }
  file.push_back(Entry(kExitItem));

  std::vector<MenuEntry> help;
  for (const MenuItem& item : kHelpMenuItems) help.push_back(Entry(item));
  const Menu menus[] = {Menu{kFileMenuButton, std::string(kFileMenuLabel), std::move(file)},
                        Menu{kHelpMenuButton, std::string(kHelpMenuLabel), std::move(help)}};
  platform_.SetMenus(menus);
}

void Reader::RefreshButtons() {
  std::vector<ToolButton> buttons;
  if (book_) {
    if (HasContents()) buttons.push_back({kCmdLocate, kImageLocate, true, std::string(kTipLocate)});
    buttons.push_back({kCmdBack, kImageBack, history_.CanGoBack(), std::string(kTipBack)});
    buttons.push_back({kCmdForward, kImageForward, history_.CanGoForward(), std::string(kTipForward)});
    buttons.push_back({kCmdRefresh, busy_ ? kImageLoading : kImageRefresh, true, std::string(kTipRefresh)});
    buttons.push_back({kCmdHome, kImageHome, true, std::string(kTipHome)});
    if (const std::optional<std::string_view> jump = book_->JumpLabel()) {
      buttons.push_back({kCmdJump, kImageJump, true, DisplayText(*jump, jump->size() + 1)});
    }
  }
  platform_.SetToolButtons(buttons);
}

void Reader::OnCommand(int command) {
  if (!Accepting()) return;
  DispatchCommand(command, std::nullopt, std::nullopt);
}

void Reader::OnControlEvent(Control control, ControlEvent event) {
  if (!Accepting() || !book_ || !Exists(control)) return;
  DispatchCommand(0, control, event);
}

void Reader::OnPanelChosen(Panel panel) {
  if (!Accepting() || !book_ || !PanelExists(panel)) return;
  DispatchCommand(CommandOf(panel), std::nullopt, std::nullopt);
}

bool Reader::DispatchCommand(int command, std::optional<Control> source, std::optional<ControlEvent> event) {
  // Book commands need a book: without one their items and buttons do not
  // exist, and a stray one does nothing.
  const bool book = book_ != nullptr;
  switch (command) {
    case kCmdExit:
      Exit();
      return true;
    case kCmdContents:
    case kCmdIndex:
    case kCmdSearch:
    case kCmdHtml:
      if (book) ChoosePanel(command == kCmdContents ? Panel::kContents
                            : command == kCmdIndex ? Panel::kIndex
                            : command == kCmdSearch ? Panel::kSearch
                                                    : Panel::kHtml);
      return true;
    case kCmdSidebar:
      if (book) ToggleSidebar();
      return true;
    case kCmdFitToWindow:
      if (!book) return true;
      fitToWindow_ = !fitToWindow_;
      ApplyViewSettings();
      RefreshMenus();
      break;
    case kCmdClearType:
      if (!book) return true;
      clearType_ = !clearType_;
      ApplyViewSettings();
      RefreshMenus();
      break;
    case kCmdSmallest:
    case kCmdSmall:
    case kCmdMedium:
    case kCmdLarge:
    case kCmdLargest:
      if (!book) return true;
      textSize_ = command - kCmdSmallest;
      ApplyTextSize();
      break;
    case kCmdTextLarger:
    case kCmdTextSmaller:
    case kCmdTextNormal:
      if (!book) return true;
      textSize_ = command == kCmdTextNormal ? kDefaultTextSize
                  : command == kCmdTextLarger ? std::min(textSize_ + 1, kTextSizeCount - 1)
                                               : std::max(textSize_ - 1, 0);
      ApplyTextSize();
      return true;
    case kCmdShowImages:
      if (!book) return true;
      showImages_ = !showImages_;
      RefreshMenus();
      ToggleImages();
      break;
    case kCmdFind:
      if (book && pageViewCreated_) {
        RevealPage();
        platform_.ShowFindBar(FindBarTexts{kFindPlaceholder, kFindCount, kFindNone});
      }
      return true;
    case kCmdOpen:
      ChooseAndOpenBook();
      return true;
    case kCmdHelpTopics:
      OpenHelpFile();
      return true;
    case kCmdAbout:
      ShowAbout();
      return true;
    case kCmdForward:
      Forward();
      return true;
    case kCmdBack:
      Back();
      return true;
    case kCmdRefresh:
      Refresh();
      return true;
    case kCmdHome:
      Home();
      return true;
    case kCmdLocate:
      Locate();
      return true;
    case kCmdJump:
      Jump();
      return true;
    default:
      if (command >= kCmdRecentFirst && command <= kCmdRecentLast) {
        OpenRecent(command - kCmdRecentFirst);
        return true;
      }
      break;
  }
  // Menu commands carry no source control, so none of these match them.
  return DispatchControlEvent(source, event);
}

bool Reader::DispatchControlEvent(std::optional<Control> source, std::optional<ControlEvent> event) {
  if (!source || !event) return false;
  switch (*source) {
    case Control::kIndexEdit:
      if (*event == ControlEvent::kActivated) {
        DisplayTypedKeyword();
        return true;
      }
      if (*event != ControlEvent::kTextChanged) return false;
      OnIndexEditChanged();
      return true;
    case Control::kIndexList:
      if (*event == ControlEvent::kSelectionChanged) {
        OnIndexSelectionChanged();
        return true;
      }
      if (*event != ControlEvent::kDoubleClicked) return false;
      DisplayKeyword();
      return true;
    case Control::kIndexDisplayButton:
      if (*event != ControlEvent::kClicked) return false;
      DisplayKeyword();
      return true;
    case Control::kSearchEdit:
      // Enter does what List Topics does, when there is something to find.
      if (*event == ControlEvent::kActivated) {
        if (!platform_.EditText(Control::kSearchEdit).empty()) RunSearch();
        return true;
      }
      if (*event != ControlEvent::kTextChanged) return false;
      platform_.EnableControl(Control::kListTopicsButton, !platform_.EditText(Control::kSearchEdit).empty());
      return true;
    case Control::kListTopicsButton:
      if (*event != ControlEvent::kClicked) return false;
      RunSearch();
      return true;
    case Control::kResultsList:
      if (*event != ControlEvent::kDoubleClicked) return false;
      DisplaySearchResult();
      return true;
    case Control::kSearchDisplayButton:
      if (*event != ControlEvent::kClicked) return false;
      DisplaySearchResult();
      return true;
    default:
      return false;
  }
}

void Reader::ChoosePanel(Panel panel) {
  if (panel == Panel::kIndex && indexPending_ && panels_.index) FillIndexList();
  if (panel == Panel::kSearch && searchPending_ && panels_.search) PrepareSearch();
  ShowPanel(panel);
  if (layout_ == Layout::kSidebar) StoreSidebar();
}

void Reader::ShowPanel(Panel panel) {
  panel_ = panel;
  if (panel != Panel::kHtml && panel != Panel::kNone) sidebarTab_ = panel;
  RefreshMenus();
  if (!PanelExists(panel)) {
    platform_.ShowPanel(Panel::kNone);
    return;
  }
  platform_.ShowPanel(panel);
  switch (panel) {
    case Panel::kContents: platform_.FocusControl(Control::kTree); break;
    case Panel::kIndex: platform_.FocusControl(Control::kIndexEdit); break;
    case Panel::kSearch: platform_.FocusControl(Control::kSearchEdit); break;
    case Panel::kHtml: platform_.FocusControl(Control::kPageView); break;
    case Panel::kNone: break;
  }
}

void Reader::RevealPage() {
  // One pane: the page takes the panel's place. Beside the sidebar the page
  // shows already; the tab stays.
  if (layout_ == Layout::kSinglePane || !PanelVisible(Panel::kHtml)) ShowPanel(Panel::kHtml);
}

Panel Reader::SidebarTab() const {
  if (PanelExists(sidebarTab_)) return sidebarTab_;
  return panels_.contents ? Panel::kContents
         : panels_.index  ? Panel::kIndex
         : panels_.search ? Panel::kSearch
                          : Panel::kNone;
}

void Reader::ToggleSidebar() {
  if (panel_ != Panel::kHtml && panel_ != Panel::kNone) {
    ShowPanel(Panel::kHtml);
  } else {
    const Panel tab = SidebarTab();
    if (tab == Panel::kNone) return;
    ChoosePanel(tab);
    return;
  }
  if (layout_ == Layout::kSidebar) StoreSidebar();
}

void Reader::OnLayout(Layout layout) {
  if (closed_) return;
  layout_ = layout;
}

void Reader::OnSidebarResized(int width) {
  if (!Accepting() || width <= 0) return;
  platform_.WriteStoreValue(StoreKey::kPrev, kStoreSidebarWidth, std::to_string(width));
}

void Reader::StoreSidebar() {
  sidebarShown_ = panel_ != Panel::kHtml;
  platform_.WriteStoreValue(StoreKey::kPrev, kStoreSidebarVisible, sidebarShown_ ? "1" : "0");
}

void Reader::ShowProgress(std::string_view caption, int value) {
  // Only steps of ten move the bar.
  if (value % 10 != 0) return;
  progressCaption_ = std::string(caption);
  platform_.ShowProgress(caption, value);
}

void Reader::HideProgress() {
  progressCaption_.clear();
  platform_.HideProgress();
}

std::string Reader::BookMessageText(std::string_view message) const {
  // Messages quote the book (sitemap tags, paths) in its code page; what is
  // UTF-8 already (the book's file name, directory names) stays as it is.
  if (IsUtf8(message)) return std::string(message);
  return DisplayText(message, message.size());
}

std::string Reader::ErrorText(const BookError& error) {
  std::string text = error.Message();
  int system = 0;
  for (const BookError* step = &error; step != nullptr && system == 0; step = step->Inner()) {
    system = step->SystemError();
  }
  if (system == 0) return text;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text + " (" + std::strerror(system) + ")";
}

void Reader::ShowBookError(std::string_view message) {
  platform_.ShowMessage(BookMessageText(message), kBookErrorCaption, MessageIcon::kError);
}

void Reader::OnActivate(bool active) {
  if (!Accepting()) return;
  if (!active) {
    savedFocus_ = platform_.FocusedControl();
    return;
  }
  if (savedFocus_ && Visible(*savedFocus_)) {
    platform_.FocusControl(*savedFocus_);
  } else if (Visible(Control::kPageView)) {
    platform_.FocusControl(Control::kPageView);
  } else if (Visible(Control::kTree)) {
    platform_.FocusControl(Control::kTree);
  }
}

void Reader::OnNotifyIconTap() {
  if (!windowCreated_ || closed_) return;
  platform_.BringToFront();
}

void Reader::Exit() {
  book_.reset();
  OnClose();
}

void Reader::OnClose() {
  if (!windowCreated_ || closed_) return;
  RememberScroll();
  closed_ = true;
  ++generation_;
  opening_ = indexBuilding_ = searching_ = pageTextBuilding_ = false;
  // Work under way is left to end by itself: the window never waits for it.
  StopPageText();
  platform_.RemoveNotifyIcon();
  ReleaseInstance();
  platform_.DestroyMainWindow();
}

}  // namespace tessaly::app
