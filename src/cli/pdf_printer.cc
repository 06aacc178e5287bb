#include "cli/pdf_printer.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

namespace tessaly::cli {

namespace {

struct Job {
  GMainLoop* loop = nullptr;
  WebKitWebView* view = nullptr;
  std::string folderUri;  // file:///…/ of the document's folder
  std::string pdf;
  PrintResult result;
  bool loaded = false;
};

// Only the document's own folder may be loaded.
gboolean DecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type, gpointer data) {
  auto* job = static_cast<Job*>(data);
  if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    if (!g_str_has_prefix(uri, job->folderUri.c_str()) || job->loaded) {
      webkit_policy_decision_ignore(decision);
      return TRUE;
    }
  }
  webkit_policy_decision_use(decision);
  return TRUE;
}

void Finished(WebKitPrintOperation*, gpointer data) {
  auto* job = static_cast<Job*>(data);
  if (job->result.error.empty()) job->result.ok = true;
  g_main_loop_quit(job->loop);
}

void Failed(WebKitPrintOperation*, GError* error, gpointer data) {
  static_cast<Job*>(data)->result.error = error->message;
}

void Print(Job* job) {
  GtkPrintSettings* settings = gtk_print_settings_new();
  gtk_print_settings_set_printer(settings, "Print to File");
  gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_FILE_FORMAT, "pdf");
  char* uri = g_filename_to_uri(job->pdf.c_str(), nullptr, nullptr);
  gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_URI, uri);
  g_free(uri);
  GtkPageSetup* page = gtk_page_setup_new();
  GtkPaperSize* a4 = gtk_paper_size_new(GTK_PAPER_NAME_A4);
  gtk_page_setup_set_paper_size_and_default_margins(page, a4);
  gtk_paper_size_free(a4);
  WebKitPrintOperation* operation = webkit_print_operation_new(job->view);
  webkit_print_operation_set_print_settings(operation, settings);
  webkit_print_operation_set_page_setup(operation, page);
  g_signal_connect(operation, "finished", G_CALLBACK(Finished), job);
  g_signal_connect(operation, "failed", G_CALLBACK(Failed), job);
  webkit_print_operation_print(operation);
  g_object_unref(settings);
  g_object_unref(page);
}

void LoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
  auto* job = static_cast<Job*>(data);
  if (event != WEBKIT_LOAD_FINISHED || job->loaded) return;
  job->loaded = true;
  Print(job);
}

gboolean LoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error, gpointer data) {
  auto* job = static_cast<Job*>(data);
  job->result.error = std::string("cannot load ") + uri + ": " + error->message;
  g_main_loop_quit(job->loop);
  return TRUE;
}

}  // namespace

PrintResult PrintToPdf(const std::string& html, const std::string& pdf) {
  PrintResult result;
  if (!gtk_init_check(nullptr, nullptr)) {
    result.error = "no display to render with (set DISPLAY, or run under Xvfb)";
    return result;
  }
  Job job;
  job.pdf = pdf;
  const std::string folder = html.substr(0, html.rfind('/') + 1);
  char* folderUri = g_filename_to_uri(folder.c_str(), nullptr, nullptr);
  job.folderUri = folderUri;
  g_free(folderUri);
  if (!job.folderUri.ends_with('/')) job.folderUri += '/';

  WebKitSettings* settings = webkit_settings_new();
  webkit_settings_set_enable_javascript(settings, FALSE);
  webkit_settings_set_auto_load_images(settings, TRUE);
  webkit_settings_set_allow_file_access_from_file_urls(settings, FALSE);
  job.view = WEBKIT_WEB_VIEW(webkit_web_view_new_with_settings(settings));
  g_object_unref(settings);
  GtkWidget* window = gtk_offscreen_window_new();
  gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(job.view));
  gtk_widget_show_all(window);

  job.loop = g_main_loop_new(nullptr, FALSE);
  g_signal_connect(job.view, "decide-policy", G_CALLBACK(DecidePolicy), &job);
  g_signal_connect(job.view, "load-changed", G_CALLBACK(LoadChanged), &job);
  g_signal_connect(job.view, "load-failed", G_CALLBACK(LoadFailed), &job);
  char* uri = g_filename_to_uri(html.c_str(), nullptr, nullptr);
  webkit_web_view_load_uri(job.view, uri);
  g_free(uri);
  g_main_loop_run(job.loop);
  g_main_loop_unref(job.loop);
  gtk_widget_destroy(window);
  return job.result;
}

}  // namespace tessaly::cli
