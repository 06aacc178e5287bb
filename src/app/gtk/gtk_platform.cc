// GtkPlatform: the window, its menu bar and tool buttons, painting, the
// store, the instance channel and the desktop.
#include "app/gtk/gtk_platform.h"

#include <glib-unix.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/gtk/desktop_paths.h"
#include "app/gtk/images.h"
#include "app/resources.h"
#include "pages/page_names.h"

namespace tessaly::app::gtk {

namespace {

constexpr int kDefaultWidth = 1000;
constexpr int kDefaultHeight = 720;
constexpr int kAskTimeoutMs = 3000;
// A reader asked to close may be opening a large book first.
constexpr int kCloseTimeoutMs = 120000;
constexpr int kRequestTimeoutMs = 2000;
constexpr guint kMapWaitMs = 300;
constexpr int kMaxFlushIterations = 200;

// Menu text as GTK writes mnemonics: '&' marks one ("&&" is a plain '&'),
// and GTK's own '_' is doubled.
std::string Mnemonic(std::string_view text) {
  std::string label;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '_') {
      label += "__";
    } else if (c == '&' && i + 1 < text.size() && text[i + 1] == '&') {
      label += '&';
      ++i;
    } else if (c == '&') {
      label += '_';
    } else {
      label += c;
    }
  }
  return label;
}

// Desktop keys for commands, beside the menus.
struct Shortcut {
  int command;
  guint key;
  GdkModifierType modifiers;
};
constexpr Shortcut kMenuShortcuts[] = {
    {kCmdOpen, GDK_KEY_o, GDK_CONTROL_MASK},
    {kCmdExit, GDK_KEY_q, GDK_CONTROL_MASK},
    {kCmdHelpTopics, GDK_KEY_F1, GdkModifierType(0)},
};
constexpr Shortcut kButtonShortcuts[] = {
    {kCmdBack, GDK_KEY_Left, GDK_MOD1_MASK},
    {kCmdForward, GDK_KEY_Right, GDK_MOD1_MASK},
    {kCmdRefresh, GDK_KEY_F5, GdkModifierType(0)},
    {kCmdHome, GDK_KEY_Home, GDK_MOD1_MASK},
};

constexpr char kPanelCss[] =
    "entry.tessaly-panel, button.tessaly-panel {"
    " min-height: 0; padding: 2px 4px; }";

}  // namespace

GtkPlatform::GtkPlatform() {
  loop_ = g_main_loop_new(nullptr, FALSE);
  ownId_ = InstanceChannel::NewId();
  if (const std::optional<std::string> folder = ChannelFolder()) channel_.emplace(*folder);
  if (const std::optional<std::string> file = StoreFile()) {
    store_.emplace(*file);
    const std::string help = InstalledHelpBook();
    store_->Install(help);
    // A stored manual that has gone (the reader was moved, reinstalled or
    // first run from a build folder) is replaced by the one that is here;
    // one the user pointed elsewhere and that still exists is kept.
    const std::optional<std::string> stored = store_->Read(KeyValueStore::kChmFileKey, kStoreHelpPath);
    if (stored && *stored != help && !IsReadableFile(*stored) && IsReadableFile(help)) {
      store_->Write(KeyValueStore::kChmFileKey, kStoreHelpPath, help);
    }
  }
}

GtkPlatform::~GtkPlatform() {
  // The reader has gone first; nothing torn down here may call it.
  reader_ = nullptr;
  destroyed_ = true;
  if (channelSource_ != 0) g_source_remove(channelSource_);
  if (resizeSource_ != 0) g_source_remove(resizeSource_);
  hooks_.reset();
  AnswerPendingCloses();
  pageView_.reset();
  if (statusIcon_ != nullptr) g_object_unref(statusIcon_);
  if (progress_ != nullptr) gtk_widget_destroy(progress_);
  if (window_ != nullptr) gtk_widget_destroy(window_);
  for (auto& [control, store] : listStores_) g_object_unref(store);
  if (treeStore_ != nullptr) g_object_unref(treeStore_);
  if (css_ != nullptr) g_object_unref(css_);
  g_main_loop_unref(loop_);
}

void GtkPlatform::Run() {
  if (destroyed_ || window_ == nullptr) return;
  looping_ = true;
  if (hooks_) hooks_->Changed();
  g_main_loop_run(loop_);
}

// --- Main window --------------------------------------------------------------------

bool GtkPlatform::CreateMainWindow(std::string_view title) {
  if (window_ != nullptr) return false;
  css_ = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css_, kPanelCss, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css_),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);

  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window_), kDefaultWidth, kDefaultHeight);
  // The installed icon, the one the desktop entry shows, when the theme has
  // it; else the drawn book. Dialogs take the same.
  if (gtk_icon_theme_has_icon(gtk_icon_theme_get_default(), "tessaly")) {
    gtk_window_set_default_icon_name("tessaly");
  } else {
    GdkPixbuf* icon = NewReaderIcon(64);
    gtk_window_set_default_icon(icon);
    g_object_unref(icon);
  }
  accel_ = gtk_accel_group_new();
  gtk_window_add_accel_group(GTK_WINDOW(window_), accel_);
  g_object_unref(accel_);

  GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  barBox_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  toolbar_ = gtk_toolbar_new();
  gtk_toolbar_set_style(GTK_TOOLBAR(toolbar_), GTK_TOOLBAR_ICONS);
  gtk_box_pack_end(GTK_BOX(barBox_), toolbar_, FALSE, FALSE, 0);
  area_ = gtk_layout_new(nullptr, nullptr);
  gtk_box_pack_start(GTK_BOX(column), barBox_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(column), area_, TRUE, TRUE, 0);
  gtk_container_add(GTK_CONTAINER(window_), column);

  g_signal_connect(window_, "delete-event", G_CALLBACK(OnDelete), this);
  g_signal_connect(window_, "notify::is-active", G_CALLBACK(OnActiveChanged), this);
  g_signal_connect(area_, "size-allocate", G_CALLBACK(OnAreaAllocate), this);

  SetTitle(title);
  gtk_widget_show_all(window_);
  gtk_widget_hide(toolbar_);

  // From here on other readers can find this one.
  if (channel_ && channel_->Listen(ownId_)) {
    channelSource_ = g_unix_fd_add(channel_->ListenFd(), G_IO_IN, OnChannel, this);
  }
  // A test learns here whom to talk to (the reader may still be opening its
  // book, or showing a message about it).
  if (hooks_) hooks_->WindowCreated();
  return true;
}

void GtkPlatform::DestroyMainWindow() {
  if (destroyed_) return;
  destroyed_ = true;
  // The widgets stay until the loop has ended (the reader may still be on
  // its way out of a handler); the reader is gone for everyone else now.
  if (channelSource_ != 0) {
    g_source_remove(channelSource_);
    channelSource_ = 0;
  }
  if (channel_) channel_->StopListening();
  AnswerPendingCloses();
  if (progress_ != nullptr) gtk_widget_hide(progress_);
  if (window_ != nullptr) gtk_widget_hide(window_);
  if (dialog_ && dialog_->dialog != nullptr)
    gtk_dialog_response(GTK_DIALOG(dialog_->dialog), GTK_RESPONSE_CANCEL);
  if (hooks_) hooks_->WindowClosed();
  g_main_loop_quit(loop_);
}

void GtkPlatform::SetTitle(std::string_view title) {
  title_ = std::string(title);
  if (window_ != nullptr) gtk_window_set_title(GTK_WINDOW(window_), title_.c_str());
}

void GtkPlatform::SetCursor(Cursor cursor) {
  if (window_ == nullptr) return;
  GdkWindow* window = gtk_widget_get_window(window_);
  if (window == nullptr) return;
  GdkCursor* shape =
      cursor == Cursor::kWait ? gdk_cursor_new_from_name(gdk_window_get_display(window), "wait") : nullptr;
  gdk_window_set_cursor(window, shape);
  if (shape != nullptr) g_object_unref(shape);
  if (hooks_) hooks_->Changed();
}

void GtkPlatform::Flush(GtkWidget* window, bool waitForMap) {
  if (window == nullptr || !gtk_widget_get_visible(window)) return;
  // A window just shown is mapped by the display a moment later: wait for
  // that (not longer than a moment), letting events through meanwhile; the
  // reader ignores input while it works.
  if (waitForMap && !gtk_widget_get_mapped(window)) {
    bool late = false;
    const guint timer = g_timeout_add(
        kMapWaitMs,
        [](gpointer flag) -> gboolean {
          *static_cast<bool*>(flag) = true;
          return G_SOURCE_REMOVE;
        },
        &late);
    while (!gtk_widget_get_mapped(window) && !late) g_main_context_iteration(nullptr, TRUE);
    if (!late) g_source_remove(timer);
  }
  // What is ready now, not whatever keeps coming (bounded, so that a busy
  // page cannot keep the reader here).
  for (int i = 0; i < kMaxFlushIterations && g_main_context_pending(nullptr); ++i) {
    g_main_context_iteration(nullptr, FALSE);
  }
  if (GdkWindow* gdkWindow = gtk_widget_get_window(window)) {
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gdk_window_process_updates(gdkWindow, TRUE);
    G_GNUC_END_IGNORE_DEPRECATIONS
  }
  gdk_display_flush(gtk_widget_get_display(window));
}

void GtkPlatform::PaintNow() { Flush(window_, false); }

Rect GtkPlatform::ClientRect() const {
  if (area_ != nullptr && areaWidth_ > 0 && areaHeight_ > 0) return Rect{0, 0, areaWidth_, areaHeight_};
  // Not laid out yet: what the window will give the area at its first
  // size; the reader lays out again when the real size comes.
  int bar = 0;
  if (barBox_ != nullptr) gtk_widget_get_preferred_height(barBox_, &bar, nullptr);
  return Rect{0, 0, kDefaultWidth, std::max(1, kDefaultHeight - bar)};
}

void GtkPlatform::BringToFront() {
  if (hooks_) hooks_->Raised();
  if (window_ == nullptr || destroyed_) return;
  gtk_window_deiconify(GTK_WINDOW(window_));
  gtk_window_present(GTK_WINDOW(window_));
}

void GtkPlatform::AddNotifyIcon() {
  if (statusIcon_ != nullptr) return;
  // The notification area where the desktop has one; elsewhere the icon is
  // simply not shown.
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  GdkPixbuf* icon = NewReaderIcon(22);
  GtkStatusIcon* status = gtk_status_icon_new_from_pixbuf(icon);
  g_object_unref(icon);
  gtk_status_icon_set_tooltip_text(status, "Tessaly");
  gtk_status_icon_set_title(status, "Tessaly");
  G_GNUC_END_IGNORE_DEPRECATIONS
  g_signal_connect(status, "activate", G_CALLBACK(OnStatusIconActivate), this);
  statusIcon_ = G_OBJECT(status);
}

void GtkPlatform::RemoveNotifyIcon() {
  if (statusIcon_ == nullptr) return;
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  gtk_status_icon_set_visible(GTK_STATUS_ICON(statusIcon_), FALSE);
  G_GNUC_END_IGNORE_DEPRECATIONS
  g_object_unref(statusIcon_);
  statusIcon_ = nullptr;
}

void GtkPlatform::OnStatusIconActivate(GObject*, gpointer self) {
  auto* platform = static_cast<GtkPlatform*>(self);
  if (platform->reader_ != nullptr) platform->reader_->OnNotifyIconTap();
}

gboolean GtkPlatform::OnDelete(GtkWidget*, GdkEvent*, gpointer self) {
  // The reader closes the window itself when its close path has run.
  auto* platform = static_cast<GtkPlatform*>(self);
  if (platform->reader_ != nullptr) platform->reader_->OnClose();
  return TRUE;
}

void GtkPlatform::OnActiveChanged(GObject* window, GParamSpec*, gpointer self) {
  auto* platform = static_cast<GtkPlatform*>(self);
  if (platform->reader_ != nullptr && !platform->destroyed_) {
    platform->reader_->OnActivate(gtk_window_is_active(GTK_WINDOW(window)));
  }
}

void GtkPlatform::OnAreaAllocate(GtkWidget*, GdkRectangle* allocation, gpointer self) {
  auto* platform = static_cast<GtkPlatform*>(self);
  // Placing controls allocates the area again at the same size: only a new
  // size is news.
  if (allocation->width == platform->areaWidth_ && allocation->height == platform->areaHeight_) return;
  platform->areaWidth_ = allocation->width;
  platform->areaHeight_ = allocation->height;
  // Sizes asked for while GTK allocates are lost: the reader lays out
  // right after.
  if (platform->resizeSource_ != 0) return;
  platform->resizeSource_ = g_idle_add(
      [](gpointer data) -> gboolean {
        auto* self = static_cast<GtkPlatform*>(data);
        self->resizeSource_ = 0;
        if (self->reader_ != nullptr && !self->destroyed_) self->reader_->OnResize();
        if (self->hooks_) self->hooks_->Changed();
        return G_SOURCE_REMOVE;
      },
      platform);
}

// --- Menu bar and tool buttons ------------------------------------------------------

GtkWidget* GtkPlatform::NewMenuItem(const MenuItem& item) {
  if (item.IsSeparator()) return gtk_separator_menu_item_new();
  const std::string label = Mnemonic(item.text);
  GtkWidget* widget = nullptr;
  if (item.mark == MenuMark::kNone) {
    widget = gtk_menu_item_new_with_mnemonic(label.c_str());
  } else {
    // Radio marks are drawn on plain check items: the reader, not a GTK
    // group, decides which one is on.
    widget = gtk_check_menu_item_new_with_mnemonic(label.c_str());
    gtk_check_menu_item_set_draw_as_radio(GTK_CHECK_MENU_ITEM(widget), item.mark == MenuMark::kRadio);
  }
  if (!item.submenu.empty()) {
    GtkWidget* submenu = gtk_menu_new();
    gtk_menu_set_accel_group(GTK_MENU(submenu), accel_);
    for (const MenuItem& child : item.submenu)
      gtk_menu_shell_append(GTK_MENU_SHELL(submenu), NewMenuItem(child));
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(widget), submenu);
  }
  gtk_widget_set_sensitive(widget, item.enabled);
  if (item.command != 0) {
    g_object_set_data(G_OBJECT(widget), "tessaly-command", GINT_TO_POINTER(item.command));
    menuItems_[item.command] = widget;
    if (item.mark != MenuMark::kNone) {
      marks_[item.command] = item.checked;
      SetMark(widget, item.checked);
    }
    g_signal_connect(widget, "activate", G_CALLBACK(OnMenuActivate), this);
    for (const Shortcut& shortcut : kMenuShortcuts) {
      if (shortcut.command == item.command) {
        gtk_widget_add_accelerator(widget, "activate", accel_, shortcut.key, shortcut.modifiers,
                                   GTK_ACCEL_VISIBLE);
      }
    }
  }
  gtk_widget_show_all(widget);
  return widget;
}

void GtkPlatform::ForgetMenuItem(GtkWidget* item) {
  const int command = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), "tessaly-command"));
  if (command != 0) {
    const auto found = menuItems_.find(command);
    if (found != menuItems_.end() && found->second == item) {
      menuItems_.erase(found);
      marks_.erase(command);
    }
  }
  if (GtkWidget* submenu = gtk_menu_item_get_submenu(GTK_MENU_ITEM(item))) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(submenu));
    for (GList* node = children; node != nullptr; node = node->next) ForgetMenuItem(GTK_WIDGET(node->data));
    g_list_free(children);
  }
}

void GtkPlatform::SetMark(GtkWidget* item, bool checked) {
  if (!GTK_IS_CHECK_MENU_ITEM(item)) return;
  ++updatingMarks_;
  gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), checked);
  --updatingMarks_;
}

void GtkPlatform::OnMenuActivate(GtkMenuItem* item, gpointer self) {
  auto* platform = static_cast<GtkPlatform*>(self);
  if (platform->updatingMarks_ > 0) return;
  const int command = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), "tessaly-command"));
  // A check item has flipped itself: it shows what the reader says.
  if (const auto mark = platform->marks_.find(command); mark != platform->marks_.end()) {
    platform->SetMark(GTK_WIDGET(item), mark->second);
  }
  if (!platform->menuBarEnabled_ || platform->reader_ == nullptr || platform->destroyed_) return;
  platform->reader_->OnCommand(command);
}

void GtkPlatform::CreateMenuBar(std::span<const MenuButton> menus) {
  DestroyMenuBar();
  menuBar_ = gtk_menu_bar_new();
  for (const MenuButton& menu : menus) {
    GtkWidget* top = gtk_menu_item_new_with_mnemonic(("_" + Mnemonic(menu.label)).c_str());
    GtkWidget* items = gtk_menu_new();
    gtk_menu_set_accel_group(GTK_MENU(items), accel_);
    for (const MenuItem& item : menu.items) gtk_menu_shell_append(GTK_MENU_SHELL(items), NewMenuItem(item));
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(top), items);
    gtk_menu_shell_append(GTK_MENU_SHELL(menuBar_), top);
    if (menu.id == kFileMenuButton) fileMenu_ = items;
  }
  gtk_box_pack_start(GTK_BOX(barBox_), menuBar_, FALSE, FALSE, 0);
  gtk_widget_show_all(menuBar_);
}

void GtkPlatform::DestroyMenuBar() {
  if (menuBar_ == nullptr) return;
  gtk_widget_destroy(menuBar_);
  menuBar_ = nullptr;
  fileMenu_ = nullptr;
  menuItems_.clear();
  marks_.clear();
  for (const ToolButtonEntry& button : toolButtons_) gtk_widget_destroy(GTK_WIDGET(button.item));
  toolButtons_.clear();
  UpdateToolbarVisibility();
}

GtkWidget* GtkPlatform::FileMenuItemAt(int position) const {
  if (fileMenu_ == nullptr || position < 0) return nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(fileMenu_));
  auto* item = static_cast<GtkWidget*>(g_list_nth_data(children, static_cast<guint>(position)));
  g_list_free(children);
  return item;
}

void GtkPlatform::InsertFileMenuItem(int position, const MenuItem& item) {
  if (fileMenu_ == nullptr || position < 0) return;
  GList* children = gtk_container_get_children(GTK_CONTAINER(fileMenu_));
  const int count = static_cast<int>(g_list_length(children));
  g_list_free(children);
  if (position > count) return;
  gtk_menu_shell_insert(GTK_MENU_SHELL(fileMenu_), NewMenuItem(item), position);
}

bool GtkPlatform::DeleteFileMenuItemAt(int position) {
  GtkWidget* item = FileMenuItemAt(position);
  if (item == nullptr) return false;
  ForgetMenuItem(item);
  gtk_widget_destroy(item);
  return true;
}

bool GtkPlatform::DeleteFileMenuCommand(int command) {
  if (fileMenu_ == nullptr || command == 0) return false;
  GList* children = gtk_container_get_children(GTK_CONTAINER(fileMenu_));
  GtkWidget* found = nullptr;
  for (GList* node = children; node != nullptr && found == nullptr; node = node->next) {
    if (GPOINTER_TO_INT(g_object_get_data(G_OBJECT(node->data), "tessaly-command")) == command) {
      found = GTK_WIDGET(node->data);
    }
  }
  g_list_free(children);
  if (found == nullptr) return false;
  ForgetMenuItem(found);
  gtk_widget_destroy(found);
  return true;
}

void GtkPlatform::EnableFileMenuItemAt(int position, bool enabled) {
  if (GtkWidget* item = FileMenuItemAt(position)) gtk_widget_set_sensitive(item, enabled);
}

void GtkPlatform::CheckMenuItem(int command, bool checked) {
  const auto found = menuItems_.find(command);
  if (found == menuItems_.end() || !GTK_IS_CHECK_MENU_ITEM(found->second)) return;
  marks_[command] = checked;
  SetMark(found->second, checked);
}

void GtkPlatform::CheckMenuRadio(int first, int last, int command) {
  for (int c = first; c <= last; ++c) CheckMenuItem(c, c == command);
}

void GtkPlatform::UpdateToolbarVisibility() {
  if (toolbar_ != nullptr) gtk_widget_set_visible(toolbar_, !toolButtons_.empty());
}

void GtkPlatform::AddToolButtons(std::span<const ToolButton> buttons) {
  if (toolbar_ == nullptr) return;
  for (const ToolButton& button : buttons) {
    GtkToolItem* item = gtk_tool_button_new(NewButtonImage(button.image), nullptr);
    g_object_set_data(G_OBJECT(item), "tessaly-command", GINT_TO_POINTER(button.command));
    gtk_widget_set_sensitive(GTK_WIDGET(item), button.enabled);
    g_signal_connect(item, "clicked", G_CALLBACK(OnToolClicked), this);
    for (const Shortcut& shortcut : kButtonShortcuts) {
      if (shortcut.command == button.command) {
        gtk_widget_add_accelerator(GTK_WIDGET(item), "clicked", accel_, shortcut.key, shortcut.modifiers,
                                   GTK_ACCEL_VISIBLE);
      }
    }
    gtk_toolbar_insert(GTK_TOOLBAR(toolbar_), item, -1);
    gtk_widget_show_all(GTK_WIDGET(item));
    toolButtons_.push_back({button.command, item});
  }
  UpdateToolbarVisibility();
}

bool GtkPlatform::DeleteToolButton(int index) {
  const int at = index - 2;
  if (at < 0 || at >= static_cast<int>(toolButtons_.size())) return false;
  gtk_widget_destroy(GTK_WIDGET(toolButtons_[static_cast<std::size_t>(at)].item));
  toolButtons_.erase(toolButtons_.begin() + at);
  UpdateToolbarVisibility();
  return true;
}

void GtkPlatform::SetToolButtonImage(int command, int image) {
  for (const ToolButtonEntry& button : toolButtons_) {
    if (button.command != command) continue;
    GtkWidget* picture = NewButtonImage(image);
    gtk_widget_show(picture);
    gtk_tool_button_set_icon_widget(GTK_TOOL_BUTTON(button.item), picture);
  }
}

void GtkPlatform::EnableToolButton(int command, bool enabled) {
  for (const ToolButtonEntry& button : toolButtons_) {
    if (button.command == command) gtk_widget_set_sensitive(GTK_WIDGET(button.item), enabled);
  }
}

void GtkPlatform::SetToolTips(std::span<const std::string> tips) {
  for (std::size_t i = 2; i < tips.size() && i - 2 < toolButtons_.size(); ++i) {
    GtkToolItem* item = toolButtons_[i - 2].item;
    gtk_tool_item_set_tooltip_text(item, tips[i].empty() ? nullptr : tips[i].c_str());
    gtk_tool_button_set_label(GTK_TOOL_BUTTON(item), tips[i].c_str());
  }
}

void GtkPlatform::OnToolClicked(GtkToolButton* button, gpointer self) {
  auto* platform = static_cast<GtkPlatform*>(self);
  if (!platform->menuBarEnabled_ || platform->reader_ == nullptr || platform->destroyed_) return;
  platform->reader_->OnCommand(GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "tessaly-command")));
}

// --- Store ----------------------------------------------------------------------------

std::string GtkPlatform::StoreKeyName(StoreKey key) const {
  return std::string(key == StoreKey::kPrev ? KeyValueStore::kPrevKey : KeyValueStore::kChmFileKey);
}

std::optional<std::string> GtkPlatform::ReadStoreValue(StoreKey key, std::string_view name) {
  if (!store_) return std::nullopt;
  return store_->Read(StoreKeyName(key), name);
}

bool GtkPlatform::WriteStoreValue(StoreKey key, std::string_view name, std::string_view value) {
  return store_ && store_->Write(StoreKeyName(key), name, value);
}

// --- Instance channel -------------------------------------------------------------------

InstanceId GtkPlatform::FindReader() {
  if (!channel_) return 0;
  for (const ReaderId id : channel_->Readers(ownId_)) {
    if (channel_->Ask(id, "title?", kAskTimeoutMs)) return id;
  }
  return 0;
}

InstanceId GtkPlatform::FindReaderByTitle(std::string_view title) {
  if (!channel_) return 0;
  for (const ReaderId id : channel_->Readers(ownId_)) {
    const std::optional<std::string> answer = channel_->Ask(id, "title?", kAskTimeoutMs);
    if (answer && *answer == title) return id;
  }
  return 0;
}

bool GtkPlatform::ReaderExists(InstanceId id) {
  // This reader cannot answer itself while it asks.
  if (id == ownId_) return window_ != nullptr && !destroyed_;
  return id != 0 && channel_ && channel_->Ask(id, "title?", kAskTimeoutMs).has_value();
}

void GtkPlatform::RaiseReader(InstanceId id) {
  if (id != 0 && id != ownId_ && channel_) channel_->Ask(id, "raise", kAskTimeoutMs);
}

void GtkPlatform::CloseReader(InstanceId id) {
  if (id != 0 && id != ownId_ && channel_) channel_->Ask(id, "close", kCloseTimeoutMs);
}

gboolean GtkPlatform::OnChannel(gint, GIOCondition, gpointer self) {
  auto* platform = static_cast<GtkPlatform*>(self);
  if (!platform->channel_) return G_SOURCE_REMOVE;
  for (int fd = platform->channel_->Accept(); fd >= 0;
       fd = platform->channel_ ? platform->channel_->Accept() : -1) {
    const std::optional<std::string> request = InstanceChannel::ReadRequest(fd, kRequestTimeoutMs);
    if (!request) {
      close(fd);
      continue;
    }
    platform->HandleRequest(fd, *request);
    if (platform->destroyed_) return G_SOURCE_REMOVE;
  }
  return G_SOURCE_CONTINUE;
}

void GtkPlatform::HandleRequest(int fd, const std::string& request) {
  if (request == "title?") {
    InstanceChannel::Reply(fd, title_);
  } else if (request == "raise") {
    BringToFront();
    InstanceChannel::Reply(fd, "ok");
  } else if (request == "close") {
    // Answered by DestroyMainWindow, once the close path has run (now, or
    // when the work under way ends).
    pendingCloses_.push_back(fd);
    if (reader_ != nullptr) reader_->OnClose();
    if (destroyed_) AnswerPendingCloses();
  } else if (hooks_ && hooks_->HandleVerb(fd, request)) {
  } else {
    InstanceChannel::Reply(fd, "unknown request");
  }
}

void GtkPlatform::AnswerPendingCloses() {
  std::vector<int> pending;
  pending.swap(pendingCloses_);
  for (int fd : pending) InstanceChannel::Reply(fd, "closed");
}

// --- System -----------------------------------------------------------------------------

bool GtkPlatform::OpenExternal(std::string_view address) {
  if (!IsSystemLink(address)) return false;
  const std::string uri(address);
  if (hooks_) {
    // Tests never start a browser; they read what would have been opened.
    hooks_->External(uri);
    return true;
  }
  GError* error = nullptr;
  const bool launched = g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &error);
  if (error != nullptr) g_error_free(error);
  return launched;
}

std::string GtkPlatform::TempRoot() { return TempRootFromEnvironment(); }

}  // namespace tessaly::app::gtk
