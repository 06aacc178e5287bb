// What the window shows of the user's library, behind one narrow view: the
// search field above the tabs with its results (each a book, a page title, a
// snippet), and the Library view of the books. The platform reports the
// person's actions to the Reader's LibraryBar and LibraryDesk.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tessaly::app {

// A result of a search across the books; the snippet marks found words
// between kMarkOpen and kMarkClose (views.h).
struct LibraryResultLine {
  std::string book;   // the book's title
  std::string title;  // the page's
  int hits = 0;
  std::string snippet;
};

// A book of the library as the Library view lists it.
struct LibraryRow {
  std::string title;
  std::string language;  // a name ("English (United States)") or the id in hex
  std::uint64_t size = 0;
  std::string where;     // the file's path
  std::string state;     // "indexed", "not indexed", or why it cannot be read
  bool damaged = false;
};

// A bookmark as the Bookmarks window lists it.
struct BookmarkRow {
  std::string name;
  std::string book;  // the book's file
  std::string page;
};

class LibraryView {
 public:
  virtual ~LibraryView() = default;
  // --- The search field above the tabs -------------------------------------
  virtual std::string QueryText() const = 0;
  virtual void SetQueryText(std::string_view text) = 0;  // reports no change
  virtual void FocusQuery() = 0;
  // The results under the field (empty: none, the note says why).
  virtual void ShowResults(std::span<const LibraryResultLine> lines, std::string_view note) = 0;
  // --- The Library view --------------------------------------------------------
  // Shows the view (raised when it shows already) with these books; it
  // filters and sorts them itself.
  virtual void ShowBooks(std::span<const LibraryRow> rows) = 0;
  // A folder the user chose to add, or nullopt when cancelled.
  virtual std::optional<std::string> ChooseFolder() = 0;
  // Watches these folders (in place of those watched before) while the
  // reader runs: a `.chm` file made, changed, moved or removed in one is
  // reported to LibraryDesk::OnFoldersChanged, once for a burst of them.
  virtual void WatchFolders(std::span<const std::string> folders) = 0;
  // --- The Bookmarks window -------------------------------------------------------
  // Every book's bookmarks, newest first; the window shows (raised) when
  // `present`, else only its rows change when it shows. The person opens,
  // renames and deletes them there (LibraryDesk's OnBookmark...).
  virtual void ShowBookmarks(std::span<const BookmarkRow> rows, bool present) = 0;
};

}  // namespace tessaly::app
