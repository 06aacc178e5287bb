// The main window: its creation and close, the command table, panel
// switching, focus, the progress dialog and how book errors are shown.
#include "app/reader.h"
#include "app/resources.h"
#include "app/temp_folder.h"
#include "app/utf8.h"
#include "book/book.h"
#include "pages/page_cache.h"
#include "pages/page_platform.h"

namespace tessaly::app {

ControlKind KindOf(Control control) {
  switch (control) {
    case Control::kTree: return ControlKind::kTree;
    case Control::kIndexLabel:
    case Control::kSearchLabel:
    case Control::kResultsLabel: return ControlKind::kLabel;
    case Control::kIndexEdit:
    case Control::kSearchEdit: return ControlKind::kEdit;
    case Control::kIndexList:
    case Control::kResultsList: return ControlKind::kList;
    case Control::kIndexDisplayButton:
    case Control::kListTopicsButton:
    case Control::kSearchDisplayButton: return ControlKind::kButton;
    case Control::kPageView: return ControlKind::kPageView;
  }
  return ControlKind::kLabel;
}

namespace {

// The panels' controls, in the order they are shown.
constexpr Control kIndexControls[] = {Control::kIndexDisplayButton, Control::kIndexLabel, Control::kIndexEdit,
                                      Control::kIndexList};
constexpr Control kSearchControls[] = {Control::kSearchLabel,      Control::kSearchEdit,
                                       Control::kListTopicsButton, Control::kResultsLabel,
                                       Control::kResultsList,      Control::kSearchDisplayButton};

}  // namespace

void Reader::OnCreate() {
  platform_.CreateMenuBar(kMenuBar);
  platform_.AddNotifyIcon();
  ComputePanelRect();
}

void Reader::ComputePanelRect() {
  const Rect client = platform_.ClientRect();
  panelRect_ = Rect{client.left + 4, client.top + 4, client.right - 4,
                    client.bottom - platform_.MenuBarHeight() - 4};
}

void Reader::OnResize() {
  if (!windowCreated_ || closed_) return;
  ComputePanelRect();
  LayoutTreeAndPage();
  if (Exists(Control::kIndexList)) LayoutIndexPanel();
  if (Exists(Control::kResultsList)) LayoutSearchPanel();
}

void Reader::Create(Control control, std::string_view text) {
  if (Exists(control)) Destroy(control);
  platform_.CreateControl(control, text);
  created_[Index(control)] = true;
  visible_[Index(control)] = false;
}

void Reader::Destroy(Control control) {
  if (!Exists(control)) return;
  platform_.DestroyControl(control);
  created_[Index(control)] = false;
  visible_[Index(control)] = false;
  if (savedFocus_ == control) savedFocus_.reset();
}

void Reader::Show(Control control, bool visible) {
  if (!Exists(control)) return;
  platform_.ShowControl(control, visible);
  visible_[Index(control)] = visible;
}

void Reader::OnCommand(int command) {
  if (!Accepting()) return;
  DispatchCommand(command, std::nullopt, std::nullopt);
}

void Reader::OnControlEvent(Control control, ControlEvent event) {
  if (!Accepting() || !Exists(control)) return;
  DispatchCommand(0, control, event);
}

bool Reader::DispatchCommand(int command, std::optional<Control> source, std::optional<ControlEvent> event) {
  switch (command) {
    case kCmdExit:
      Exit();
      return true;
    case kCmdContents:
      HidePanels();
      ShowPanel(kCmdContents);
      return true;
    case kCmdIndex:
      HidePanels();
      if (indexPending_ && currentBook_ && Exists(Control::kIndexList)) FillIndexList();
      ShowPanel(kCmdIndex);
      return true;
    case kCmdSearch:
      HidePanels();
      if (searchPending_ && currentBook_ && Exists(Control::kResultsList)) PrepareSearch();
      ShowPanel(kCmdSearch);
      return true;
    case kCmdHtml:
      HidePanels();
      ShowPanel(kCmdHtml);
      return true;
    case kCmdFitToWindow:
      fitToWindow_ = !fitToWindow_;
      if (Exists(Control::kPageView)) platform_.SetShrinkToFit(fitToWindow_);
      platform_.CheckMenuItem(kCmdFitToWindow, fitToWindow_);
      break;
    case kCmdClearType:
      clearType_ = !clearType_;
      if (Exists(Control::kPageView)) platform_.SetClearType(clearType_);
      platform_.CheckMenuItem(kCmdClearType, clearType_);
      break;
    case kCmdSmallest:
    case kCmdSmall:
    case kCmdMedium:
    case kCmdLarge:
    case kCmdLargest:
      textSize_ = command - kCmdSmallest;
      ApplyTextSize();
      break;
    case kCmdShowImages:
      showImages_ = !showImages_;
      platform_.CheckMenuItem(kCmdShowImages, showImages_);
      ToggleImages();
      break;
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

void Reader::HidePanels() {
  Show(Control::kTree, false);
  for (Control control : kIndexControls) Show(control, false);
  for (Control control : kSearchControls) Show(control, false);
  Show(Control::kPageView, false);
}

void Reader::ShowPanel(int panel) {
  platform_.CheckMenuRadio(kCmdContents, kCmdHtml, panel);
  switch (panel) {
    case kCmdContents:
      if (!Exists(Control::kTree)) return;
      Show(Control::kTree, true);
      platform_.FocusControl(Control::kTree);
      break;
    case kCmdIndex:
      if (!Exists(Control::kIndexEdit)) return;
      for (Control control : kIndexControls) Show(control, true);
      platform_.FocusControl(Control::kIndexEdit);
      break;
    case kCmdSearch:
      if (!Exists(Control::kSearchEdit)) return;
      for (Control control : kSearchControls) Show(control, true);
      platform_.FocusControl(Control::kSearchEdit);
      break;
    case kCmdHtml:
      if (!Exists(Control::kPageView)) return;
      Show(Control::kPageView, true);
      platform_.FocusControl(Control::kPageView);
      break;
    default:
      break;
  }
}

void Reader::ShowProgress(std::string_view caption) {
  platform_.ShowProgress(caption);
  SetProgress(0);
}

void Reader::SetProgress(int value) {
  if (value % 10 != 0) return;
  platform_.SetProgressBar(value);
}

void Reader::HideProgress() { platform_.HideProgress(); }

std::string Reader::BookMessageText(std::string_view message) const {
  // Messages quote the book (sitemap tags, paths) in its code page; what is
  // UTF-8 already (the book's file name, directory names) stays as it is.
  if (IsUtf8(message)) return std::string(message);
  return DisplayText(message, message.size());
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
  if (savedFocus_ && Exists(*savedFocus_) && Visible(*savedFocus_)) {
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
  if (currentBook_) {
    if (pageCache_) pageCache_->SetBook(nullptr);
    currentBook_->Close();
    currentBook_.reset();
  }
  OnClose();
}

void Reader::OnClose() {
  if (!windowCreated_ || closed_) return;
  if (working_ > 0) {
    closePending_ = true;
    return;
  }
  closed_ = true;
  if (pageCache_) {
    pageCache_->ClearPageFiles(true);
    // Whatever else came into the folder (it is this reader's own) goes too.
    if (!tempFolder_.empty()) RemoveFolder(tempFolder_);
  }
  platform_.DestroyMenuBar();
  platform_.RemoveNotifyIcon();
  ReleaseInstance();
  platform_.DestroyMainWindow();
}

}  // namespace tessaly::app
