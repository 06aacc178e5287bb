// File > Export on the desktop: the dialog that chooses a format and a
// target, the progress line's Cancel button, and a prepared document laid
// out by WebKit and printed to a PDF file off screen.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <iterator>
#include <string>

#include "app/gtk/gtk_platform.h"
#include "app/resources.h"

namespace tessaly::app::gtk {

namespace {

// The formats in the dialog's order, and the extension of each (empty: a
// folder).
struct FormatRow {
  ExportFormat format;
  const char* extension;
};
constexpr FormatRow kFormats[] = {
    {ExportFormat::kPdf, ".pdf"},
    {ExportFormat::kEpub, ".epub"},
    {ExportFormat::kHtmlFolder, ""},
    {ExportFormat::kMarkdownFolder, ""},
};

const FormatRow& RowOf(GtkComboBox* box) {
  const int active = gtk_combo_box_get_active(box);
  return kFormats[active < 0 || static_cast<std::size_t>(active) >= std::size(kFormats) ? 1 : active];
}

struct ExportWidgets {
  GtkWidget* chooser = nullptr;
  GtkWidget* formats = nullptr;
  GtkWidget* branch = nullptr;
  std::string name;
};

// The name in the chooser follows the format: NAME.pdf, NAME.epub, NAME.
void FormatChanged(GtkComboBox* box, gpointer data) {
  auto* widgets = static_cast<ExportWidgets*>(data);
  const FormatRow& row = RowOf(box);
  gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(widgets->chooser), (widgets->name + row.extension).c_str());
  // Only a PDF can be of one branch.
  if (widgets->branch != nullptr) gtk_widget_set_sensitive(widgets->branch, row.format == ExportFormat::kPdf);
}

// One print to a PDF file, from load to the end of the print operation.
struct PdfPrint {
  GtkWidget* window = nullptr;
  WebKitWebView* view = nullptr;
  std::string folderUri;
  std::string pdf;
  PdfPrinted done;
  std::string error;
  bool loaded = false;
  bool over = false;
};

void EndPrint(PdfPrint* print) {
  if (print->over) return;
  print->over = true;
  PdfPrinted done = std::move(print->done);
  std::optional<std::string> error;
  if (!print->error.empty()) error = print->error;
  // The view goes after this signal has returned.
  g_idle_add(
      [](gpointer data) -> gboolean {
        auto* print = static_cast<PdfPrint*>(data);
        gtk_widget_destroy(print->window);
        delete print;
        return G_SOURCE_REMOVE;
      },
      print);
  done(std::move(error));
}

// The document and the files beside it, nothing else.
gboolean PrintPolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type, gpointer data) {
  auto* print = static_cast<PdfPrint*>(data);
  if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    if (print->loaded || !g_str_has_prefix(uri, print->folderUri.c_str())) {
      webkit_policy_decision_ignore(decision);
      return TRUE;
    }
  }
  if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    webkit_policy_decision_ignore(decision);
    return TRUE;
  }
  webkit_policy_decision_use(decision);
  return TRUE;
}

void PrintLoaded(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
  auto* print = static_cast<PdfPrint*>(data);
  if (event != WEBKIT_LOAD_FINISHED || print->loaded || print->over) return;
  print->loaded = true;
  GtkPrintSettings* settings = gtk_print_settings_new();
  gtk_print_settings_set_printer(settings, "Print to File");
  gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_FILE_FORMAT, "pdf");
  gchar* uri = g_filename_to_uri(print->pdf.c_str(), nullptr, nullptr);
  gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_URI, uri);
  g_free(uri);
  WebKitPrintOperation* operation = webkit_print_operation_new(view);
  webkit_print_operation_set_print_settings(operation, settings);
  g_signal_connect(operation, "failed", G_CALLBACK(+[](WebKitPrintOperation*, GError* error, gpointer data) {
                     static_cast<PdfPrint*>(data)->error = error->message;
                   }),
                   print);
  g_signal_connect(operation, "finished", G_CALLBACK(+[](WebKitPrintOperation* operation, gpointer data) {
                     EndPrint(static_cast<PdfPrint*>(data));
                     g_object_unref(operation);
                   }),
                   print);
  webkit_print_operation_print(operation);
  g_object_unref(settings);
}

gboolean PrintLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error, gpointer data) {
  auto* print = static_cast<PdfPrint*>(data);
  if (print->loaded) return FALSE;
  print->error = std::string(uri) + ": " + error->message;
  EndPrint(print);
  return TRUE;
}

}  // namespace

void GtkPlatform::OfferCancel(bool offered) {
  if (progressCancel_ != nullptr) gtk_widget_set_visible(progressCancel_, offered);
}

std::optional<ExportChoice> GtkPlatform::ChooseExport(const ExportDialog& shown) {
  if (hooks_) {
    // Tests name the target; its extension chooses the format (none: an
    // HTML folder).
    if (std::optional<std::string> file = hooks_->NextFile()) {
      ExportFormat format = ExportFormat::kHtmlFolder;
      for (const FormatRow& row : kFormats) {
        if (*row.extension != '\0' && g_str_has_suffix(file->c_str(), row.extension)) format = row.format;
      }
      return ExportChoice{format, *file, false};
    }
  }
  ExportWidgets widgets;
  widgets.name = std::string(shown.suggestedName);
  widgets.chooser = gtk_file_chooser_dialog_new(std::string(shown.title).c_str(), nullptr,
                                                GTK_FILE_CHOOSER_ACTION_SAVE, "_Cancel", GTK_RESPONSE_CANCEL,
                                                std::string(shown.confirm).c_str(), GTK_RESPONSE_ACCEPT, nullptr);
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(widgets.chooser);
  gtk_file_chooser_set_local_only(chooser, TRUE);
  gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);
  GtkWidget* extra = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
  widgets.formats = gtk_combo_box_text_new();
  for (std::size_t i = 0; i < std::size(kFormats) && i < shown.formats.size(); ++i) {
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(widgets.formats), std::string(shown.formats[i]).c_str());
  }
  gtk_box_pack_start(GTK_BOX(extra), widgets.formats, FALSE, FALSE, 0);
  if (!shown.branchLabel.empty()) {
    widgets.branch = gtk_check_button_new_with_label(std::string(shown.branchLabel).c_str());
    gtk_box_pack_start(GTK_BOX(extra), widgets.branch, FALSE, FALSE, 0);
  }
  gtk_widget_show_all(extra);
  gtk_file_chooser_set_extra_widget(chooser, extra);
  g_signal_connect(widgets.formats, "changed", G_CALLBACK(FormatChanged), &widgets);
  gtk_combo_box_set_active(GTK_COMBO_BOX(widgets.formats), 1);

  std::optional<ExportChoice> choice;
  if (RunModal(widgets.chooser, OpenDialog{"export", std::string(shown.title), widgets.name, {}, nullptr, nullptr}) ==
      GTK_RESPONSE_ACCEPT) {
    if (gchar* file = gtk_file_chooser_get_filename(chooser)) {
      const FormatRow& row = RowOf(GTK_COMBO_BOX(widgets.formats));
      std::string target = file;
      g_free(file);
      const std::string extension = row.extension;
      gchar* lower = g_ascii_strdown(target.c_str(), -1);
      if (!extension.empty() && !g_str_has_suffix(lower, extension.c_str())) target += extension;
      g_free(lower);
      choice = ExportChoice{row.format, std::move(target),
                            widgets.branch != nullptr && row.format == ExportFormat::kPdf &&
                                gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widgets.branch))};
    }
  }
  gtk_widget_destroy(widgets.chooser);
  return choice;
}

void GtkPlatform::PrintToPdf(const std::string& html, const std::string& pdf, PdfPrinted done) {
  auto* print = new PdfPrint;
  print->pdf = pdf;
  print->done = std::move(done);
  gchar* folder = g_path_get_dirname(html.c_str());
  gchar* folderUri = g_filename_to_uri(folder, nullptr, nullptr);
  print->folderUri = std::string(folderUri) + "/";
  g_free(folderUri);
  g_free(folder);

  // A context of its own, which keeps nothing and reaches no network: the
  // document references only the files beside it, and anything else dies
  // at a proxy that leads nowhere.
  WebKitWebsiteDataManager* data = webkit_website_data_manager_new_ephemeral();
  WebKitNetworkProxySettings* proxy = webkit_network_proxy_settings_new("http://127.0.0.1:9", nullptr);
  webkit_website_data_manager_set_network_proxy_settings(data, WEBKIT_NETWORK_PROXY_MODE_CUSTOM, proxy);
  webkit_network_proxy_settings_free(proxy);
  WebKitWebContext* context = webkit_web_context_new_with_website_data_manager(data);
  g_object_unref(data);
  WebKitSettings* settings = webkit_settings_new();
  webkit_settings_set_enable_javascript(settings, FALSE);
  webkit_settings_set_allow_file_access_from_file_urls(settings, FALSE);
  print->view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "settings", settings, nullptr));
  g_object_unref(settings);
  g_object_unref(context);
  print->window = gtk_offscreen_window_new();
  gtk_container_add(GTK_CONTAINER(print->window), GTK_WIDGET(print->view));
  gtk_widget_show_all(print->window);
  g_signal_connect(print->view, "decide-policy", G_CALLBACK(PrintPolicy), print);
  g_signal_connect(print->view, "load-changed", G_CALLBACK(PrintLoaded), print);
  g_signal_connect(print->view, "load-failed", G_CALLBACK(PrintLoadFailed), print);
  gchar* uri = g_filename_to_uri(html.c_str(), nullptr, nullptr);
  webkit_web_view_load_uri(print->view, uri);
  g_free(uri);
}

}  // namespace tessaly::app::gtk
