#include "app/gtk/page_sandbox.h"

#include <glib.h>
#include <unistd.h>

namespace tessaly::app::gtk {

namespace {

// Where WebKit looks for its helpers.
constexpr char kBubblewrap[] = "/usr/bin/bwrap";
constexpr char kDbusProxy[] = "/usr/bin/xdg-dbus-proxy";

}  // namespace

std::optional<std::string> SandboxObstacle() {
  if (access(kBubblewrap, X_OK) != 0) return std::string(kBubblewrap) + " is not installed";
  if (access(kDbusProxy, X_OK) != 0) return std::string(kDbusProxy) + " is not installed";
  // The namespaces and mounts WebKit asks bubblewrap for (without root,
  // bubblewrap makes a user namespace for them first).
  const char* argv[] = {kBubblewrap, "--unshare-pid", "--unshare-ipc", "--unshare-uts", "--unshare-net",
                        "--die-with-parent", "--ro-bind", "/", "/", "--proc", "/proc", "--dev", "/dev",
                        "true", nullptr};
  gchar* errors = nullptr;
  gint status = 0;
  GError* error = nullptr;
  const gboolean ran = g_spawn_sync(nullptr, const_cast<gchar**>(argv), nullptr,
                                    G_SPAWN_STDOUT_TO_DEV_NULL,
                                    nullptr, nullptr, nullptr, &errors, &status, &error);
  std::optional<std::string> obstacle;
  if (!ran) {
    obstacle = std::string("bubblewrap cannot run: ") + (error != nullptr ? error->message : "unknown error");
  } else if (!g_spawn_check_wait_status(status, nullptr)) {
    std::string text = errors != nullptr ? errors : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    obstacle = text.empty() ? std::string("bubblewrap fails here") : text;
  }
  if (error != nullptr) g_error_free(error);
  g_free(errors);
  return obstacle;
}

}  // namespace tessaly::app::gtk
