// minimal_view: the least a WebKitGTK program does to show a book's page
// from memory, as the reference the reader's launch is measured against.
//
//   minimal_view FOLDER PAGE [RESIDENT]
//
// FOLDER holds a book's objects as tessaly-cli extract writes them; every
// object the page asks for is read into memory and served through a scheme
// of its own. The window opens at the reader's size, loads PAGE, and the
// program ends when the page has loaded; with RESIDENT, it first writes
// there its own resident memory (web processes aside) as "TOTAL ANONYMOUS"
// in kB.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdlib>
#include <string>

namespace {

std::string folder;
const char* residentFile = nullptr;

void Serve(WebKitURISchemeRequest* request, gpointer) {
  const std::string path = folder + "/" + webkit_uri_scheme_request_get_path(request);
  gchar* bytes = nullptr;
  gsize size = 0;
  if (!g_file_get_contents(path.c_str(), &bytes, &size, nullptr)) {
    GError* error = g_error_new_literal(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "no such object");
    webkit_uri_scheme_request_finish_error(request, error);
    g_error_free(error);
    return;
  }
  gchar* type = g_content_type_guess(path.c_str(), reinterpret_cast<const guchar*>(bytes), size, nullptr);
  gchar* mime = g_content_type_get_mime_type(type);
  GInputStream* stream = g_memory_input_stream_new_from_data(bytes, static_cast<gssize>(size), g_free);
  webkit_uri_scheme_request_finish(request, stream, static_cast<gint64>(size), mime);
  g_object_unref(stream);
  g_free(mime);
  g_free(type);
}

void WriteResident() {
  gchar* rollup = nullptr;
  if (!g_file_get_contents("/proc/self/smaps_rollup", &rollup, nullptr, nullptr)) return;
  long total = 0;
  long anonymous = 0;
  gchar** lines = g_strsplit(rollup, "\n", -1);
  for (gchar** each = lines; *each != nullptr; ++each) {
    if (g_str_has_prefix(*each, "Rss:")) total = std::atol(*each + 4);
    if (g_str_has_prefix(*each, "Anonymous:")) anonymous = std::atol(*each + 10);
  }
  g_strfreev(lines);
  g_free(rollup);
  const std::string text = std::to_string(total) + " " + std::to_string(anonymous) + "\n";
  g_file_set_contents(residentFile, text.c_str(), -1, nullptr);
}

void Loaded(WebKitWebView*, WebKitLoadEvent event, gpointer) {
  if (event != WEBKIT_LOAD_FINISHED) return;
  if (residentFile != nullptr) WriteResident();
  gtk_main_quit();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    g_printerr("usage: minimal_view FOLDER PAGE [RESIDENT]\n");
    return 2;
  }
  gtk_init(&argc, &argv);
  folder = argv[1];
  if (argc == 4) residentFile = argv[3];
  WebKitWebContext* context = webkit_web_context_new_ephemeral();
  webkit_web_context_register_uri_scheme(context, "bench", Serve, nullptr, nullptr);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 1280, 900);
  GtkWidget* view = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, nullptr));
  gtk_container_add(GTK_CONTAINER(window), view);
  g_signal_connect(view, "load-changed", G_CALLBACK(Loaded), nullptr);
  gtk_widget_show_all(window);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), (std::string("bench:///") + argv[2]).c_str());
  gtk_main();
  return 0;
}
