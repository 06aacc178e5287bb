// The page view: pages shown straight from the book under their ms-its:
// addresses, the objects the view asks for read on a worker, the busy state
// while a page loads, links (into this book, other books, the web), the
// history across books, Refresh, Home, Jump, the view settings and the keys
// that step to the previous or next topic.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <filesystem>

#include "app/book_address.h"
#include "app/charset.h"
#include "app/own_pages.h"
#include "app/reader.h"
#include "app/resources.h"
#include "app/utf8.h"
#include "base/book_path.h"
#include "base/text.h"
#include "book/book.h"
#include "helpdata/contents_tree.h"
#include "helpdata/topic_table.h"

namespace tessaly::app {

namespace {

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


std::string_view Trimmed(std::string_view text) {
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  return start == std::string_view::npos ? std::string_view() : text.substr(start);
}

}  // namespace

// --- Objects the view asks for ---------------------------------------------------

void Reader::OnObjectRequest(std::string_view address, std::function<void(PageObject)> reply) {
  // Only objects of the open book are served: an address names the book by
  // its path; one whose path is not the book's (an absolute link of a page,
  // "/pic.gif", resolved above the book) is a name inside the book, and so
  // is anything else. No address reaches a file of its own.
  const std::optional<std::string> decoded = DecodeBookAddress(address);
  std::shared_ptr<const Book> book = book_;
  if (!decoded || !book || closed_) {
    reply(PageObject{std::string(address), {}, std::string("not a page of an open book")});
    return;
  }
  const std::string prefix = bookPath_ + "::";
  std::string name = decoded->starts_with(prefix) ? decoded->substr(prefix.size()) : *decoded;
  // A name that still holds "::" is an object of another book.
  if (!decoded->starts_with(prefix) && decoded->find("::") != std::string::npos) {
    reply(PageObject{std::string(address), {}, std::string("not a page of an open book")});
    return;
  }
  name.erase(0, name.find_first_not_of('/'));
  const std::uint64_t serial = pageSerial_;
  const std::uint64_t generation = generation_;
  const TextCodec* codec = &platform_.Codec();
  workers_.RunPageJob([this, book, name = std::move(name), serial, generation, codec, reply = std::move(reply)] {
    PageObject object{name, {}, std::nullopt};
    // The view writes names in UTF-8; a book whose directory holds them in
    // its code page finds them converted.
    try {
      ObjectBuffer bytes;
      try {
        bytes = book->ReadObject(name);
      } catch (const BookError& error) {
        const std::optional<std::string> local = codec->FromUtf8(name, book->CodePage());
        if (error.Kind() != ErrorKind::kNotFound || !local || *local == name) throw;
        bytes = book->ReadObject(*local);
      }
      object.bytes.assign(bytes.begin(), bytes.end());
    } catch (const BookError& error) {
      object.error = error.Message();
    }
    platform_.Post([this, object = std::move(object), serial, generation, reply] {
      if (object.error && generation == generation_ && serial == pageSerial_ && !closed_) AddNotice(*object.error);
      reply(object);
    });
  });
}

void Reader::AddNotice(std::string_view message) {
  // A page may name the same missing part thousands of times: each once.
  if (message.empty() || !noticed_.emplace(message).second) return;
  notices_.emplace_back(message);
  ShowNotices();
}

void Reader::ShowNotices() {
  // The first few say what is missing, and only they are converted.
  std::string text;
  std::size_t shown = 0;
  std::size_t at = 0;
  for (; at < notices_.size() && shown < kMaxNoticeLines; ++at) {
    std::string line = BookMessageText(notices_[at]);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty()) continue;
    if (shown++ > 0) text += '\n';
    text += line;
  }
  if (shown == 0) {
    platform_.HideNotice();
    return;
  }
  if (at < notices_.size()) text += "\n" + FormatText(kMoreNotices, notices_.size() - at);
  platform_.ShowNotice(text);
}

// --- The view --------------------------------------------------------------------

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
  if (pageViewCreated_) platform_.SetViewSettings(ViewSettings{textSize_, fitToWindow_, clearType_, showImages_});
}

void Reader::ApplyTextSize() {
  textSizeMarked_ = true;
  ApplyViewSettings();
  RefreshMenus();
  RememberBook();
}

std::string Reader::BookText(std::string_view utf8) const {
  const std::string page(utf8);
  if (!book_ || book_->HasObject(page.substr(0, page.find('#')))) return page;
  return platform_.Codec().FromUtf8(page, book_->CodePage()).value_or(page);
}

bool Reader::ShowTopic(std::string_view path) {
  // A topic without a path (a book without a default topic, an index entry
  // without a page) shows nothing: it is not a link that left the book.
  if (path.empty()) return false;
  // A topic that is a web address (a book's default or home topic) is not
  // opened on the book's behalf: a page names it, for the user to click.
  if (IsWebAddress(path) || IsExternalUrl(path)) {
    ShowAddressPage(Trimmed(path));
    return true;
  }
  return ShowBookPage(path);
}

bool Reader::ShowBookPage(std::string_view page) {
  if (!book_ || !pageViewCreated_) return false;
  std::string target(page);
  NormalizeBookPath(target);
  const std::string document = target.substr(0, target.find('#'));
  if (target == pagePath_ || document.empty()) return false;
  if (!book_->HasObject(document)) {
    platform_.ShowMessage(std::string(kNotInBookText) + DisplayText(page, kMaxLinkBytes), kNotInBookCaption,
                          MessageIcon::kExclamation);
    return false;
  }
  if (document != pagePath_.substr(0, pagePath_.find('#'))) {
    restoreScroll_ = 0;
    // Another document: its own missing parts, from nothing.
    ++pageSerial_;
    notices_.clear();
    noticed_.clear();
    platform_.HideNotice();
  }
  pagePath_ = target;
  if (!navigating_) history_.Push(HistoryEntry{bookPath_, target});
  // The contents follow the page, whatever brought it: its entry is
  // selected (Up and Down at the page's edge step from there).
  SelectNodeOf(target);
  const std::string utf8 = IsUtf8(target) ? target : DisplayText(target, target.size());
  Navigate(PageAddress(bookPath_, utf8));
  RememberBook();
  return true;
}

void Reader::ShowAddressPage(std::string_view address) {
  if (!pageViewCreated_) return;
  const std::string html = AddressPage(CutToChars(DisplayText(address, kMaxLinkBytes), kMaxLinkBytes));
  ++pageSerial_;
  address_.clear();
  EndBusy();
  BeginBusy();
  platform_.ShowHtml(html);
  RefreshButtons();
}

void Reader::Navigate(const std::string& address) {
  EndBusy();
  address_ = address;
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
  if (!windowCreated_ || closed_ || !pageViewCreated_) return;
  EndBusy();
  // A book reopened at its page goes back down to where it was read.
  if (restoreScroll_ > 0) platform_.ScrollPage(restoreScroll_);
  restoreScroll_ = 0;
  if (!wordsToMark_.empty()) {
    platform_.MarkWords(wordsToMark_);
    wordsToMark_.clear();
  }
}

void Reader::OnPageRedirect(std::string_view address) {
  // Only what leaves the books is answered; the page stays otherwise.
  if (!Accepting() || !book_ || !IsWebAddress(address)) return;
  ShowAddressPage(address);
}

void Reader::OnLinkTapped(std::string_view link) {
  if (!Accepting() || busy_) return;
  link = Trimmed(link);
  if (!book_) {
    OnStartLink(link);
    return;
  }
  // A javascript: link is the page's own business: its script runs it.
  if (link.empty() || EqualNoCase(link.substr(0, std::min<std::size_t>(link.size(), 11)), "javascript:")) return;
  const BookFileTest isBook = [this](std::string_view name) {
    const std::string path = ResolveBookName(name);
    return SameBook(path) || IsBookFileName(path);
  };
  // The address of a page: in this book, another book, or a name inside
  // this book that a page wrote from its root ("/pic.htm").
  if (IsBookAddress(link)) {
    const std::optional<std::string> decoded = DecodeBookAddress(link);
    if (!decoded) return;
    const std::size_t hash = link.find('#');
    const std::string fragment =
        hash == std::string_view::npos ? std::string() : PercentDecode(link.substr(hash)).value_or("");
    const std::optional<BookLink> target = ParseBookLink(std::string("ms-its:") + *decoded, isBook);
    // "::" names a book, there or not (OpenBookLink says when not).
    if (target && decoded->find("::") != std::string::npos) {
      OpenBookLink(ResolveBookName(target->book), BookText(target->page + fragment), link);
      return;
    }
    RevealPage();
    ShowBookPage(BookText(*decoded + fragment));
    return;
  }
  if (const std::optional<BookLink> target = ParseBookLink(link, isBook)) {
    OpenBookLink(ResolveBookName(target->book), BookText(target->page), link);
    return;
  }
  if (IsWebAddress(link)) {
    // The user clicked it: the desktop opens it, or the window says why not.
    const std::string address = AddressForDesktop(link);
    if (!address.empty() && !platform_.OpenExternal(address)) {
      platform_.ShowNotice(FormatText(kNoProgramFor, CutToChars(address, kMaxLinkBytes).c_str()));
    }
    return;
  }
  // A link as a page writes it: from the page's folder, or the book's root.
  std::string page = BookText(link);
  if (page.empty()) return;
  if (page.front() == '#') {
    page = pagePath_.substr(0, pagePath_.find('#')) + page;
  } else if (page.front() != '/') {
    page = DirectoryPart(pagePath_.substr(0, pagePath_.find('#'))) + page;
  }
  RevealPage();
  ShowBookPage(page);
}

void Reader::GoThroughHistory() {
  const HistoryEntry* entry = history_.Current();
  if (entry == nullptr) return;
  RevealPage();
  if (entry->book == bookPath_) {
    navigating_ = true;
    ShowBookPage(entry->page);
    navigating_ = false;
    RefreshButtons();
    return;
  }
  // Back into another book: it opens again at that page.
  startFromHistory_ = true;
  OpenFromPath(entry->book, entry->page);
}

void Reader::Back() {
  if (busy_ || !history_.Back()) return;
  GoThroughHistory();
}

void Reader::Forward() {
  if (busy_ || !history_.Forward()) return;
  GoThroughHistory();
}

void Reader::Refresh() {
  if (!pageViewCreated_ || !book_ || address_.empty()) return;
  RevealPage();
  Navigate(address_);
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
  // The page on screen loads again with the new setting, adding no entry.
  ApplyViewSettings();
  Refresh();
}

void Reader::RememberBook() {
  // The stored values are UTF-8: a book's path in its own code page is kept
  // converted, and a file name that is no UTF-8 is not kept at all.
  if (!book_ || pagePath_.empty() || !IsUtf8(bookPath_)) return;
  const std::string page = DisplayText(pagePath_, kMaxLinkBytes);
  const RecentBook* known = recent_.Find(bookPath_);
  if (known != nullptr && known->page == page && known->textSize == textSize_) return;
  recent_.Update(bookPath_, page, 0, textSize_);
  platform_.WriteStoreValue(StoreKey::kPrev, kStoreRecentBooks, recent_.Serialize());
}

void Reader::RememberScroll() {
  if (!book_ || pagePath_.empty() || busy_ || !IsUtf8(bookPath_)) return;
  const std::optional<ScrollInfo> scroll = platform_.PageScroll();
  const RecentBook* known = recent_.Find(bookPath_);
  if (!scroll || known == nullptr || known->scroll == scroll->position) return;
  recent_.Update(bookPath_, known->page, scroll->position, textSize_);
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
  if (busy_ || !book_) return;
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
  const std::string current = pagePath_.substr(0, pagePath_.find('#'));
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
