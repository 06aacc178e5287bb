// FolderWatch: the library's folders watched with GFileMonitor while the
// reader runs. A `.chm` file made, changed, moved or removed in a watched
// folder (its name compared without regard to case) starts a short wait,
// which each further event starts again; when the folders have been quiet
// that long, `changed` runs once. Copying a large book thus costs one
// rescan, after the copy.
#pragma once

#include <gio/gio.h>

#include <functional>
#include <span>
#include <string>
#include <vector>

namespace tessaly::app::gtk {

class FolderWatch {
 public:
  static constexpr guint kQuietMs = 1500;

  FolderWatch() = default;
  ~FolderWatch() { Stop(); }
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;

  // Watches these folders in place of those watched before.
  void Watch(std::span<const std::string> folders, std::function<void()> changed);
  void Stop();

 private:
  static void OnEvent(GFileMonitor* monitor, GFile* file, GFile* other, GFileMonitorEvent event, gpointer self);

  std::vector<GFileMonitor*> monitors_;
  std::function<void()> changed_;
  guint quiet_ = 0;  // the wait under way; 0: none
};

}  // namespace tessaly::app::gtk
