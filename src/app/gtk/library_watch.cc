#include "app/gtk/library_watch.h"

#include <cstring>

namespace tessaly::app::gtk {

namespace {

bool IsBookName(GFile* file) {
  if (file == nullptr) return false;
  g_autofree gchar* name = g_file_get_basename(file);
  const std::size_t length = name == nullptr ? 0 : std::strlen(name);
  return length >= 4 && g_ascii_strcasecmp(name + length - 4, ".chm") == 0;
}

}  // namespace

void FolderWatch::Watch(std::span<const std::string> folders, std::function<void()> changed) {
  Stop();
  changed_ = std::move(changed);
  for (const std::string& folder : folders) {
    g_autoptr(GFile) file = g_file_new_for_path(folder.c_str());
    GFileMonitor* monitor = g_file_monitor_directory(file, G_FILE_MONITOR_WATCH_MOVES, nullptr, nullptr);
    if (monitor == nullptr) continue;  // gone, or not readable: the rescan on focus still looks
    g_signal_connect(monitor, "changed", G_CALLBACK(OnEvent), this);
    monitors_.push_back(monitor);
  }
}

void FolderWatch::Stop() {
  for (GFileMonitor* monitor : monitors_) {
    g_signal_handlers_disconnect_by_data(monitor, this);
    g_file_monitor_cancel(monitor);
    g_object_unref(monitor);
  }
  monitors_.clear();
  if (quiet_ != 0) g_source_remove(quiet_);
  quiet_ = 0;
}

void FolderWatch::OnEvent(GFileMonitor*, GFile* file, GFile* other, GFileMonitorEvent event, gpointer self) {
  auto* watch = static_cast<FolderWatch*>(self);
  // Attribute changes (a book opened, its time read) are no change of the books.
  if (event == G_FILE_MONITOR_EVENT_ATTRIBUTE_CHANGED || event == G_FILE_MONITOR_EVENT_PRE_UNMOUNT) return;
  if (!IsBookName(file) && !IsBookName(other)) return;
  if (watch->quiet_ != 0) g_source_remove(watch->quiet_);
  watch->quiet_ = g_timeout_add(kQuietMs, +[](gpointer data) -> gboolean {
    auto* quiet = static_cast<FolderWatch*>(data);
    quiet->quiet_ = 0;
    if (quiet->changed_) quiet->changed_();
    return G_SOURCE_REMOVE;
  }, watch);
}

}  // namespace tessaly::app::gtk
