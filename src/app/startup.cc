// Start-up and the instance value kept in the store.
#include <charconv>

#include "app/book_address.h"
#include "app/reader.h"
#include "app/resources.h"
#include "app/utf8.h"
#include "book/book.h"

namespace tessaly::app {

namespace {

// The stored "HWND" value: a decimal instance id; anything else counts as 0
// (no reader to clean up after).
InstanceId ParseInstance(std::string_view text) {
  InstanceId id = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
  if (error != std::errc() || end != text.data() + text.size()) return 0;
  return id;
}

}  // namespace

Reader::Reader(Platform& platform, Workers* workers)
    : platform_(platform),
      ownWorkers_(workers == nullptr ? std::make_unique<ThreadWorkers>() : nullptr),
      workers_(workers == nullptr ? *ownWorkers_ : *workers) {}

Reader::~Reader() {
  // Jobs under way end first (their results go nowhere: the loop is over).
  ownWorkers_.reset();
  book_.reset();
}

bool Reader::Start(std::string_view commandLine) {
  if (started_) return !closed_;
  started_ = true;
  // "BOOK.chm::/page.htm" and "ms-its:BOOK.chm::/page.htm" open at the page
  // (split after the first existing book file: "a::b.chm" is a name).
  if (const std::optional<BookLink> link = ParseBookLink(commandLine, IsBookFileName)) {
    bookPath_ = link->book;
    startPage_ = link->page;
  } else {
    bookPath_ = std::string(commandLine);
  }
  windowTitle_ = std::string(kNoBookTitle);

  // One reader at a time: without a book to hand over, the running one is
  // raised and this one ends before it shows anything.
  otherInstance_ = platform_.FindReader();
  if (otherInstance_ != 0 && bookPath_.empty()) {
    platform_.RaiseReader(otherInstance_);
    otherInstance_ = 0;
    closed_ = true;
    return false;
  }

  savedFocus_.reset();
  if (!platform_.CreateMainWindow(windowTitle_)) {
    closed_ = true;
    return false;
  }
  windowCreated_ = true;
  ReadDesktopValues();
  RefreshMenus();
  platform_.AddNotifyIcon();

  // The page view is made with the window, before any book: making it is
  // not cheap, and the window is not drawing anything else yet.
  CreatePageViewOnce();
  ResetWindow();
  if (bookPath_.empty()) {
    ShowStartView();
    RegisterInstance();
  } else {
    // Registered when the open is back (not when this reader hands over).
    registerPending_ = true;
    OpenBook(bookPath_);
  }
  return !closed_;
}

void Reader::RegisterInstance() {
  // A reader that closed meanwhile (asked to while it opened its book) is not
  // registered after it has released its values.
  if (closed_) return;
  // Only an existing value is written: the store's keys are never made here.
  if (!platform_.ReadStoreValue(StoreKey::kPrev, kStoreWindow)) return;
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

std::optional<std::string> Reader::ReadHelpPath() {
  std::optional<std::string> path = platform_.ReadStoreValue(StoreKey::kChmFile, kStoreHelpPath);
  if (!path || path->empty()) return std::nullopt;
  return path;
}

std::string Reader::DisplayText(std::string_view text, std::size_t maxChars, int codePage) const {
  if (codePage == 0) codePage = book_ ? book_->CodePage() : 1252;
  return DisplayText(platform_.Codec(), text, maxChars, codePage);
}

std::string Reader::DisplayText(const TextCodec& codec, std::string_view text, std::size_t maxChars,
                                int codePage) {
  text = text.substr(0, text.find('\0'));
  std::optional<std::string> converted = codec.ToUtf8(text, codePage);
  if (!converted) converted = codec.ToUtf8(text, 1252);
  if (!converted) converted = AsciiOrReplacement(text);
  return CutToChars(*converted, maxChars);
}

}  // namespace tessaly::app
