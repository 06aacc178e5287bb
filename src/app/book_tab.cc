#include "app/book_tab.h"

#include <chrono>

#include "app/book_session.h"
#include "app/display_text.h"
#include "app/limits.h"
#include "app/object_cache.h"
#include "app/own_pages.h"
#include "app/platform.h"
#include "app/recent_books.h"
#include "app/resources.h"
#include "app/utf8.h"
#include "book/book.h"

namespace tessaly::app {

namespace {

constexpr std::int32_t kHasLinesStyle = 0x2;

std::string FileName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

BookTab::BookTab(TabHost& host)
    : host_(host),
      view_(host.Window().NewTab(*this)),
      contents_(*this, view_->Contents()),
      index_(*this, view_->Index()),
      search_(*this, view_->Search()),
      page_(*this, view_->Page()) {
  title_ = std::string(kNoBookTitle);
  view_->SetLabel(title_);
}

BookTab::~BookTab() {
  cancel_->store(true);
  if (session_) host_.Objects().Forget(&session_->GetBook());
}

bool BookTab::Accepting() const { return !cancel_->load(); }

const TextCodec& BookTab::Codec() const { return host_.Window().Codec(); }

std::string BookTab::Text(std::string_view text, std::size_t maxChars) const {
  return DisplayText(Codec(), text, maxChars, session_ ? session_->GetBook().CodePage() : 1252);
}

std::string BookTab::MessageOf(std::string_view message) const {
  return MessageText(Codec(), message, session_ ? session_->GetBook().CodePage() : 1252);
}

void BookTab::ShowBookError(std::string_view message) {
  host_.Window().ShowMessage(MessageOf(message), kBookErrorCaption, MessageIcon::kError);
}

// --- Progress ------------------------------------------------------------------------

void BookTab::ShowProgress(std::string_view caption, int value) {
  // Only steps of ten move the bar.
  if (value % 10 != 0) return;
  progressCaption_ = std::string(caption);
  progressValue_ = value;
  if (host_.IsCurrent(*this)) host_.Window().ShowProgress(caption, value);
  host_.TabChanged(*this);
}

void BookTab::HideProgress() {
  const bool shown = !progressCaption_.empty();
  progressCaption_.clear();
  if (shown && host_.IsCurrent(*this)) host_.Window().HideProgress();
  host_.TabChanged(*this);
}

void BookTab::HideProgressOf(std::string_view caption) {
  if (progressCaption_ == caption) HideProgress();
}

Progress BookTab::ProgressOf(std::string_view caption, const CancelFlag& cancel) {
  JobScheduler::Courier courier = Jobs().CourierFor(cancel);
  return [this, courier, caption = std::string(caption)](int percent) {
    courier([this, caption, percent] { ShowProgress(caption, percent); });
  };
}

PageTextSource BookTab::PageTextSourceOf(const BookSession& session) {
  return PageTextSource{session.SharedBook(), session.PageText(), &Codec(), host_.Window().PageTextFolder(),
                        ProgressOf(kPageTextCreation, session.Cancel())};
}

void BookTab::StoreRecent() {
  host_.Window().WriteStoreValue(StoreKey::kPrev, kStoreRecentBooks, host_.Recent().Serialize());
}

// --- Opening ---------------------------------------------------------------------------

void BookTab::ShowStart() {
  title_ = std::string(kNoBookTitle);
  view_->SetLabel(title_);
  view_->SetPanels(PanelSet{});
  ShowPanel(Panel::kHtml);
  page_.ShowOwnPage(StartViewPage(host_.Recent().Books()));
}

void BookTab::Open(const std::string& path, const std::string& page, std::optional<HistoryEntry> origin) {
  opening_ = true;
  openingPath_ = path;
  view_->SetLabel(FileName(path));
  ShowProgress(kContentsCreation, 0);
  auto job = std::make_shared<OpenBookJob>(cancel_, path, Codec(), ProgressOf(kContentsCreation, cancel_));
  Jobs().Submit<OpenBookJob>(std::move(job), [this, page, origin](OpenBookJob& done) {
    opening_ = false;
    FinishOpen(done, page, origin);
  });
}

void BookTab::FinishOpen(OpenBookJob& done, const std::string& startPage,
                         const std::optional<HistoryEntry>& origin) {
  if (done.Error() || !done.book) {
    HideProgress();
    if (done.Error()) ShowBookError(*done.Error());
    host_.TabOpened(*this, false);
    return;
  }
  const Book& book = *done.book;
  // A book without a title is called by its file's path, which is already
  // the file system's UTF-8, not book text.
  const std::string_view title = book.Title();
  if (title == book.FileName() && IsUtf8(title)) {
    title_ = CutToChars(title, kMaxTitleChars);
  } else {
    title_ = DisplayText(Codec(), title, kMaxTitleChars, book.CodePage());
  }
  session_ = std::make_unique<BookSession>(done.book, openingPath_, title_);
  view_->SetLabel(title_);

  // Every book can be searched: in its page text when it has no index of
  // its own.
  panels_ = PanelSet{book.Contents().root.children.Count() > 0, !book.IndexFileName().empty(), true,
                     kKeywordPrompt, kResultsPrompt, kDisplayButton, kListTopicsButton};
  view_->SetPanels(panels_);
  view_->EnableControl(Control::kListTopicsButton, false);
  view_->EnableControl(Control::kSearchDisplayButton, false);

  // A book read before comes back at its text size, its page and as far
  // down as it was read.
  const std::string& path = session_->Path();
  RecentBooks& recent = host_.Recent();
  if (IsUtf8(path)) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    recent.Touch(path, title_, std::chrono::duration_cast<std::chrono::seconds>(now).count());
  }
  const RecentBook* known = recent.Find(path);
  if (known != nullptr && known->textSize >= 0) settings_.zoomLevel = known->textSize;
  std::string topic = startPage;
  if (topic.empty() && known != nullptr) topic = known->page;
  const int scroll = startPage.empty() && known != nullptr ? known->scroll : 0;
  const std::string leftAt = known != nullptr ? known->page : std::string();
  // Both are UTF-8 (the command line, the stored values); the book's paths
  // are in its code page.
  if (!topic.empty()) topic = Codec().FromUtf8(topic, book.CodePage()).value_or(topic);
  if (topic.empty()) topic = std::string(book.DefaultTopic());

  textSizeMarked_ = true;
  ApplySettings();
  ShowPanel(Panel::kHtml);
  // Beside the page, the sidebar shows as it was left.
  if (host_.CurrentLayout() == Layout::kSidebar && host_.SidebarShown() && SidebarTab() != Panel::kNone) {
    ChoosePanel(SidebarTab());
    view_->FocusControl(Control::kPageView);
  }
  if (origin) session_->History().Push(*origin);
  page_.ShowTopic(topic);
  if (scroll > 0 && Text(page_.PagePath(), kMaxLinkBytes) == leftAt) page_.ScrollAfterLoad(scroll);
  // The contents come after the page: a large tree fills as the page shows.
  if (panels_.contents) contents_.Fill(*session_, (book.Contents().windowStyles & kHasLinesStyle) != 0);
  contents_.SelectPage(topic);
  awaitingFirstPage_ = true;

  HideProgress();
  StoreRecent();
  host_.Window().AddRecentBook(path);
  host_.TabOpened(*this, true);
}

// --- Panels ------------------------------------------------------------------------------

bool BookTab::PanelExists(Panel panel) const {
  switch (panel) {
    case Panel::kContents: return panels_.contents;
    case Panel::kIndex: return panels_.index;
    case Panel::kSearch: return panels_.search;
    case Panel::kHtml: return true;
    case Panel::kNone: break;
  }
  return false;
}

bool BookTab::Visible(Control control) const {
  const Panel panel = PanelOf(control);
  if (!PanelExists(panel) || panel_ == Panel::kNone || !PanelExists(panel_)) return false;
  if (host_.CurrentLayout() == Layout::kSidebar && panel == Panel::kHtml) return true;
  return panel == panel_;
}

void BookTab::ChoosePanel(Panel panel) {
  if (panel == Panel::kIndex && panels_.index) index_.Prepare();
  if (panel == Panel::kSearch && panels_.search) search_.Prepare();
  ShowPanel(panel);
  if (host_.CurrentLayout() == Layout::kSidebar) host_.StoreSidebar(panel_ != Panel::kHtml);
}

void BookTab::ShowPanel(Panel panel) {
  panel_ = panel;
  if (panel != Panel::kHtml && panel != Panel::kNone) sidebarTab_ = panel;
  host_.TabChanged(*this);
  if (!PanelExists(panel)) {
    view_->ShowPanel(Panel::kNone);
    return;
  }
  view_->ShowPanel(panel);
  switch (panel) {
    case Panel::kContents: view_->FocusControl(Control::kTree); break;
    case Panel::kIndex: view_->FocusControl(Control::kIndexEdit); break;
    case Panel::kSearch: view_->FocusControl(Control::kSearchEdit); break;
    case Panel::kHtml: view_->FocusControl(Control::kPageView); break;
    case Panel::kNone: break;
  }
}

void BookTab::RevealPage() {
  // One pane: the page takes the panel's place. Beside the sidebar the page
  // shows already; the tab stays.
  if (host_.CurrentLayout() == Layout::kSinglePane || !Visible(Control::kPageView)) ShowPanel(Panel::kHtml);
}

Panel BookTab::SidebarTab() const {
  if (PanelExists(sidebarTab_) && sidebarTab_ != Panel::kHtml) return sidebarTab_;
  return panels_.contents ? Panel::kContents
         : panels_.index  ? Panel::kIndex
         : panels_.search ? Panel::kSearch
                          : Panel::kNone;
}

void BookTab::ToggleSidebar() {
  if (panel_ != Panel::kHtml && panel_ != Panel::kNone) {
    ShowPanel(Panel::kHtml);
    if (host_.CurrentLayout() == Layout::kSidebar) host_.StoreSidebar(false);
    return;
  }
  const Panel tab = SidebarTab();
  if (tab != Panel::kNone) ChoosePanel(tab);
}

void BookTab::Locate() {
  if (!contents_.HasEntries()) return;
  // One pane showing the tree: the entry selected opens. Otherwise the tree
  // shows with the entry of the page on screen.
  if (host_.CurrentLayout() == Layout::kSinglePane && Visible(Control::kTree)) {
    contents_.OpenSelected();
    return;
  }
  const std::string path = page_.PagePath();
  if (path.empty()) return;
  ShowPanel(Panel::kContents);
  contents_.SelectPage(path);
}

void BookTab::Shown() {
  host_.Window().OfferCancel(exporter_.Running());
  if (!progressCaption_.empty()) {
    host_.Window().ShowProgress(progressCaption_, progressValue_);
  } else {
    host_.Window().HideProgress();
  }
}

void BookTab::LaidOut() {
  if (panel_ != Panel::kNone) view_->ShowPanel(PanelExists(panel_) ? panel_ : Panel::kNone);
}

void BookTab::PageLoaded() {
  if (!awaitingFirstPage_ || !session_) return;
  awaitingFirstPage_ = false;
  host_.BookShown(*this);
}

// --- Settings ----------------------------------------------------------------------------

void BookTab::ApplySettings() { page_.ApplySettings(settings_); }

void BookTab::SetTextSize(int size) {
  settings_.zoomLevel = size;
  textSizeMarked_ = true;
  ApplySettings();
  host_.TabChanged(*this);
  page_.RememberPage();
}

void BookTab::Command(int command) {
  if (!session_) return;
  switch (command) {
    case kCmdContents: ChoosePanel(Panel::kContents); return;
    case kCmdIndex: ChoosePanel(Panel::kIndex); return;
    case kCmdSearch: ChoosePanel(Panel::kSearch); return;
    case kCmdHtml: ChoosePanel(Panel::kHtml); return;
    case kCmdSidebar: ToggleSidebar(); return;
    case kCmdFitToWindow:
      settings_.shrinkToFit = !settings_.shrinkToFit;
      ApplySettings();
      host_.TabChanged(*this);
      return;
    case kCmdClearType:
      settings_.clearType = !settings_.clearType;
      ApplySettings();
      host_.TabChanged(*this);
      return;
    case kCmdSmallest:
    case kCmdSmall:
    case kCmdMedium:
    case kCmdLarge:
    case kCmdLargest: SetTextSize(command - kCmdSmallest); return;
    case kCmdTextLarger: SetTextSize(std::min(settings_.zoomLevel + 1, kTextSizeCount - 1)); return;
    case kCmdTextSmaller: SetTextSize(std::max(settings_.zoomLevel - 1, 0)); return;
    case kCmdTextNormal: SetTextSize(kDefaultTextSize); return;
    case kCmdShowImages:
      // The page on screen loads again with the new setting, adding no entry.
      settings_.showImages = !settings_.showImages;
      host_.TabChanged(*this);
      ApplySettings();
      page_.Refresh();
      return;
    case kCmdFind:
      RevealPage();
      view_->Page().ShowFindBar(FindBarTexts{kFindPlaceholder, kFindCount, kFindNone});
      return;
    case kCmdExport: exporter_.Start(); return;
    case kCmdCancelWork: exporter_.Cancel(); return;
    case kCmdPrint:
      RevealPage();
      view_->Page().Print();
      return;
    case kCmdForward: page_.Forward(); return;
    case kCmdBack: page_.Back(); return;
    case kCmdRefresh: page_.Refresh(); return;
    case kCmdHome: page_.Home(); return;
    case kCmdLocate: Locate(); return;
    case kCmdJump: page_.Jump(); return;
    default: return;
  }
}

}  // namespace tessaly::app
