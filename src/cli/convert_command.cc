// convert: a book taken out as an EPUB 3 book, a folder of plain HTML or a
// folder of Markdown (src/convert).
#include <cstdio>
#include <string>
#include <string_view>

#include "book/book.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "convert/convert.h"

namespace tessaly::cli {

namespace {

struct ConvertCall {
  std::string book;
  std::string out;
  bool html = false;
  bool markdown = false;
  std::string from;
};

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    char c = text[text.size() - suffix.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

int Usage(const char* why) {
  std::fprintf(stderr, "tessaly-cli convert: %s\n", why);
  std::fprintf(stderr, "Usage: tessaly-cli convert BOOK OUT.epub | BOOK OUT.pdf [--from TOPIC] | BOOK DIR --html | BOOK DIR --markdown\n");
  return 2;
}

void PrintReport(const convert::ConvertReport& report, const std::string& out) {
  for (const std::string& warning : report.warnings) {
    std::string shown = Printable("tessaly-cli: " + warning, true);
    if (shown.back() != '\n') shown += '\n';
    std::fputs(shown.c_str(), stderr);
  }
  std::printf("%s: %zu pages, %zu files\n", Printable(out).c_str(), report.pages, report.files);
}

}  // namespace

int RunConvert(const Args& args) {
  ConvertCall call;
  std::vector<std::string> operands;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--html") call.html = true;
    else if (args[i] == "--markdown") call.markdown = true;
    else if (args[i] == "--from=" && i + 1 < args.size()) call.from = args[++i];
    else operands.push_back(args[i]);
  }
  if (operands.size() != 2) return Usage("name one book and one output");
  call.book = operands[0];
  call.out = operands[1];
  if (call.html && call.markdown) return Usage("--html and --markdown exclude each other");
  const bool epub = EndsWithNoCase(call.out, ".epub") && !call.html && !call.markdown;
  const bool pdf = EndsWithNoCase(call.out, ".pdf") && !call.html && !call.markdown;
  if (!epub && !pdf && !call.html && !call.markdown)
    return Usage("say what to write: OUT.epub, OUT.pdf, or a folder with --html or --markdown");
  if (!call.from.empty() && !pdf) return Usage("--from is taken by PDF output only");

  Book book;
  OpenBook(book, call.book);
  if (pdf) {
#ifdef TESSALY_WITH_PDF
    return ConvertToPdf(book, call.out, call.from);
#else
    std::fprintf(stderr, "tessaly-cli: this build cannot write PDF (it was built without WebKitGTK and qpdf)\n");
    return 1;
#endif
  }
  convert::ConvertReport report;
  if (epub) report = convert::WriteEpub(book, Converter(), call.out);
  else if (call.html) report = convert::WriteHtmlFolder(book, Converter(), call.out);
  else report = convert::WriteMarkdownFolder(book, Converter(), call.out);
  PrintReport(report, call.out);
  return 0;
}

}  // namespace tessaly::cli
