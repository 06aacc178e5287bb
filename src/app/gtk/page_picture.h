// PagePicture: what a tab's page looked like when its view was let go, at
// half size and kept compressed (a small fraction of the view's memory),
// drawn in the view's place from the moment the tab is shown again until
// the rebuilt view has its page on screen.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <string>

namespace tessaly::app::gtk {

class PagePicture {
 public:
  PagePicture();
  ~PagePicture();
  PagePicture(const PagePicture&) = delete;
  PagePicture& operator=(const PagePicture&) = delete;

  // The area the picture is drawn in (hidden while there is none).
  GtkWidget* Widget() const { return area_; }
  // Takes the picture of the view's page; `taken` runs once it is there or
  // could not be taken, unless Drop comes first. The view must live until
  // then.
  void Take(WebKitWebView* view, std::function<void()> taken);
  // Shows the picture taken (nothing when there is none).
  void Show();
  bool Shown() const;
  // Hides it, keeping it for the next Show.
  void Hide();
  // Hides the picture and lets it go; a picture under way is abandoned.
  void Drop();

 private:
  static void OnTaken(GObject* view, GAsyncResult* result, gpointer self);
  static gboolean OnDraw(GtkWidget* area, cairo_t* cr, gpointer self);

  GtkWidget* area_ = nullptr;
  std::string png_;                     // the picture, while it is kept
  cairo_surface_t* picture_ = nullptr;  // read from it while it is shown
  int shownWidth_ = 0;  // of the page on screen when it was taken
  double scale_ = 1;    // from the picture's pixels to the area's
  GCancellable* cancel_ = nullptr;
  std::function<void()> taken_;
};

}  // namespace tessaly::app::gtk
