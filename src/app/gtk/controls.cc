// GtkPlatform: the panel controls (labels, entries, lists, buttons, the
// contents tree) and the page view in the window's area.
#include <algorithm>

#include "app/gtk/desktop_paths.h"
#include "app/gtk/gtk_platform.h"
#include "app/gtk/images.h"
#include "app/resources.h"
#include "book/book.h"

namespace tessaly::app::gtk {

namespace {

// When the page view cannot be confined to the book's pages, it shows none.
constexpr std::string_view kPagesUnconfined =
    "Pages cannot be shown: the page view's filter could not be installed.";

// Tree store columns.
enum TreeColumn { kTreePicture, kTreeText, kTreeItemId, kTreeImage, kTreeColumns };

GtkWidget* Scrolled(GtkWidget* child) {
  GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrolled), GTK_SHADOW_IN);
  gtk_container_add(GTK_CONTAINER(scrolled), child);
  return scrolled;
}

GtkWidget* NewTextList() {
  GtkWidget* view = gtk_tree_view_new();
  gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(view), FALSE);
  gtk_tree_view_set_enable_search(GTK_TREE_VIEW(view), FALSE);
  GtkCellRenderer* text = gtk_cell_renderer_text_new();
  GtkTreeViewColumn* column = gtk_tree_view_column_new_with_attributes("", text, "text", 0, nullptr);
  gtk_tree_view_column_set_sizing(column, GTK_TREE_VIEW_COLUMN_FIXED);
  gtk_tree_view_append_column(GTK_TREE_VIEW(view), column);
  gtk_tree_view_set_fixed_height_mode(GTK_TREE_VIEW(view), TRUE);
  return view;
}

}  // namespace

std::optional<Control> GtkPlatform::ControlOf(GObject* widget) const {
  for (int i = 0; i < kControlCount; ++i) {
    const ControlWidgets& c = controls_[static_cast<std::size_t>(i)];
    if (G_OBJECT(c.inner) == widget || G_OBJECT(c.outer) == widget) return static_cast<Control>(i);
  }
  return std::nullopt;
}

void GtkPlatform::Place(Control control, GtkWidget* outer, GtkWidget* inner) {
  gtk_widget_show_all(outer);
  gtk_widget_set_no_show_all(outer, TRUE);
  gtk_widget_hide(outer);
  gtk_layout_put(GTK_LAYOUT(area_), outer, 0, 0);
  Widgets(control) = ControlWidgets{outer, inner};
}

void GtkPlatform::CreateControl(Control control, std::string_view text) {
  if (area_ == nullptr) return;
  if (Widgets(control).outer != nullptr) DestroyControl(control);
  const std::string label(text);
  GtkWidget* widget = nullptr;
  switch (KindOf(control)) {
    case ControlKind::kLabel:
      widget = gtk_label_new(label.c_str());
      gtk_label_set_xalign(GTK_LABEL(widget), 0.0f);
      gtk_label_set_ellipsize(GTK_LABEL(widget), PANGO_ELLIPSIZE_END);
      Place(control, widget, widget);
      return;
    case ControlKind::kEdit:
      widget = gtk_entry_new();
      gtk_entry_set_text(GTK_ENTRY(widget), label.c_str());
      gtk_style_context_add_class(gtk_widget_get_style_context(widget), "tessaly-panel");
      g_signal_connect(widget, "changed", G_CALLBACK(OnEditChanged), this);
      g_signal_connect(widget, "activate", G_CALLBACK(OnEditActivated), this);
      Place(control, widget, widget);
      return;
    case ControlKind::kButton:
      widget = gtk_button_new_with_label(label.c_str());
      gtk_style_context_add_class(gtk_widget_get_style_context(widget), "tessaly-panel");
      g_signal_connect(widget, "clicked", G_CALLBACK(OnButtonClicked), this);
      Place(control, widget, widget);
      return;
    case ControlKind::kList: {
      GtkWidget* view = NewTextList();
      GtkListStore* store = gtk_list_store_new(1, G_TYPE_STRING);
      listStores_[control] = store;
      listAttached_[control] = false;
      g_signal_connect(gtk_tree_view_get_selection(GTK_TREE_VIEW(view)), "changed",
                       G_CALLBACK(OnListSelectionChanged), this);
      g_signal_connect(view, "row-activated", G_CALLBACK(OnListActivated), this);
      Place(control, Scrolled(view), view);
      return;
    }
    case ControlKind::kTree:
      CreateTree(false);
      return;
    case ControlKind::kPageView:
      CreatePageView();
      return;
  }
}

void GtkPlatform::DestroyControl(Control control) {
  ControlWidgets& widgets = Widgets(control);
  if (widgets.outer == nullptr) return;
  if (control == Control::kPageView) {
    pageView_.reset();
  } else {
    gtk_widget_destroy(widgets.outer);
  }
  widgets = ControlWidgets{};
  if (const auto store = listStores_.find(control); store != listStores_.end()) {
    g_object_unref(store->second);
    listStores_.erase(store);
    listAttached_.erase(control);
  }
  if (control == Control::kTree) {
    treeItems_.clear();
    if (treeStore_ != nullptr) g_object_unref(treeStore_);
    treeStore_ = nullptr;
    treeAttached_ = false;
  }
}

void GtkPlatform::MoveControl(Control control, const Rect& rect) {
  const ControlWidgets& widgets = Widgets(control);
  if (widgets.outer == nullptr) return;
  gtk_layout_move(GTK_LAYOUT(area_), widgets.outer, rect.left, rect.top);
  gtk_widget_set_size_request(widgets.outer, std::max(1, rect.Width()), std::max(1, rect.Height()));
}

void GtkPlatform::ShowControl(Control control, bool visible) {
  const ControlWidgets& widgets = Widgets(control);
  if (widgets.outer == nullptr) return;
  if (visible && control == Control::kTree) AttachTreeModel();
  if (visible && KindOf(control) == ControlKind::kList) AttachListModel(control);
  gtk_widget_set_visible(widgets.outer, visible);
  // A size set while the control was hidden is not taken up by the area
  // until asked again.
  if (visible) gtk_widget_queue_resize(widgets.outer);
  if (hooks_) hooks_->Changed();
}

void GtkPlatform::EnableControl(Control control, bool enabled) {
  const ControlWidgets& widgets = Widgets(control);
  if (widgets.outer == nullptr) return;
  // The page view is not greyed while it loads: it only takes no input.
  if (control == Control::kPageView) {
    if (pageView_) pageView_->SetInputEnabled(enabled);
    return;
  }
  gtk_widget_set_sensitive(widgets.outer, enabled);
}

void GtkPlatform::FocusControl(Control control) {
  const ControlWidgets& widgets = Widgets(control);
  if (widgets.inner != nullptr && !destroyed_) gtk_widget_grab_focus(widgets.inner);
  if (hooks_) hooks_->Changed();
}

std::optional<Control> GtkPlatform::FocusedControl() const {
  if (window_ == nullptr) return std::nullopt;
  GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window_));
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

Size GtkPlatform::MeasureText(Control control, std::string_view text) const {
  GtkWidget* widget = Widgets(control).inner != nullptr ? Widgets(control).inner : window_;
  if (widget == nullptr) return Size{};
  const std::string copy(text);
  PangoLayout* layout = gtk_widget_create_pango_layout(widget, copy.c_str());
  int width = 0;
  int height = 0;
  pango_layout_get_pixel_size(layout, &width, &height);
  g_object_unref(layout);
  return Size{width, height};
}

// --- Tree ------------------------------------------------------------------------------

void GtkPlatform::CreateTree(bool withLines) {
  if (area_ == nullptr) return;
  if (Widgets(Control::kTree).outer != nullptr) DestroyControl(Control::kTree);
  treeStore_ = gtk_tree_store_new(kTreeColumns, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_UINT64, G_TYPE_INT);
  treeAttached_ = false;
  GtkWidget* view = gtk_tree_view_new();
  gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(view), FALSE);
  gtk_tree_view_set_enable_tree_lines(GTK_TREE_VIEW(view), withLines);
  gtk_tree_view_set_enable_search(GTK_TREE_VIEW(view), FALSE);
  GtkTreeViewColumn* column = gtk_tree_view_column_new();
  GtkCellRenderer* picture = gtk_cell_renderer_pixbuf_new();
  GtkCellRenderer* text = gtk_cell_renderer_text_new();
  gtk_tree_view_column_pack_start(column, picture, FALSE);
  gtk_tree_view_column_pack_start(column, text, TRUE);
  gtk_tree_view_column_add_attribute(column, picture, "pixbuf", kTreePicture);
  gtk_tree_view_column_add_attribute(column, text, "text", kTreeText);
  gtk_tree_view_append_column(GTK_TREE_VIEW(view), column);
  g_signal_connect(view, "button-press-event", G_CALLBACK(OnTreeButton), this);
  g_signal_connect(view, "row-activated", G_CALLBACK(OnTreeActivated), this);
  g_signal_connect(view, "test-expand-row", G_CALLBACK(OnTreeTestExpand), this);
  g_signal_connect(view, "test-collapse-row", G_CALLBACK(OnTreeTestCollapse), this);
  Place(Control::kTree, Scrolled(view), view);
}

void GtkPlatform::AttachTreeModel() {
  // The tree is filled while detached from its view: a view told of every
  // row of a large book one at a time would take far longer.
  if (treeAttached_ || treeStore_ == nullptr || Widgets(Control::kTree).inner == nullptr) return;
  gtk_tree_view_set_model(GTK_TREE_VIEW(Widgets(Control::kTree).inner), GTK_TREE_MODEL(treeStore_));
  treeAttached_ = true;
}

std::optional<GtkTreeIter> GtkPlatform::TreeIter(TreeItem item) const {
  const auto found = treeItems_.find(item);
  if (found == treeItems_.end()) return std::nullopt;
  return found->second;
}

TreeItem GtkPlatform::ItemAt(GtkTreePath* path) const {
  GtkTreeIter iter;
  if (treeStore_ == nullptr || !gtk_tree_model_get_iter(GTK_TREE_MODEL(treeStore_), &iter, path)) return 0;
  guint64 item = 0;
  gtk_tree_model_get(GTK_TREE_MODEL(treeStore_), &iter, kTreeItemId, &item, -1);
  return static_cast<TreeItem>(item);
}

TreeItem GtkPlatform::TreeInsert(TreeItem parent, std::string_view text, int image) {
  if (treeStore_ == nullptr) return 0;
  std::optional<GtkTreeIter> parentIter;
  if (parent != 0) {
    parentIter = TreeIter(parent);
    if (!parentIter) return 0;
  }
  const TreeItem item = nextTreeItem_++;
  const std::string label(text);
  GtkTreeIter iter;
  gtk_tree_store_insert_with_values(treeStore_, &iter, parentIter ? &*parentIter : nullptr, -1, kTreePicture,
                                    ContentsImage(image), kTreeText, label.c_str(), kTreeItemId,
                                    static_cast<guint64>(item), kTreeImage, image, -1);
  treeItems_[item] = iter;
  return item;
}

void GtkPlatform::TreeSetImage(TreeItem item, int image) {
  std::optional<GtkTreeIter> iter = TreeIter(item);
  if (!iter) return;
  gtk_tree_store_set(treeStore_, &*iter, kTreePicture, ContentsImage(image), kTreeImage, image, -1);
}

int GtkPlatform::TreeImage(TreeItem item) const {
  std::optional<GtkTreeIter> iter = TreeIter(item);
  if (!iter) return 0;
  int image = 0;
  gtk_tree_model_get(GTK_TREE_MODEL(treeStore_), &*iter, kTreeImage, &image, -1);
  return image;
}

void GtkPlatform::TreeSelect(TreeItem item) {
  std::optional<GtkTreeIter> iter = TreeIter(item);
  if (!iter) return;
  AttachTreeModel();
  auto* view = GTK_TREE_VIEW(Widgets(Control::kTree).inner);
  GtkTreePath* path = gtk_tree_model_get_path(GTK_TREE_MODEL(treeStore_), &*iter);
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

TreeItem GtkPlatform::TreeSelection() const {
  if (treeStore_ == nullptr || !treeAttached_) return 0;
  auto* view = GTK_TREE_VIEW(Widgets(Control::kTree).inner);
  GtkTreeModel* model = nullptr;
  GtkTreeIter iter;
  if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(view), &model, &iter)) return 0;
  guint64 item = 0;
  gtk_tree_model_get(model, &iter, kTreeItemId, &item, -1);
  return static_cast<TreeItem>(item);
}

void GtkPlatform::TapTreeRow(GtkTreePath* path) {
  const TreeItem item = ItemAt(path);
  if (item == 0 || reader_ == nullptr || destroyed_) return;
  gtk_widget_grab_focus(Widgets(Control::kTree).inner);
  reader_->OnTreeTap(item);
}

gboolean GtkPlatform::OnTreeButton(GtkWidget* widget, GdkEventButton* event, gpointer self) {
  auto* platform = static_cast<GtkPlatform*>(self);
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
  if (onItem) platform->TapTreeRow(path);
  gtk_tree_path_free(path);
  return onItem ? TRUE : FALSE;
}

void GtkPlatform::OnTreeActivated(GtkTreeView*, GtkTreePath*, GtkTreeViewColumn*, gpointer self) {
  auto* platform = static_cast<GtkPlatform*>(self);
  if (platform->reader_ != nullptr && !platform->destroyed_) platform->reader_->OnTreeEnter();
}

gboolean GtkPlatform::OnTreeTestExpand(GtkTreeView*, GtkTreeIter* iter, GtkTreePath*, gpointer self) {
  auto* platform = static_cast<GtkPlatform*>(self);
  guint64 item = 0;
  gtk_tree_model_get(GTK_TREE_MODEL(platform->treeStore_), iter, kTreeItemId, &item, -1);
  if (platform->reader_ != nullptr && !platform->destroyed_) {
    platform->reader_->OnTreeExpanding(static_cast<TreeItem>(item), true);
  }
  return FALSE;
}

gboolean GtkPlatform::OnTreeTestCollapse(GtkTreeView*, GtkTreeIter* iter, GtkTreePath*, gpointer self) {
  auto* platform = static_cast<GtkPlatform*>(self);
  guint64 item = 0;
  gtk_tree_model_get(GTK_TREE_MODEL(platform->treeStore_), iter, kTreeItemId, &item, -1);
  if (platform->reader_ != nullptr && !platform->destroyed_) {
    platform->reader_->OnTreeExpanding(static_cast<TreeItem>(item), false);
  }
  return FALSE;
}

// --- Lists --------------------------------------------------------------------------------

GtkListStore* GtkPlatform::ListStore(Control list) const {
  const auto found = listStores_.find(list);
  return found == listStores_.end() ? nullptr : found->second;
}

void GtkPlatform::AttachListModel(Control list) {
  GtkListStore* store = ListStore(list);
  if (store == nullptr || listAttached_[list]) return;
  ++selectingList_;
  gtk_tree_view_set_model(GTK_TREE_VIEW(Widgets(list).inner), GTK_TREE_MODEL(store));
  --selectingList_;
  listAttached_[list] = true;
}

void GtkPlatform::ListAppend(Control list, std::string_view text) {
  GtkListStore* store = ListStore(list);
  if (store == nullptr) return;
  const std::string line(text);
  gtk_list_store_insert_with_values(store, nullptr, -1, 0, line.c_str(), -1);
}

void GtkPlatform::ListClear(Control list) {
  GtkListStore* store = ListStore(list);
  if (store == nullptr) return;
  ++selectingList_;
  gtk_list_store_clear(store);
  --selectingList_;
}

void GtkPlatform::ListSelect(Control list, int index) {
  GtkListStore* store = ListStore(list);
  if (store == nullptr) return;
  AttachListModel(list);
  auto* view = GTK_TREE_VIEW(Widgets(list).inner);
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

int GtkPlatform::ListSelection(Control list) const {
  GtkListStore* store = ListStore(list);
  if (store == nullptr || !listAttached_.count(list) || !listAttached_.at(list)) return -1;
  GtkTreeModel* model = nullptr;
  GtkTreeIter iter;
  if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(Widgets(list).inner)), &model,
                                       &iter)) {
    return -1;
  }
  GtkTreePath* path = gtk_tree_model_get_path(model, &iter);
  const int index = gtk_tree_path_get_indices(path)[0];
  gtk_tree_path_free(path);
  return index;
}

void GtkPlatform::ListScrollToTop(Control list, int index) {
  GtkListStore* store = ListStore(list);
  if (store == nullptr || index < 0 ||
      index >= gtk_tree_model_iter_n_children(GTK_TREE_MODEL(store), nullptr)) {
    return;
  }
  AttachListModel(list);
  GtkTreePath* path = gtk_tree_path_new_from_indices(index, -1);
  gtk_tree_view_scroll_to_cell(GTK_TREE_VIEW(Widgets(list).inner), path, nullptr, TRUE, 0.0f, 0.0f);
  gtk_tree_path_free(path);
}

void GtkPlatform::OnListSelectionChanged(GtkTreeSelection* selection, gpointer self) {
  auto* platform = static_cast<GtkPlatform*>(self);
  if (platform->selectingList_ > 0 || platform->reader_ == nullptr || platform->destroyed_) return;
  const std::optional<Control> list =
      platform->ControlOf(G_OBJECT(gtk_tree_selection_get_tree_view(selection)));
  if (list) platform->reader_->OnControlEvent(*list, ControlEvent::kSelectionChanged);
}

void GtkPlatform::OnListActivated(GtkTreeView* view, GtkTreePath*, GtkTreeViewColumn*, gpointer self) {
  auto* platform = static_cast<GtkPlatform*>(self);
  if (platform->reader_ == nullptr || platform->destroyed_) return;
  if (const std::optional<Control> list = platform->ControlOf(G_OBJECT(view))) {
    platform->reader_->OnControlEvent(*list, ControlEvent::kDoubleClicked);
  }
}

// --- Entries and buttons --------------------------------------------------------------------

std::string GtkPlatform::EditText(Control edit) const {
  GtkWidget* widget = Widgets(edit).inner;
  if (widget == nullptr || !GTK_IS_ENTRY(widget)) return {};
  return gtk_entry_get_text(GTK_ENTRY(widget));
}

void GtkPlatform::SetEditText(Control edit, std::string_view text) {
  GtkWidget* widget = Widgets(edit).inner;
  if (widget == nullptr || !GTK_IS_ENTRY(widget)) return;
  const std::string copy(text);
  // GTK says nothing when the text stays the same; the reader is told all
  // the same, as typing would tell it.
  if (copy == gtk_entry_get_text(GTK_ENTRY(widget))) {
    if (reader_ != nullptr && !destroyed_) reader_->OnControlEvent(edit, ControlEvent::kTextChanged);
    return;
  }
  gtk_entry_set_text(GTK_ENTRY(widget), copy.c_str());
}

void GtkPlatform::OnEditChanged(GtkEditable* edit, gpointer self) {
  auto* platform = static_cast<GtkPlatform*>(self);
  if (platform->reader_ == nullptr || platform->destroyed_) return;
  if (const std::optional<Control> control = platform->ControlOf(G_OBJECT(edit))) {
    platform->reader_->OnControlEvent(*control, ControlEvent::kTextChanged);
  }
}

void GtkPlatform::OnEditActivated(GtkEntry* edit, gpointer self) {
  auto* platform = static_cast<GtkPlatform*>(self);
  if (platform->reader_ == nullptr || platform->destroyed_) return;
  if (const std::optional<Control> control = platform->ControlOf(G_OBJECT(edit))) {
    platform->reader_->OnControlEvent(*control, ControlEvent::kActivated);
  }
}

void GtkPlatform::OnButtonClicked(GtkButton* button, gpointer self) {
  auto* platform = static_cast<GtkPlatform*>(self);
  if (platform->reader_ == nullptr || platform->destroyed_) return;
  if (const std::optional<Control> control = platform->ControlOf(G_OBJECT(button))) {
    platform->reader_->OnControlEvent(*control, ControlEvent::kClicked);
  }
}

// --- Page view ------------------------------------------------------------------------------

bool GtkPlatform::CreatePageView() {
  if (area_ == nullptr || reader_ == nullptr) return false;
  if (pageView_) return true;
  // The compiled content filter is kept in the reader's private cache
  // folder; without one the view keeps it aside while it loads it.
  std::string filters;
  if (const std::optional<std::string> cache = CacheFolder()) {
    if (const std::optional<std::string> folder = PrivateFolder(*cache + "/filters")) filters = *folder;
  }

  PageView::Handlers handlers;
  handlers.linkTapped = [this](const std::string& href) {
    if (reader_ != nullptr && !destroyed_) reader_->OnLinkTapped(href);
  };
  handlers.loadEnded = [this] {
    if (reader_ != nullptr && !destroyed_) reader_->OnDocumentComplete();
    if (hooks_) hooks_->Changed();
  };
  handlers.actionKey = [this] {
    if (reader_ == nullptr || destroyed_) return;
    // The Enter that follows the action key on the same press, as the tree
    // would see it once it has focus.
    if (!reader_->OnPageKey(PageKey::kAction) && FocusedControl() == Control::kTree) reader_->OnTreeEnter();
  };
  handlers.scrolled = [this] {
    if (hooks_) hooks_->Changed();
  };
  handlers.historyStep = [this](int step) {
    if (reader_ != nullptr && !destroyed_) reader_->OnCommand(step < 0 ? kCmdBack : kCmdForward);
  };
  handlers.arrowKey = [this](PageKey key) {
    return reader_ == nullptr || destroyed_ ? true : reader_->OnPageKey(key);
  };
  handlers.filterFailed = [this] {
    if (!destroyed_) ShowMessage(kPagesUnconfined, kMessageCaption, MessageIcon::kError);
  };
  pageView_ = std::make_unique<PageView>(std::move(handlers), reader_->TempFolder(), filters);
  GtkWidget* view = pageView_->Widget();
  gtk_widget_set_vexpand(view, TRUE);

  // The notice bar above the page: what the page lacks, closed by the user
  // or replaced by the next page's.
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

  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_box_pack_start(GTK_BOX(box), notice_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(box), view, TRUE, TRUE, 0);
  gtk_widget_show_all(box);
  gtk_widget_hide(notice_);
  gtk_widget_set_no_show_all(box, TRUE);
  gtk_widget_hide(box);
  gtk_layout_put(GTK_LAYOUT(area_), box, 0, 0);
  Widgets(Control::kPageView) = ControlWidgets{box, view};
  return true;
}

void GtkPlatform::ShowNotice(std::string_view text) {
  if (notice_ == nullptr) return;
  gtk_label_set_text(GTK_LABEL(noticeLabel_), std::string(text).c_str());
  gtk_widget_show(notice_);
  if (hooks_) hooks_->Changed();
}

void GtkPlatform::HideNotice() {
  if (notice_ != nullptr) gtk_widget_hide(notice_);
}

void GtkPlatform::Navigate(std::string_view address) {
  if (!pageView_) return;
  if (hooks_) hooks_->Navigated();
  const Book* book = reader_ != nullptr ? reader_->CurrentBook() : nullptr;
  pageView_->Navigate(std::string(address), CharsetForCodePage(book != nullptr ? book->CodePage() : 1252));
}

void GtkPlatform::SetZoomLevel(int level) {
  if (pageView_) pageView_->SetZoomLevel(level);
}

void GtkPlatform::SetShrinkToFit(bool on) {
  if (pageView_) pageView_->SetShrinkToFit(on);
}

void GtkPlatform::SetClearType(bool on) {
  if (pageView_) pageView_->SetClearType(on);
}

std::optional<ScrollInfo> GtkPlatform::PageScroll() const {
  return pageView_ ? pageView_->Scroll() : std::nullopt;
}

}  // namespace tessaly::app::gtk
