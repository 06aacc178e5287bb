#include "cli/output.h"

#include <cstring>

#include "base/book_error.h"
#include "book/book.h"
#include "cli/json_writer.h"
#include "codec/codec.h"

namespace tessaly::cli {

namespace {

const IconvCodec& Codec() {
  // The reader's own codec: the tool prints book text as the window shows it.
  static const IconvCodec codec;
  return codec;
}

}  // namespace

const TextConverter& Converter() { return Codec(); }

std::optional<std::string> TextInBook(const Book& book, std::string_view utf8) {
  return Codec().FromUtf8(utf8, book.CodePage());
}

std::string BookText(const Book& book, std::string_view text) {
  std::optional<std::string> converted = Converter().ToUtf8(text, book.CodePage());
  return converted ? *converted : std::string(text);
}

void OpenBook(Book& book, const std::string& path) {
  book.SetTextConverter(&Converter());
  book.Open(path);
}

std::string Printable(std::string_view text, bool keepLineBreaks) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  const auto escape = [&](const char* prefix, unsigned char byte) {
    out += prefix;
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
  };
  for (std::size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80) {
      if ((byte < 0x20 && !(keepLineBreaks && byte == '\n')) || byte == 0x7F) {
        escape("\\x", byte);
      } else {
        out += static_cast<char>(byte);
      }
      ++at;
      continue;
    }
    std::size_t skip = 0;
    const std::size_t length = json_detail::Utf8SequenceLength(text, at, &skip);
    if (length == 0) {
      for (std::size_t i = 0; i < skip; ++i) escape("\\x", static_cast<unsigned char>(text[at + i]));
      at += skip;
    } else if (length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0) {
      escape("\\u00", static_cast<unsigned char>(text[at + 1]));  // C1 control
      at += 2;
    } else {
      out.append(text, at, length);
      at += length;
    }
  }
  return out;
}

void Flush(std::string& out) {
  std::fwrite(out.data(), 1, out.size(), stdout);
  out.clear();
}

void WarnOfDepth(const char* treeNests, int deepest) {
  if (deepest < kMaxShownDepth) return;
  std::fprintf(stderr, "tessaly-cli: the %s %d levels deep; what lies below level %d is shown at level %d.\n",
               treeNests, deepest + 1, kMaxShownDepth, kMaxShownDepth);
}

std::string ErrorReport(const BookError& error) {
  std::string report = Printable(error.Message(), true);
  int system = 0;
  for (const BookError* step = &error; step != nullptr && system == 0; step = step->Inner())
    system = step->SystemError();
  if (system != 0) {
    // "Can't open chm file: X." says what; the system says why.
    while (!report.empty() && report.back() == '\n') report.pop_back();
    report = "tessaly-cli: " + report + " (" + std::strerror(system) + ")";
  }
  if (report.empty() || report.back() != '\n') report += '\n';
  return report;
}

}  // namespace tessaly::cli
