#include "app/gtk/library_widgets.h"

#include <cstring>
#include <iterator>

#include "app/gtk/gtk_tab.h"
#include "app/library_texts.h"
#include "app/reader.h"
#include "base/book_error.h"

namespace tessaly::app::gtk {

namespace {

// The Library view's model: the row's place in the list the reader gave,
// then the columns shown, then the size as a number (its column sorts by
// it) and whether the book is damaged.
enum BookColumn { kRow, kTitle, kLanguage, kSizeText, kWhere, kState, kSize, kDamaged, kColumnCount };

std::string SizeText(std::uint64_t size) {
  if (size >= 1024 * 1024) return FormatText("%.1f MB", static_cast<double>(size) / (1024.0 * 1024.0));
  if (size >= 1024) return FormatText("%llu KB", static_cast<unsigned long long>(size / 1024));
  return FormatText("%llu bytes", static_cast<unsigned long long>(size));
}

bool HoldsFolded(const gchar* text, const gchar* foldedNeedle) {
  if (text == nullptr) return false;
  g_autofree gchar* folded = g_utf8_casefold(text, -1);
  return std::strstr(folded, foldedNeedle) != nullptr;
}

}  // namespace

GtkLibrary::GtkLibrary() {
  bar_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  g_object_ref_sink(bar_);
  query_ = gtk_search_entry_new();
  gtk_entry_set_placeholder_text(GTK_ENTRY(query_), std::string(kLibrarySearchPlaceholder).c_str());
  gtk_widget_set_margin_start(query_, 4);
  gtk_widget_set_margin_end(query_, 4);
  gtk_widget_set_margin_top(query_, 2);
  gtk_widget_set_margin_bottom(query_, 2);
  g_signal_connect(query_, "search-changed", G_CALLBACK(OnQueryChanged), this);
  g_signal_connect(query_, "activate", G_CALLBACK(OnQueryActivate), this);
  g_signal_connect(query_, "key-press-event", G_CALLBACK(OnQueryKey), this);

  // The results: a list of some lines' height, under the field.
  resultsBox_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  note_ = gtk_label_new("");
  gtk_widget_set_halign(note_, GTK_ALIGN_START);
  gtk_widget_set_margin_start(note_, 8);
  resultsScroll_ = gtk_scrolled_window_new(nullptr, nullptr);
  GtkWidget* scroll = resultsScroll_;
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroll), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
  gtk_widget_set_size_request(scroll, -1, 220);
  results_ = gtk_tree_view_new();
  gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(results_), FALSE);
  gtk_tree_view_set_activate_on_single_click(GTK_TREE_VIEW(results_), TRUE);
  GtkCellRenderer* text = gtk_cell_renderer_text_new();
  g_object_set(text, "ellipsize", PANGO_ELLIPSIZE_END, nullptr);
  gtk_tree_view_append_column(GTK_TREE_VIEW(results_),
                              gtk_tree_view_column_new_with_attributes("", text, "markup", 1, nullptr));
  g_signal_connect(results_, "row-activated", G_CALLBACK(OnResultActivated), this);
  gtk_container_add(GTK_CONTAINER(scroll), results_);
  gtk_widget_show(results_);
  gtk_box_pack_start(GTK_BOX(resultsBox_), note_, FALSE, FALSE, 2);
  gtk_box_pack_start(GTK_BOX(resultsBox_), scroll, FALSE, FALSE, 0);
  gtk_widget_set_no_show_all(resultsBox_, TRUE);

  gtk_box_pack_start(GTK_BOX(bar_), query_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(bar_), resultsBox_, FALSE, FALSE, 0);
  // The bar shows when asked for (Ctrl+K), like a find bar.
  gtk_widget_show(query_);
  gtk_widget_set_no_show_all(bar_, TRUE);
}

GtkLibrary::~GtkLibrary() {
  Close();
  g_object_unref(bar_);
}

void GtkLibrary::Close() {
  reader_ = nullptr;
  if (libraryWindow_ != nullptr) gtk_widget_destroy(libraryWindow_);
  libraryWindow_ = nullptr;
  bookmarks_.Close();
  watch_.Stop();
}

// --- The search field ---------------------------------------------------------------

std::string GtkLibrary::QueryText() const { return gtk_entry_get_text(GTK_ENTRY(query_)); }

void GtkLibrary::SetQueryText(std::string_view text) {
  ++settingQuery_;
  gtk_entry_set_text(GTK_ENTRY(query_), std::string(text).c_str());
  gtk_editable_set_position(GTK_EDITABLE(query_), -1);
  --settingQuery_;
}

void GtkLibrary::FocusQuery() {
  gtk_widget_show(bar_);
  gtk_widget_grab_focus(query_);
  gtk_editable_select_region(GTK_EDITABLE(query_), 0, -1);
}

void GtkLibrary::ShowResults(std::span<const LibraryResultLine> lines, std::string_view note) {
  GtkListStore* store = NewResultsStore();
  for (const LibraryResultLine& line : lines) {
    // The page's title with the book's after it, then the snippet.
    ResultLine shown{line.title + "  \u2014  " + line.book, line.hits, line.snippet};
    gtk_list_store_insert_with_values(store, nullptr, -1, 0, shown.title.c_str(), 1, ResultMarkup(shown).c_str(), -1);
  }
  gtk_tree_view_set_model(GTK_TREE_VIEW(results_), GTK_TREE_MODEL(store));
  g_object_unref(store);
  gtk_label_set_text(GTK_LABEL(note_), std::string(note).c_str());
  gtk_widget_set_visible(note_, !note.empty());
  gtk_widget_set_visible(resultsScroll_, !lines.empty());
  gtk_widget_set_visible(resultsBox_, !lines.empty() || !note.empty());
}

void GtkLibrary::OnQueryChanged(GtkSearchEntry*, gpointer self) {
  auto* library = static_cast<GtkLibrary*>(self);
  if (library->settingQuery_ > 0 || library->reader_ == nullptr) return;
  library->reader_->Bar().OnQueryChanged();
}

void GtkLibrary::OnQueryActivate(GtkEntry*, gpointer self) {
  auto* library = static_cast<GtkLibrary*>(self);
  if (library->reader_ != nullptr) library->reader_->Bar().OnEnter();
}

gboolean GtkLibrary::OnQueryKey(GtkWidget*, GdkEventKey* event, gpointer self) {
  auto* library = static_cast<GtkLibrary*>(self);
  if (library->reader_ == nullptr) return FALSE;
  switch (event->keyval) {
    case GDK_KEY_Up: library->reader_->Bar().OnHistory(1); return TRUE;
    case GDK_KEY_Down: library->reader_->Bar().OnHistory(-1); return TRUE;
    case GDK_KEY_Escape:
      // Escape hides the results, then the empty bar.
      if (gtk_widget_get_visible(library->resultsBox_)) {
        gtk_widget_hide(library->resultsBox_);
      } else {
        gtk_widget_hide(library->bar_);
      }
      return TRUE;
    default: return FALSE;
  }
}

void GtkLibrary::OnResultActivated(GtkTreeView*, GtkTreePath* path, GtkTreeViewColumn*, gpointer self) {
  auto* library = static_cast<GtkLibrary*>(self);
  if (library->reader_ == nullptr) return;
  const gint* indices = gtk_tree_path_get_indices(path);
  if (indices != nullptr) library->reader_->Bar().OnResultActivated(indices[0]);
}

// --- The Library view ------------------------------------------------------------------

void GtkLibrary::BuildLibraryWindow() {
  libraryWindow_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(libraryWindow_), std::string(kLibraryViewTitle).c_str());
  gtk_window_set_default_size(GTK_WINDOW(libraryWindow_), 900, 520);
  if (window_ != nullptr) gtk_window_set_transient_for(GTK_WINDOW(libraryWindow_), GTK_WINDOW(window_));
  gtk_window_set_destroy_with_parent(GTK_WINDOW(libraryWindow_), TRUE);
  g_signal_connect(libraryWindow_, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer self) {
                     auto* library = static_cast<GtkLibrary*>(self);
                     library->libraryWindow_ = nullptr;
                     library->books_ = nullptr;
                     library->filtered_ = nullptr;
                   }),
                   this);

  GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
  filter_ = gtk_search_entry_new();
  gtk_entry_set_placeholder_text(GTK_ENTRY(filter_), std::string(kLibraryFilterPlaceholder).c_str());
  g_signal_connect(filter_, "search-changed", G_CALLBACK(OnFilterChanged), this);
  GtkWidget* add = gtk_button_new_with_mnemonic("_Add Folder...");
  g_signal_connect(add, "clicked", G_CALLBACK(OnAddFolder), this);
  gtk_box_pack_start(GTK_BOX(row), filter_, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(row), add, FALSE, FALSE, 0);
  gtk_container_set_border_width(GTK_CONTAINER(row), 4);

  GtkWidget* scroll = gtk_scrolled_window_new(nullptr, nullptr);
  books_ = gtk_tree_view_new();
  gtk_tree_view_set_enable_search(GTK_TREE_VIEW(books_), FALSE);
  g_signal_connect(books_, "row-activated", G_CALLBACK(OnBookActivated), this);
  const int shown[] = {kTitle, kLanguage, kSizeText, kWhere, kState};
  const int sortBy[] = {kTitle, kLanguage, kSize, kWhere, kState};
  for (std::size_t i = 0; i < std::size(shown); ++i) {
    GtkCellRenderer* text = gtk_cell_renderer_text_new();
    g_object_set(text, "ellipsize", PANGO_ELLIPSIZE_END, nullptr);
    GtkTreeViewColumn* view = gtk_tree_view_column_new_with_attributes(
        std::string(kLibraryColumns[i]).c_str(), text, "text", shown[i], "foreground-set", kDamaged, nullptr);
    g_object_set(text, "foreground", "#c01c28", nullptr);
    gtk_tree_view_column_set_resizable(view, TRUE);
    gtk_tree_view_column_set_expand(view, shown[i] == kTitle || shown[i] == kWhere);
    gtk_tree_view_column_set_sort_column_id(view, sortBy[i]);
    gtk_tree_view_append_column(GTK_TREE_VIEW(books_), view);
  }
  gtk_container_add(GTK_CONTAINER(scroll), books_);
  gtk_box_pack_start(GTK_BOX(column), row, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(column), scroll, TRUE, TRUE, 0);
  gtk_container_add(GTK_CONTAINER(libraryWindow_), column);
}

void GtkLibrary::ShowBooks(std::span<const LibraryRow> rows) {
  if (libraryWindow_ == nullptr) BuildLibraryWindow();
  GtkListStore* store = gtk_list_store_new(kColumnCount, G_TYPE_INT, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING,
                                           G_TYPE_STRING, G_TYPE_STRING, G_TYPE_UINT64, G_TYPE_BOOLEAN);
  int index = 0;
  for (const LibraryRow& row : rows) {
    gtk_list_store_insert_with_values(store, nullptr, -1, kRow, index++, kTitle, row.title.c_str(), kLanguage,
                                      row.language.c_str(), kSizeText, SizeText(row.size).c_str(), kWhere,
                                      row.where.c_str(), kState, row.state.c_str(), kSize,
                                      static_cast<guint64>(row.size), kDamaged, row.damaged ? TRUE : FALSE, -1);
  }
  // Filtered as the person types, sorted by the column chosen.
  filtered_ = gtk_tree_model_filter_new(GTK_TREE_MODEL(store), nullptr);
  gtk_tree_model_filter_set_visible_func(GTK_TREE_MODEL_FILTER(filtered_), IsBookVisible, this, nullptr);
  GtkTreeModel* sorted = gtk_tree_model_sort_new_with_model(filtered_);
  gtk_tree_view_set_model(GTK_TREE_VIEW(books_), sorted);
  g_object_unref(sorted);
  g_object_unref(filtered_);  // the sorted model holds it
  g_object_unref(store);
  gtk_widget_show_all(libraryWindow_);
  gtk_window_present(GTK_WINDOW(libraryWindow_));
}

gboolean GtkLibrary::IsBookVisible(GtkTreeModel* model, GtkTreeIter* iter, gpointer self) {
  auto* library = static_cast<GtkLibrary*>(self);
  const gchar* typed = gtk_entry_get_text(GTK_ENTRY(library->filter_));
  if (typed == nullptr || *typed == '\0') return TRUE;
  g_autofree gchar* needle = g_utf8_casefold(typed, -1);
  g_autofree gchar* title = nullptr;
  g_autofree gchar* where = nullptr;
  gtk_tree_model_get(model, iter, kTitle, &title, kWhere, &where, -1);
  return HoldsFolded(title, needle) || HoldsFolded(where, needle);
}

void GtkLibrary::OnFilterChanged(GtkSearchEntry*, gpointer self) {
  auto* library = static_cast<GtkLibrary*>(self);
  if (library->filtered_ != nullptr) gtk_tree_model_filter_refilter(GTK_TREE_MODEL_FILTER(library->filtered_));
}

void GtkLibrary::OnBookActivated(GtkTreeView* view, GtkTreePath* path, GtkTreeViewColumn*, gpointer self) {
  auto* library = static_cast<GtkLibrary*>(self);
  GtkTreeModel* model = gtk_tree_view_get_model(view);
  GtkTreeIter iter;
  if (library->reader_ == nullptr || !gtk_tree_model_get_iter(model, &iter, path)) return;
  int row = -1;
  gtk_tree_model_get(model, &iter, kRow, &row, -1);
  library->reader_->Library().OnBookActivated(row);
}

void GtkLibrary::OnAddFolder(GtkButton*, gpointer self) {
  auto* library = static_cast<GtkLibrary*>(self);
  if (library->reader_ != nullptr) library->reader_->OnCommand(kCmdAddFolder);
}

void GtkLibrary::WatchFolders(std::span<const std::string> folders) {
  watch_.Watch(folders, [this] {
    if (reader_ != nullptr) reader_->Library().OnFoldersChanged();
  });
}

std::optional<std::string> GtkLibrary::ChooseFolder() {
  GtkWidget* dialog = gtk_file_chooser_dialog_new(std::string(kAddFolderTitle).c_str(), nullptr,
                                                  GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "_Cancel",
                                                  GTK_RESPONSE_CANCEL, "_Add", GTK_RESPONSE_ACCEPT, nullptr);
  GtkWidget* parent = libraryWindow_ != nullptr && gtk_widget_get_visible(libraryWindow_) ? libraryWindow_ : window_;
  if (parent != nullptr) gtk_window_set_transient_for(GTK_WINDOW(dialog), GTK_WINDOW(parent));
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  gtk_file_chooser_set_local_only(GTK_FILE_CHOOSER(dialog), TRUE);
  std::optional<std::string> chosen;
  if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
    if (gchar* folder = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog))) {
      chosen = std::string(folder);
      g_free(folder);
    }
  }
  gtk_widget_destroy(dialog);
  return chosen;
}

}  // namespace tessaly::app::gtk
