// GtkTab: the sidebar's panels (the contents tree, the Index and Search
// controls), the page beside them with its notice bar and find bar.
#include "app/gtk/gtk_tab.h"

#include <malloc.h>

#include <algorithm>

#include "app/gtk/contents_model.h"
#include "app/gtk/desktop_paths.h"
#include "app/gtk/gtk_platform.h"
#include "app/gtk/images.h"
#include "app/resources.h"
#include "base/book_error.h"

namespace tessaly::app::gtk {

namespace {

// The most characters of a book's title a tab's label shows.
constexpr gint kLabelChars = 28;

// When the page view cannot be confined to the book's pages, it shows none.
constexpr std::string_view kPagesUnconfined =
    "Pages cannot be shown: the page view's filter could not be installed.";

// Rows put into the tree per turn of the event loop: the window keeps
// drawing while a large book's contents go in.

// Tree store columns.

GtkWidget* Scrolled(GtkWidget* child) {
  GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrolled), GTK_SHADOW_IN);
  gtk_container_add(GTK_CONTAINER(scrolled), child);
  gtk_widget_set_vexpand(scrolled, TRUE);
  return scrolled;
}

GtkWidget* NewTextList() {
  GtkWidget* view = gtk_tree_view_new();
  gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(view), FALSE);
  gtk_tree_view_set_enable_search(GTK_TREE_VIEW(view), FALSE);
  GtkCellRenderer* text = gtk_cell_renderer_text_new();
  g_object_set(text, "ellipsize", PANGO_ELLIPSIZE_END, nullptr);
  GtkTreeViewColumn* column = gtk_tree_view_column_new_with_attributes("", text, "text", 0, nullptr);
  gtk_tree_view_column_set_sizing(column, GTK_TREE_VIEW_COLUMN_FIXED);
  gtk_tree_view_append_column(GTK_TREE_VIEW(view), column);
  gtk_tree_view_set_fixed_height_mode(GTK_TREE_VIEW(view), TRUE);
  return view;
}

GtkWidget* Label() {
  GtkWidget* label = gtk_label_new("");
  gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
  gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
  return label;
}

GtkWidget* RightAligned(GtkWidget* button) {
  gtk_widget_set_halign(button, GTK_ALIGN_END);
  return button;
}

}  // namespace

GtkTab::GtkTab(GtkPlatform& window, BookTab& tab) : window_(window), tab_(tab) {
  paned_ = gtk_paned_new(GTK_ORIENTATION_HORIZONTAL);
  g_object_ref_sink(paned_);
  g_signal_connect(paned_, "notify::position", G_CALLBACK(OnPanedPosition), this);
  BuildPanels();
  BuildPage();
  gtk_widget_show(paned_);

  // The tab's label: the book's title; a middle click on it closes the tab.
  labelBox_ = gtk_event_box_new();
  g_object_ref_sink(labelBox_);
  gtk_event_box_set_visible_window(GTK_EVENT_BOX(labelBox_), FALSE);
  label_ = gtk_label_new("");
  gtk_label_set_ellipsize(GTK_LABEL(label_), PANGO_ELLIPSIZE_END);
  gtk_label_set_max_width_chars(GTK_LABEL(label_), kLabelChars);
  gtk_container_add(GTK_CONTAINER(labelBox_), label_);
  g_signal_connect(labelBox_, "button-press-event", G_CALLBACK(GtkPlatform::OnTabLabelButton), &window_);
  gtk_widget_show_all(labelBox_);
}

GtkTab::~GtkTab() {
  // The page view first: no page event reaches a tab half gone.
  closing_ = true;
  g_signal_handlers_disconnect_by_data(pageArea_, this);
  EndPicture();
  retiring_.reset();
  pageView_.reset();
  window_.TabGone(this);
  g_signal_handlers_disconnect_by_data(paned_, this);
  gtk_widget_destroy(paned_);
  g_object_unref(paned_);
  gtk_widget_destroy(labelBox_);
  g_object_unref(labelBox_);
  for (auto& [control, store] : listStores_) g_object_unref(store);
  if (treeModel_ != nullptr) g_object_unref(treeModel_);
}

bool GtkTab::Live() const { return !window_.destroyed_ && window_.reader_ != nullptr && !closing_; }

void GtkTab::SetLabel(std::string_view text) {
  const std::string label(text);
  gtk_label_set_text(GTK_LABEL(label_), label.c_str());
  // An ellipsized label asks for almost no room: it asks for its title's
  // length, up to the most a tab shows, so that the row does not cut it to
  // a letter or two.
  const glong chars = g_utf8_strlen(label.c_str(), -1);
  gtk_label_set_width_chars(GTK_LABEL(label_), static_cast<gint>(std::min<glong>(chars, kLabelChars)));
  gtk_widget_set_tooltip_text(labelBox_, label.c_str());
}

bool GtkTab::CloseFindBar() {
  if (findBar_ == nullptr || !gtk_widget_get_visible(findBar_)) return false;
  gtk_widget_hide(findBar_);
  if (pageView_) {
    webkit_find_controller_search_finish(webkit_web_view_get_find_controller(WEBKIT_WEB_VIEW(pageView_->Widget())));
    gtk_widget_grab_focus(pageView_->Widget());
  }
  return true;
}

void GtkTab::Report(Control control, ControlEvent event) {
  if (!Live()) return;
  switch (control) {
    case Control::kIndexEdit:
      if (event == ControlEvent::kActivated) tab_.Index().OnEnter();
      if (event == ControlEvent::kTextChanged) tab_.Index().OnTextChanged();
      return;
    case Control::kIndexList:
      if (event == ControlEvent::kSelectionChanged) tab_.Index().OnSelectionChanged();
      if (event == ControlEvent::kDoubleClicked) tab_.Index().OnDisplay();
      return;
    case Control::kIndexDisplayButton:
      if (event == ControlEvent::kClicked) tab_.Index().OnDisplay();
      return;
    case Control::kSearchEdit:
      if (event == ControlEvent::kActivated) tab_.Search().OnEnter();
      if (event == ControlEvent::kTextChanged) tab_.Search().OnTextChanged();
      return;
    case Control::kListTopicsButton:
      if (event == ControlEvent::kClicked) tab_.Search().OnListTopics();
      return;
    case Control::kResultsList:
      if (event == ControlEvent::kDoubleClicked) tab_.Search().OnDisplay();
      return;
    case Control::kSearchDisplayButton:
      if (event == ControlEvent::kClicked) tab_.Search().OnDisplay();
      return;
    default: return;
  }
}

std::optional<Control> GtkTab::ControlOf(GObject* widget) const {
  for (int i = 0; i < kControlCount; ++i) {
    const ControlWidgets& c = controls_[static_cast<std::size_t>(i)];
    if (G_OBJECT(c.inner) == widget || G_OBJECT(c.outer) == widget) return static_cast<Control>(i);
  }
  return std::nullopt;
}

void GtkTab::BuildPanels() {
  sidebar_ = gtk_notebook_new();
  gtk_notebook_set_scrollable(GTK_NOTEBOOK(sidebar_), TRUE);
  const auto control = [this](Control which, GtkWidget* outer, GtkWidget* inner) {
    Widgets(which) = ControlWidgets{outer, inner};
    return outer;
  };

  // Contents.
  GtkWidget* tree = gtk_tree_view_new();
  gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(tree), FALSE);
  gtk_tree_view_set_enable_search(GTK_TREE_VIEW(tree), TRUE);
  gtk_tree_view_set_search_column(GTK_TREE_VIEW(tree), kContentsText);
  GtkTreeViewColumn* column = gtk_tree_view_column_new();
  GtkCellRenderer* picture = gtk_cell_renderer_pixbuf_new();
  GtkCellRenderer* text = gtk_cell_renderer_text_new();
  gtk_tree_view_column_pack_start(column, picture, FALSE);
  gtk_tree_view_column_pack_start(column, text, TRUE);
  gtk_tree_view_column_add_attribute(column, picture, "pixbuf", kContentsPicture);
  gtk_tree_view_column_add_attribute(column, text, "text", kContentsText);
  gtk_tree_view_append_column(GTK_TREE_VIEW(tree), column);
  g_signal_connect(tree, "button-press-event", G_CALLBACK(OnTreeButton), this);
  // Left folds the row under the cursor (or goes to its heading), Right
  // unfolds it, as file managers do.
  g_signal_connect(tree, "key-press-event", G_CALLBACK(+[](GtkWidget* widget, GdkEventKey* event, gpointer) -> gboolean {
                     if ((event->state & gtk_accelerator_get_default_mod_mask()) != 0) return FALSE;
                     const bool left = event->keyval == GDK_KEY_Left || event->keyval == GDK_KEY_KP_Left;
                     const bool right = event->keyval == GDK_KEY_Right || event->keyval == GDK_KEY_KP_Right;
                     if (!left && !right) return FALSE;
                     GtkTreePath* path = nullptr;
                     gtk_tree_view_get_cursor(GTK_TREE_VIEW(widget), &path, nullptr);
                     if (path == nullptr) return FALSE;
                     auto* view = GTK_TREE_VIEW(widget);
                     if (right) {
                       gtk_tree_view_expand_row(view, path, FALSE);
                     } else if (gtk_tree_view_row_expanded(view, path)) {
                       gtk_tree_view_collapse_row(view, path);
                     } else if (gtk_tree_path_get_depth(path) > 1 && gtk_tree_path_up(path)) {
                       gtk_tree_view_set_cursor(view, path, nullptr, FALSE);
                     }
                     gtk_tree_path_free(path);
                     return TRUE;
                   }),
                   nullptr);
  g_signal_connect(tree, "row-activated", G_CALLBACK(OnTreeActivated), this);
  g_signal_connect(tree, "test-expand-row", G_CALLBACK(OnTreeTestExpand), this);
  g_signal_connect(tree, "test-collapse-row", G_CALLBACK(OnTreeTestCollapse), this);
  sidebarTabs_[0] = control(Control::kTree, Scrolled(tree), tree);

  // Index and Search: their controls one under the other.
  const auto entry = [this](Control which) {
    GtkWidget* widget = gtk_entry_new();
    gtk_style_context_add_class(gtk_widget_get_style_context(widget), "tessaly-panel");
    g_signal_connect(widget, "changed", G_CALLBACK(OnEditChanged), this);
    g_signal_connect(widget, "activate", G_CALLBACK(OnEditActivated), this);
    Widgets(which) = ControlWidgets{widget, widget};
    return widget;
  };
  const auto button = [this](Control which) {
    GtkWidget* widget = gtk_button_new_with_label("");
    gtk_style_context_add_class(gtk_widget_get_style_context(widget), "tessaly-panel");
    g_signal_connect(widget, "clicked", G_CALLBACK(OnButtonClicked), this);
    Widgets(which) = ControlWidgets{widget, widget};
    return RightAligned(widget);
  };
  const auto label = [this](Control which) {
    GtkWidget* widget = Label();
    Widgets(which) = ControlWidgets{widget, widget};
    return widget;
  };
  const auto list = [this](Control which) {
    GtkWidget* view = NewTextList();
    g_signal_connect(gtk_tree_view_get_selection(GTK_TREE_VIEW(view)), "changed",
                     G_CALLBACK(OnListSelectionChanged), this);
    g_signal_connect(view, "row-activated", G_CALLBACK(OnListActivated), this);
    Widgets(which) = ControlWidgets{Scrolled(view), view};
    return Widgets(which).outer;
  };
  const auto column_of = [](std::initializer_list<GtkWidget*> children) {
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
    gtk_container_set_border_width(GTK_CONTAINER(box), 4);
    for (GtkWidget* child : children) gtk_box_pack_start(GTK_BOX(box), child, FALSE, TRUE, 0);
    return box;
  };
  sidebarTabs_[1] = column_of({label(Control::kIndexLabel), entry(Control::kIndexEdit), list(Control::kIndexList),
                        button(Control::kIndexDisplayButton)});
  gtk_box_set_child_packing(GTK_BOX(sidebarTabs_[1]), Widgets(Control::kIndexList).outer, TRUE, TRUE, 0, GTK_PACK_START);
  resultsNote_ = Label();
  gtk_widget_set_no_show_all(resultsNote_, TRUE);
  sidebarTabs_[2] = column_of({label(Control::kSearchLabel), entry(Control::kSearchEdit), button(Control::kListTopicsButton),
                        label(Control::kResultsLabel), list(Control::kResultsList), resultsNote_,
                        button(Control::kSearchDisplayButton)});
  // Up and Down in the query recall the queries searched before.
  g_signal_connect(Widgets(Control::kSearchEdit).inner, "key-press-event",
                   G_CALLBACK(+[](GtkWidget*, GdkEventKey* event, gpointer self) -> gboolean {
                     auto* tab = static_cast<GtkTab*>(self);
                     if (!tab->Live() || (event->keyval != GDK_KEY_Up && event->keyval != GDK_KEY_Down)) return FALSE;
                     tab->tab_.Search().OnHistory(event->keyval == GDK_KEY_Up ? 1 : -1);
                     return TRUE;
                   }),
                   this);
  {
    // Results found in the page text take two lines (title, snippet).
    GtkTreeView* results = GTK_TREE_VIEW(Widgets(Control::kResultsList).inner);
    GtkTreeViewColumn* first = gtk_tree_view_get_column(results, 0);
    gtk_tree_view_set_fixed_height_mode(results, FALSE);
    gtk_tree_view_column_set_sizing(first, GTK_TREE_VIEW_COLUMN_AUTOSIZE);
    GList* cells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(first));
    gtk_tree_view_column_set_attributes(first, GTK_CELL_RENDERER(cells->data), "markup", 1, nullptr);
    g_list_free(cells);
  }
  gtk_box_set_child_packing(GTK_BOX(sidebarTabs_[2]), Widgets(Control::kResultsList).outer, TRUE, TRUE, 0,
                            GTK_PACK_START);
  // The Index and Search controls scroll when the window is lower than they
  // are: the panels never hold the window's height up.
  for (int i = 1; i < 3; ++i) {
    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
    gtk_container_add(GTK_CONTAINER(scrolled), sidebarTabs_[i]);
    sidebarTabs_[i] = scrolled;
  }
  // The tabs' own names: the File menu's panel items without mnemonics.
  const char* names[3] = {"Contents", "Index", "Search"};
  ++switchingTabs_;
  for (int i = 0; i < 3; ++i) {
    gtk_notebook_append_page(GTK_NOTEBOOK(sidebar_), sidebarTabs_[i], gtk_label_new(names[i]));
  }
  --switchingTabs_;
  g_signal_connect(sidebar_, "switch-page", G_CALLBACK(OnSidebarSwitched), this);
  listStores_[Control::kIndexList] = gtk_list_store_new(1, G_TYPE_STRING);
  listStores_[Control::kResultsList] = NewResultsStore();

  pageBox_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_paned_pack1(GTK_PANED(paned_), sidebar_, FALSE, FALSE);
  gtk_paned_pack2(GTK_PANED(paned_), pageBox_, TRUE, FALSE);
  gtk_widget_set_size_request(sidebar_, 160, -1);
  gtk_widget_set_no_show_all(sidebar_, TRUE);
  gtk_widget_set_no_show_all(pageBox_, TRUE);
  ++switchingTabs_;
  for (GtkWidget* tab : sidebarTabs_) {
    gtk_widget_show_all(tab);
    gtk_widget_hide(tab);
  }
  --switchingTabs_;
}

void GtkTab::EnableControl(Control control, bool enabled) {
  // The page view is not greyed while it loads: it only takes no input.
  if (control == Control::kPageView) {
    if (pageView_) pageView_->SetInputEnabled(enabled);
    return;
  }
  if (GtkWidget* widget = Widgets(control).outer) gtk_widget_set_sensitive(widget, enabled);
}

void GtkTab::FocusControl(Control control) {
  const ControlWidgets& widgets = Widgets(control);
  if (widgets.inner != nullptr && Live()) gtk_widget_grab_focus(widgets.inner);
  window_.Changed();
}

std::optional<Control> GtkTab::FocusedControl() const {
  if (window_.window_ == nullptr) return std::nullopt;
  GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window_.window_));
  if (focus == nullptr) return std::nullopt;
  for (int i = 0; i < kControlCount; ++i) {
    const ControlWidgets& c = controls_[static_cast<std::size_t>(i)];
    if (c.outer != nullptr &&
        (focus == c.outer || focus == c.inner || gtk_widget_is_ancestor(focus, c.outer))) {
      return static_cast<Control>(i);
    }
  }
  return std::nullopt;
}

// --- Tree ------------------------------------------------------------------------------

void GtkTab::ShowContents(std::span<const ContentsRow> rows, bool withLines) {
  GtkWidget* view = Widgets(Control::kTree).inner;
  if (view == nullptr) return;
  gtk_tree_view_set_model(GTK_TREE_VIEW(view), nullptr);
  if (treeModel_ != nullptr) g_object_unref(treeModel_);
  gtk_tree_view_set_enable_tree_lines(GTK_TREE_VIEW(view), withLines);
  // The view reads the rows in place: no row is copied into a store.
  treeModel_ = NewContentsModel(rows);
  gtk_tree_view_set_model(GTK_TREE_VIEW(view), treeModel_);
  window_.Changed();
}

void GtkTab::AddContents(std::span<const ContentsRow> rows) {
  if (treeModel_ != nullptr) AddContentsModelRows(treeModel_, rows);
}

std::optional<GtkTreeIter> GtkTab::TreeIter(int row) const {
  GtkTreeIter iter;
  if (treeModel_ == nullptr || !ContentsRowIter(treeModel_, row, &iter)) return std::nullopt;
  return iter;
}

int GtkTab::RowAt(GtkTreePath* path) const {
  GtkTreeIter iter;
  if (treeModel_ == nullptr || !gtk_tree_model_get_iter(treeModel_, &iter, path)) return -1;
  int row = -1;
  gtk_tree_model_get(treeModel_, &iter, kContentsRow, &row, -1);
  return row;
}

void GtkTab::SetContentsImage(int row, int image) {
  if (treeModel_ != nullptr) SetContentsModelImage(treeModel_, row, image);
}

void GtkTab::SelectContentsRow(int row) {
  // A tapped row is selected already when its page comes to say so.
  if (row >= 0 && ContentsSelection() == row) return;
  std::optional<GtkTreeIter> iter = TreeIter(row);
  auto* view = GTK_TREE_VIEW(Widgets(Control::kTree).inner);
  if (!iter) {
    gtk_tree_selection_unselect_all(gtk_tree_view_get_selection(view));
    return;
  }
  GtkTreePath* path = gtk_tree_model_get_path(treeModel_, &*iter);
  // Its headings open (and are told so) to show it.
  if (gtk_tree_path_get_depth(path) > 1) {
    GtkTreePath* parent = gtk_tree_path_copy(path);
    gtk_tree_path_up(parent);
    gtk_tree_view_expand_to_path(view, parent);
    gtk_tree_path_free(parent);
  }
  gtk_tree_view_set_cursor(view, path, nullptr, FALSE);
  gtk_tree_view_scroll_to_cell(view, path, nullptr, FALSE, 0, 0);
  gtk_tree_path_free(path);
}

int GtkTab::ContentsSelection() const {
  auto* view = GTK_TREE_VIEW(Widgets(Control::kTree).inner);
  GtkTreeModel* model = nullptr;
  GtkTreeIter iter;
  if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(view), &model, &iter)) return -1;
  int row = -1;
  gtk_tree_model_get(model, &iter, kContentsRow, &row, -1);
  return row;
}

void GtkTab::TapTreeRow(GtkTreePath* path) {
  const int row = RowAt(path);
  if (row < 0 || !Live()) return;
  gtk_widget_grab_focus(Widgets(Control::kTree).inner);
  tab_.Contents().OnTap(row);
}

gboolean GtkTab::OnTreeButton(GtkWidget* widget, GdkEventButton* event, gpointer self) {
  auto* tab = static_cast<GtkTab*>(self);
  auto* view = GTK_TREE_VIEW(widget);
  if (event->type != GDK_BUTTON_PRESS || event->button != GDK_BUTTON_PRIMARY) return FALSE;
  if (event->window != gtk_tree_view_get_bin_window(view)) return FALSE;
  GtkTreePath* path = nullptr;
  GtkTreeViewColumn* column = nullptr;
  if (!gtk_tree_view_get_path_at_pos(view, static_cast<gint>(event->x), static_cast<gint>(event->y), &path,
                                     &column, nullptr, nullptr)) {
    return FALSE;
  }
  // Left of the cell lie the indentation and the expander: those are the
  // tree's own. The picture and the text open the entry.
  GdkRectangle cell{};
  gtk_tree_view_get_cell_area(view, path, column, &cell);
  const bool onItem = event->x >= cell.x;
  if (onItem) tab->TapTreeRow(path);
  gtk_tree_path_free(path);
  return onItem ? TRUE : FALSE;
}

void GtkTab::OnTreeActivated(GtkTreeView*, GtkTreePath*, GtkTreeViewColumn*, gpointer self) {
  auto* tab = static_cast<GtkTab*>(self);
  if (tab->Live()) tab->tab_.Contents().OnEnter();
}

gboolean GtkTab::OnTreeTestExpand(GtkTreeView*, GtkTreeIter* iter, GtkTreePath*, gpointer self) {
  auto* tab = static_cast<GtkTab*>(self);
  int row = -1;
  gtk_tree_model_get(tab->treeModel_, iter, kContentsRow, &row, -1);
  if (tab->Live()) tab->tab_.Contents().OnExpanding(row, true);
  return FALSE;
}

gboolean GtkTab::OnTreeTestCollapse(GtkTreeView*, GtkTreeIter* iter, GtkTreePath*, gpointer self) {
  auto* tab = static_cast<GtkTab*>(self);
  int row = -1;
  gtk_tree_model_get(tab->treeModel_, iter, kContentsRow, &row, -1);
  if (tab->Live()) tab->tab_.Contents().OnExpanding(row, false);
  return FALSE;
}

// --- Lists --------------------------------------------------------------------------------

GtkListStore* GtkTab::ListStore(Control list) const {
  const auto found = listStores_.find(list);
  return found == listStores_.end() ? nullptr : found->second;
}

void GtkTab::SetListModel(Control list, GtkListStore* store) {
  ++selectingList_;
  gtk_tree_view_set_model(GTK_TREE_VIEW(Widgets(list).inner), GTK_TREE_MODEL(store));
  --selectingList_;
  if (GtkListStore* old = ListStore(list)) g_object_unref(old);
  listStores_[list] = store;
}

void GtkTab::ShowKeywords(std::span<const std::string> lines) {
  // Filled while detached: a view told of every line one at a time is slow.
  GtkListStore* store = gtk_list_store_new(1, G_TYPE_STRING);
  for (const std::string& line : lines) gtk_list_store_insert_with_values(store, nullptr, -1, 0, line.c_str(), -1);
  SetListModel(Control::kIndexList, store);
}

GtkListStore* NewResultsStore() { return gtk_list_store_new(2, G_TYPE_STRING, G_TYPE_STRING); }

// A result's line as Pango markup: the title, and for a result found in the
// page text how often the page holds the words and a snippet with them in
// bold. The marks come in pairs; a stray one in the page's text is dropped.
std::string ResultMarkup(const ResultLine& line) {
  const auto escaped = [](std::string_view text) {
    g_autofree gchar* markup = g_markup_escape_text(text.data(), static_cast<gssize>(text.size()));
    return std::string(markup);
  };
  std::string markup = escaped(line.title);
  if (line.hits <= 0 && line.snippet.empty()) return markup;
  markup += "  <span alpha=\"60%\">" + escaped(FormatText(line.hits == 1 ? kOneHit : kHits, line.hits)) + "</span>";
  markup += "\n<small>";
  bool open = false;
  std::size_t at = 0;
  while (at < line.snippet.size()) {
    const std::size_t mark = line.snippet.find_first_of("\x02\x03", at);
    markup += escaped(std::string_view(line.snippet).substr(at, mark == std::string::npos ? mark : mark - at));
    if (mark == std::string::npos) break;
    const bool opening = line.snippet[mark] == kMarkOpen[0];
    if (opening != open) markup += opening ? "<b>" : "</b>";
    open = opening;
    at = mark + 1;
  }
  if (open) markup += "</b>";
  return markup + "</small>";
}

void GtkTab::ShowResults(std::span<const ResultLine> lines, std::string_view note) {
  GtkListStore* store = NewResultsStore();
  for (const ResultLine& line : lines) {
    gtk_list_store_insert_with_values(store, nullptr, -1, 0, line.title.c_str(), 1, ResultMarkup(line).c_str(), -1);
  }
  SetListModel(Control::kResultsList, store);
  gtk_label_set_text(GTK_LABEL(resultsNote_), std::string(note).c_str());
  gtk_widget_set_visible(resultsNote_, !note.empty());
}

void GtkTab::SelectKeyword(int index) {
  GtkListStore* store = ListStore(Control::kIndexList);
  if (store == nullptr) return;
  auto* view = GTK_TREE_VIEW(Widgets(Control::kIndexList).inner);
  GtkTreeSelection* selection = gtk_tree_view_get_selection(view);
  ++selectingList_;
  if (index < 0 || index >= gtk_tree_model_iter_n_children(GTK_TREE_MODEL(store), nullptr)) {
    gtk_tree_selection_unselect_all(selection);
  } else {
    GtkTreePath* path = gtk_tree_path_new_from_indices(index, -1);
    gtk_tree_view_set_cursor(view, path, nullptr, FALSE);
    gtk_tree_selection_select_path(selection, path);
    gtk_tree_path_free(path);
  }
  --selectingList_;
}

int GtkTab::ListSelection(Control list) const {
  GtkWidget* view = Widgets(list).inner;
  if (view == nullptr) return -1;
  GtkTreeModel* model = nullptr;
  GtkTreeIter iter;
  if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(view)), &model, &iter)) return -1;
  GtkTreePath* path = gtk_tree_model_get_path(model, &iter);
  const int index = gtk_tree_path_get_indices(path)[0];
  gtk_tree_path_free(path);
  return index;
}

void GtkTab::ScrollKeywords(int index) {
  GtkListStore* store = ListStore(Control::kIndexList);
  if (store == nullptr || index < 0 || index >= gtk_tree_model_iter_n_children(GTK_TREE_MODEL(store), nullptr)) {
    return;
  }
  GtkTreePath* path = gtk_tree_path_new_from_indices(index, -1);
  gtk_tree_view_scroll_to_cell(GTK_TREE_VIEW(Widgets(Control::kIndexList).inner), path, nullptr, TRUE, 0.0f, 0.0f);
  gtk_tree_path_free(path);
}

void GtkTab::OnListSelectionChanged(GtkTreeSelection* selection, gpointer self) {
  auto* tab = static_cast<GtkTab*>(self);
  if (tab->selectingList_ > 0 || !tab->Live()) return;
  const std::optional<Control> list = tab->ControlOf(G_OBJECT(gtk_tree_selection_get_tree_view(selection)));
  if (list) tab->Report(*list, ControlEvent::kSelectionChanged);
}

void GtkTab::OnListActivated(GtkTreeView* view, GtkTreePath*, GtkTreeViewColumn*, gpointer self) {
  auto* tab = static_cast<GtkTab*>(self);
  if (!tab->Live()) return;
  if (const std::optional<Control> list = tab->ControlOf(G_OBJECT(view))) {
    tab->Report(*list, ControlEvent::kDoubleClicked);
  }
}

// --- Entries and buttons --------------------------------------------------------------------

std::string GtkTab::EditText(Control edit) const {
  GtkWidget* widget = Widgets(edit).inner;
  if (widget == nullptr || !GTK_IS_ENTRY(widget)) return {};
  return gtk_entry_get_text(GTK_ENTRY(widget));
}

void GtkTab::SetQueryText(std::string_view text) {
  GtkWidget* widget = Widgets(Control::kSearchEdit).inner;
  if (widget != nullptr && GTK_IS_ENTRY(widget)) gtk_entry_set_text(GTK_ENTRY(widget), std::string(text).c_str());
}

void GtkTab::SetKeywordText(std::string_view text) {
  const Control edit = Control::kIndexEdit;
  GtkWidget* widget = Widgets(edit).inner;
  if (widget == nullptr || !GTK_IS_ENTRY(widget)) return;
  const std::string copy(text);
  // GTK says nothing when the text stays the same; the reader is told all
  // the same, as typing would tell it.
  if (copy == gtk_entry_get_text(GTK_ENTRY(widget))) {
    Report(edit, ControlEvent::kTextChanged);
    return;
  }
  gtk_entry_set_text(GTK_ENTRY(widget), copy.c_str());
}

void GtkTab::OnEditChanged(GtkEditable* edit, gpointer self) {
  auto* tab = static_cast<GtkTab*>(self);
  if (tab->selectingList_ > 0 || !tab->Live()) return;
  if (const std::optional<Control> control = tab->ControlOf(G_OBJECT(edit))) {
    tab->Report(*control, ControlEvent::kTextChanged);
  }
}

void GtkTab::OnEditActivated(GtkEntry* edit, gpointer self) {
  auto* tab = static_cast<GtkTab*>(self);
  if (!tab->Live()) return;
  if (const std::optional<Control> control = tab->ControlOf(G_OBJECT(edit))) {
    tab->Report(*control, ControlEvent::kActivated);
  }
}

void GtkTab::OnButtonClicked(GtkButton* button, gpointer self) {
  auto* tab = static_cast<GtkTab*>(self);
  if (!tab->Live()) return;
  if (const std::optional<Control> control = tab->ControlOf(G_OBJECT(button))) {
    tab->Report(*control, ControlEvent::kClicked);
  }
}

// --- Page view ------------------------------------------------------------------------------

void GtkTab::BuildView() {
  gtk::PageView::Handlers handlers;
  handlers.linkTapped = [this](const std::string& href, bool newTab) {
    if (Live()) tab_.Page().OnLinkTapped(href, newTab);
  };
  handlers.loadEnded = [this] {
    if (Live()) tab_.Page().OnLoadEnded();
    if (picture_.Shown() && !restoring_ && !pictureScroll_) EndPicture();
    window_.Changed();
  };
  handlers.actionKey = [this] {
    if (!Live()) return;
    // The Enter that follows the action key on the same press, as the tree
    // would see it once it has focus.
    if (!tab_.Page().OnKey(PageKey::kAction) && FocusedControl() == Control::kTree) tab_.Contents().OnEnter();
  };
  handlers.scrolled = [this] {
    // The restored page has gone down to where it was (or as far as it goes).
    const std::optional<ScrollInfo> scroll = pageView_ ? pageView_->Scroll() : std::nullopt;
    if (picture_.Shown() && pictureScroll_ && scroll &&
        (scroll->position == *pictureScroll_ || scroll->position + scroll->page >= scroll->maximum)) {
      EndPicture();
    }
    window_.Changed();
  };
  handlers.historyStep = [this](int step) {
    if (Live()) tab_.Page().OnHistoryStep(step);
  };
  handlers.zoomStep = [this](int step) { window_.Command(step > 0 ? kCmdTextLarger : kCmdTextSmaller); };
  handlers.arrowKey = [this](PageKey key) { return !Live() || tab_.Page().OnKey(key); };
  handlers.filterFailed = [this] {
    if (Live()) window_.ShowMessage(kPagesUnconfined, kMessageCaption, MessageIcon::kError);
  };
  handlers.redirected = [this](const std::string& uri) {
    if (Live()) tab_.Page().OnRedirect(uri);
  };
  handlers.objectRequested = [this](const std::string& uri, ObjectReply reply) {
    if (!Live()) {
      reply(PageObject{uri, {}, std::string("the window has closed")});
      return;
    }
    tab_.Page().OnObjectRequest(uri, std::move(reply));
  };
  pageView_ = std::make_unique<gtk::PageView>(std::move(handlers), window_.FilterFolder());
  GtkWidget* view = pageView_->Widget();
  gtk_widget_set_vexpand(view, TRUE);
  // Pages keep the book's own colours, whatever the desktop's theme.
  const GdkRGBA white{1.0, 1.0, 1.0, 1.0};
  webkit_web_view_set_background_color(WEBKIT_WEB_VIEW(view), &white);
  WebKitFindController* finder = webkit_web_view_get_find_controller(WEBKIT_WEB_VIEW(view));
  g_signal_connect(finder, "counted-matches", G_CALLBACK(+[](WebKitFindController*, guint count, gpointer self) {
                     auto* tab = static_cast<GtkTab*>(self);
                     tab->findMatches_ = count;
                     tab->UpdateFindCount();
                   }),
                   this);
  g_signal_connect(finder, "failed-to-find-text", G_CALLBACK(+[](WebKitFindController*, gpointer self) {
                     auto* tab = static_cast<GtkTab*>(self);
                     tab->findMatches_ = 0;
                     tab->findCurrent_ = 0;
                     tab->UpdateFindCount();
                   }),
                   this);
  gtk_container_add(GTK_CONTAINER(pageArea_), view);
  gtk_widget_show(view);
  Widgets(Control::kPageView) = ControlWidgets{pageBox_, view};
}

gtk::PageView& GtkTab::Engine() {
  if (pageView_) return *pageView_;
  if (retiring_) {
    // Back before its picture was taken.
    picture_.Drop();
    retiring_.reset();
  }
  BuildView();
  restoring_ = picture_.Shown();
  if (restoring_) {
    // Never for long: a page that does not load leaves the picture anyway.
    pictureTimeout_ = g_timeout_add(
        2000,
        [](gpointer self) -> gboolean {
          auto* tab = static_cast<GtkTab*>(self);
          tab->pictureTimeout_ = 0;
          tab->EndPicture();
          return G_SOURCE_REMOVE;
        },
        this);
  }
  return *pageView_;
}

void GtkTab::EndPicture() {
  picture_.Drop();
  restoring_ = false;
  pictureScroll_.reset();
  if (pictureTimeout_ != 0) g_source_remove(pictureTimeout_);
  pictureTimeout_ = 0;
}

void GtkTab::Discard() {
  if (!pageView_) return;
  EndPicture();
  retiring_ = std::move(pageView_);
  retiring_->SetInputEnabled(false);
  findMatches_ = findCurrent_ = 0;
  Widgets(Control::kPageView) = ControlWidgets{pageBox_, pageBox_};
  // Its picture first, shown in its place from the moment the tab is back.
  picture_.Take(WEBKIT_WEB_VIEW(retiring_->Widget()), [this] {
    retiring_.reset();
    // What the view held goes back to the system once the window is idle.
    g_idle_add_full(
        G_PRIORITY_LOW, [](gpointer) -> gboolean {
          malloc_trim(0);
          return G_SOURCE_REMOVE;
        },
        nullptr, nullptr);
  });
}

void GtkTab::BuildPage() {
  // The notice bar above the page: what the page lacks.
  notice_ = gtk_info_bar_new();
  gtk_info_bar_set_message_type(GTK_INFO_BAR(notice_), GTK_MESSAGE_WARNING);
  gtk_info_bar_set_show_close_button(GTK_INFO_BAR(notice_), TRUE);
  noticeLabel_ = gtk_label_new("");
  gtk_label_set_line_wrap(GTK_LABEL(noticeLabel_), TRUE);
  gtk_label_set_selectable(GTK_LABEL(noticeLabel_), TRUE);
  gtk_label_set_xalign(GTK_LABEL(noticeLabel_), 0);
  gtk_container_add(GTK_CONTAINER(gtk_info_bar_get_content_area(GTK_INFO_BAR(notice_))), noticeLabel_);
  g_signal_connect(notice_, "response", G_CALLBACK(+[](GtkInfoBar* bar, gint, gpointer) {
                     gtk_widget_hide(GTK_WIDGET(bar));
                   }),
                   nullptr);

  // The find bar: every match marked, Enter and Shift+Enter step, Escape
  // closes.
  findBar_ = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_container_set_border_width(GTK_CONTAINER(findBar_), 4);
  findEntry_ = gtk_search_entry_new();
  findLabel_ = gtk_label_new("");
  gtk_box_pack_start(GTK_BOX(findBar_), findEntry_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(findBar_), findLabel_, FALSE, FALSE, 0);
  g_signal_connect(findEntry_, "search-changed", G_CALLBACK(+[](GtkSearchEntry*, gpointer self) {
                     static_cast<GtkTab*>(self)->Find(true, false);
                   }),
                   this);
  g_signal_connect(findEntry_, "key-press-event",
                   G_CALLBACK(+[](GtkWidget*, GdkEventKey* event, gpointer self) -> gboolean {
                     if (event->keyval != GDK_KEY_Return && event->keyval != GDK_KEY_KP_Enter) return FALSE;
                     static_cast<GtkTab*>(self)->Find((event->state & GDK_SHIFT_MASK) == 0, true);
                     return TRUE;
                   }),
                   this);

  gtk_box_pack_start(GTK_BOX(pageBox_), notice_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(pageBox_), findBar_, FALSE, FALSE, 0);
  gtk_widget_show_all(notice_);
  gtk_widget_hide(notice_);
  gtk_widget_show_all(findBar_);
  gtk_widget_hide(findBar_);
  pageArea_ = gtk_overlay_new();
  gtk_widget_set_vexpand(pageArea_, TRUE);
  gtk_overlay_add_overlay(GTK_OVERLAY(pageArea_), picture_.Widget());
  // Without its view, the page shows its picture while it is in sight.
  g_signal_connect(pageArea_, "map", G_CALLBACK(+[](GtkWidget*, gpointer self) {
                     auto* tab = static_cast<GtkTab*>(self);
                     if (!tab->pageView_) tab->picture_.Show();
                   }),
                   this);
  g_signal_connect(pageArea_, "unmap", G_CALLBACK(+[](GtkWidget*, gpointer self) {
                     auto* tab = static_cast<GtkTab*>(self);
                     if (!tab->pageView_) tab->picture_.Hide();
                   }),
                   this);
  gtk_box_pack_start(GTK_BOX(pageBox_), pageArea_, TRUE, TRUE, 0);
  gtk_widget_show(pageArea_);
  BuildView();
}

void GtkTab::MarkWords(std::span<const std::string> words) {
  if (pageView_) pageView_->MarkWords(words);
}

void GtkTab::ShowFindBar(const FindBarTexts& texts) {
  if (findBar_ == nullptr) return;
  gtk_entry_set_placeholder_text(GTK_ENTRY(findEntry_), std::string(texts.placeholder).c_str());
  findCountText_ = std::string(texts.count);
  findNoneText_ = std::string(texts.none);
  gtk_widget_show(findBar_);
  gtk_widget_grab_focus(findEntry_);
  window_.Changed();
}

void GtkTab::Find(bool forward, bool again) {
  if (!pageView_) return;
  WebKitFindController* finder = webkit_web_view_get_find_controller(WEBKIT_WEB_VIEW(pageView_->Widget()));
  const std::string text = gtk_entry_get_text(GTK_ENTRY(findEntry_));
  if (text.empty()) {
    webkit_find_controller_search_finish(finder);
    findMatches_ = findCurrent_ = 0;
    gtk_label_set_text(GTK_LABEL(findLabel_), "");
    return;
  }
  if (again && findMatches_ > 0) {
    if (forward) {
      webkit_find_controller_search_next(finder);
      findCurrent_ = findCurrent_ % findMatches_ + 1;
    } else {
      webkit_find_controller_search_previous(finder);
      findCurrent_ = findCurrent_ <= 1 ? findMatches_ : findCurrent_ - 1;
    }
    UpdateFindCount();
    return;
  }
  const guint options = WEBKIT_FIND_OPTIONS_CASE_INSENSITIVE | WEBKIT_FIND_OPTIONS_WRAP_AROUND;
  findCurrent_ = 1;
  webkit_find_controller_count_matches(finder, text.c_str(), options, G_MAXUINT);
  webkit_find_controller_search(finder, text.c_str(), options, G_MAXUINT);
}

void GtkTab::UpdateFindCount() {
  std::string text;
  if (findMatches_ == 0) {
    text = findNoneText_;
  } else {
    text = findCountText_;
    const auto put = [&text](std::string_view mark, unsigned value) {
      if (const std::size_t at = text.find(mark); at != std::string::npos) text.replace(at, 2, std::to_string(value));
    };
    put("%1", std::min(std::max(findCurrent_, 1u), findMatches_));
    put("%2", findMatches_);
  }
  gtk_label_set_text(GTK_LABEL(findLabel_), text.c_str());
  window_.Changed();
}

void GtkTab::ShowNotice(std::string_view text) {
  if (notice_ == nullptr) return;
  gtk_label_set_text(GTK_LABEL(noticeLabel_), std::string(text).c_str());
  gtk_widget_show(notice_);
  window_.Changed();
}

void GtkTab::HideNotice() {
  if (notice_ != nullptr) gtk_widget_hide(notice_);
}

void GtkTab::Print() {
  if (pageView_ && window_.window_ != nullptr) pageView_->Print(GTK_WINDOW(window_.window_));
}

void GtkTab::ShowPage(std::string_view address, std::string_view charset) {
  if (closing_) return;
  if (window_.hooks_) window_.hooks_->Navigated();
  // A new page: the find bar's count belongs to the old one.
  if (findBar_ != nullptr && gtk_widget_get_visible(findBar_)) {
    findMatches_ = findCurrent_ = 0;
    gtk_label_set_text(GTK_LABEL(findLabel_), "");
  }
  gtk::PageView& view = Engine();
  // The page the picture shows comes back under it; another page ends it.
  if (restoring_) {
    restoring_ = false;
  } else {
    EndPicture();
  }
  view.Navigate(std::string(address), std::string(charset));
}

void GtkTab::ShowHtml(std::string_view html) {
  if (closing_) return;
  Engine().ShowHtml(std::string(html));
  EndPicture();
}

void GtkTab::SetViewSettings(const ViewSettings& settings) {
  if (closing_) return;
  gtk::PageView& view = Engine();
  view.SetZoomLevel(settings.zoomLevel);
  view.SetShrinkToFit(settings.shrinkToFit);
  view.SetClearType(settings.clearType);
  view.SetShowImages(settings.showImages);
}

void GtkTab::ScrollPage(int position) {
  if (picture_.Shown()) pictureScroll_ = position;
  if (pageView_) pageView_->ScrollTo(position);
}

std::optional<ScrollInfo> GtkTab::PageScroll() const {
  return pageView_ ? pageView_->Scroll() : std::nullopt;
}

// --- Panels and layout ----------------------------------------------------------------

void GtkTab::ApplyLayout() {
  if (paned_ == nullptr) return;
  const bool tab = panel_ == Panel::kContents || panel_ == Panel::kIndex || panel_ == Panel::kSearch;
  const bool sidebar = window_.layout_ == Layout::kSidebar;
  const bool showTabs = tab;
  const bool showPage = panel_ != Panel::kNone && (sidebar || panel_ == Panel::kHtml) && pageBox_ != nullptr;
  gtk_widget_set_visible(sidebar_, showTabs);
  gtk_widget_set_visible(pageBox_, showPage);
  // The paned keeps a side it once squeezed to nothing unmapped; a side
  // shown alone takes the whole width.
  if (showTabs) gtk_widget_set_child_visible(sidebar_, TRUE);
  if (showPage) gtk_widget_set_child_visible(pageBox_, TRUE);
  // One pane: the tabs' headers go; the panel fills the window.
  gtk_notebook_set_show_tabs(GTK_NOTEBOOK(sidebar_), sidebar);
  if (tab) {
    const int page = panel_ == Panel::kContents ? 0 : panel_ == Panel::kIndex ? 1 : 2;
    ++switchingTabs_;
    gtk_notebook_set_current_page(GTK_NOTEBOOK(sidebar_),
                                  gtk_notebook_page_num(GTK_NOTEBOOK(sidebar_), sidebarTabs_[page]));
    --switchingTabs_;
  }
  if (sidebar && showTabs && showPage) gtk_paned_set_position(GTK_PANED(paned_), window_.sidebarWidth_);
  window_.Changed();
}

void GtkTab::SetPanels(const PanelSet& panels) {
  panels_ = panels;
  const bool present[3] = {panels.contents, panels.index, panels.search};
  // The notebook moves to a tab of its own choosing as tabs come and go:
  // not the user's choice.
  ++switchingTabs_;
  for (int i = 0; i < 3; ++i) gtk_widget_set_visible(sidebarTabs_[i], present[i]);
  --switchingTabs_;
  if (!panels.keywordPrompt.empty()) {
    gtk_label_set_text(GTK_LABEL(Widgets(Control::kIndexLabel).inner), std::string(panels.keywordPrompt).c_str());
    gtk_label_set_text(GTK_LABEL(Widgets(Control::kSearchLabel).inner), std::string(panels.keywordPrompt).c_str());
    gtk_label_set_text(GTK_LABEL(Widgets(Control::kResultsLabel).inner), std::string(panels.resultsPrompt).c_str());
    gtk_button_set_label(GTK_BUTTON(Widgets(Control::kIndexDisplayButton).inner),
                         std::string(panels.display).c_str());
    gtk_button_set_label(GTK_BUTTON(Widgets(Control::kSearchDisplayButton).inner),
                         std::string(panels.display).c_str());
    gtk_button_set_label(GTK_BUTTON(Widgets(Control::kListTopicsButton).inner),
                         std::string(panels.listTopics).c_str());
  }
  // A new book's panels start empty.
  ShowContents({}, false);
  SetListModel(Control::kIndexList, gtk_list_store_new(1, G_TYPE_STRING));
  SetListModel(Control::kResultsList, NewResultsStore());
  gtk_widget_hide(resultsNote_);
  ++selectingList_;
  gtk_entry_set_text(GTK_ENTRY(Widgets(Control::kIndexEdit).inner), "");
  gtk_entry_set_text(GTK_ENTRY(Widgets(Control::kSearchEdit).inner), "");
  --selectingList_;
}

void GtkTab::ShowPanel(Panel panel) {
  panel_ = panel;
  ApplyLayout();
}

void GtkTab::OnPanedPosition(GObject* paned, GParamSpec*, gpointer self) {
  auto* tab = static_cast<GtkTab*>(self);
  if (tab->window_.layout_ != Layout::kSidebar || !gtk_widget_get_visible(tab->sidebar_) ||
      !gtk_widget_get_visible(tab->pageBox_)) {
    return;
  }
  const int position = gtk_paned_get_position(GTK_PANED(paned));
  if (position > 0) tab->window_.SidebarMoved(position);
}

void GtkTab::OnSidebarSwitched(GtkNotebook*, GtkWidget* page, guint, gpointer self) {
  auto* tab = static_cast<GtkTab*>(self);
  if (tab->switchingTabs_ > 0 || !tab->Live()) return;
  const Panel panel = page == tab->sidebarTabs_[0]   ? Panel::kContents
                      : page == tab->sidebarTabs_[1] ? Panel::kIndex
                                                     : Panel::kSearch;
  // The reader decides; the tab shown follows what it says.
  g_idle_add(
      [](gpointer data) -> gboolean {
        static_cast<GtkTab*>(data)->ApplyLayout();
        return G_SOURCE_REMOVE;
      },
      tab);
  tab->tab_.ChoosePanel(panel);
}

}  // namespace tessaly::app::gtk
