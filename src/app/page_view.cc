// The page view: showing topics through page preparation on the page lane,
// the busy state while a page is prepared and loads, link taps (links into
// other books included), history, Refresh, Home, Jump, the view settings and
// the keys that step to the previous or next topic.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>

#include "app/charset.h"
#include "app/page_host.h"
#include "app/reader.h"
#include "app/resources.h"
#include "app/utf8.h"
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

// --- What page preparation asks of the reader (on the lane) --------------------

void PageHost::Add(PageOutcome::Kind kind, std::string_view text) {
  if (outcome_ != nullptr) outcome_->events.push_back({kind, std::string(text)});
}

bool PageHost::OpenExternal(std::string_view address) {
  Add(PageOutcome::Kind::kExternal, address);
  return true;
}

void PageHost::ReportMissingLink(std::string_view link) { Add(PageOutcome::Kind::kMissingLink, link); }

void PageHost::ShowError(std::string_view message) { Add(PageOutcome::Kind::kError, message); }

void PageHost::ReportMissingPart(std::string_view message) {
  // A page may name the same missing part thousands of times.
  if (outcome_ != nullptr && outcome_->noticed.emplace(message).second) outcome_->notices.emplace_back(message);
}

bool PageHost::ShowPage(std::string_view link) {
  return outcome_ != nullptr && reader_.LanePreparePage(link, *outcome_);
}

bool Reader::LanePreparePage(std::string_view link, PageOutcome& outcome) {
  if (!pageCache_ || !laneBook_) return false;
  // The link may point into a buffer that preparing the page rewrites.
  const std::string target(link);
  // Frames come back through here while their frameset is prepared; each
  // is loaded as it is ready, and the frameset's file after them.
  int& depth = pageHost_->Depth();
  const bool outermost = depth == 0;
  ++depth;
  const bool prepared = pageCache_->PreparePage(target);
  --depth;
  if (!prepared) return false;
  outcome.addresses.push_back(CutToChars(pageCache_->CurrentPageFile(), kMaxAddressChars));
  if (outermost) outcome.prepared = true;
  return true;
}

// --- The view (interface thread) ------------------------------------------------

void Reader::CreatePageViewOnce() {
  if (pageViewCreated_ || pageViewFailed_) return;
  if (!platform_.CreatePageView()) {
    pageViewFailed_ = true;
    platform_.ShowMessage(kBrowserFailed, kBrowserCaption, MessageIcon::kError);
    return;
  }
  pageViewCreated_ = true;
}

void Reader::PreparePageView() {
  CreatePageViewOnce();
  if (pageViewCreated_) ApplyTextSize();
}

void Reader::ApplyViewSettings() {
  if (pageViewCreated_) platform_.SetViewSettings(ViewSettings{textSize_, fitToWindow_, clearType_});
}

void Reader::ApplyTextSize() {
  textSizeMarked_ = true;
  ApplyViewSettings();
  RefreshMenus();
  RememberBook();
}

void Reader::RunPageWork(std::function<void(PageOutcome&)> work) {
  if (!pageCache_ || !book_ || !pageViewCreated_) return;
  BeginBusy();
  pageInFlight_ = true;
  const std::uint64_t generation = generation_;
  const bool images = showImages_;
  workers_.RunPageJob([this, generation, images, work = std::move(work)] {
    auto outcome = std::make_shared<PageOutcome>();
    pageHost_->Begin(outcome.get(), images);
    work(*outcome);
    pageHost_->End();
    outcome->file = pageCache_->CurrentPageFile();
    outcome->path = pageCache_->CurrentPagePath();
    outcome->historyPosition = history_.Position();
    outcome->historyCount = history_.Count();
    Deliver(generation, [this, outcome] { ApplyPage(*outcome); });
  });
}

void Reader::ApplyPage(PageOutcome& outcome) {
  pageInFlight_ = false;
  page_ = PageState{outcome.file, outcome.path, outcome.historyPosition, outcome.historyCount};
  const std::uint64_t generation = generation_;
  for (const PageOutcome::Event& event : outcome.events) {
    switch (event.kind) {
      case PageOutcome::Kind::kExternal:
        platform_.OpenExternal(event.text);
        break;
      case PageOutcome::Kind::kMissingLink: {
        std::string text(kNotInBookText);
        text += DisplayText(event.text, kMaxLinkBytes);
        platform_.ShowMessage(text, kNotInBookCaption, MessageIcon::kExclamation);
        break;
      }
      case PageOutcome::Kind::kError:
        ShowBookError(event.text);
        break;
    }
    // A message box waits in the event loop: the book may have gone.
    if (generation != generation_ || closed_) return;
  }
  if (!outcome.prepared) {
    EndBusy();
    // Nothing loads when the page asked for is the one on screen: a search
    // result's words are marked where they are.
    if (!wordsToMark_.empty() && outcome.events.empty()) platform_.MarkWords(wordsToMark_);
    wordsToMark_.clear();
    return;
  }
  UpdatePageNotice(outcome.notices);
  for (const std::string& address : outcome.addresses) Navigate(address);
  RememberBook();
}

void Reader::ShowTopic(std::string_view path) {
  // A topic without a path (a book without a default topic, an index entry
  // without a page) shows nothing: it is not a link that left the book.
  if (path.empty()) return;
  RunPageWork([this, topic = std::string(path)](PageOutcome& outcome) {
    pageCache_->SetCurrentPageDir("");
    LanePreparePage(topic, outcome);
  });
}

void Reader::UpdatePageNotice(const std::vector<std::string>& raw) {
  // A jump within the page on screen writes nothing new: its notice stays.
  const std::string document = page_.file.substr(0, page_.file.find('#'));
  if (document == noticeDocument_) return;
  noticeDocument_ = document;
  // The texts come each once from the lane. A page may lack thousands of
  // parts: the first few say what is missing, and only they are converted.
  std::string text;
  std::size_t shown = 0;
  std::size_t at = 0;
  for (; at < raw.size() && shown < kMaxNoticeLines; ++at) {
    std::string line = BookMessageText(raw[at]);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty()) continue;
    if (shown++ > 0) text += '\n';
    text += line;
  }
  if (shown == 0) {
    platform_.HideNotice();
    return;
  }
  if (at < raw.size()) text += "\n" + FormatText(kMoreNotices, raw.size() - at);
  platform_.ShowNotice(text);
}

void Reader::Navigate(const std::string& address) {
  EndBusy();
  if (!address.empty()) {
    BeginBusy();
    platform_.ShowPage(address, CharsetForCodePage(book_ ? book_->CodePage() : 1252));
  }
  RefreshButtons();
}

void Reader::BeginBusy() {
  platform_.SetCursor(Cursor::kWait);
  busy_ = true;
  RefreshButtons();
  platform_.EnableCommands(false);
  platform_.EnableControl(Control::kPageView, false);
}

void Reader::EndBusy() {
  busy_ = false;
  RefreshButtons();
  platform_.EnableCommands(true);
  platform_.EnableControl(Control::kPageView, true);
  // Beside the sidebar, focus stays in the tab that has it.
  const std::optional<Control> focus = platform_.FocusedControl();
  if (layout_ == Layout::kSinglePane || !focus || *focus == Control::kPageView || !Visible(*focus)) {
    platform_.FocusControl(Control::kPageView);
  }
  platform_.SetCursor(Cursor::kNormal);
}

void Reader::OnDocumentComplete() {
  if (!windowCreated_ || closed_ || !pageViewCreated_ || pageInFlight_) return;
  EndBusy();
  if (!wordsToMark_.empty()) {
    platform_.MarkWords(wordsToMark_);
    wordsToMark_.clear();
  }
}

void Reader::OnLinkTapped(std::string_view link) {
  if (!Accepting() || !book_ || busy_) return;
  // A javascript: link is the page's own business: its script runs it.
  const std::size_t start = link.find_first_not_of(" \t\r\n");
  if (start != std::string_view::npos && EqualNoCase(link.substr(start, 11), "javascript:")) return;
  // A link into another book (or into this one by its name) opens it there.
  if (start != std::string_view::npos && OpenOtherBookLink(link.substr(start))) return;
  // The view reports the link as UTF-8; pages and paths are book text.
  const std::string utf8(link);
  const std::string bookText = platform_.Codec().FromUtf8(utf8, book_->CodePage()).value_or(utf8);
  RunPageWork([this, target = CutToBytes(bookText, kMaxLinkBytes)](PageOutcome& outcome) {
    LanePreparePage(target, outcome);
  });
}

void Reader::Back() {
  if (page_.historyPosition <= 1) return;
  RevealPage();
  RunPageWork([this](PageOutcome& outcome) {
    history_.HistoryBack();
    // Entries are book paths without their leading '/': they are shown from
    // the book's root, not from the folder of the page on screen.
    const std::string entry = "/" + std::string(history_.HistoryCurrent());
    history_.SetNavigating(true);
    LanePreparePage(entry, outcome);
    history_.SetNavigating(false);
  });
}

void Reader::Forward() {
  if (page_.historyPosition >= page_.historyCount) return;
  RevealPage();
  RunPageWork([this](PageOutcome& outcome) {
    history_.HistoryForward();
    const std::string entry = "/" + std::string(history_.HistoryCurrent());
    history_.SetNavigating(true);
    LanePreparePage(entry, outcome);
    history_.SetNavigating(false);
  });
}

void Reader::Refresh() {
  if (!pageCache_ || !pageViewCreated_ || !book_) return;
  RevealPage();
  Navigate(CutToChars(page_.file, kMaxAddressChars));
}

void Reader::Home() {
  if (!book_) return;
  RevealPage();
  ShowTopic(std::string(book_->HomeTopic()));
}

void Reader::Jump() {
  if (!book_) return;
  const std::optional<std::string_view> target = book_->JumpTarget();
  if (!target) return;
  RevealPage();
  ShowTopic(std::string(*target));
}

void Reader::ToggleImages() {
  RunPageWork([this](PageOutcome& outcome) {
    const std::string path = pageCache_->CurrentPagePath();
    pageCache_->SetCurrentPagePath("");
    pageCache_->SetCurrentPageDir("");
    history_.SetNavigating(true);
    LanePreparePage(path, outcome);
    history_.SetNavigating(false);
  });
}

void Reader::RememberBook() {
  // The stored values are UTF-8: a book's path in its own code page is kept
  // converted, and a file name that is no UTF-8 is not kept at all.
  if (!book_ || page_.path.empty() || !IsUtf8(bookPath_)) return;
  const std::string page = DisplayText(page_.path, kMaxLinkBytes);
  const RecentBook* known = recent_.Find(bookPath_);
  if (known != nullptr && known->page == page && known->textSize == textSize_) return;
  recent_.Update(bookPath_, page, textSize_);
  platform_.WriteStoreValue(StoreKey::kPrev, kStoreRecentBooks, recent_.Serialize());
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
  if (busy_ || !book_ || !pageCache_) return;
  const bool down = key == PageKey::kDown;

  // Only at the edge of the page; an unknown scroll state counts as the edge.
  if (const std::optional<ScrollInfo> scroll = platform_.PageScroll()) {
    if (down && scroll->position + scroll->page < scroll->maximum) return;
    if (!down && scroll->position != 0) return;
  }

  // Through the contents, from the entry selected in the tree.
  if (panels_.contents) {
    const int row = platform_.ContentsSelection();
    if (row >= 0 && static_cast<std::size_t>(row) < rowNodes_.size()) {
      const TocNode* node = rowNodes_[static_cast<std::size_t>(row)];
      do {
        node = down ? node->next : node->prev;
      } while (node != nullptr && node->local.empty());
      const auto found = nodeRows_.find(node);
      if (node == nullptr || found == nodeRows_.end()) return;
      platform_.SelectContentsRow(found->second);
      OpenSelectedEntry();
      return;
    }
  }

  // Through the topic table.
  const std::string current = page_.path;
  const TopicTable& topics = book_->Topics();
  const std::int32_t topic = topics.FindByPath(current);
  if (topic >= 0) {
    const std::optional<std::string_view> path = topics.Path(down ? topic + 1 : topic - 1);
    if (path && !path->empty()) ShowTopic(std::string(*path));
    return;
  }

  // Through the number in the page's file name.
  if (current.empty()) return;
  const std::string stepped = SteppedPagePath(current, down);
  if (!stepped.empty() && book_->HasObject(stepped)) ShowTopic(stepped);
}

}  // namespace tessaly::app
