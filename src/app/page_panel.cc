#include "app/page_panel.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>

#include "app/book_jobs.h"
#include "app/book_session.h"
#include "app/book_tab.h"
#include "app/limits.h"
#include "app/object_cache.h"
#include "app/own_pages.h"
#include "app/platform.h"
#include "app/recent_books.h"
#include "app/resources.h"
#include "app/utf8.h"
#include "app/web_address.h"
#include "base/book_path.h"
#include "base/text.h"
#include "book/book.h"
#include "codec/codec.h"
#include "pages/pages.h"

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

std::string Document(const std::string& path) { return path.substr(0, path.find('#')); }

constexpr std::string_view kNotOpen = "not a page of an open book";

}  // namespace

// --- Objects the view asks for ----------------------------------------------------

void PagePanel::OnObjectRequest(std::string_view address, ObjectReply reply) {
  // Only objects of the open books are served: an address names its book by
  // path, and only a book some tab has open is taken for one. A name the
  // page wrote from the scheme's root ("/pic.gif") or that climbed out of
  // its book is a name in the page's own book. Nothing else is read.
  BookSession* own = tab_.Session();
  const BookRequest request = ResolveBookRequest(
      address, [this](const std::string& path) { return tab_.Host().OpenBookAt(path) != nullptr; });
  const BookSession* session = nullptr;
  if (request.kind == BookRequest::Kind::kObject) {
    session = tab_.Host().OpenBookAt(request.book);
  } else if (request.kind == BookRequest::Kind::kOutsideBook) {
    session = own;
  }
  if (session == nullptr || request.path.empty()) {
    reply(PageObject{std::string(address), {}, std::string(kNotOpen)});
    return;
  }
  Read(*session, request.path, std::move(reply));
}

void PagePanel::Read(const BookSession& session, const std::string& name, ObjectReply reply) {
  const Book* book = &session.GetBook();
  if (std::shared_ptr<const std::string> kept = tab_.Host().Objects().Find(book, name)) {
    if (reply) reply(PageObject{name, *kept, std::nullopt});
    return;
  }
  // One read of an object however many ask for it meanwhile: a page is
  // read as soon as it is chosen, while the view gets ready to ask for it.
  const std::string key = session.Path() + '\n' + name;
  const auto [waiting, first] = reading_.try_emplace(key);
  if (reply) waiting->second.push_back(std::move(reply));
  if (!first) return;
  // The replies belong to this tab's session (or, without one, the tab):
  // when it goes, the view has gone with it.
  const std::uint64_t serial = pageSerial_;
  auto job = std::make_shared<ObjectJob>(tab_.Cancel(), session.SharedBook(), name, tab_.Codec());
  tab_.Jobs().Submit<ObjectJob>(std::move(job), [this, serial, book, key, path = session.Path()](ObjectJob& done) {
    const auto found = reading_.find(key);
    if (found == reading_.end()) return;
    const std::vector<ObjectReply> replies = std::move(found->second);
    reading_.erase(found);
    if (done.Error()) {
      if (serial == pageSerial_ && !replies.empty()) AddNotice(*done.Error());
      for (const ObjectReply& reply : replies) reply(PageObject{done.Name(), {}, done.Error()});
      return;
    }
    auto bytes = std::make_shared<const std::string>(std::move(done.bytes));
    // Kept only while the book it was read from is open: the cache knows a
    // book by its address, which a book opened later may reuse.
    const BookSession* still = tab_.Host().OpenBookAt(path);
    if (still != nullptr && &still->GetBook() == book) tab_.Host().Objects().Keep(book, done.Name(), bytes);
    for (const ObjectReply& reply : replies) reply(PageObject{done.Name(), *bytes, std::nullopt});
  });
}

void PagePanel::AddNotice(std::string_view message) {
  // A page may name the same missing part thousands of times: each once.
  if (message.empty() || !noticed_.emplace(message).second) return;
  notices_.emplace_back(message);
  ShowNotices();
}

void PagePanel::ShowNotices() {
  // The first few say what is missing, and only they are converted.
  std::string text;
  std::size_t shown = 0;
  std::size_t at = 0;
  for (; at < notices_.size() && shown < kMaxNoticeLines; ++at) {
    std::string line = tab_.MessageOf(notices_[at]);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty()) continue;
    if (shown++ > 0) text += '\n';
    text += line;
  }
  if (shown == 0) {
    view_.HideNotice();
    return;
  }
  if (at < notices_.size()) text += "\n" + FormatText(kMoreNotices, notices_.size() - at);
  view_.ShowNotice(text);
}

void PagePanel::ForgetNotices() {
  ++pageSerial_;
  notices_.clear();
  noticed_.clear();
  view_.HideNotice();
}

// --- Pages -------------------------------------------------------------------------

void PagePanel::ApplySettings(const ViewSettings& settings) { view_.SetViewSettings(settings); }

std::string PagePanel::BookText(std::string_view utf8) const {
  const std::string page(utf8);
  const BookSession* session = tab_.Session();
  if (session == nullptr || session->GetBook().HasObject(Document(page))) return page;
  return tab_.Codec().FromUtf8(page, session->GetBook().CodePage()).value_or(page);
}

bool PagePanel::ShowTopic(std::string_view path) {
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

void PagePanel::ShowTopicMarking(std::string_view path, std::span<const std::string> words) {
  wordsToMark_.assign(words.begin(), words.end());
  if (ShowTopic(path)) return;
  // Nothing loads when it is the page on screen: its words are marked
  // where they are.
  if (!busy_ && !wordsToMark_.empty()) view_.MarkWords(wordsToMark_);
  wordsToMark_.clear();
}

bool PagePanel::ShowBookPage(std::string_view page, bool fromHistory) {
  BookSession* session = tab_.Session();
  if (session == nullptr) return false;
  std::string target(page);
  NormalizeBookPath(target);
  const std::string document = Document(target);
  if (target == pagePath_ || document.empty()) return false;
  if (!session->GetBook().HasObject(document)) {
    tab_.Host().Window().ShowMessage(std::string(kNotInBookText) + tab_.Text(page, kMaxLinkBytes),
                                     kNotInBookCaption, MessageIcon::kExclamation);
    return false;
  }
  if (document != Document(pagePath_)) {
    restoreScroll_ = 0;
    // Another document: its own missing parts, from nothing.
    ForgetNotices();
  }
  pagePath_ = target;
  Read(*session, document, nullptr);
  if (!fromHistory) session->History().Push(HistoryEntry{session->Path(), target});
  // The contents follow the page, whatever brought it: its entry is
  // selected (Up and Down at the page's edge step from there).
  tab_.Contents().SelectPage(target);
  const std::string utf8 = IsUtf8(target) ? target : tab_.Text(target, target.size());
  Navigate(FormatBookAddress(session->Path(), Document(utf8),
                             target.find('#') == std::string::npos ? std::string_view()
                                                                   : std::string_view(utf8).substr(utf8.find('#') + 1)));
  RememberPage();
  return true;
}

void PagePanel::ShowOwnPage(const std::string& html) {
  Revive();
  ForgetNotices();
  address_.clear();
  pagePath_.clear();
  EndBusy();
  BeginBusy();
  view_.ShowHtml(html);
}

void PagePanel::ShowAddressPage(std::string_view address) {
  ShowOwnPage(AddressPage(CutToChars(tab_.Text(address, kMaxLinkBytes), kMaxLinkBytes)));
}

void PagePanel::Revive() {
  if (!discarded_) return;
  // The view comes back as it was set.
  discarded_ = false;
  view_.SetViewSettings(tab_.Settings());
}

void PagePanel::Navigate(const std::string& address) {
  Revive();
  EndBusy();
  address_ = address;
  if (!address.empty()) {
    BeginBusy();
    const BookSession* session = tab_.Session();
    view_.ShowPage(address, WebCharsetOfCodePage(session != nullptr ? session->GetBook().CodePage() : 1252));
  }
}

void PagePanel::BeginBusy() {
  busy_ = true;
  tab_.View().EnableControl(Control::kPageView, false);
  tab_.Host().TabBusyChanged(tab_);
}

void PagePanel::EndBusy() {
  busy_ = false;
  tab_.View().EnableControl(Control::kPageView, true);
  // Beside the sidebar, focus stays in the tab that has it.
  const std::optional<Control> focus = tab_.View().FocusedControl();
  if (tab_.Host().CurrentLayout() == Layout::kSinglePane || !focus || *focus == Control::kPageView ||
      !tab_.Visible(*focus)) {
    tab_.View().FocusControl(Control::kPageView);
  }
  tab_.Host().TabBusyChanged(tab_);
}

void PagePanel::OnLoadEnded() {
  if (!tab_.Accepting()) return;
  EndBusy();
  // A book reopened at its page goes back down to where it was read.
  if (restoreScroll_ > 0) view_.ScrollPage(restoreScroll_);
  restoreScroll_ = 0;
  if (!wordsToMark_.empty()) {
    view_.MarkWords(wordsToMark_);
    wordsToMark_.clear();
  }
  tab_.PageLoaded();
}

void PagePanel::OnRedirect(std::string_view address) {
  // Only what leaves the books is answered; the page stays otherwise.
  if (!tab_.Accepting() || tab_.Session() == nullptr || !IsWebAddress(address)) return;
  ShowAddressPage(address);
}

std::string PagePanel::ResolveBookName(std::string_view name) const {
  // Another book is looked up beside this one.
  namespace fs = std::filesystem;
  fs::path other{std::string(name)};
  const BookSession* session = tab_.Session();
  if (other.is_relative() && session != nullptr) other = fs::path(session->Path()).parent_path() / other;
  return other.lexically_normal().string();
}

void PagePanel::OnLinkTapped(std::string_view link, bool newTab) {
  if (!tab_.Accepting() || busy_) return;
  link = Trimmed(link);
  BookSession* session = tab_.Session();
  if (session == nullptr) {
    // The start view: a way to open a book, the library, and the recent books it lists
    // (no other file, whatever a link names).
    if (link == kStartOpenLink) {
      tab_.Host().OpenChosenBook();
    } else if (link == kStartLibraryLink) {
      tab_.Host().ShowLibrary();
    } else if (const std::optional<BookAddress> named = ParseBookAddress(link, IsBookFile)) {
      const auto& books = tab_.Host().Recent().Books();
      const bool listed =
          std::any_of(books.begin(), books.end(), [&](const RecentBook& book) { return book.path == named->book; });
      if (listed && IsBookFile(named->book)) tab_.Host().OpenBookFile(named->book);
    }
    return;
  }
  // A javascript: link is the page's own business: its script runs it.
  if (link.empty() || EqualNoCase(link.substr(0, std::min<std::size_t>(link.size(), 11)), "javascript:")) return;
  const BookFileTest isBook = [&](const std::string& name) {
    const std::string path = ResolveBookName(name);
    return session->IsFile(path) || IsBookFile(path);
  };
  std::optional<BookAddress> target;
  if (IsBookUrl(link)) {
    // The address of a page: in this book, another book, or a name inside
    // this book that a page wrote from its root ("/pic.htm").
    const BookRequest request = ResolveBookRequest(link, isBook);
    if (request.kind == BookRequest::Kind::kRefused) return;
    if (request.kind == BookRequest::Kind::kOutsideBook) {
      target = BookAddress{session->Path(), request.path, request.fragment};
    } else {
      target = BookAddress{request.book, request.path, request.fragment};
    }
  } else if (!IsWebAddress(link)) {
    target = ParseBookLink(link, isBook);
  }
  if (target) {
    const std::string book = ResolveBookName(target->book);
    std::string page = target->page;
    if (!target->fragment.empty()) page += "#" + target->fragment;
    if (session->IsFile(book)) {
      if (page.empty()) page = std::string(session->GetBook().DefaultTopic());
      if (newTab) {
        tab_.Host().OpenInNewTab(tab_, BookText(page));
        return;
      }
      tab_.RevealPage();
      ShowBookPage(BookText(page));
      return;
    }
    tab_.Host().FollowIntoBook(tab_, book, page, link, newTab);
    return;
  }
  if (IsWebAddress(link)) {
    // The user clicked it: the desktop opens it, or the window says why not.
    const std::string address = AddressForDesktop(link);
    if (!address.empty() && !tab_.Host().Window().OpenExternal(address)) {
      view_.ShowNotice(FormatText(kNoProgramFor, CutToChars(address, kMaxLinkBytes).c_str()));
    }
    return;
  }
  // A link as a page writes it: from the page's folder, or the book's root.
  std::string page = BookText(link);
  if (page.empty()) return;
  if (page.front() == '#') {
    page = Document(pagePath_) + page;
  } else if (page.front() != '/') {
    page = DirectoryPart(Document(pagePath_)) + page;
  }
  if (newTab) {
    tab_.Host().OpenInNewTab(tab_, page);
    return;
  }
  tab_.RevealPage();
  ShowBookPage(page);
}

// --- History ------------------------------------------------------------------------

void PagePanel::GoThroughHistory() {
  BookSession* session = tab_.Session();
  const HistoryEntry* entry = session != nullptr ? session->History().Current() : nullptr;
  if (entry == nullptr) return;
  tab_.RevealPage();
  if (session->IsFile(entry->book)) {
    ShowBookPage(entry->page, true);
    tab_.Host().TabChanged(tab_);
    return;
  }
  // Into another book: its tab shows that page.
  const HistoryEntry other = *entry;
  tab_.Host().StepIntoBook(tab_, other);
}

void PagePanel::Back() {
  BookSession* session = tab_.Session();
  if (busy_ || session == nullptr || !session->History().Back()) return;
  GoThroughHistory();
}

void PagePanel::Forward() {
  BookSession* session = tab_.Session();
  if (busy_ || session == nullptr || !session->History().Forward()) return;
  GoThroughHistory();
}

void PagePanel::OnHistoryStep(int step) {
  if (!tab_.Accepting()) return;
  if (step < 0) {
    Back();
  } else if (step > 0) {
    Forward();
  }
}

void PagePanel::Refresh() {
  if (tab_.Session() == nullptr || address_.empty()) return;
  tab_.RevealPage();
  Navigate(address_);
}

void PagePanel::Home() {
  if (tab_.Session() == nullptr) return;
  tab_.RevealPage();
  ShowTopic(std::string(tab_.Session()->GetBook().HomeTopic()));
}

void PagePanel::Jump() {
  if (tab_.Session() == nullptr) return;
  const std::optional<std::string_view> target = tab_.Session()->GetBook().JumpTarget();
  if (!target) return;
  tab_.RevealPage();
  ShowTopic(std::string(*target));
}

// --- What is kept of the book -----------------------------------------------------------

void PagePanel::RememberPage() {
  // The stored values are UTF-8: a page in the book's code page is kept
  // converted, and a file name that is no UTF-8 is not kept at all.
  const BookSession* session = tab_.Session();
  if (session == nullptr || pagePath_.empty() || !IsUtf8(session->Path())) return;
  const std::string page = tab_.Text(pagePath_, kMaxLinkBytes);
  RecentBooks& recent = tab_.Host().Recent();
  const RecentBook* known = recent.Find(session->Path());
  if (known == nullptr || (known->page == page && known->textSize == tab_.TextSize())) return;
  recent.Update(session->Path(), page, 0, tab_.TextSize());
  tab_.StoreRecent();
}

void PagePanel::RememberScroll() {
  const BookSession* session = tab_.Session();
  if (session == nullptr || pagePath_.empty() || busy_ || !IsUtf8(session->Path())) return;
  std::optional<int> position;
  if (discarded_) {
    position = keptScroll_;
  } else if (const std::optional<ScrollInfo> scroll = view_.PageScroll()) {
    position = scroll->position;
  }
  RecentBooks& recent = tab_.Host().Recent();
  const RecentBook* known = recent.Find(session->Path());
  if (!position || known == nullptr || known->scroll == *position) return;
  recent.Update(session->Path(), known->page, *position, tab_.TextSize());
  tab_.StoreRecent();
}

void PagePanel::Discard() {
  if (discarded_ || busy_ || address_.empty() || tab_.Session() == nullptr) return;
  const std::optional<ScrollInfo> scroll = view_.PageScroll();
  keptScroll_ = scroll ? scroll->position : 0;
  discarded_ = true;
  view_.Discard();
}

void PagePanel::Restore() {
  if (!discarded_) return;
  restoreScroll_ = keptScroll_;
  Navigate(address_);
}

// --- Keys ---------------------------------------------------------------------------------

bool PagePanel::OnKey(PageKey key) {
  if (!tab_.Accepting()) return true;
  if (key == PageKey::kAction) {
    if (!tab_.Visible(Control::kPageView) || !tab_.Contents().HasEntries()) return true;
    tab_.Contents().SwallowNextEnter();
    tab_.Locate();
    return false;
  }
  StepTopic(key == PageKey::kDown);
  return true;
}

void PagePanel::StepTopic(bool down) {
  const BookSession* session = tab_.Session();
  if (busy_ || session == nullptr) return;
  // Only at the edge of the page; an unknown scroll state counts as the edge.
  if (const std::optional<ScrollInfo> scroll = view_.PageScroll()) {
    if (down && scroll->position + scroll->page < scroll->maximum) return;
    if (!down && scroll->position != 0) return;
  }
  // Through the contents, from the entry selected in the tree.
  if (tab_.Contents().HasEntries() && tab_.Contents().Step(down)) return;
  // Through the topic table.
  const std::string current = Document(pagePath_);
  const TopicTable& topics = session->GetBook().Topics();
  const std::int32_t topic = topics.FindByPath(current);
  if (topic >= 0) {
    const std::optional<std::string_view> path = topics.Path(down ? topic + 1 : topic - 1);
    if (path && !path->empty()) ShowTopic(std::string(*path));
    return;
  }
  // Through the number in the page's file name.
  if (current.empty()) return;
  const std::string stepped = SteppedPagePath(current, down);
  if (!stepped.empty() && session->GetBook().HasObject(stepped)) ShowTopic(stepped);
}

}  // namespace tessaly::app
