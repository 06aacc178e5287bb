#include "app/book_export.h"

#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/book_jobs.h"
#include "app/book_session.h"
#include "app/book_tab.h"
#include "app/resources.h"
#include "book/book.h"
#include "convert/convert.h"
#if defined(TESSALY_WITH_PDF)
#include "pdf/pdf.h"
#endif

namespace tessaly::app {

namespace {

// Thrown through the convert layer once the export is cancelled.
struct ExportCancelled {};

// The book's text passes through here on its way out, page by page: the
// place to stop a cancelled export, and to count how far it has come (in
// bytes of text against the book's distinct bytes, pictures being left
// out).
class WatchedConverter final : public TextConverter {
 public:
  WatchedConverter(const TextConverter& inner, CancelFlag cancel, Progress progress, std::uint64_t total)
      : inner_(inner), cancel_(std::move(cancel)), progress_(std::move(progress)), total_(total == 0 ? 1 : total) {}

  std::optional<std::string> ToUtf8(std::string_view text, int codePage) const override {
    if (cancel_->load()) throw ExportCancelled{};
    const std::uint64_t done = converted_.fetch_add(text.size()) + text.size();
    const int percent = static_cast<int>(std::min<std::uint64_t>(90, done * 100 / total_)) / 10 * 10;
    if (percent > reported_.exchange(percent) && progress_) progress_(percent);
    return inner_.ToUtf8(text, codePage);
  }

 private:
  const TextConverter& inner_;
  CancelFlag cancel_;
  Progress progress_;
  std::uint64_t total_;
  mutable std::atomic<std::uint64_t> converted_{0};
  mutable std::atomic<int> reported_{0};
};

std::string NewPrintFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tessaly-print-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::filesystem::filesystem_error(
      "Can't make a folder for printing", std::error_code(errno, std::generic_category()));
  return pattern;
}

}  // namespace

// A PDF under way: the folder that holds its print document and the two
// prints of it (removed once the PDF is written or given up, and with the
// object at the latest), what the document holds, and the target.
struct PdfWork {
  PdfWork(std::string folder, std::string target) : folder(std::move(folder)), target(std::move(target)) {}
  ~PdfWork() { RemoveFolder(); }
  PdfWork(const PdfWork&) = delete;
  PdfWork& operator=(const PdfWork&) = delete;

  void RemoveFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
  std::string Marked() const { return folder + "/marked.pdf"; }
  std::string Printed() const { return folder + "/printed.pdf"; }

  const std::string folder;
  const std::string target;
  convert::PrintDocument document;
};

// Writes the book to its target, or (PDF) the document to print into a
// folder of its own.
class ExportJob final : public Job {
 public:
  ExportJob(CancelFlag cancel, std::shared_ptr<const Book> book, const TextCodec& codec, ExportChoice choice,
            std::string fromTopic, Progress progress)
      : Job(cancel),
        choice(std::move(choice)),
        book_(std::move(book)),
        converter_(codec, std::move(cancel), std::move(progress), book_->DistinctBytes()),
        fromTopic_(std::move(fromTopic)) {}

  void Run() override {
    std::error_code ignored;
    const bool existed = std::filesystem::exists(std::filesystem::symlink_status(choice.target, ignored));
    try {
      Catching([&] { Write(); });
    } catch (const ExportCancelled&) {
      cancelled = true;
    }
    if (!cancelled && !error_) return;
    pdf.reset();
    // What was made of a target that did not exist goes again; never
    // anything that was there before.
    if (!existed) std::filesystem::remove_all(choice.target, ignored);
  }

  const ExportChoice choice;
  bool cancelled = false;
  std::shared_ptr<PdfWork> pdf;  // PDF: the document written, to be printed

 private:
  void Write() {
    const Book& book = *book_;
    switch (choice.format) {
      case ExportFormat::kEpub: convert::WriteEpub(book, converter_, choice.target); return;
      case ExportFormat::kHtmlFolder: convert::WriteHtmlFolder(book, converter_, choice.target); return;
      case ExportFormat::kMarkdownFolder: convert::WriteMarkdownFolder(book, converter_, choice.target); return;
      case ExportFormat::kPdf: {
        pdf = std::make_shared<PdfWork>(NewPrintFolder(), choice.target);
        pdf->document = convert::WritePrintDocument(book, converter_, pdf->folder, fromTopic_);
        return;
      }
    }
  }

  std::shared_ptr<const Book> book_;
  WatchedConverter converter_;
  std::string fromTopic_;
};

// Writes the PDF from the two prints; a target that did not exist before
// goes again when the export was cancelled meanwhile.
class PdfFinishJob final : public Job {
 public:
  PdfFinishJob(CancelFlag cancel, std::shared_ptr<PdfWork> work) : Job(std::move(cancel)), work_(std::move(work)) {}

  void Run() override {
    std::error_code ignored;
    const bool existed = std::filesystem::exists(std::filesystem::symlink_status(work_->target, ignored));
#if defined(TESSALY_WITH_PDF)
    const pdf::Finished finished = pdf::FinishBookPdf(work_->document, work_->Marked(), work_->Printed(), work_->target);
    if (!finished.error.empty()) error_ = work_->target + ": " + finished.error;
#else
    error_ = "this build cannot write PDF (it was built without qpdf and poppler)";
#endif
    work_->RemoveFolder();
    if (Cancelled() && !error_ && !existed) std::filesystem::remove(work_->target, ignored);
  }

 private:
  std::shared_ptr<PdfWork> work_;
};

BookExport::~BookExport() { cancel_->store(true); }

void BookExport::Start() {
  BookSession* session = tab_.Session();
  if (running_ || session == nullptr) return;
  Platform& window = tab_.Host().Window();
  const std::string name = std::filesystem::path(session->Path()).stem().string();
  const TocNode* selected = tab_.Contents().SelectedNode();
  const std::optional<ExportChoice> choice =
      window.ChooseExport(ExportDialog{kExportTitle, kExportFormats, kExportButton,
                                       selected != nullptr ? kExportBranch : "", name});
  if (!choice || choice->target.empty()) return;
  // The branch goes by its entry's page, or by its name when it has none.
  std::string fromTopic;
  if (choice->branch && selected != nullptr) {
    fromTopic = !selected->local.empty() ? std::string(selected->local)
                                         : tab_.Text(selected->name, selected->name.size() + 1);
  }
  running_ = true;
  cancel_ = NewCancelFlag();
  auto job = std::make_shared<ExportJob>(cancel_, session->SharedBook(), tab_.Codec(), *choice, fromTopic,
                                         tab_.ProgressOf(kExporting, cancel_));
  tab_.ShowProgress(kExporting, 0);
  if (tab_.Host().IsCurrent(tab_)) window.OfferCancel(true);
  tab_.Jobs().Submit<ExportJob>(std::move(job), [this](ExportJob& done) { Finish(done); });
}

void BookExport::Finish(ExportJob& job) {
  if (job.Error()) return Failed(*job.Error());
  if (job.cancelled) return Done();
  if (job.choice.format != ExportFormat::kPdf) return Done();
  Print(job.pdf, true);
}

// The platform lays out the marked document, then the clean one, each to a
// PDF of its own in the work's folder; a job then writes the target from
// the two.
void BookExport::Print(const std::shared_ptr<PdfWork>& work, bool marked) {
  const CancelFlag cancel = cancel_;
  tab_.Host().Window().PrintToPdf(
      marked ? work->document.html : work->document.cleanHtml, marked ? work->Marked() : work->Printed(),
      [this, cancel, work, marked](std::optional<std::string> error) {
        if (cancel->load() || error) work->RemoveFolder();
        if (cancel->load()) return;
        if (error) return Failed(*error);
        if (marked) return Print(work, false);
        tab_.Jobs().Submit<PdfFinishJob>(std::make_shared<PdfFinishJob>(cancel, work), [this](PdfFinishJob& done) {
          if (done.Error()) return Failed(*done.Error());
          Done();
        });
      });
}

void BookExport::Failed(const std::string& error) {
  Done();
  tab_.Host().Window().ShowMessage(std::string(kExportFailed) + error, kExportCaption, MessageIcon::kError);
}

void BookExport::Done() {
  running_ = false;
  tab_.HideProgressOf(kExporting);
  if (tab_.Host().IsCurrent(tab_)) tab_.Host().Window().OfferCancel(false);
  tab_.Host().TabChanged(tab_);
}

void BookExport::Cancel() {
  if (!running_) return;
  cancel_->store(true);
  Done();
}

}  // namespace tessaly::app
