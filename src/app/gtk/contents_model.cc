#include "app/gtk/contents_model.h"

#include <string>
#include <vector>

#include "app/gtk/images.h"

namespace tessaly::app::gtk {

namespace {

struct Row {
  std::string text;
  int image = 0;
  int parent = -1;
  int index = 0;  // among its parent's children
  std::vector<int> children;
};

struct Rows {
  std::vector<Row> rows;
  std::vector<int> top;
  const std::vector<int>& ChildrenOf(int row) const { return row < 0 ? top : rows[row].children; }
};

}  // namespace

}  // namespace tessaly::app::gtk

// The GObject type, in the toolkit's own pattern.
struct TessalyContentsModel {
  GObject parent;
  tessaly::app::gtk::Rows* rows;
  gint stamp;
};
struct TessalyContentsModelClass {
  GObjectClass parent;
};

static void tessaly_contents_model_tree_model_init(GtkTreeModelIface* iface);
G_DEFINE_TYPE_WITH_CODE(TessalyContentsModel, tessaly_contents_model, G_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(GTK_TYPE_TREE_MODEL, tessaly_contents_model_tree_model_init))

namespace tessaly::app::gtk {

namespace {

TessalyContentsModel* Self(GtkTreeModel* model) {
  return G_TYPE_CHECK_INSTANCE_CAST(model, tessaly_contents_model_get_type(), TessalyContentsModel);
}

// An iterator holds its row + 1, so that no valid one is all zeros.
void SetIter(TessalyContentsModel* self, GtkTreeIter* iter, int row) {
  iter->stamp = self->stamp;
  iter->user_data = GINT_TO_POINTER(row + 1);
  iter->user_data2 = nullptr;
  iter->user_data3 = nullptr;
}

int RowOf(TessalyContentsModel* self, const GtkTreeIter* iter) {
  if (iter == nullptr || iter->stamp != self->stamp) return -1;
  const int row = GPOINTER_TO_INT(iter->user_data) - 1;
  return row >= 0 && static_cast<std::size_t>(row) < self->rows->rows.size() ? row : -1;
}

GtkTreeModelFlags GetFlags(GtkTreeModel*) { return GTK_TREE_MODEL_ITERS_PERSIST; }

gint GetNColumns(GtkTreeModel*) { return kContentsColumns; }

GType GetColumnType(GtkTreeModel*, gint column) {
  switch (column) {
    case kContentsPicture: return GDK_TYPE_PIXBUF;
    case kContentsText: return G_TYPE_STRING;
    default: return G_TYPE_INT;
  }
}

gboolean GetIter(GtkTreeModel* model, GtkTreeIter* iter, GtkTreePath* path) {
  TessalyContentsModel* self = Self(model);
  gint depth = 0;
  const gint* indices = gtk_tree_path_get_indices_with_depth(path, &depth);
  int row = -1;
  for (gint level = 0; level < depth; ++level) {
    const std::vector<int>& children = self->rows->ChildrenOf(row);
    if (indices[level] < 0 || static_cast<std::size_t>(indices[level]) >= children.size()) return FALSE;
    row = children[static_cast<std::size_t>(indices[level])];
  }
  if (row < 0) return FALSE;
  SetIter(self, iter, row);
  return TRUE;
}

GtkTreePath* GetPath(GtkTreeModel* model, GtkTreeIter* iter) {
  TessalyContentsModel* self = Self(model);
  GtkTreePath* path = gtk_tree_path_new();
  for (int row = RowOf(self, iter); row >= 0; row = self->rows->rows[static_cast<std::size_t>(row)].parent) {
    gtk_tree_path_prepend_index(path, self->rows->rows[static_cast<std::size_t>(row)].index);
  }
  return path;
}

void GetValue(GtkTreeModel* model, GtkTreeIter* iter, gint column, GValue* value) {
  TessalyContentsModel* self = Self(model);
  g_value_init(value, GetColumnType(model, column));
  const int row = RowOf(self, iter);
  if (row < 0) return;
  const Row& data = self->rows->rows[static_cast<std::size_t>(row)];
  switch (column) {
    case kContentsPicture: g_value_set_object(value, ContentsImage(data.image)); break;
    case kContentsText: g_value_set_string(value, data.text.c_str()); break;
    case kContentsRow: g_value_set_int(value, row); break;
    case kContentsImage: g_value_set_int(value, data.image); break;
    default: break;
  }
}

// The sibling `step` places on, or false.
gboolean Sibling(GtkTreeModel* model, GtkTreeIter* iter, int step) {
  TessalyContentsModel* self = Self(model);
  const int row = RowOf(self, iter);
  if (row < 0) return FALSE;
  const Row& data = self->rows->rows[static_cast<std::size_t>(row)];
  const std::vector<int>& siblings = self->rows->ChildrenOf(data.parent);
  const int next = data.index + step;
  if (next < 0 || static_cast<std::size_t>(next) >= siblings.size()) {
    iter->stamp = 0;
    return FALSE;
  }
  SetIter(self, iter, siblings[static_cast<std::size_t>(next)]);
  return TRUE;
}

gboolean IterNext(GtkTreeModel* model, GtkTreeIter* iter) { return Sibling(model, iter, 1); }
gboolean IterPrevious(GtkTreeModel* model, GtkTreeIter* iter) { return Sibling(model, iter, -1); }

gboolean IterNthChild(GtkTreeModel* model, GtkTreeIter* iter, GtkTreeIter* parent, gint n) {
  TessalyContentsModel* self = Self(model);
  const int row = parent == nullptr ? -1 : RowOf(self, parent);
  if (parent != nullptr && row < 0) return FALSE;
  const std::vector<int>& children = self->rows->ChildrenOf(row);
  if (n < 0 || static_cast<std::size_t>(n) >= children.size()) return FALSE;
  SetIter(self, iter, children[static_cast<std::size_t>(n)]);
  return TRUE;
}

gboolean IterChildren(GtkTreeModel* model, GtkTreeIter* iter, GtkTreeIter* parent) {
  return IterNthChild(model, iter, parent, 0);
}

gint IterNChildren(GtkTreeModel* model, GtkTreeIter* iter) {
  TessalyContentsModel* self = Self(model);
  const int row = iter == nullptr ? -1 : RowOf(self, iter);
  if (iter != nullptr && row < 0) return 0;
  return static_cast<gint>(self->rows->ChildrenOf(row).size());
}

gboolean IterHasChild(GtkTreeModel* model, GtkTreeIter* iter) { return IterNChildren(model, iter) > 0; }

gboolean IterParent(GtkTreeModel* model, GtkTreeIter* iter, GtkTreeIter* child) {
  TessalyContentsModel* self = Self(model);
  const int row = RowOf(self, child);
  if (row < 0 || self->rows->rows[static_cast<std::size_t>(row)].parent < 0) return FALSE;
  SetIter(self, iter, self->rows->rows[static_cast<std::size_t>(row)].parent);
  return TRUE;
}

// Appends a row; true when it is the first child of its parent.
bool Append(Rows& data, const ContentsRow& added) {
  const std::size_t i = data.rows.size();
  Row& row = data.rows.emplace_back();
  row.text = added.text;
  row.image = added.image;
  // A parent comes before its children; anything else goes to the top.
  row.parent = added.parent >= 0 && static_cast<std::size_t>(added.parent) < i ? added.parent : -1;
  std::vector<int>& siblings = row.parent < 0 ? data.top : data.rows[static_cast<std::size_t>(row.parent)].children;
  row.index = static_cast<int>(siblings.size());
  siblings.push_back(static_cast<int>(i));
  return row.index == 0;
}

}  // namespace

GtkTreeModel* NewContentsModel(std::span<const ContentsRow> rows) {
  auto* self = static_cast<TessalyContentsModel*>(g_object_new(tessaly_contents_model_get_type(), nullptr));
  self->rows->rows.reserve(rows.size());
  for (const ContentsRow& row : rows) Append(*self->rows, row);
  return GTK_TREE_MODEL(self);
}

void AddContentsModelRows(GtkTreeModel* model, std::span<const ContentsRow> rows) {
  TessalyContentsModel* self = Self(model);
  for (const ContentsRow& added : rows) {
    const bool firstChild = Append(*self->rows, added);
    GtkTreeIter iter;
    SetIter(self, &iter, static_cast<int>(self->rows->rows.size()) - 1);
    GtkTreePath* path = GetPath(model, &iter);
    gtk_tree_model_row_inserted(model, path, &iter);
    // A parent that had no child has one now.
    if (firstChild && gtk_tree_path_up(path) && gtk_tree_path_get_depth(path) > 0) {
      GtkTreeIter parent;
      SetIter(self, &parent, self->rows->rows.back().parent);
      gtk_tree_model_row_has_child_toggled(model, path, &parent);
    }
    gtk_tree_path_free(path);
  }
}

int ContentsModelRowCount(GtkTreeModel* model) { return static_cast<int>(Self(model)->rows->rows.size()); }

bool ContentsRowIter(GtkTreeModel* model, int row, GtkTreeIter* iter) {
  TessalyContentsModel* self = Self(model);
  if (row < 0 || static_cast<std::size_t>(row) >= self->rows->rows.size()) return false;
  SetIter(self, iter, row);
  return true;
}

void SetContentsModelImage(GtkTreeModel* model, int row, int image) {
  GtkTreeIter iter;
  if (!ContentsRowIter(model, row, &iter)) return;
  Self(model)->rows->rows[static_cast<std::size_t>(row)].image = image;
  GtkTreePath* path = GetPath(model, &iter);
  gtk_tree_model_row_changed(model, path, &iter);
  gtk_tree_path_free(path);
}

}  // namespace tessaly::app::gtk

static void tessaly_contents_model_init(TessalyContentsModel* self) {
  self->rows = new tessaly::app::gtk::Rows();
  self->stamp = static_cast<gint>(g_random_int());
}

static void tessaly_contents_model_finalize(GObject* object) {
  delete G_TYPE_CHECK_INSTANCE_CAST(object, tessaly_contents_model_get_type(), TessalyContentsModel)->rows;
  G_OBJECT_CLASS(tessaly_contents_model_parent_class)->finalize(object);
}

static void tessaly_contents_model_class_init(TessalyContentsModelClass* klass) {
  G_OBJECT_CLASS(klass)->finalize = tessaly_contents_model_finalize;
}

static void tessaly_contents_model_tree_model_init(GtkTreeModelIface* iface) {
  using namespace tessaly::app::gtk;
  iface->get_flags = GetFlags;
  iface->get_n_columns = GetNColumns;
  iface->get_column_type = GetColumnType;
  iface->get_iter = GetIter;
  iface->get_path = GetPath;
  iface->get_value = GetValue;
  iface->iter_next = IterNext;
  iface->iter_previous = IterPrevious;
  iface->iter_children = IterChildren;
  iface->iter_has_child = IterHasChild;
  iface->iter_n_children = IterNChildren;
  iface->iter_nth_child = IterNthChild;
  iface->iter_parent = IterParent;
}
