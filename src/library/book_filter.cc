#include "library/book_filter.h"

#include <filesystem>

#include "base/text.h"
#include "library/library.h"

namespace tessaly::library {

namespace {

std::string Folded(std::string_view text) {
  std::string folded(text);
  LowerCaseInPlace(folded);
  return folded;
}

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

bool BookMatches(std::string_view word, std::string_view title, std::string_view path) {
  const std::string folded = Folded(word);
  return Folded(title).find(folded) != std::string::npos ||
         Folded(std::filesystem::path(path).filename().string()).find(folded) != std::string::npos;
}

bool NamesBook(std::string_view book, std::string_view title, std::string_view path) {
  if (book.empty()) return true;
  const bool byPath = book.find('/') != std::string_view::npos ||
                      (book.size() > 4 && EqualNoCase(book.substr(book.size() - 4), ".chm"));
  if (!byPath) return BookMatches(book, title, path);
  return LibraryPath(book) == path;
}

BookFilter SplitBookFilter(std::string_view query, const std::function<bool(std::string_view)>& matches) {
  const std::string_view typed = Trimmed(query);
  const std::size_t colon = typed.find(':');
  if (colon == std::string_view::npos) return {{}, std::string(typed)};
  const std::string_view word = typed.substr(0, colon);
  const std::string_view after = typed.substr(colon + 1);
  const bool plainWord = word.size() >= 2 && word.find_first_of(" \t\"*") == std::string_view::npos &&
                         word.front() != '-' && word.find_first_not_of("0123456789") != std::string_view::npos;
  const bool queryFollows = !after.empty() && after.front() != ':' && after.front() != '/' && after.front() != '\\' &&
                            !Trimmed(after).empty();
  if (plainWord && queryFollows && matches(word)) return {std::string(word), std::string(Trimmed(after))};
  return {{}, std::string(typed)};
}

}  // namespace tessaly::library
