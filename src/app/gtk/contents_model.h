// ContentsModel: the contents tree as a GtkTreeModel over the rows the
// reader lays out, read in place. Every question the tree view asks (a
// row's path, its n-th child, its next sibling) is answered in constant
// time or in the row's depth, so a book of 100,000 entries, flat or nested,
// goes into the view at once instead of row by row into a tree store (whose
// every insertion walks the siblings before it).
//
// Rows are added at the end, batch by batch (the view is told of each);
// columns: the picture (GdkPixbuf), the text, the row's number, its image
// number. Only the image of a row changes after it is added (SetImage,
// which tells the view).
#pragma once

#include <gtk/gtk.h>

#include <span>

#include "app/platform.h"

namespace tessaly::app::gtk {

enum ContentsColumn { kContentsPicture, kContentsText, kContentsRow, kContentsImage, kContentsColumns };

// A new model of the rows (parents first, as the reader gives them); the
// caller owns the reference.
GtkTreeModel* NewContentsModel(std::span<const ContentsRow> rows);

// Adds rows after the model's last one, numbered on from it (a parent
// before its children), and tells the view of each.
void AddContentsModelRows(GtkTreeModel* model, std::span<const ContentsRow> rows);

// How many rows the model holds.
int ContentsModelRowCount(GtkTreeModel* model);

// The iterator of a row of the model; false for a row it does not have.
bool ContentsRowIter(GtkTreeModel* model, int row, GtkTreeIter* iter);

void SetContentsModelImage(GtkTreeModel* model, int row, int image);

}  // namespace tessaly::app::gtk
