// GtkBookmarks: the Bookmarks window (Library > Organize Bookmarks...), a
// window of its own beside the main one: every book's bookmarks newest
// first (name, book, page), a filter as you type over the three, and Open,
// Rename and Delete. A name is renamed in place (double click on it, F2 or
// Rename); Delete or the Delete key takes the bookmark out. Events go to
// the Reader's LibraryDesk by the row as the reader gave it.
#pragma once

#include <gtk/gtk.h>

#include <span>

#include "app/library_views.h"

namespace tessaly::app {
class Reader;
}

namespace tessaly::app::gtk {

class GtkBookmarks {
 public:
  GtkBookmarks() = default;
  ~GtkBookmarks() { Close(); }
  GtkBookmarks(const GtkBookmarks&) = delete;
  GtkBookmarks& operator=(const GtkBookmarks&) = delete;

  void Attach(Reader& reader, GtkWidget* window) {
    reader_ = &reader;
    window_ = window;
  }
  void Close();
  // LibraryView::ShowBookmarks.
  void Show(std::span<const BookmarkRow> rows, bool present);

 private:
  void Build();
  int SelectedRow() const;  // the reader's row; -1 for none
  void Rename();
  static void OnEdited(GtkCellRendererText* cell, gchar* path, gchar* text, gpointer self);
  static gboolean IsVisible(GtkTreeModel* model, GtkTreeIter* iter, gpointer self);

  Reader* reader_ = nullptr;
  GtkWidget* window_ = nullptr;
  GtkWidget* dialog_ = nullptr;
  GtkWidget* filter_ = nullptr;
  GtkWidget* list_ = nullptr;
  GtkTreeViewColumn* nameColumn_ = nullptr;
  GtkTreeModel* filtered_ = nullptr;
};

}  // namespace tessaly::app::gtk
