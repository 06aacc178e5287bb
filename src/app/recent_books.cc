#include "app/recent_books.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <system_error>

#include "base/text.h"

namespace tessaly::app {

namespace {

bool FileExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

}  // namespace

void RecentBooks::Load(std::string_view stored) {
  books_.clear();
  while (!stored.empty() && books_.size() < kMax) {
    const std::size_t end = std::min(stored.find('\n'), stored.size());
    const std::string_view line = stored.substr(0, end);
    stored.remove_prefix(std::min(end + 1, stored.size()));
    const std::size_t tab1 = line.find('\t');
    const std::size_t tab2 = tab1 == std::string_view::npos ? tab1 : line.find('\t', tab1 + 1);
    if (tab2 == std::string_view::npos) continue;
    RecentBook book;
    int size = -1;
    const auto [ptr, error] = std::from_chars(line.data(), line.data() + tab1, size);
    if (error == std::errc() && ptr == line.data() + tab1 && size >= 0 && size <= 4) book.textSize = size;
    book.page = std::string(line.substr(tab1 + 1, tab2 - tab1 - 1));
    std::string_view rest = line.substr(tab2 + 1);
    const std::size_t tab3 = rest.find('\t');
    book.path = std::string(rest.substr(0, tab3));
    if (tab3 != std::string_view::npos) {
      rest.remove_prefix(tab3 + 1);
      const std::size_t tab4 = rest.find('\t');
      book.title = std::string(rest.substr(0, tab4));
      if (tab4 != std::string_view::npos) {
        std::string_view times = rest.substr(tab4 + 1);
        const std::size_t tab5 = times.find('\t');
        std::from_chars(times.data(), times.data() + std::min(tab5, times.size()), book.opened);
        if (tab5 != std::string_view::npos) {
          times.remove_prefix(tab5 + 1);
          std::from_chars(times.data(), times.data() + times.size(), book.scroll);
          if (book.scroll < 0) book.scroll = 0;
        }
      }
    }
    if (book.path.empty() || Find(book.path) != nullptr || !FileExists(book.path)) continue;
    books_.push_back(std::move(book));
  }
}

std::string RecentBooks::Serialize() const {
  std::string out;
  for (const RecentBook& book : books_) {
    if (!out.empty()) out += '\n';
    out += std::to_string(book.textSize < 0 ? -1 : book.textSize);
    out += '\t';
    out += book.page;
    out += '\t';
    out += book.path;
    out += '\t';
    out += book.title;
    out += '\t';
    out += std::to_string(book.opened);
    out += '\t';
    out += std::to_string(book.scroll);
  }
  return out;
}

const RecentBook* RecentBooks::Find(std::string_view path) const {
  const auto found = std::find_if(books_.begin(), books_.end(), [&](const RecentBook& b) { return b.path == path; });
  return found == books_.end() ? nullptr : &*found;
}

void RecentBooks::Touch(std::string_view path, std::string_view title, std::int64_t opened) {
  // Paths with a line break or tab cannot be kept in the list's lines.
  if (path.empty() || path.find_first_of("\t\n") != std::string_view::npos) return;
  RecentBook book{std::string(path), {}, -1, {}, 0, 0};
  const auto found = std::find_if(books_.begin(), books_.end(), [&](const RecentBook& b) { return b.path == path; });
  if (found != books_.end()) {
    book = *found;
    books_.erase(found);
  }
  // A title is kept on one line of the list.
  book.title.clear();
  for (const char c : title) book.title += (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
  book.opened = opened;
  books_.insert(books_.begin(), std::move(book));
  if (books_.size() > kMax) books_.resize(kMax);
}

void RecentBooks::Update(std::string_view path, std::string_view page, int scroll, int textSize) {
  for (RecentBook& book : books_) {
    if (book.path != path) continue;
    if (page.find_first_of("\t\n") == std::string_view::npos) book.page = std::string(page);
    book.scroll = std::max(scroll, 0);
    book.textSize = textSize;
  }
}

}  // namespace tessaly::app
