#include "app/gtk/page_scheme.h"

#include <gio/gio.h>

namespace tessaly::app::gtk {

std::string PageMimeType(const std::string& name, std::string_view head) {
  gboolean uncertain = FALSE;
  // Without bytes the name alone decides (no bytes would say "empty").
  gchar* type = g_content_type_guess(name.c_str(), head.empty() ? nullptr : reinterpret_cast<const guchar*>(head.data()),
                                     head.size(), &uncertain);
  gchar* mime = type != nullptr ? g_content_type_get_mime_type(type) : nullptr;
  std::string result = mime != nullptr ? mime : "application/octet-stream";
  g_free(mime);
  g_free(type);
  return result;
}

}  // namespace tessaly::app::gtk
