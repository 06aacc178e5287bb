// The parts of pdf/pdf.h, inside the pdf layer: the marks' text found on
// the pages with poppler, and the outline and the link annotations written
// into a file with qpdf.
#pragma once

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tessaly::pdf {

// Where a mark's text lies: page (from 0) and rectangle in PDF user space
// (origin at the page's lower left).
struct Place {
  int page = 0;
  double left = 0, bottom = 0, right = 0, top = 0;
};

// The first place of every mark (text of the form "zqx...xqz") on the pages;
// nothing when the file is no PDF that poppler reads.
std::optional<std::map<std::string, Place>> FindMarks(const std::string& pdf);

struct OutlineEntry {
  std::string title;  // UTF-8
  int depth = 0;
  Place place;        // where it leads
};

struct LinkAnnotation {
  Place area;          // what is clicked
  bool internal = true;
  Place target;        // for an internal link
  std::string address; // for a web or mail address
};

// Writes the PDF at `in` with the outline and the links added to `out`.
// Returns an empty text on success, else why not.
std::string FinishPdf(const std::string& in, std::FILE* out, const std::vector<OutlineEntry>& outline,
                      const std::vector<LinkAnnotation>& links);

}  // namespace tessaly::pdf
