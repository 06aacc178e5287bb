#include "app/library_bar.h"

#include "app/limits.h"
#include "app/platform.h"
#include "app/resources.h"
#include "app/utf8.h"

namespace tessaly::app {

namespace {

constexpr std::string_view kHistoryField = "library";
constexpr std::string_view kNoLibrary = "The library cannot be kept on this desktop.";

}  // namespace

LibraryBar::LibraryBar(Platform& platform, JobScheduler& jobs, std::shared_ptr<KeptLibrarySearch> kept,
                       LibraryDesk::OpenPage open)
    : platform_(platform), jobs_(jobs), kept_(std::move(kept)), open_(std::move(open)),
      history_(platform, jobs, std::string(kHistoryField)) {}

LibraryBar::~LibraryBar() {
  cancel_->store(true);
  if (search_) search_->store(true);
}

void LibraryBar::Start() { history_.Load(); }

void LibraryBar::Focus() { platform_.Library().FocusQuery(); }

void LibraryBar::OnQueryChanged() {
  history_.Restart();
  Search(CutToChars(platform_.Library().QueryText(), kMaxEditChars));
}

void LibraryBar::Search(const std::string& query) {
  // A newer query drops the one under way: its results never show.
  if (search_) search_->store(true);
  search_ = NewCancelFlag();
  pages_.clear();
  if (query.find_first_not_of(" \t") == std::string::npos) {
    platform_.Library().ShowResults({}, "");
    return;
  }
  const std::optional<std::filesystem::path> store = platform_.LibraryFile();
  if (!store) {
    platform_.Library().ShowResults({}, kNoLibrary);
    return;
  }
  LibraryPlace place{*store, platform_.PageTextFolder(), &platform_.Codec()};
  auto job = std::make_shared<LibrarySearchJob>(search_, place, kept_, query);
  const CancelFlag gone = cancel_;
  jobs_.Submit<LibrarySearchJob>(std::move(job), [this, gone](LibrarySearchJob& done) {
    if (gone->load()) return;
    if (done.Error()) {
      platform_.Library().ShowResults({}, *done.Error());
      return;
    }
    pages_ = std::move(done.pages);
    std::vector<LibraryResultLine> lines;
    for (const LibraryPage& page : pages_) lines.push_back({page.bookTitle, page.title, page.hits, page.snippet});
    platform_.Library().ShowResults(lines, pages_.empty() ? kNoTopicsFound : std::string_view());
  });
}

void LibraryBar::OnEnter() {
  const std::string query = CutToChars(platform_.Library().QueryText(), kMaxEditChars);
  if (query.find_first_not_of(" \t") != std::string::npos) history_.Keep(query);
}

void LibraryBar::OnResultActivated(int line) {
  if (line < 0 || static_cast<std::size_t>(line) >= pages_.size()) return;
  const LibraryPage page = pages_[static_cast<std::size_t>(line)];
  OnEnter();
  open_(page.book, page.page);
}

void LibraryBar::OnHistory(int step) {
  const std::optional<std::string> query = history_.Step(step);
  if (!query) return;
  platform_.Library().SetQueryText(*query);
  Search(*query);
}

}  // namespace tessaly::app
