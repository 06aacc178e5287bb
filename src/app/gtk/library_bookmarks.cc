#include "app/gtk/library_bookmarks.h"

#include <cstring>
#include <string>

#include "app/library_texts.h"
#include "app/reader.h"

namespace tessaly::app::gtk {

namespace {

// The model: the row's place in the list the reader gave, then the columns.
enum Column { kRow, kName, kBook, kPage, kColumnCount };

bool HoldsFolded(const gchar* text, const gchar* foldedNeedle) {
  if (text == nullptr) return false;
  g_autofree gchar* folded = g_utf8_casefold(text, -1);
  return std::strstr(folded, foldedNeedle) != nullptr;
}

}  // namespace

void GtkBookmarks::Close() {
  reader_ = nullptr;
  if (dialog_ != nullptr) gtk_widget_destroy(dialog_);
  dialog_ = nullptr;
}

void GtkBookmarks::Build() {
  dialog_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(dialog_), std::string(kBookmarksViewTitle).c_str());
  gtk_window_set_default_size(GTK_WINDOW(dialog_), 720, 420);
  if (window_ != nullptr) gtk_window_set_transient_for(GTK_WINDOW(dialog_), GTK_WINDOW(window_));
  gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog_), TRUE);
  g_signal_connect(dialog_, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer self) {
                     auto* marks = static_cast<GtkBookmarks*>(self);
                     marks->dialog_ = marks->list_ = marks->filter_ = nullptr;
                     marks->filtered_ = nullptr;
                     marks->nameColumn_ = nullptr;
                   }),
                   this);

  GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
  gtk_container_set_border_width(GTK_CONTAINER(column), 4);
  filter_ = gtk_search_entry_new();
  g_signal_connect(filter_, "search-changed", G_CALLBACK(+[](GtkSearchEntry*, gpointer self) {
                     auto* marks = static_cast<GtkBookmarks*>(self);
                     if (marks->filtered_ != nullptr) gtk_tree_model_filter_refilter(GTK_TREE_MODEL_FILTER(marks->filtered_));
                   }),
                   this);

  list_ = gtk_tree_view_new();
  gtk_tree_view_set_enable_search(GTK_TREE_VIEW(list_), FALSE);
  for (int i = kName; i < kColumnCount; ++i) {
    GtkCellRenderer* text = gtk_cell_renderer_text_new();
    g_object_set(text, "ellipsize", PANGO_ELLIPSIZE_END, nullptr);
    if (i == kName) {
      g_object_set(text, "editable", TRUE, nullptr);
      g_signal_connect(text, "edited", G_CALLBACK(OnEdited), this);
    }
    GtkTreeViewColumn* view = gtk_tree_view_column_new_with_attributes(std::string(kBookmarkColumns[i - kName]).c_str(),
                                                                       text, "text", i, nullptr);
    gtk_tree_view_column_set_resizable(view, TRUE);
    gtk_tree_view_column_set_expand(view, TRUE);
    gtk_tree_view_append_column(GTK_TREE_VIEW(list_), view);
    if (i == kName) nameColumn_ = view;
  }
  g_signal_connect(list_, "row-activated", G_CALLBACK(+[](GtkTreeView*, GtkTreePath*, GtkTreeViewColumn* column, gpointer self) {
                     auto* marks = static_cast<GtkBookmarks*>(self);
                     // A double click on the name renames in place; elsewhere it opens.
                     if (column != marks->nameColumn_ && marks->reader_ != nullptr) {
                       marks->reader_->Library().OnBookmarkActivated(marks->SelectedRow());
                     }
                   }),
                   this);
  g_signal_connect(list_, "key-press-event", G_CALLBACK(+[](GtkWidget*, GdkEventKey* event, gpointer self) -> gboolean {
                     auto* marks = static_cast<GtkBookmarks*>(self);
                     if (marks->reader_ == nullptr) return FALSE;
                     if (event->keyval == GDK_KEY_Delete) {
                       marks->reader_->Library().OnBookmarkDeleted(marks->SelectedRow());
                       return TRUE;
                     }
                     if (event->keyval == GDK_KEY_F2) {
                       marks->Rename();
                       return TRUE;
                     }
                     return FALSE;
                   }),
                   this);
  GtkWidget* scroll = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_container_add(GTK_CONTAINER(scroll), list_);

  GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
  const auto button = [&](std::string_view label, GCallback pressed) {
    GtkWidget* made = gtk_button_new_with_mnemonic(std::string(label).c_str());
    g_signal_connect(made, "clicked", pressed, this);
    gtk_box_pack_start(GTK_BOX(buttons), made, FALSE, FALSE, 0);
  };
  button(kBookmarkOpen, G_CALLBACK(+[](GtkButton*, gpointer self) {
           auto* marks = static_cast<GtkBookmarks*>(self);
           if (marks->reader_ != nullptr) marks->reader_->Library().OnBookmarkActivated(marks->SelectedRow());
         }));
  button(kBookmarkRename, G_CALLBACK(+[](GtkButton*, gpointer self) { static_cast<GtkBookmarks*>(self)->Rename(); }));
  button(kBookmarkDelete, G_CALLBACK(+[](GtkButton*, gpointer self) {
           auto* marks = static_cast<GtkBookmarks*>(self);
           if (marks->reader_ != nullptr) marks->reader_->Library().OnBookmarkDeleted(marks->SelectedRow());
         }));
  gtk_box_pack_start(GTK_BOX(column), filter_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(column), scroll, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(column), buttons, FALSE, FALSE, 0);
  gtk_container_add(GTK_CONTAINER(dialog_), column);
}

void GtkBookmarks::Show(std::span<const BookmarkRow> rows, bool present) {
  if (dialog_ == nullptr && !present) return;
  if (dialog_ == nullptr) Build();
  GtkListStore* store = gtk_list_store_new(kColumnCount, G_TYPE_INT, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING);
  int index = 0;
  for (const BookmarkRow& row : rows) {
    gtk_list_store_insert_with_values(store, nullptr, -1, kRow, index++, kName, row.name.c_str(), kBook,
                                      row.book.c_str(), kPage, row.page.c_str(), -1);
  }
  filtered_ = gtk_tree_model_filter_new(GTK_TREE_MODEL(store), nullptr);
  gtk_tree_model_filter_set_visible_func(GTK_TREE_MODEL_FILTER(filtered_), IsVisible, this, nullptr);
  gtk_tree_view_set_model(GTK_TREE_VIEW(list_), filtered_);
  g_object_unref(filtered_);  // the view holds it
  g_object_unref(store);
  if (!present) return;
  gtk_widget_show_all(dialog_);
  gtk_window_present(GTK_WINDOW(dialog_));
}

int GtkBookmarks::SelectedRow() const {
  GtkTreeModel* model = nullptr;
  GtkTreeIter iter;
  if (list_ == nullptr ||
      !gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(list_)), &model, &iter)) {
    return -1;
  }
  int row = -1;
  gtk_tree_model_get(model, &iter, kRow, &row, -1);
  return row;
}

void GtkBookmarks::Rename() {
  GtkTreeModel* model = nullptr;
  GtkTreeIter iter;
  if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(list_)), &model, &iter)) return;
  GtkTreePath* path = gtk_tree_model_get_path(model, &iter);
  gtk_tree_view_set_cursor(GTK_TREE_VIEW(list_), path, nameColumn_, TRUE);
  gtk_tree_path_free(path);
}

void GtkBookmarks::OnEdited(GtkCellRendererText*, gchar* path, gchar* text, gpointer self) {
  auto* marks = static_cast<GtkBookmarks*>(self);
  GtkTreeIter iter;
  if (marks->reader_ == nullptr || marks->filtered_ == nullptr ||
      !gtk_tree_model_get_iter_from_string(marks->filtered_, &iter, path)) {
    return;
  }
  int row = -1;
  gtk_tree_model_get(marks->filtered_, &iter, kRow, &row, -1);
  marks->reader_->Library().OnBookmarkRenamed(row, text);
}

gboolean GtkBookmarks::IsVisible(GtkTreeModel* model, GtkTreeIter* iter, gpointer self) {
  auto* marks = static_cast<GtkBookmarks*>(self);
  const gchar* typed = gtk_entry_get_text(GTK_ENTRY(marks->filter_));
  if (typed == nullptr || *typed == '\0') return TRUE;
  g_autofree gchar* needle = g_utf8_casefold(typed, -1);
  g_autofree gchar* name = nullptr;
  g_autofree gchar* book = nullptr;
  g_autofree gchar* page = nullptr;
  gtk_tree_model_get(model, iter, kName, &name, kBook, &book, kPage, &page, -1);
  return HoldsFolded(name, needle) || HoldsFolded(book, needle) || HoldsFolded(page, needle);
}

}  // namespace tessaly::app::gtk
