// Printing a local HTML document to a PDF file with WebKitGTK's print
// operation: the engine that shows the pages lays them out, pictures,
// style sheets and all. It needs a display (an X server or Wayland; Xvfb
// serves). WebKit's PDF carries neither links nor an outline:
// pdf/pdf.h adds them from the marks printed with the document.
//
// The view runs no script and follows no navigation away from the document;
// what the document references is the caller's to confine (the print
// document references nothing but the files beside it).
#pragma once

#include <string>

namespace tessaly::cli {

struct PrintResult {
  bool ok = false;
  std::string error;  // why not, when not ok
};

// Prints the HTML file at `html` (an absolute path) to `pdf` (an absolute
// path; written by the print system). Initialises GTK when needed and runs
// its main loop until done.
PrintResult PrintToPdf(const std::string& html, const std::string& pdf);

}  // namespace tessaly::cli
