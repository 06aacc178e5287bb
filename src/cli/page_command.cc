// page: prepares one topic into a folder exactly as the reader shows it (the
// page file with its tags rewritten, and the copies beside it) and prints the
// address the reader would load.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "book/book.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "pages/pages.h"

namespace tessaly::cli {

namespace {

namespace fs = std::filesystem;

void PrintError(std::string_view message) {
  const std::string shown = Printable(message, true);
  std::fwrite(shown.data(), 1, shown.size(), stderr);
  if (shown.empty() || shown.back() != '\n') std::fputc('\n', stderr);
}

// The page view of the command line: frames are prepared through the same
// cache; book errors go to standard error; nothing is opened with the system.
class CliPagePlatform : public PagePlatform {
 public:
  void Attach(PageCache& cache) { cache_ = &cache; }

  bool OpenExternal(std::string_view) override { return false; }
  void ReportMissingLink(std::string_view link) override { missing_ = std::string(link); }
  void ShowError(std::string_view message) override {
    ++errors_;
    PrintError(message);
  }
  void ReportMissingPart(std::string_view message) override { ShowError(message); }
  bool ShowPage(std::string_view link) override { return cache_ != nullptr && cache_->PreparePage(link); }
  bool ShowImages() const override { return true; }

  const std::string& Missing() const { return missing_; }
  int Errors() const { return errors_; }

 private:
  PageCache* cache_ = nullptr;
  std::string missing_;
  int errors_ = 0;
};

}  // namespace

int RunPage(const Args& args) {
  // The book as a path, a file: or ms-its: address, or BOOK.chm::/PATH, which
  // also names the page when PATH is not given.
  const std::optional<BookAddress> address = ParseBookAddress(args[0], IsBookFile);
  std::string page = args.size() == 3 ? args[1] : std::string();
  if (args.size() == 2) {
    if (!address || address->page.empty()) {
      std::fprintf(stderr, "tessaly-cli page: '%s' names no page: give BOOK PATH DIR or BOOK.chm::/PATH DIR\n",
                   Printable(args[0]).c_str());
      return 2;
    }
    // A link from the book's root, escaped so that it names exactly this path.
    page = "/" + EncodeUrlPath(address->page);
    if (!address->fragment.empty()) page += "#" + address->fragment;
  }
  const std::string& folderArg = args.back();

  Book book;
  OpenBook(book, address ? address->book : args[0]);

  // The address printed must be absolute, as the reader's folder is.
  std::error_code error;
  fs::create_directories(folderArg, error);
  if (error) {
    std::fprintf(stderr, "tessaly-cli: cannot create %s: %s\n", folderArg.c_str(), error.message().c_str());
    return 1;
  }
  const fs::path folder = fs::absolute(folderArg, error).lexically_normal();
  if (error) {
    std::fprintf(stderr, "tessaly-cli: cannot resolve %s: %s\n", folderArg.c_str(), error.message().c_str());
    return 1;
  }

  CliPagePlatform platform;
  History history;
  PageCache cache(platform, history, folder.string());
  platform.Attach(cache);
  cache.SetBook(&book, book.DistinctBytes());

  if (cache.PreparePage(page)) {
    std::printf("%s\n", cache.CurrentPageFile().c_str());
    return 0;
  }
  if (!platform.Missing().empty()) {
    std::fprintf(stderr, "tessaly-cli: %s is not in the book\n", Printable(platform.Missing()).c_str());
  } else if (cache.CreatedCount() == 0 && !cache.LastFilePath().empty() && platform.Errors() == 0) {
    std::fprintf(stderr, "tessaly-cli: cannot write %s\n", cache.LastFilePath().c_str());
  } else if (platform.Errors() == 0) {
    std::fprintf(stderr, "tessaly-cli: no page to prepare at '%s'\n", Printable(page).c_str());
  }
  return 1;
}

}  // namespace tessaly::cli
