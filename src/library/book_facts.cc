#include "library/book_facts.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "base/book_error.h"
#include "base/utf8.h"
#include "book/book.h"
#include "textindex/text_index.h"

namespace tessaly::library {

std::string Utf8(const TextConverter& converter, std::string_view text, int codePage) {
  if (std::optional<std::string> utf8 = converter.ToUtf8(text, codePage)) return RepairUtf8(*utf8);
  return RepairUtf8(text);
}

std::string HashOf(const std::string& path, std::string& reason) {
  // The system's reason, when it refuses the file.
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    std::fclose(file);
  } else {
    reason = std::string("Can't open ") + path + ": " + std::strerror(errno);
    return {};
  }
  try {
    return textindex::HexDigestOfFile(path);
  } catch (const textindex::TextIndexError& error) {
    reason = error.what();
    return {};
  }
}

BookFacts ReadFacts(const std::string& path, std::string sha256, const TextConverter& converter) {
  BookFacts facts;
  facts.title = std::filesystem::path(path).stem().string();
  facts.sha256 = std::move(sha256);
  try {
    Book book;
    book.SetTextConverter(&converter);
    book.Open(path);
    if (book.Title() != path && !book.Title().empty()) facts.title = Utf8(converter, book.Title(), book.CodePage());
    facts.languageId = book.LanguageId();
  } catch (const BookError& error) {
    int system = 0;
    for (const BookError* step = &error; step != nullptr && system == 0; step = step->Inner()) {
      system = step->SystemError();
    }
    facts.readability = error.Kind() == ErrorKind::kIo && system != 0 ? Readability::kUnreadable
                                                                       : Readability::kDamaged;
    facts.reason = RepairUtf8(error.Message());
    while (!facts.reason.empty() && facts.reason.back() == '\n') facts.reason.pop_back();
    if (system != 0) facts.reason += std::string(" (") + std::strerror(system) + ")";
  }
  return facts;
}

}  // namespace tessaly::library
