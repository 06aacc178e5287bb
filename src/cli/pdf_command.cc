// convert BOOK OUT.pdf: the book, or one contents branch, printed by WebKit
// from the print document (convert.h), once with its marks to find where
// things landed and once without, then the outline and links added to the
// second (src/pdf). Needs a display.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <string>

#include "base/book_error.h"
#include "base/safe_files.h"
#include "book/book.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "convert/convert.h"
#include "pdf/pdf_finishing.h"
#include "pdf/pdf_printer.h"

namespace tessaly::cli {

namespace {

namespace fs = std::filesystem;

// A private folder (0700) for the print document, removed with the object.
class WorkFolder {
 public:
  WorkFolder() {
    const char* base = std::getenv("XDG_RUNTIME_DIR");
    if (base == nullptr || *base != '/') base = std::getenv("TMPDIR");
    if (base == nullptr || *base != '/') base = "/tmp";
    std::string pattern = std::string(base) + "/tessaly-print-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~WorkFolder() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

int ConvertToPdf(const Book& book, const std::string& out, const std::string& from) {
  WorkFolder work;
  if (work.Path().empty()) {
    std::fprintf(stderr, "tessaly-cli: cannot make a work folder: %s\n", std::strerror(errno));
    return 1;
  }
  const convert::PrintDocument document = convert::WritePrintDocument(book, Converter(), work.Path(), from);
  // The marked document tells where things landed; the reader gets the same
  // layout without the marks.
  const std::string marked = work.Path() + "/marked.pdf";
  const std::string printed = work.Path() + "/printed.pdf";
  pdf::PrintResult result = pdf::PrintToPdf(document.html, marked);
  if (result.ok) result = pdf::PrintToPdf(document.cleanHtml, printed);
  if (!result.ok) {
    std::fprintf(stderr, "tessaly-cli: cannot print %s: %s\n", Printable(out).c_str(), result.error.c_str());
    return 1;
  }
  const std::map<std::string, pdf::Place> marks = pdf::FindMarks(marked);
  std::vector<pdf::OutlineEntry> outline;
  // An entry without a page of its own leads where the next one does.
  std::optional<pdf::Place> next;
  for (auto it = document.entries.rbegin(); it != document.entries.rend(); ++it) {
    if (const auto found = marks.find(it->mark); found != marks.end()) next = found->second;
    outline.push_back({it->title, it->depth, next.value_or(pdf::Place{})});
  }
  std::reverse(outline.begin(), outline.end());
  std::vector<pdf::LinkAnnotation> links;
  for (const convert::PrintDocument::Link& link : document.links) {
    const auto start = marks.find(link.startMark);
    const auto end = marks.find(link.endMark);
    if (start == marks.end() || end == marks.end()) continue;
    pdf::Place area = start->second;
    // The link's text runs from its start mark to its end mark; when it wraps,
    // the first line is taken.
    if (end->second.page == area.page && end->second.bottom < area.top && end->second.top > area.bottom &&
        end->second.right > area.left)
      area.right = end->second.right;
    area.top = area.bottom + std::max(area.top - area.bottom, 10.0);
    if (link.targetMark.empty()) {
      links.push_back({area, false, {}, link.address});
    } else if (const auto target = marks.find(link.targetMark); target != marks.end()) {
      links.push_back({area, true, target->second, {}});
    }
  }
  const std::size_t slash = out.rfind('/');
  FolderHandle folder = FolderHandle::Open(slash == std::string::npos ? "." : slash == 0 ? "/" : out.substr(0, slash), true);
  OwnedFile file = folder.IsOpen() ? CreateFileIn(folder, slash == std::string::npos ? out : out.substr(slash + 1)) : nullptr;
  if (file == nullptr) {
    std::fprintf(stderr, "tessaly-cli: cannot write %s: %s\n", Printable(out).c_str(), std::strerror(errno));
    return 1;
  }
  if (const std::string error = pdf::FinishPdf(printed, file.get(), outline, links); !error.empty()) {
    std::fprintf(stderr, "tessaly-cli: cannot write %s: %s\n", Printable(out).c_str(), error.c_str());
    return 1;
  }
  std::printf("%s: %zu pages of the book, %zu contents entries, %zu links\n", Printable(out).c_str(),
              document.report.pages, outline.size(), links.size());
  return 0;
}

}  // namespace tessaly::cli
