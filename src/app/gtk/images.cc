#include "app/gtk/images.h"

#include <array>
#include <cmath>
#include <initializer_list>

#include "app/resources.h"

namespace tessaly::app::gtk {

namespace {

// Theme names for each button image, the preferred first.
constexpr std::array<std::initializer_list<const char*>, kButtonImageCount> kButtonIcons{{
    {"go-previous", "go-previous-symbolic"},
    {"go-next", "go-next-symbolic"},
    {"content-loading-symbolic", "process-working-symbolic", "image-loading"},
    {"view-refresh", "view-refresh-symbolic"},
    {"go-home", "go-home-symbolic"},
    {"find-location-symbolic", "mark-location-symbolic", "edit-find"},
    {"go-jump", "go-jump-symbolic"},
}};

struct Rgb {
  double r, g, b;
};

constexpr Rgb kBlue{0.18, 0.38, 0.72};
constexpr Rgb kBlueDark{0.10, 0.22, 0.45};
constexpr Rgb kYellow{0.96, 0.78, 0.30};
constexpr Rgb kYellowDark{0.70, 0.52, 0.12};
constexpr Rgb kPaper{1.0, 1.0, 1.0};
constexpr Rgb kGrey{0.45, 0.45, 0.45};
constexpr Rgb kRed{0.85, 0.12, 0.12};

void Fill(cairo_t* cr, Rgb c) {
  cairo_set_source_rgb(cr, c.r, c.g, c.b);
  cairo_fill_preserve(cr);
}

void Stroke(cairo_t* cr, Rgb c) {
  cairo_set_source_rgb(cr, c.r, c.g, c.b);
  cairo_set_line_width(cr, 1.0);
  cairo_stroke(cr);
}

struct Point {
  double x, y;
};

// A closed outline through the points, left as the current path.
void Polygon(cairo_t* cr, std::initializer_list<Point> points) {
  const Point* first = points.begin();
  cairo_move_to(cr, first->x, first->y);
  for (const Point* p = first + 1; p != points.end(); ++p) cairo_line_to(cr, p->x, p->y);
  cairo_close_path(cr);
}

void ClosedBook(cairo_t* cr) {
  cairo_rectangle(cr, 3.5, 1.5, 10, 13);  // pages seen at the edge
  Fill(cr, kPaper);
  Stroke(cr, kGrey);
  cairo_rectangle(cr, 2.5, 1.5, 9, 13);  // cover
  Fill(cr, kBlue);
  Stroke(cr, kBlueDark);
  cairo_rectangle(cr, 2.5, 1.5, 2, 13);  // spine
  Fill(cr, kBlueDark);
  cairo_new_path(cr);
}

void OpenBook(cairo_t* cr) {
  Polygon(cr, {{8, 4.5}, {1.5, 2.5}, {1.5, 12.5}, {8, 14.5}, {14.5, 12.5}, {14.5, 2.5}});
  Fill(cr, kPaper);
  Stroke(cr, kBlueDark);
  cairo_move_to(cr, 8, 4.5);
  cairo_line_to(cr, 8, 14.5);
  Stroke(cr, kBlueDark);
  for (double y : {6.0, 8.5, 11.0}) {
    cairo_move_to(cr, 3, y - 1.0);
    cairo_line_to(cr, 6.5, y);
    cairo_move_to(cr, 9.5, y);
    cairo_line_to(cr, 13, y - 1.0);
  }
  Stroke(cr, kBlue);
}

void ClosedFolder(cairo_t* cr) {
  Polygon(cr, {{1.5, 3.5}, {6, 3.5}, {7.5, 5.0}, {14.5, 5.0}, {14.5, 13.5}, {1.5, 13.5}});
  Fill(cr, kYellow);
  Stroke(cr, kYellowDark);
}

void OpenFolder(cairo_t* cr) {
  Polygon(cr, {{1.5, 3.5}, {6, 3.5}, {7.5, 5.0}, {13.5, 5.0}, {13.5, 7.5}, {1.5, 7.5}});
  Fill(cr, kYellowDark);
  Stroke(cr, kYellowDark);
  Polygon(cr, {{3.5, 7.5}, {15.5, 7.5}, {13.5, 13.5}, {1.5, 13.5}});
  Fill(cr, kYellow);
  Stroke(cr, kYellowDark);
}

void Page(cairo_t* cr, bool question) {
  Polygon(cr, {{3.5, 1.5}, {10, 1.5}, {13.5, 5}, {13.5, 14.5}, {3.5, 14.5}});
  Fill(cr, kPaper);
  Stroke(cr, kGrey);
  cairo_move_to(cr, 10, 1.5);
  cairo_line_to(cr, 10, 5);
  cairo_line_to(cr, 13.5, 5);
  Stroke(cr, kGrey);
  if (question) {
    // A topic: a blue question mark.
    cairo_set_source_rgb(cr, kBlue.r, kBlue.g, kBlue.b);
    cairo_set_line_width(cr, 1.6);
    cairo_arc(cr, 8.5, 7.0, 2.0, M_PI, 2.2 * M_PI);
    cairo_line_to(cr, 8.5, 10.5);
    cairo_stroke(cr);
    cairo_rectangle(cr, 7.7, 11.7, 1.6, 1.6);
    cairo_fill(cr);
  } else {
    for (double y : {6.5, 8.5, 10.5, 12.5}) {
      cairo_move_to(cr, 5, y);
      cairo_line_to(cr, 12, y);
    }
    Stroke(cr, kBlue);
  }
}

void NewMark(cairo_t* cr) {
  cairo_arc(cr, 12.5, 12.5, 3.0, 0, 2 * M_PI);
  Fill(cr, kRed);
  Stroke(cr, kPaper);
}

GdkPixbuf* DrawContentsImage(int image) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 16, 16);
  cairo_t* cr = cairo_create(surface);
  switch (image / 2) {
    case 0:  // 0, 1
    case 1:  // 2, 3
      if (image % 2 == 0)
        ClosedBook(cr);
      else
        OpenBook(cr);
      break;
    case 2:  // 4, 5
    case 3:  // 6, 7
      if (image % 2 == 0)
        ClosedFolder(cr);
      else
        OpenFolder(cr);
      break;
    case 4:  // 8, 9
      Page(cr, true);
      break;
    default:  // 10, 11
      Page(cr, false);
      break;
  }
  // Marked as new: 2, 3, 6, 7 (a variant pair) and 9, 11 (odd pages).
  const bool marked = image < 8 ? (image / 2) % 2 == 1 : image % 2 == 1;
  if (marked) NewMark(cr);
  cairo_destroy(cr);
  GdkPixbuf* pixbuf = gdk_pixbuf_get_from_surface(surface, 0, 0, 16, 16);
  cairo_surface_destroy(surface);
  return pixbuf;
}

}  // namespace

GtkWidget* NewButtonImage(int image) {
  if (image < 0 || image >= kButtonImageCount) return gtk_image_new();
  GtkIconTheme* theme = gtk_icon_theme_get_default();
  const char* chosen = *kButtonIcons[static_cast<std::size_t>(image)].begin();
  for (const char* name : kButtonIcons[static_cast<std::size_t>(image)]) {
    if (gtk_icon_theme_has_icon(theme, name)) {
      chosen = name;
      break;
    }
  }
  return gtk_image_new_from_icon_name(chosen, GTK_ICON_SIZE_LARGE_TOOLBAR);
}

GdkPixbuf* ContentsImage(int image) {
  static std::array<GdkPixbuf*, kContentsImageCount> images{};
  if (image < 0 || image >= kContentsImageCount) return nullptr;
  GdkPixbuf*& slot = images[static_cast<std::size_t>(image)];
  if (slot == nullptr) slot = DrawContentsImage(image);
  return slot;
}

GdkPixbuf* NewReaderIcon(int size) {
  // The open book of the contents, drawn large.
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, size / 16.0, size / 16.0);
  OpenBook(cr);
  cairo_destroy(cr);
  GdkPixbuf* pixbuf = gdk_pixbuf_get_from_surface(surface, 0, 0, size, size);
  cairo_surface_destroy(surface);
  return pixbuf;
}

}  // namespace tessaly::app::gtk
