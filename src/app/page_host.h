// PageHost: what page preparation asks of the reader (PagePlatform), on the
// page lane. Nothing here reaches the platform: what a page job met (links
// the book lacks, book errors, addresses for the desktop, missing parts, the
// page files to load) is gathered into its PageOutcome, which the interface
// thread shows when the job is back (Reader::ApplyPage).
#pragma once

#include <string>
#include <unordered_set>
#include <string_view>
#include <vector>

#include "pages/page_platform.h"

namespace tessaly::app {

class Reader;

struct PageOutcome {
  enum class Kind { kMissingLink, kError, kExternal };
  struct Event {
    Kind kind;
    std::string text;  // as page preparation gave it (book text)
  };
  std::vector<Event> events;          // in the order they happened
  std::vector<std::string> notices;   // missing parts (book error texts), each once
  std::unordered_set<std::string> noticed;
  std::vector<std::string> addresses; // page files for the view, in order
  bool prepared = false;              // the page asked for is ready
  // The lane's state once the job is done.
  std::string file;
  std::string path;
  int historyPosition = 0;
  int historyCount = 0;
};

class PageHost : public PagePlatform {
 public:
  explicit PageHost(Reader& reader) : reader_(reader) {}

  // The job that runs now, and the images setting it runs with.
  void Begin(PageOutcome* outcome, bool showImages) {
    outcome_ = outcome;
    showImages_ = showImages;
  }
  void End() { outcome_ = nullptr; }
  int& Depth() { return depth_; }

  bool OpenExternal(std::string_view address) override;
  void ReportMissingLink(std::string_view link) override;
  void ShowError(std::string_view message) override;
  void ReportMissingPart(std::string_view message) override;
  bool ShowPage(std::string_view link) override;
  bool ShowImages() const override { return showImages_; }

 private:
  void Add(PageOutcome::Kind kind, std::string_view text);

  Reader& reader_;
  PageOutcome* outcome_ = nullptr;
  bool showImages_ = true;
  int depth_ = 0;
};

}  // namespace tessaly::app
