#include "app/library_desk.h"

#include "app/limits.h"
#include "app/platform.h"
#include "app/resources.h"
#include "app/utf8.h"
#include "base/book_error.h"

namespace tessaly::app {

namespace {

constexpr std::string_view kLibraryCaption = "Library";
constexpr std::string_view kIndexingCaption = "Indexing the library...";
constexpr const char* kPagesHoldingPrompt = "No keyword \"%s\" in the index; these pages hold it:";
constexpr const char* kOneHit = "%s (1 hit)";
constexpr const char* kHits = "%s (%d hits)";

// A line of "Topics Found": the book's title first when the lines come
// from several books.
std::string ChoiceLine(const LibraryPage& page, bool withBook) {
  std::string line = withBook ? page.bookTitle + ": " + page.title : page.title;
  if (page.hits > 0) line = page.hits == 1 ? FormatText(kOneHit, line.c_str()) : FormatText(kHits, line.c_str(), page.hits);
  return line;
}

}  // namespace

LibraryDesk::LibraryDesk(Platform& platform, JobScheduler& jobs, OpenPage open)
    : platform_(platform), jobs_(jobs), open_(std::move(open)) {}

LibraryDesk::~LibraryDesk() { cancel_->store(true); }

std::optional<LibraryPlace> LibraryDesk::Place() const {
  const std::optional<std::filesystem::path> store = platform_.LibraryFile();
  if (!store) return std::nullopt;
  return LibraryPlace{*store, platform_.PageTextFolder(), &platform_.Codec()};
}

void LibraryDesk::Add(const std::string& path) {
  if (path.empty()) return;
  adding_.push_back({path, true});
  if (adding_.size() == 1) StartNextAdd();
}

void LibraryDesk::AddOpened(const std::string& path) {
  if (path.empty()) return;
  adding_.push_back({path, false});
  if (adding_.size() == 1) StartNextAdd();
}

void LibraryDesk::Rescan() {
  // One look at a time is enough: one still waiting covers this one too.
  for (std::size_t i = 1; i < adding_.size(); ++i) {
    if (adding_[i].path.empty()) return;
  }
  if (!Place()) return;
  adding_.push_back({{}, false});
  if (adding_.size() == 1) StartNextAdd();
}

void LibraryDesk::AddChosenFolder() {
  const std::optional<std::string> folder = platform_.Library().ChooseFolder();
  if (folder) Add(*folder);
}

void LibraryDesk::ShowLibrary() {
  listShown_ = true;
  const std::optional<LibraryPlace> place = Place();
  if (!place) {
    platform_.Library().ShowBooks({});
    return;
  }
  if (listing_) return;
  listing_ = true;
  auto job = std::make_shared<LibraryBooksJob>(cancel_, *place);
  jobs_.Submit<LibraryBooksJob>(std::move(job), [this](LibraryBooksJob& done) {
    listing_ = false;
    if (done.Error()) {
      platform_.ShowMessage(*done.Error(), kLibraryCaption, MessageIcon::kError);
      return;
    }
    listed_.clear();
    for (const LibraryRow& row : done.rows) listed_.push_back(row.where);
    platform_.Library().ShowBooks(done.rows);
  });
}

void LibraryDesk::LoadBookmarks(std::function<void()> changed) {
  bookmarksChanged_ = std::move(changed);
  ReadBookmarks({});
}

void LibraryDesk::AddBookmark(const std::string& book, const std::string& page, const std::string& name) {
  if (!book.empty() && !page.empty()) ReadBookmarks({BookmarkChange::Kind::kAdd, PageBookmark{0, book, page, name}});
}

void LibraryDesk::ShowBookmarks() {
  bookmarksShown_ = true;
  ReadBookmarks({}, true);
}

void LibraryDesk::OnBookmarkRenamed(int row, const std::string& name) {
  if (row < 0 || static_cast<std::size_t>(row) >= bookmarks_.size()) return;
  PageBookmark renamed = bookmarks_[static_cast<std::size_t>(row)];
  renamed.name = CutToChars(name, kMaxListTextChars);
  if (renamed.name.find_first_not_of(" \t") == std::string::npos || renamed.name == bookmarks_[static_cast<std::size_t>(row)].name) {
    return;
  }
  ReadBookmarks({BookmarkChange::Kind::kRename, std::move(renamed)});
}

void LibraryDesk::OnBookmarkDeleted(int row) {
  if (row < 0 || static_cast<std::size_t>(row) >= bookmarks_.size()) return;
  ReadBookmarks({BookmarkChange::Kind::kDelete, bookmarks_[static_cast<std::size_t>(row)]});
}

void LibraryDesk::ReadBookmarks(BookmarkChange change, bool present) {
  const std::optional<LibraryPlace> place = Place();
  if (!place) {
    if (present) platform_.Library().ShowBookmarks({}, true);
    return;
  }
  auto job = std::make_shared<BookmarksJob>(cancel_, *place, std::move(change));
  jobs_.Submit<BookmarksJob>(std::move(job), [this, present](BookmarksJob& done) {
    if (done.Error()) {
      platform_.ShowMessage(*done.Error(), kLibraryCaption, MessageIcon::kError);
      return;
    }
    bookmarks_ = std::move(done.bookmarks);
    if (bookmarksShown_) {
      std::vector<BookmarkRow> rows;
      for (const PageBookmark& mark : bookmarks_) {
        rows.push_back({mark.name, std::filesystem::path(mark.book).filename().string(), mark.page});
      }
      platform_.Library().ShowBookmarks(rows, present);
    }
    if (bookmarksChanged_) bookmarksChanged_();
  });
}

void LibraryDesk::OpenBookmark(std::size_t index) {
  if (index < bookmarks_.size()) open_(bookmarks_[index].book, bookmarks_[index].page);
}

void LibraryDesk::OnBookActivated(int row) {
  if (row < 0 || static_cast<std::size_t>(row) >= listed_.size()) return;
  open_(listed_[static_cast<std::size_t>(row)], "");
}

void LibraryDesk::StartNextAdd() {
  if (adding_.empty()) return;
  const std::optional<LibraryPlace> place = Place();
  if (!place) {
    adding_.clear();
    return;
  }
  JobScheduler::Courier courier = jobs_.CourierFor(cancel_);
  Platform* platform = &platform_;
  auto progress = [courier, platform](std::size_t done, std::size_t total) {
    if (total == 0) return;
    const int percent = static_cast<int>(done * 100 / total);
    courier([platform, percent] { platform->ShowProgress(kIndexingCaption, percent); });
  };
  LibraryProgress shown;
  if (adding_.front().index) shown = std::move(progress);
  auto job = std::make_shared<AddToLibraryJob>(cancel_, *place, adding_.front().path, std::move(shown));
  jobs_.Submit<AddToLibraryJob>(std::move(job), [this](AddToLibraryJob& done) {
    const bool shownProgress = adding_.front().index;
    adding_.pop_front();
    if (shownProgress) platform_.HideProgress();
    if (listShown_ && (done.added > 0 || done.indexed > 0 || done.removed > 0)) ShowLibrary();
    if (!done.Error() && done.watched != watched_) {
      watched_ = std::move(done.watched);
      platform_.Library().WatchFolders(watched_);
    }
    // A book that cannot be indexed is listed with its reason in the
    // library; a store that fails is said at once.
    if (done.Error()) platform_.ShowMessage(*done.Error(), kLibraryCaption, MessageIcon::kError);
    StartNextAdd();
  });
}

void LibraryDesk::LookUp(const std::string& word, const std::string& book) {
  const std::optional<LibraryPlace> place = Place();
  if (!place || word.empty()) {
    if (!book.empty()) open_(book, "");
    return;
  }
  auto job = std::make_shared<KeywordLookupJob>(cancel_, *place, word, book);
  jobs_.Submit<KeywordLookupJob>(std::move(job), [this, word, book](KeywordLookupJob& done) {
    ShowFound(done, word, book);
  });
}

void LibraryDesk::ShowFound(const KeywordLookupJob& found, const std::string& word, const std::string& book) {
  if (found.Error()) {
    platform_.ShowMessage(*found.Error(), kLibraryCaption, MessageIcon::kError);
    if (!book.empty()) open_(book, "");
    return;
  }
  if (found.pages.empty()) {
    if (!book.empty()) open_(book, "");
    platform_.ShowMessage(kNoTopicsFound, kTopicsFoundTitle, MessageIcon::kExclamation);
    return;
  }
  if (found.pages.size() == 1 && !found.byText) {
    open_(found.pages[0].book, found.pages[0].page);
    return;
  }
  bool severalBooks = false;
  for (const LibraryPage& page : found.pages) severalBooks |= page.book != found.pages[0].book;
  std::vector<std::string> lines;
  for (const LibraryPage& page : found.pages) lines.push_back(ChoiceLine(page, severalBooks));
  const std::vector<LibraryPage> pages = found.pages;
  const std::string prompt = found.byText ? FormatText(kPagesHoldingPrompt, CutToChars(word, kMaxEditChars).c_str()) : std::string(kTopicsFoundPrompt);
  // The box waits in the event loop: the window may close meanwhile.
  const CancelFlag gone = cancel_;
  const int chosen = platform_.RunChoiceDialog(
      ChoiceDialog{kTopicsFoundTitle, prompt, kTopicsFoundDisplay, kTopicsFoundCancel, lines});
  if (gone->load() || chosen < 0 || static_cast<std::size_t>(chosen) >= pages.size()) return;
  open_(pages[static_cast<std::size_t>(chosen)].book, pages[static_cast<std::size_t>(chosen)].page);
}

}  // namespace tessaly::app
