// Opening a book: the three ways in, the reset to the no-book state, the
// open sequence with the hand-over between two readers, the File menu items
// and tool buttons a book brings, and the About box.
#include <vector>

#include "app/reader.h"
#include "app/resources.h"
#include "app/utf8.h"
#include "app/work_scope.h"
#include "book/book.h"
#include "helpdata/contents_tree.h"
#include "pages/page_cache.h"

namespace tessaly::app {

namespace {

constexpr std::string_view kFilePrefix = "file:\\";

// The panel items and view items a book adds, deleted again by command.
constexpr int kBookItems[] = {kCmdClearType, kCmdFitToWindow, kCmdShowImages, kCmdHtml,
                              kCmdContents,  kCmdIndex,       kCmdSearch};

constexpr Control kPanelControls[] = {
    Control::kTree,        Control::kIndexLabel,      Control::kIndexEdit,     Control::kIndexList,
    Control::kIndexDisplayButton, Control::kSearchLabel, Control::kSearchEdit, Control::kListTopicsButton,
    Control::kResultsLabel, Control::kResultsList,    Control::kSearchDisplayButton};

}  // namespace

bool Reader::HasContents() const {
  return currentBook_ && currentBook_->Contents().root.children.Count() > 0;
}

void Reader::OpenFromPath(std::string_view path) {
  bookPath_ = CutToChars(path, kMaxBookPathChars);
  ResetWindow();
  OpenBook(bookPath_);
}

void Reader::ChooseAndOpenBook() {
  const std::optional<std::string> chosen = platform_.ChooseFile(kOpenFilterName, kOpenFilterPattern);
  if (!chosen) return;
  OpenFromPath(*chosen);
}

void Reader::OpenHelpFile() {
  const std::optional<std::string> help = ReadHelpPath();
  if (!help) {
    platform_.ShowMessage(kHelpFileMissing, kHelpFileCaption, MessageIcon::kError);
    return;
  }
  OpenFromPath(*help);
}

void Reader::ShowAbout() { platform_.ShowAbout(AboutBox{kAboutName, kAboutLink, kAboutVersion, kAboutButton}); }

void Reader::ResetWindow() {
  windowTitle_ = std::string(kNoBookTitle);
  platform_.SetTitle(windowTitle_);

  platform_.DeleteFileMenuItemAt(kBookSeparatorPosition);
  for (int command : kBookItems) platform_.DeleteFileMenuCommand(command);
  platform_.EnableFileMenuItemAt(kTextSizePosition, false);

  for (Control control : kPanelControls) Destroy(control);
  treeNodes_.clear();
  openItems_.clear();
  indexLines_.clear();
  indexEntries_.clear();
  resultTopics_.clear();
  swallowEnter_ = false;

  HidePanels();

  const int buttons = platform_.ToolButtonCount();
  for (int i = 0; i < buttons; ++i) platform_.DeleteToolButton(kFirstToolButton);

  history_.HistoryClear();
  if (pageCache_) pageCache_->ClearPageFiles(false);
  pageNotices_.clear();
  noticeDocument_.clear();
  platform_.HideNotice();
}

bool Reader::OpenBook(std::string_view path) {
  const WorkScope work(*this);
  if (currentBook_) {
    if (pageCache_) pageCache_->SetBook(nullptr);
    currentBook_->Close();
    currentBook_.reset();
  }
  currentBook_ = std::make_unique<Book>();
  currentBook_->SetTextConverter(&platform_.Codec());

  std::string narrow = CutToBytes(path, kMaxBookPathBytes);
  if (narrow.starts_with(kFilePrefix)) narrow.erase(0, kFilePrefix.size());

  platform_.PaintNow();
  ShowProgress(kContentsCreation);
  platform_.SetCursor(Cursor::kWait);

  if (const std::optional<std::string> failure = FailureOf([&] { currentBook_->Open(narrow); })) {
    platform_.SetCursor(Cursor::kNormal);
    ShowBookError(*failure);
    HideProgress();
    ResetWindow();
    return true;
  }
  SetProgress(10);

  // A book without a title is called by its file's path, which is already
  // the file system's UTF-8, not book text.
  const std::string_view title = currentBook_->Title();
  if (title == currentBook_->File().fileName && IsUtf8(title)) {
    windowTitle_ = CutToChars(title, kMaxTitleChars);
  } else {
    windowTitle_ = DisplayText(title, kMaxTitleChars);
  }

  // A reader that shows this book already takes over; this one closes.
  if (const InstanceId same = platform_.FindReaderByTitle(windowTitle_); same != 0) {
    platform_.RaiseReader(same);
    OnClose();
    return false;
  }
  if (otherInstance_ != 0) {
    platform_.CloseReader(otherInstance_);
    otherInstance_ = 0;
  }
  platform_.SetTitle(windowTitle_);

  ExtendFileMenu();

  pageCache_->ResetPageState();
  topicsFoundEntry_ = nullptr;
  indexPending_ = true;
  searchPending_ = true;
  pageCache_->SetBook(currentBook_.get());

  PreparePageView();
  HidePanels();
  ShowPanel(kCmdHtml);

  platform_.AddToolButtons(kToolButtons);
  platform_.SetCursor(Cursor::kNormal);

  const std::string defaultTopic(currentBook_->DefaultTopic());
  ShowTopic(defaultTopic);
  if (const TocNode* node = FindTocNodeByLocal(currentBook_->Contents().root, defaultTopic);
      node != nullptr && node->treeItem != 0 && Exists(Control::kTree)) {
    platform_.TreeSelect(node->treeItem);
  }

  HideProgress();
  SetToolTips();
  return true;
}

void Reader::ExtendFileMenu() {
  platform_.InsertFileMenuItem(2, kClearTypeItem);
  platform_.InsertFileMenuItem(2, kFitToWindowItem);
  platform_.InsertFileMenuItem(2, kShowImagesItem);
  platform_.InsertFileMenuItem(kBookSeparatorPosition, kSeparatorItem);
  platform_.EnableFileMenuItemAt(kTextSizeBookPosition, true);
  platform_.InsertFileMenuItem(kPanelItemsPosition, kHtmlItem);
  if (HasContents()) {
    platform_.InsertFileMenuItem(kPanelItemsPosition, kContentsItem);
    BuildContentsPanel();
  }
  if (!currentBook_->IndexFileName().empty()) {
    platform_.InsertFileMenuItem(kPanelItemsPosition, kIndexItem);
    CreateIndexPanel();
  }
  if (currentBook_->ObjectSize("$FIftiMain") > 0) {
    platform_.InsertFileMenuItem(kPanelItemsPosition, kSearchItem);
    CreateSearchPanel();
  }
  platform_.CheckMenuItem(kCmdClearType, clearType_);
  platform_.CheckMenuItem(kCmdFitToWindow, fitToWindow_);
  platform_.CheckMenuItem(kCmdShowImages, showImages_);
}

void Reader::SetToolTips() {
  std::vector<std::string> tips(2);
  const bool contents = HasContents();
  if (contents) {
    tips.emplace_back(kTipLocate);
  } else {
    platform_.DeleteToolButton(kFirstToolButton);
  }
  tips.emplace_back(kTipBack);
  tips.emplace_back(kTipForward);
  tips.emplace_back(kTipRefresh);
  tips.emplace_back(kTipHome);
  if (const std::optional<std::string_view> jump = currentBook_->JumpLabel()) {
    tips.push_back(DisplayText(*jump, jump->size() + 1));
  } else {
    platform_.DeleteToolButton(contents ? 7 : 6);
  }
  platform_.SetToolTips(tips);
}

}  // namespace tessaly::app
