#include "app/gtk/page_picture.h"

#include <string_view>
#include <utility>

namespace tessaly::app::gtk {

PagePicture::PagePicture() {
  area_ = gtk_drawing_area_new();
  g_object_ref_sink(area_);
  gtk_widget_set_no_show_all(area_, TRUE);
  g_signal_connect(area_, "draw", G_CALLBACK(OnDraw), this);
}

PagePicture::~PagePicture() {
  Drop();
  g_signal_handlers_disconnect_by_data(area_, this);
  gtk_widget_destroy(area_);
  g_object_unref(area_);
}

void PagePicture::Take(WebKitWebView* view, std::function<void()> taken) {
  Drop();
  taken_ = std::move(taken);
  // The picture is drawn at the size the page had on screen.
  shownWidth_ = gtk_widget_get_allocated_width(GTK_WIDGET(view));
  cancel_ = g_cancellable_new();
  webkit_web_view_get_snapshot(view, WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, cancel_, OnTaken,
                               this);
}

void PagePicture::OnTaken(GObject* view, GAsyncResult* result, gpointer self) {
  GError* error = nullptr;
  cairo_surface_t* full = webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(view), result, &error);
  if (error != nullptr && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
    g_error_free(error);
    return;  // dropped: `self` may be gone
  }
  if (error != nullptr) g_error_free(error);
  auto* picture = static_cast<PagePicture*>(self);
  g_clear_object(&picture->cancel_);
  const int width = full != nullptr ? cairo_image_surface_get_width(full) : 0;
  const int height = full != nullptr ? cairo_image_surface_get_height(full) : 0;
  if (width > 1 && height > 1 && picture->shownWidth_ > 1) {
    // Half size, kept as PNG: a page's picture then takes tens of KB
    // instead of MB, and is read back in a few ms when it is shown.
    const int smallWidth = width / 2;
    const int smallHeight = height / 2;
    cairo_surface_t* small = cairo_image_surface_create(CAIRO_FORMAT_RGB24, smallWidth, smallHeight);
    cairo_t* cr = cairo_create(small);
    cairo_scale(cr, static_cast<double>(smallWidth) / width, static_cast<double>(smallHeight) / height);
    cairo_set_source_surface(cr, full, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_paint(cr);
    cairo_destroy(cr);
    picture->png_.clear();
    const cairo_status_t written = cairo_surface_write_to_png_stream(
        small,
        [](void* out, const unsigned char* data, unsigned int length) {
          static_cast<std::string*>(out)->append(reinterpret_cast<const char*>(data), length);
          return CAIRO_STATUS_SUCCESS;
        },
        &picture->png_);
    cairo_surface_destroy(small);
    if (written != CAIRO_STATUS_SUCCESS) picture->png_.clear();
    picture->png_.shrink_to_fit();
    picture->scale_ = static_cast<double>(picture->shownWidth_) / smallWidth;
  }
  if (full != nullptr) cairo_surface_destroy(full);
  std::function<void()> taken = std::move(picture->taken_);
  picture->taken_ = nullptr;
  if (taken) taken();
}

void PagePicture::Show() {
  if (png_.empty()) return;
  if (picture_ == nullptr) {
    struct Reading {
      std::string_view rest;
    } reading{png_};
    picture_ = cairo_image_surface_create_from_png_stream(
        [](void* in, unsigned char* data, unsigned int length) {
          auto* from = static_cast<Reading*>(in);
          if (from->rest.size() < length) return CAIRO_STATUS_READ_ERROR;
          from->rest.copy(reinterpret_cast<char*>(data), length);
          from->rest.remove_prefix(length);
          return CAIRO_STATUS_SUCCESS;
        },
        &reading);
    if (cairo_surface_status(picture_) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(picture_);
      picture_ = nullptr;
      return;
    }
  }
  gtk_widget_show(area_);
  gtk_widget_queue_draw(area_);
}

bool PagePicture::Shown() const { return picture_ != nullptr && gtk_widget_get_visible(area_); }

void PagePicture::Hide() {
  gtk_widget_hide(area_);
  if (picture_ != nullptr) {
    cairo_surface_destroy(picture_);
    picture_ = nullptr;
  }
}

void PagePicture::Drop() {
  if (cancel_ != nullptr) {
    g_cancellable_cancel(cancel_);
    g_clear_object(&cancel_);
  }
  taken_ = nullptr;
  Hide();
  png_.clear();
  png_.shrink_to_fit();
}

gboolean PagePicture::OnDraw(GtkWidget*, cairo_t* cr, gpointer self) {
  auto* picture = static_cast<PagePicture*>(self);
  // A white page under it, where the window has grown since.
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  if (picture->picture_ == nullptr) return TRUE;
  cairo_scale(cr, picture->scale_, picture->scale_);
  cairo_set_source_surface(cr, picture->picture_, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
  cairo_paint(cr);
  return TRUE;
}

}  // namespace tessaly::app::gtk
