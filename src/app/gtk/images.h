// The reader's pictures: the seven button images (from the icon theme), the
// twelve contents images (drawn here, 16 x 16, in the book sitemap's image
// order) and the reader's own icon.
//
// Contents images, by index (sitemap image number - 1): 0 closed book, 1
// open book, 2 and 3 the same marked as new, 4 closed folder, 5 open folder,
// 6 and 7 the same marked as new, 8 topic page, 9 the same marked as new,
// 10 plain page, 11 the same marked as new. Expanding a heading adds one to
// its image (closed to open), collapsing takes it away.
#pragma once

#include <gtk/gtk.h>

namespace tessaly::app::gtk {

// A new image widget for button image 0 .. 6 (back, forward, loading,
// refresh, home, locate, jump).
GtkWidget* NewButtonImage(int image);

// Contents image 0 .. 11 (owned by this module; nullptr outside the range).
GdkPixbuf* ContentsImage(int image);

// The reader's icon at the given size (a new reference).
GdkPixbuf* NewReaderIcon(int size);

}  // namespace tessaly::app::gtk
