// BookExport: File > Export of a tab's book. The user chooses a format and
// a target (Platform::ChooseExport); a job writes the book there through
// the convert layer (EPUB, a folder of HTML or of Markdown), or writes the
// document a PDF is printed from (the whole book or the branch of the
// selected contents entry), which the platform prints twice, with the marks
// that tell where things landed and without; a last job writes the clean
// print to the file with the contents as its outline and the links as PDF
// links (the pdf layer).
// Progress shows in the progress line with a Cancel button; Cancel stops
// the job at its next page and removes what it wrote of a target that did
// not exist before. What failed is said in a message box. One export runs
// per tab; closing the tab cancels it.
#pragma once

#include <memory>
#include <string>

#include "app/jobs.h"
#include "app/platform.h"

namespace tessaly::app {

class BookTab;
class ExportJob;
struct PdfWork;

class BookExport {
 public:
  explicit BookExport(BookTab& tab) : tab_(tab) {}
  ~BookExport();
  BookExport(const BookExport&) = delete;
  BookExport& operator=(const BookExport&) = delete;

  // Asks for a format and a target, then starts the export.
  void Start();
  void Cancel();
  bool Running() const { return running_; }

 private:
  void Finish(ExportJob& job);
  void Print(const std::shared_ptr<PdfWork>& work, bool marked);
  void Failed(const std::string& error);
  void Done();

  BookTab& tab_;
  CancelFlag cancel_ = NewCancelFlag();
  bool running_ = false;
};

}  // namespace tessaly::app
