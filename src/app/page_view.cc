// The page view: showing topics through page preparation, the busy state
// while the view loads, link taps, history, Refresh, Home, Jump, the view
// settings and the keys that step to the previous or next topic.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>

#include "app/page_host.h"
#include "app/reader.h"
#include "app/resources.h"
#include "app/utf8.h"
#include "base/book_error.h"
#include "base/book_path.h"
#include "base/text.h"
#include "book/book.h"
#include "helpdata/contents_tree.h"
#include "helpdata/topic_table.h"
#include "pages/page_cache.h"

namespace tessaly::app {

namespace {

constexpr std::size_t kMaxAddressChars = 260;
// A run of more digits than this is not a page number the reader steps.
constexpr std::size_t kMaxPageNumberDigits = 18;

// The page path with its number stepped by one (page09.htm -> page10.htm
// down, page10.htm -> page9.htm up): the run of digits right before the last
// '.' is replaced by its value + or - 1 without leading zeros, and the
// path's extension is put back. Empty when the path has no such number.
std::string SteppedPagePath(const std::string& path, bool down) {
  std::string stepped = path;
  const std::size_t dot = stepped.rfind('.');
  if (dot == std::string::npos) return {};
  stepped.resize(dot);
  std::size_t start = dot;
  while (start > 0 && std::isdigit(static_cast<unsigned char>(stepped[start - 1]))) --start;
  if (start == dot || dot - start > kMaxPageNumberDigits) return {};
  std::int64_t value = 0;
  std::from_chars(stepped.data() + start, stepped.data() + dot, value);
  value += down ? 1 : -1;
  stepped.replace(start, dot - start, std::to_string(value));
  stepped += FileExtension(path);
  return stepped;
}

}  // namespace

// --- What page preparation asks of the reader ------------------------------------

bool PageHost::OpenExternal(std::string_view address) { return reader_.platform_.OpenExternal(address); }

void PageHost::ReportMissingLink(std::string_view link) {
  std::string text(kNotInBookText);
  text += reader_.DisplayText(link, Reader::kMaxLinkBytes);
  reader_.platform_.ShowMessage(text, kNotInBookCaption, MessageIcon::kExclamation);
}

void PageHost::ShowError(std::string_view message) { reader_.ShowBookError(message); }

void PageHost::ReportMissingPart(std::string_view message) {
  // Each text once per page, however many parts share it.
  std::string text = reader_.BookMessageText(message);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  if (!text.empty() && reader_.pageNoticeTexts_.insert(text).second) reader_.pageNotices_.push_back(text);
}

bool PageHost::ShowPage(std::string_view link) { return reader_.ShowPage(link); }

bool PageHost::ShowImages() const { return reader_.showImages_; }

// --- The view --------------------------------------------------------------------

void Reader::PreparePageView() {
  if (!Exists(Control::kPageView)) {
    if (!platform_.CreatePageView()) {
      platform_.ShowMessage(kBrowserFailed, kBrowserCaption, MessageIcon::kError);
      return;
    }
    created_[Index(Control::kPageView)] = true;
  }
  LayoutTreeAndPage();
  Show(Control::kPageView, false);
  platform_.SetShrinkToFit(fitToWindow_);
  platform_.SetClearType(clearType_);
  ApplyTextSize();
}

void Reader::ApplyTextSize() {
  if (Exists(Control::kPageView)) platform_.SetZoomLevel(textSize_);
  for (int size = 0; size < kTextSizeCount; ++size) {
    platform_.CheckMenuItem(kCmdSmallest + size, size == textSize_);
  }
}

void Reader::ShowHtmlPanel() {
  HidePanels();
  ShowPanel(kCmdHtml);
}

void Reader::ShowTopic(std::string_view path) {
  // A topic without a path (a book without a default topic, an index entry
  // without a page) shows nothing: it is not a link that left the book.
  if (!pageCache_ || path.empty()) return;
  const std::string topic(path);
  pageCache_->SetCurrentPageDir("");
  ShowPage(topic);
}

bool Reader::ShowPage(std::string_view link) {
  if (!pageCache_ || !currentBook_ || !Exists(Control::kPageView)) return false;
  // The link may point into a buffer that preparing the page rewrites.
  const std::string target(link);
  // Frames come back through here while their frameset is prepared: the
  // outermost call gathers what every one of them missed into one notice.
  const bool outermost = pageDepth_ == 0;
  if (outermost) {
    pageNotices_.clear();
    pageNoticeTexts_.clear();
  }
  ++pageDepth_;
  BeginBusy();
  const bool prepared = pageCache_->PreparePage(target);
  --pageDepth_;
  if (!prepared) {
    EndBusy();
    return false;
  }
  if (outermost) UpdatePageNotice();
  Navigate();
  return true;
}

void Reader::UpdatePageNotice() {
  // A jump within the page on screen writes nothing new: its notice stays.
  const std::string file = pageCache_->CurrentPageFile();
  const std::string document = file.substr(0, file.find('#'));
  if (document == noticeDocument_) return;
  noticeDocument_ = document;
  if (pageNotices_.empty()) {
    platform_.HideNotice();
    return;
  }
  // A page may lack thousands of parts: the first few say what is missing.
  std::string text;
  const std::size_t shown = std::min(pageNotices_.size(), kMaxNoticeLines);
  for (std::size_t i = 0; i < shown; ++i) {
    if (!text.empty()) text += '\n';
    text += pageNotices_[i];
  }
  if (pageNotices_.size() > shown) text += "\n" + FormatText(kMoreNotices, pageNotices_.size() - shown);
  platform_.ShowNotice(text);
}

void Reader::Navigate() {
  EndBusy();
  const std::string address = CutToChars(pageCache_->CurrentPageFile(), kMaxAddressChars);
  if (!address.empty()) {
    BeginBusy();
    platform_.Navigate(address);
  }
  platform_.EnableToolButton(kCmdBack, history_.Position() > 1);
  platform_.EnableToolButton(kCmdForward, history_.Position() < history_.Count());
}

void Reader::BeginBusy() {
  platform_.SetCursor(Cursor::kWait);
  platform_.SetToolButtonImage(kCmdRefresh, kImageLoading);
  busy_ = true;
  platform_.EnableMenuBar(false);
  platform_.EnableControl(Control::kPageView, false);
}

void Reader::EndBusy() {
  platform_.SetToolButtonImage(kCmdRefresh, kImageRefresh);
  platform_.EnableMenuBar(true);
  platform_.EnableControl(Control::kPageView, true);
  busy_ = false;
  platform_.FocusControl(Control::kPageView);
  platform_.SetCursor(Cursor::kNormal);
}

void Reader::OnDocumentComplete() {
  if (!windowCreated_ || closed_ || !Exists(Control::kPageView)) return;
  EndBusy();
}

void Reader::OnLinkTapped(std::string_view link) {
  if (!Accepting() || !currentBook_ || busy_) return;
  // A javascript: link is the page's own business: its script runs it.
  const std::size_t start = link.find_first_not_of(" \t\r\n");
  if (start != std::string_view::npos && EqualNoCase(link.substr(start, 11), "javascript:")) return;
  // The view reports the link as UTF-8; pages and paths are book text.
  const std::string utf8(link);
  const std::string bookText = platform_.Codec().FromUtf8(utf8, currentBook_->CodePage()).value_or(utf8);
  ShowPage(CutToBytes(bookText, kMaxLinkBytes));
}

void Reader::ShowFromHistory() {
  ShowHtmlPanel();
  // Entries are book paths without their leading '/': they are shown from
  // the book's root, not from the folder of the page on screen.
  const std::string entry = "/" + std::string(history_.HistoryCurrent());
  history_.SetNavigating(true);
  ShowPage(entry);
  history_.SetNavigating(false);
}

void Reader::Back() {
  if (history_.Position() <= 1) return;
  history_.HistoryBack();
  ShowFromHistory();
}

void Reader::Forward() {
  if (history_.Position() >= history_.Count()) return;
  history_.HistoryForward();
  ShowFromHistory();
}

void Reader::Refresh() {
  if (!pageCache_ || !Exists(Control::kPageView)) return;
  ShowHtmlPanel();
  Navigate();
}

void Reader::Home() {
  if (!currentBook_) return;
  ShowHtmlPanel();
  ShowTopic(std::string(currentBook_->HomeTopic()));
}

void Reader::Jump() {
  if (!currentBook_) return;
  const std::optional<std::string_view> target = currentBook_->JumpTarget();
  if (!target) return;
  ShowHtmlPanel();
  ShowTopic(std::string(*target));
}

void Reader::ToggleImages() {
  if (!pageCache_ || !currentBook_) return;
  const std::string path = pageCache_->CurrentPagePath();
  pageCache_->SetCurrentPagePath("");
  pageCache_->SetCurrentPageDir("");
  history_.SetNavigating(true);
  ShowPage(path);
  history_.SetNavigating(false);
}

bool Reader::OnPageKey(PageKey key) {
  if (!Accepting()) return true;
  if (key == PageKey::kAction) {
    if (!Visible(Control::kPageView) || !HasContents()) return true;
    swallowEnter_ = true;
    DispatchCommand(kCmdLocate, std::nullopt, std::nullopt);
    return false;
  }
  StepTopic(key);
  return true;
}

void Reader::StepTopic(PageKey key) {
  if (busy_ || !currentBook_ || !pageCache_) return;
  const bool down = key == PageKey::kDown;

  // Only at the edge of the page; an unknown scroll state counts as the edge.
  if (const std::optional<ScrollInfo> scroll = platform_.PageScroll()) {
    if (down && scroll->position + scroll->page < scroll->maximum) return;
    if (!down && scroll->position != 0) return;
  }

  // Through the contents, from the entry selected in the tree.
  if (Exists(Control::kTree)) {
    const auto selected = treeNodes_.find(platform_.TreeSelection());
    if (selected != treeNodes_.end()) {
      const TocNode* node = selected->second;
      do {
        node = down ? node->next : node->prev;
      } while (node != nullptr && node->local.empty());
      if (node == nullptr || node->treeItem == 0) return;
      platform_.TreeSelect(node->treeItem);
      OpenSelectedEntry();
      return;
    }
  }

  // Through the topic table.
  const std::string current = pageCache_->CurrentPagePath();
  const TopicTable& topics = currentBook_->Topics();
  const std::int32_t topic = topics.FindByPath(current);
  if (topic >= 0) {
    const std::optional<std::string_view> path = topics.Path(down ? topic + 1 : topic - 1);
    if (path && !path->empty()) ShowTopic(std::string(*path));
    return;
  }

  // Through the number in the page's file name.
  if (current.empty()) return;
  const std::string stepped = SteppedPagePath(current, down);
  if (!stepped.empty() && currentBook_->HasObject(stepped)) ShowTopic(stepped);
}

}  // namespace tessaly::app
