// Opening a book: the ways in (command line, File > Open, Help > Help
// Topics, Recent Books, a link into another book), the reset to the no-book
// state, the open on a worker with the hand-over between two readers when
// it is back, and the About box.
#include <sys/utsname.h>

#include <chrono>
#include <filesystem>
#include <vector>

#include "app/book_address.h"
#include "app/own_pages.h"
#include "app/page_text_search.h"
#include "app/reader.h"
#include "app/resources.h"
#include "app/utf8.h"
#include "book/book.h"
#include "helpdata/contents_tree.h"
#include "helpdata/sitemap_depth.h"

namespace tessaly::app {

namespace {

constexpr std::string_view kFilePrefix = "file:\\";
constexpr std::int32_t kHasLinesStyle = 0x2;

// The image of a node: its own image number when it names one of the
// twelve, else a book or folder for a heading and a page for a leaf.
int NodeImage(const TocNode& node, const ContentsTree& tree) {
  if (node.imageNumber >= 1 && node.imageNumber <= kContentsImageCount) return node.imageNumber - 1;
  const bool heading = node.children.Count() > 0;
  if (tree.imageType == "folder") return heading ? 4 : 10;
  return heading ? 0 : 8;
}

}  // namespace

// What the open job hands back: the book, or why it did not open, and the
// contents laid out as rows.
struct OpenedBook {
  std::shared_ptr<Book> book;
  std::optional<std::string> failure;
  std::vector<ContentsRow> rows;
  std::vector<const TocNode*> rowNodes;
};

bool Reader::HasContents() const { return book_ && book_->Contents().root.children.Count() > 0; }

void Reader::OpenFromPath(std::string_view path, std::string_view page) {
  RememberScroll();  // of the book being left
  bookPath_ = std::string(path);
  startPage_ = std::string(page);
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

void Reader::OpenRecent(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= recent_.Books().size()) return;
  const std::string path = recent_.Books()[static_cast<std::size_t>(index)].path;
  OpenFromPath(path);
}

std::string Reader::ResolveBookName(std::string_view name) const {
  // Another book is looked up beside the current one.
  namespace fs = std::filesystem;
  fs::path other{std::string(name)};
  if (other.is_relative()) other = fs::path(bookPath_).parent_path() / other;
  return other.lexically_normal().string();
}

bool Reader::SameBook(const std::string& path) const {
  // The same file, by its identity (device and inode), whatever the name.
  std::error_code error;
  return std::filesystem::equivalent(path, bookPath_, error) && !error;
}

bool Reader::OpenBookLink(const std::string& book, std::string_view page, std::string_view written) {
  if (SameBook(book)) {
    RevealPage();
    ShowBookPage(page.empty() ? std::string(book_->DefaultTopic()) : std::string(page));
    return true;
  }
  // A book that is not there leaves the one on screen open.
  std::error_code error;
  if (!std::filesystem::is_regular_file(book, error)) {
    platform_.ShowMessage(std::string(kNotInBookText) + CutToChars(written, kMaxLinkBytes), kNotInBookCaption,
                          MessageIcon::kExclamation);
    return true;
  }
  OpenFromPath(book, page);
  return true;
}

void Reader::ShowStartView() {
  if (!pageViewCreated_ || book_) return;
  ShowPanel(Panel::kHtml);
  platform_.ShowHtml(StartViewPage(recent_.Books()));
}

void Reader::OnStartLink(std::string_view link) {
  if (link == kStartOpenLink) {
    ChooseAndOpenBook();
    return;
  }
  const std::optional<std::string> decoded = DecodeBookAddress(link);
  if (!decoded) return;
  const std::string path = decoded->substr(0, decoded->rfind("::"));
  if (IsBookFileName(path)) OpenFromPath(path);
}

void Reader::ShowAbout() {
  // The system and machine it runs on, as the kernel names them.
  struct utsname system {};
  std::string platform = "Linux";
  if (uname(&system) == 0) platform = std::string(system.sysname) + " (" + system.machine + ")";
  const std::string name = std::string(kAboutName) + "\r" + FormatText(kAboutPlatform, platform.c_str());
  const std::string version = FormatText(kAboutVersion, TESSALY_VERSION);
  platform_.ShowAbout(AboutBox{name, kAboutLink, version, kAboutButton});
}

void Reader::ResetWindow() {
  restoreScroll_ = 0;
  // Whatever the previous book still had under way is dropped.
  ++generation_;
  opening_ = indexBuilding_ = searching_ = pageTextBuilding_ = false;
  windowTitle_ = std::string(kNoBookTitle);
  platform_.SetTitle(windowTitle_);

  book_.reset();
  panels_ = PanelSet{};
  platform_.SetPanels(panels_);
  rowNodes_.clear();
  nodeRows_.clear();
  rowImages_.clear();
  openRows_.clear();
  indexLines_.clear();
  indexEntries_.clear();
  resultPaths_.clear();
  resultWords_.clear();
  wordsToMark_.clear();
  ownSearchIndex_ = false;
  StopPageText();
  topicsFoundEntry_ = nullptr;
  swallowEnter_ = false;
  panel_ = Panel::kNone;
  platform_.ShowPanel(Panel::kNone);
  RefreshMenus();

  // The history stays: it runs across books.
  pagePath_.clear();
  address_.clear();
  if (busy_) {
    busy_ = false;
    platform_.EnableCommands(true);
  }
  RefreshButtons();
  ++pageSerial_;
  notices_.clear();
  noticed_.clear();
  platform_.HideNotice();
  if (!progressCaption_.empty()) HideProgress();
  platform_.SetCursor(Cursor::kNormal);
}

void Reader::OpenBook(std::string_view path) {
  std::string narrow(path);
  if (narrow.starts_with(kFilePrefix)) narrow.erase(0, kFilePrefix.size());
  // Pages are addressed by the book's absolute path.
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(narrow, error);
  if (!error && !narrow.empty()) narrow = absolute.lexically_normal().string();
  bookPath_ = narrow;

  ShowProgress(kContentsCreation, 0);
  platform_.SetCursor(Cursor::kWait);
  opening_ = true;

  const std::uint64_t generation = generation_;
  const TextCodec* codec = &platform_.Codec();
  workers_.RunBookJob([this, generation, narrow, codec] {
    auto opened = std::make_shared<OpenedBook>();
    opened->book = std::make_shared<Book>();
    Book& book = *opened->book;
    book.SetTextConverter(codec);
    opened->failure = FailureOf([&] { book.Open(narrow); });
    if (!opened->failure) {
      Deliver(generation, [this] { ShowProgress(kContentsCreation, 10); });
      // The contents as rows, depth-first in document order, without
      // recursion: contents may nest as deep as the book likes, and are
      // shown at most kMaxShownDepth levels deep.
      const ContentsTree& contents = book.Contents();
      struct Level {
        const TocNode* node;
        std::int32_t next;
        int row;
      };
      const std::int64_t total = contents.nodeCount > 0 ? contents.nodeCount : 1;
      int shown = 10;
      std::vector<Level> levels{{&contents.root, 0, -1}};
      while (!levels.empty()) {
        Level& level = levels.back();
        if (level.next >= level.node->children.Count()) {
          levels.pop_back();
          continue;
        }
        const TocNode* node = level.node->children.Get(level.next++);
        if (node == nullptr) continue;
        // Below the deepest shown level, entries go on at that level.
        const int depth = static_cast<int>(levels.size()) - 1;
        const int parent = levels[static_cast<std::size_t>(ShownDepth(depth))].row;
        const int row = static_cast<int>(opened->rows.size());
        opened->rows.push_back(
            {DisplayText(*codec, node->name, kMaxTreeTextChars, book.CodePage()), NodeImage(*node, contents), parent});
        opened->rowNodes.push_back(node);
        const int value = static_cast<int>(static_cast<std::int64_t>(opened->rows.size()) * 90 / total + 10);
        if (value % 10 == 0 && value != shown) {
          shown = value;
          Deliver(generation, [this, value] { ShowProgress(kContentsCreation, value); });
        }
        if (node->children.Count() > 0) levels.push_back({node, 0, row});
      }
    }
    Deliver(generation, [this, opened] { FinishOpen(opened); });
  });
}

void Reader::FinishOpen(const std::shared_ptr<OpenedBook>& opened) {
  opening_ = false;
  const bool starting = registerPending_;
  registerPending_ = false;
  if (opened->failure) {
    platform_.SetCursor(Cursor::kNormal);
    ShowBookError(*opened->failure);
    HideProgress();
    ResetWindow();
    ShowStartView();
    if (starting) RegisterInstance();
    return;
  }
  const Book& book = *opened->book;

  // A book without a title is called by its file's path, which is already
  // the file system's UTF-8, not book text.
  const std::string_view title = book.Title();
  if (title == book.File().fileName && IsUtf8(title)) {
    windowTitle_ = CutToChars(title, kMaxTitleChars);
  } else {
    windowTitle_ = DisplayText(title, kMaxTitleChars, book.CodePage());
  }

  // A reader that shows this book already takes over; this one closes.
  if (const InstanceId same = platform_.FindReaderByTitle(windowTitle_); same != 0) {
    platform_.RaiseReader(same);
    OnClose();
    return;
  }
  if (otherInstance_ != 0) {
    platform_.CloseReader(otherInstance_);
    otherInstance_ = 0;
  }
  platform_.SetTitle(windowTitle_);

  book_ = opened->book;
  rowNodes_ = std::move(opened->rowNodes);
  rowImages_.clear();
  for (const ContentsRow& row : opened->rows) rowImages_.push_back(row.image);
  nodeRows_.clear();
  for (std::size_t row = 0; row < rowNodes_.size(); ++row) nodeRows_[rowNodes_[row]] = static_cast<int>(row);

  // Every book can be searched: in its page text when it has no index of
  // its own.
  ownSearchIndex_ = book.ObjectSize("$FIftiMain") > 0;
  pageText_ = std::make_shared<PageTextSearch>();
  panels_ = PanelSet{HasContents(), !book.IndexFileName().empty(), true, kKeywordPrompt, kResultsPrompt, kDisplayButton,
                     kListTopicsButton};
  platform_.SetPanels(panels_);
  if (panels_.contents) {
    platform_.ShowContents(opened->rows, (book.Contents().windowStyles & kHasLinesStyle) != 0);
  }
  if (panels_.search) {
    platform_.EnableControl(Control::kListTopicsButton, false);
    platform_.EnableControl(Control::kSearchDisplayButton, false);
  }
  topicsFoundEntry_ = nullptr;
  indexPending_ = true;
  searchPending_ = true;

  // A book read before comes back at its text size and its page.
  if (IsUtf8(bookPath_)) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    recent_.Touch(bookPath_, windowTitle_, std::chrono::duration_cast<std::chrono::seconds>(now).count());
  }
  const RecentBook* known = recent_.Find(bookPath_);
  if (known != nullptr && known->textSize >= 0) textSize_ = known->textSize;
  std::string topic = startPage_;
  if (topic.empty() && known != nullptr) topic = known->page;
  // Reopened at the page it was left at: as far down as it was read.
  const int scroll = startPage_.empty() && known != nullptr ? known->scroll : 0;
  const std::string leftAt = known != nullptr ? known->page : std::string();
  // Both are UTF-8 (the command line, the stored values); the book's paths
  // are in its code page.
  if (!topic.empty()) topic = platform_.Codec().FromUtf8(topic, book.CodePage()).value_or(topic);
  if (topic.empty()) topic = std::string(book.DefaultTopic());
  startPage_.clear();

  PreparePageView();
  ShowPanel(Panel::kHtml);
  // Beside the page, the sidebar shows as it was left.
  if (layout_ == Layout::kSidebar && sidebarShown_ && SidebarTab() != Panel::kNone) {
    ChoosePanel(SidebarTab());
    platform_.FocusControl(Control::kPageView);
  }
  RefreshButtons();
  platform_.SetCursor(Cursor::kNormal);

  navigating_ = startFromHistory_;
  startFromHistory_ = false;
  ShowTopic(topic);
  if (scroll > 0 && DisplayText(pagePath_, kMaxLinkBytes) == leftAt) restoreScroll_ = scroll;
  navigating_ = false;
  SelectNodeOf(topic);

  HideProgress();
  platform_.WriteStoreValue(StoreKey::kPrev, kStoreRecentBooks, recent_.Serialize());
  platform_.AddRecentBook(bookPath_);
  RefreshMenus();
  if (starting) RegisterInstance();
}

}  // namespace tessaly::app
