// RecentBooks: the books opened last, most recent first, each with the page
// it was left at and how far down it was read, its text size, its title and
// when it was last opened. Kept in the store as one value, a line per book:
// "<text size>\t<in-book page path>\t<book path>\t<title>\t<opened>\t<scroll>"
// (the last three may be missing, as lines of an older reader have them).
//
// At most kMax books; a line that does not parse is dropped, and so is a
// book whose file has gone (Load checks).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::app {

struct RecentBook {
  std::string path;
  std::string page;   // empty: none known
  int textSize = -1;  // -1: none known
  std::string title;  // UTF-8; empty: none known
  std::int64_t opened = 0;  // seconds since 1970; 0: not known
  int scroll = 0;           // how far down the page was read, in pixels
  bool operator==(const RecentBook&) const = default;
};

class RecentBooks {
 public:
  static constexpr std::size_t kMax = 10;

  // Reads the stored text; books whose file has gone are left out.
  void Load(std::string_view stored);
  std::string Serialize() const;

  const std::vector<RecentBook>& Books() const { return books_; }
  const RecentBook* Find(std::string_view path) const;
  // Moves the book to the front (adding it), keeping what is known of it,
  // with its title and when it was opened.
  void Touch(std::string_view path, std::string_view title, std::int64_t opened);
  // Records the page, how far down it was read and the text size of the
  // book (which must be listed).
  void Update(std::string_view path, std::string_view page, int scroll, int textSize);

 private:
  std::vector<RecentBook> books_;
};

}  // namespace tessaly::app
