#include "cli/output.h"

#include "book/book.h"
#include "codec/iconv_codec.h"

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

}  // namespace tessaly::cli
