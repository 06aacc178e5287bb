// A book's PDF from the two prints of its print document
// (convert::PrintDocument): the print with the marks tells where each
// contents entry, each link and each link's target landed (poppler reads
// the marks' text off its pages); the print without them is written out
// with the contents as the PDF's outline (bookmarks) and the links as link
// annotations (qpdf). The prints themselves are the caller's, made by the
// engine that shows the pages: nothing here needs a display.
#pragma once

#include <cstddef>
#include <string>

namespace tessaly::convert {
struct PrintDocument;
}

namespace tessaly::pdf {

struct Finished {
  std::string error;           // why the file was not written; empty when it was
  std::size_t entries = 0;     // outline entries written
  std::size_t links = 0;       // link annotations written
};

// Writes the book's PDF to `out` from the prints `marked` (of
// document.html) and `printed` (of document.cleanHtml). The file is made
// beside `out` under another name and renamed to it once whole, so a
// failure leaves whatever stood at `out` as it was, and a link standing
// there is replaced, never written through.
Finished FinishBookPdf(const convert::PrintDocument& document, const std::string& marked, const std::string& printed,
                       const std::string& out);

}  // namespace tessaly::pdf
