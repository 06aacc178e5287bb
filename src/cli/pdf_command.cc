// convert BOOK OUT.pdf: the book, or one contents branch, printed by WebKit
// from the print document (convert.h), once with its marks to find where
// things landed and once without (pdf_printer.h), then the outline and links
// added to the second (pdf/pdf.h). Needs a display.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "base/book_error.h"
#include "book/book.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "cli/pdf_printer.h"
#include "convert/convert.h"
#include "pdf/pdf.h"

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
  PrintResult result = PrintToPdf(document.html, marked);
  if (result.ok) result = PrintToPdf(document.cleanHtml, printed);
  if (!result.ok) {
    std::fprintf(stderr, "tessaly-cli: cannot print %s: %s\n", Printable(out).c_str(), result.error.c_str());
    return 1;
  }
  const pdf::Finished finished = pdf::FinishBookPdf(document, marked, printed, out);
  if (!finished.error.empty()) {
    std::fprintf(stderr, "tessaly-cli: cannot write %s: %s\n", Printable(out).c_str(), finished.error.c_str());
    return 1;
  }
  std::printf("%s: %zu pages of the book, %zu contents entries, %zu links\n", Printable(out).c_str(),
              document.report.pages, finished.entries, finished.links);
  return 0;
}

}  // namespace tessaly::cli
