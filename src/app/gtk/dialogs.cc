// GtkPlatform: message boxes, the open-file dialog, "Topics Found", About
// and the progress bar inside the window.
#include <algorithm>
#include <cctype>

#include "app/gtk/gtk_platform.h"
#include "app/gtk/images.h"

namespace tessaly::app::gtk {

namespace {

// A file pattern that matches letters in either case ("*.chm" finds
// BOOK.CHM too).
std::string AnyCase(std::string_view pattern) {
  std::string result;
  for (char c : pattern) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalpha(byte)) {
      result += '[';
      result += static_cast<char>(std::tolower(byte));
      result += static_cast<char>(std::toupper(byte));
      result += ']';
    } else {
      result += c;
    }
  }
  return result;
}

}  // namespace

int GtkPlatform::RunModal(GtkWidget* dialog, OpenDialog shown) {
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog), TRUE);
  if (window_ != nullptr) gtk_window_set_transient_for(GTK_WINDOW(dialog), GTK_WINDOW(window_));
  // A dialog opened while another is up (a close request meanwhile) keeps
  // the outer one's record for tests once it ends.
  std::optional<OpenDialog> outer = std::move(dialog_);
  shown.dialog = dialog;
  dialog_ = std::move(shown);
  if (hooks_) hooks_->Changed();
  const int response = destroyed_ ? GTK_RESPONSE_CANCEL : gtk_dialog_run(GTK_DIALOG(dialog));
  dialog_ = std::move(outer);
  return response;
}

void GtkPlatform::ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) {
  const std::string message(text);
  const std::string title(caption);
  if (hooks_) hooks_->MessageShown(title, message);
  GtkWidget* dialog = gtk_message_dialog_new(
      nullptr, GTK_DIALOG_MODAL, icon == MessageIcon::kError ? GTK_MESSAGE_ERROR : GTK_MESSAGE_WARNING,
      GTK_BUTTONS_OK, "%s", message.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
  gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  RunModal(dialog, OpenDialog{"message", title, message, {}, nullptr, nullptr});
  gtk_widget_destroy(dialog);
}

std::optional<std::string> GtkPlatform::ChooseFile(std::string_view filterName, std::string_view pattern) {
  if (hooks_) {
    if (std::optional<std::string> file = hooks_->NextFile()) return file;
  }
  GtkWidget* dialog = gtk_file_chooser_dialog_new("Open", nullptr, GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
                                                  GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
  GtkFileFilter* filter = gtk_file_filter_new();
  gtk_file_filter_set_name(filter, std::string(filterName).c_str());
  gtk_file_filter_add_pattern(filter, AnyCase(pattern).c_str());
  gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(dialog), filter);
  gtk_file_chooser_set_local_only(GTK_FILE_CHOOSER(dialog), TRUE);
  std::optional<std::string> chosen;
  if (RunModal(dialog, OpenDialog{"file", "Open", std::string(filterName), {}, nullptr, nullptr}) ==
      GTK_RESPONSE_ACCEPT) {
    if (gchar* file = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog))) {
      if (g_file_test(file, G_FILE_TEST_IS_REGULAR)) chosen = std::string(file);
      g_free(file);
    }
  }
  gtk_widget_destroy(dialog);
  return chosen;
}

int GtkPlatform::RunChoiceDialog(const ChoiceDialog& choice) {
  const std::string title(choice.title);
  GtkWidget* dialog = gtk_dialog_new();
  gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
  gtk_window_set_default_size(GTK_WINDOW(dialog), 380, 300);
  gtk_dialog_add_button(GTK_DIALOG(dialog), std::string(choice.confirm).c_str(), GTK_RESPONSE_OK);
  gtk_dialog_add_button(GTK_DIALOG(dialog), std::string(choice.cancel).c_str(), GTK_RESPONSE_CANCEL);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);

  GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
  gtk_container_set_border_width(GTK_CONTAINER(content), 8);
  gtk_box_set_spacing(GTK_BOX(content), 6);
  GtkWidget* prompt = gtk_label_new(std::string(choice.prompt).c_str());
  gtk_label_set_xalign(GTK_LABEL(prompt), 0.0f);
  gtk_box_pack_start(GTK_BOX(content), prompt, FALSE, FALSE, 0);

  GtkListStore* store = gtk_list_store_new(1, G_TYPE_STRING);
  for (const std::string& line : choice.lines)
    gtk_list_store_insert_with_values(store, nullptr, -1, 0, line.c_str(), -1);
  GtkWidget* list = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
  g_object_unref(store);
  gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(list), FALSE);
  gtk_tree_view_append_column(GTK_TREE_VIEW(list), gtk_tree_view_column_new_with_attributes(
                                                       "", gtk_cell_renderer_text_new(), "text", 0, nullptr));
  // A double-click (or Enter) on a line confirms it.
  g_signal_connect(list, "row-activated",
                   G_CALLBACK(+[](GtkTreeView*, GtkTreePath*, GtkTreeViewColumn*, gpointer box) {
                     gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_OK);
                   }),
                   dialog);
  GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrolled), GTK_SHADOW_IN);
  gtk_container_add(GTK_CONTAINER(scrolled), list);
  gtk_box_pack_start(GTK_BOX(content), scrolled, TRUE, TRUE, 0);
  if (!choice.lines.empty()) {
    GtkTreePath* first = gtk_tree_path_new_first();
    gtk_tree_view_set_cursor(GTK_TREE_VIEW(list), first, nullptr, FALSE);
    gtk_tree_path_free(first);
  }
  gtk_widget_show_all(content);
  gtk_widget_grab_focus(list);

  const int response = RunModal(
      dialog, OpenDialog{"choice", title, std::string(choice.prompt),
                         std::vector<std::string>(choice.lines.begin(), choice.lines.end()), nullptr, list});
  int chosen = -1;
  if (response == GTK_RESPONSE_OK) {
    GtkTreeModel* model = nullptr;
    GtkTreeIter iter;
    if (gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(list)), &model, &iter)) {
      GtkTreePath* path = gtk_tree_model_get_path(model, &iter);
      chosen = gtk_tree_path_get_indices(path)[0];
      gtk_tree_path_free(path);
    }
  }
  gtk_widget_destroy(dialog);
  return chosen;
}

void GtkPlatform::ShowAbout(const AboutBox& about) {
  GtkWidget* dialog = gtk_dialog_new();
  gtk_window_set_title(GTK_WINDOW(dialog), "About");
  gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
  gtk_dialog_add_button(GTK_DIALOG(dialog), std::string(about.button).c_str(), GTK_RESPONSE_OK);
  GtkWidget* content = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
  gtk_container_set_border_width(GTK_CONTAINER(content), 12);
  gtk_box_set_spacing(GTK_BOX(content), 8);

  GdkPixbuf* icon = NewReaderIcon(96);
  gtk_box_pack_start(GTK_BOX(content), gtk_image_new_from_pixbuf(icon), FALSE, FALSE, 0);
  g_object_unref(icon);
  std::string name(about.name);
  std::replace(name.begin(), name.end(), '\r', '\n');
  GtkWidget* nameLabel = gtk_label_new(name.c_str());
  gtk_label_set_justify(GTK_LABEL(nameLabel), GTK_JUSTIFY_CENTER);
  gtk_box_pack_start(GTK_BOX(content), nameLabel, FALSE, FALSE, 0);
  const std::string link(about.link);
  GtkWidget* linkButton = gtk_link_button_new(link.c_str());
  // The address goes to the desktop the way every link does.
  g_signal_connect(linkButton, "activate-link",
                   G_CALLBACK(+[](GtkLinkButton* button, gpointer self) -> gboolean {
                     static_cast<GtkPlatform*>(self)->OpenExternal(gtk_link_button_get_uri(button));
                     return TRUE;
                   }),
                   this);
  gtk_box_pack_start(GTK_BOX(content), linkButton, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(content), gtk_label_new(std::string(about.version).c_str()), FALSE, FALSE, 0);
  gtk_widget_show_all(content);
  RunModal(dialog, OpenDialog{"about", "About", name, {link, std::string(about.version)}, nullptr, nullptr});
  gtk_widget_destroy(dialog);
}

void GtkPlatform::ShowProgress(std::string_view caption, int value) {
  // Inside the window, over the page: the window keeps working meanwhile.
  if (progress_ == nullptr || destroyed_) return;
  gtk_label_set_text(GTK_LABEL(progressLabel_), std::string(caption).c_str());
  gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(progressBar_), std::clamp(value, 0, 100) / 100.0);
  gtk_widget_show(progress_);
  if (hooks_) hooks_->Changed();
}

void GtkPlatform::HideProgress() {
  if (progress_ != nullptr) gtk_widget_hide(progress_);
  if (hooks_) hooks_->Changed();
}

}  // namespace tessaly::app::gtk
