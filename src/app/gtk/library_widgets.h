// GtkLibrary: the library's parts of the window on GTK. The search field
// sits above the tabs, shown when asked for (Ctrl+K) as a find bar is, its
// results in a list under it while there are any (Up and Down in the field
// recall earlier queries, Escape hides the results and then the field,
// Enter keeps the query); the Library view is a window of its own
// beside the main one: a filter entry (as you type, over title and place),
// the books in columns that sort by a click on their header, and an Add
// Folder... button. The Bookmarks window (library_bookmarks.h) and the
// watch on the library's folders (library_watch.h) hang here too. Events
// go to the Reader's LibraryBar and LibraryDesk.
#pragma once

#include <gtk/gtk.h>

#include <optional>
#include <string>

#include "app/gtk/library_bookmarks.h"
#include "app/gtk/library_watch.h"
#include "app/library_views.h"

namespace tessaly::app {
class Reader;
}

namespace tessaly::app::gtk {

class GtkLibrary final : public LibraryView {
 public:
  // The search field and its results (packed by the platform above the tabs).
  GtkLibrary();
  ~GtkLibrary() override;
  GtkLibrary(const GtkLibrary&) = delete;
  GtkLibrary& operator=(const GtkLibrary&) = delete;

  void Attach(Reader& reader, GtkWidget* window) {
    reader_ = &reader;
    window_ = window;
    bookmarks_.Attach(reader, window);
  }
  GtkWidget* Bar() const { return bar_; }
  // The window is going: the Library view goes with it.
  void Close();

  std::string QueryText() const override;
  void SetQueryText(std::string_view text) override;
  void FocusQuery() override;
  void ShowResults(std::span<const LibraryResultLine> lines, std::string_view note) override;
  void ShowBooks(std::span<const LibraryRow> rows) override;
  std::optional<std::string> ChooseFolder() override;
  void ShowBookmarks(std::span<const BookmarkRow> rows, bool present) override { bookmarks_.Show(rows, present); }
  void WatchFolders(std::span<const std::string> folders) override;

 private:
  void BuildLibraryWindow();
  static void OnQueryChanged(GtkSearchEntry* entry, gpointer self);
  static void OnQueryActivate(GtkEntry* entry, gpointer self);
  static gboolean OnQueryKey(GtkWidget* entry, GdkEventKey* event, gpointer self);
  static void OnResultActivated(GtkTreeView* view, GtkTreePath* path, GtkTreeViewColumn* column, gpointer self);
  static void OnFilterChanged(GtkSearchEntry* entry, gpointer self);
  static gboolean IsBookVisible(GtkTreeModel* model, GtkTreeIter* iter, gpointer self);
  static void OnBookActivated(GtkTreeView* view, GtkTreePath* path, GtkTreeViewColumn* column, gpointer self);
  static void OnAddFolder(GtkButton* button, gpointer self);

  Reader* reader_ = nullptr;
  GtkWidget* window_ = nullptr;
  int settingQuery_ = 0;  // the reader sets the text: no event

  GtkWidget* bar_ = nullptr;
  GtkWidget* query_ = nullptr;
  GtkWidget* resultsBox_ = nullptr;
  GtkWidget* resultsScroll_ = nullptr;
  GtkWidget* results_ = nullptr;
  GtkWidget* note_ = nullptr;

  GtkWidget* libraryWindow_ = nullptr;
  GtkWidget* filter_ = nullptr;
  GtkWidget* books_ = nullptr;
  GtkTreeModel* filtered_ = nullptr;

  GtkBookmarks bookmarks_;
  FolderWatch watch_;
};

}  // namespace tessaly::app::gtk
