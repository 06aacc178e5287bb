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
#include "app/library_texts.h"
#include "app/resources.h"
#include "app/book_tab.h"
#include "app/desktop_folders.h"
#include "app/gtk/gtk_tab.h"
#include "app/web_address.h"

namespace tessaly::app::gtk {

namespace {

constexpr int kAskTimeoutMs = 3000;
constexpr int kRequestTimeoutMs = 2000;
// The sidebar's width is stored once the user has let go of it a moment.
constexpr guint kSidebarStoreDelayMs = 400;

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

// Desktop keys for commands (the first three are shown in the menus).
struct Shortcut {
  int command;
  guint key;
  GdkModifierType modifiers;
};
constexpr Shortcut kShortcuts[] = {
    {kCmdOpen, GDK_KEY_o, GDK_CONTROL_MASK},
    {kCmdExit, GDK_KEY_q, GDK_CONTROL_MASK},
    {kCmdHelpTopics, GDK_KEY_F1, GdkModifierType(0)},
    {kCmdFind, GDK_KEY_f, GDK_CONTROL_MASK},
    {kCmdTextLarger, GDK_KEY_plus, GDK_CONTROL_MASK},
    {kCmdTextLarger, GDK_KEY_equal, GDK_CONTROL_MASK},
    {kCmdTextLarger, GDK_KEY_KP_Add, GDK_CONTROL_MASK},
    {kCmdTextSmaller, GDK_KEY_minus, GDK_CONTROL_MASK},
    {kCmdTextSmaller, GDK_KEY_KP_Subtract, GDK_CONTROL_MASK},
    {kCmdTextNormal, GDK_KEY_0, GDK_CONTROL_MASK},
    {kCmdTextNormal, GDK_KEY_KP_0, GDK_CONTROL_MASK},
    {kCmdBack, GDK_KEY_Left, GDK_MOD1_MASK},
    {kCmdForward, GDK_KEY_Right, GDK_MOD1_MASK},
    {kCmdRefresh, GDK_KEY_F5, GdkModifierType(0)},
    {kCmdHome, GDK_KEY_Home, GDK_MOD1_MASK},
    {kCmdSidebar, GDK_KEY_F9, GdkModifierType(0)},
    {kCmdCloseTab, GDK_KEY_w, GDK_CONTROL_MASK},
    {kCmdPrint, GDK_KEY_p, GDK_CONTROL_MASK},
    {kCmdNextTab, GDK_KEY_Page_Down, GDK_CONTROL_MASK},
    {kCmdPreviousTab, GDK_KEY_Page_Up, GDK_CONTROL_MASK},
    {kCmdNextTab, GDK_KEY_Tab, GDK_CONTROL_MASK},
    {kCmdPreviousTab, GDK_KEY_ISO_Left_Tab, GDK_CONTROL_MASK},
    {kCmdLibrarySearch, GDK_KEY_k, GDK_CONTROL_MASK},
    {kCmdShowLibrary, GDK_KEY_l, GDK_CONTROL_MASK},
    {kCmdBookmarkPage, GDK_KEY_d, GDK_CONTROL_MASK},
};

constexpr char kPanelCss[] =
    "entry.tessaly-panel, button.tessaly-panel { min-height: 0; padding: 2px 4px; }"
    " .tessaly-progress { padding: 4px 8px; }";

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
    storeWriter_.emplace(*store_);
  }
}

GtkPlatform::~GtkPlatform() {
  // The reader has gone first; nothing torn down here may call it.
  reader_ = nullptr;
  destroyed_ = true;
  {
    std::lock_guard lock(postMutex_);
    postClosed_ = true;
    posted_.clear();
  }
  if (channelSource_ != 0) g_source_remove(channelSource_);
  if (sidebarSource_ != 0) g_source_remove(sidebarSource_);
  hooks_.reset();
  if (statusIcon_ != nullptr) g_object_unref(statusIcon_);
  if (window_ != nullptr) gtk_widget_destroy(window_);
  g_main_loop_unref(loop_);
}

void GtkPlatform::Run() {
  if (destroyed_ || window_ == nullptr) return;
  looping_ = true;
  if (hooks_) hooks_->Changed();
  g_main_loop_run(loop_);
}

// --- Posted tasks -------------------------------------------------------------------

void GtkPlatform::Post(std::function<void()> task) {
  std::lock_guard lock(postMutex_);
  if (postClosed_) return;
  posted_.push_back(std::move(task));
  if (postScheduled_) return;
  postScheduled_ = true;
  g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, RunPosted, this, nullptr);
}

void GtkPlatform::PostAfterPaint(std::function<void()> task) {
  GdkFrameClock* clock =
      window_ != nullptr && !destroyed_ && gtk_widget_get_mapped(window_) ? gtk_widget_get_frame_clock(window_) : nullptr;
  if (clock == nullptr) {
    Post(std::move(task));
    return;
  }
  // Posted when the frame has been drawn; dropped with the window.
  struct Waiting {
    GtkPlatform* platform;
    std::function<void()> task;
    gulong handler = 0;
  };
  auto* waiting = new Waiting{this, std::move(task)};
  waiting->handler = g_signal_connect_data(
      clock, "after-paint", G_CALLBACK(+[](GdkFrameClock* painted, gpointer data) {
        auto* done = static_cast<Waiting*>(data);
        done->platform->Post(std::move(done->task));
        g_signal_handler_disconnect(painted, done->handler);  // deletes `done`
      }),
      waiting, [](gpointer data, GClosure*) { delete static_cast<Waiting*>(data); }, GConnectFlags(0));
  gdk_frame_clock_request_phase(clock, GDK_FRAME_CLOCK_PHASE_PAINT);
}

gboolean GtkPlatform::RunPosted(gpointer self) {
  auto* platform = static_cast<GtkPlatform*>(self);
  // One task per turn, below the priority of drawing: the window paints
  // between two results, however many come back at once. A task may run a
  // modal box; what was posted meanwhile waits its turn.
  std::function<void()> task;
  {
    std::lock_guard lock(platform->postMutex_);
    if (platform->posted_.empty()) {
      platform->postScheduled_ = false;
      return G_SOURCE_REMOVE;
    }
    task = std::move(platform->posted_.front());
    platform->posted_.pop_front();
  }
  if (platform->destroyed_ || platform->reader_ == nullptr) return G_SOURCE_REMOVE;
  task();
  if (platform->hooks_) platform->hooks_->Changed();
  return G_SOURCE_CONTINUE;
}

// --- Main window --------------------------------------------------------------------

void GtkPlatform::FollowDesktopTheme() {
  // GTK 3 draws dark chrome when the application prefers it; the desktop's
  // preference is its interface setting, where the desktop has one.
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  GSettingsSchema* schema =
      source != nullptr ? g_settings_schema_source_lookup(source, "org.gnome.desktop.interface", TRUE) : nullptr;
  if (schema == nullptr) return;
  const bool hasKey = g_settings_schema_has_key(schema, "color-scheme");
  g_settings_schema_unref(schema);
  if (!hasKey) return;
  GSettings* settings = g_settings_new("org.gnome.desktop.interface");
  gchar* scheme = g_settings_get_string(settings, "color-scheme");
  const bool dark = scheme != nullptr && std::strcmp(scheme, "prefer-dark") == 0;
  g_free(scheme);
  g_object_unref(settings);
  if (dark) g_object_set(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", TRUE, nullptr);
}

bool GtkPlatform::CreateMainWindow(std::string_view title) {
  if (window_ != nullptr) return false;
  FollowDesktopTheme();
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, kPanelCss, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);

  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window_), defaultWidth_, defaultHeight_);
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

  // The progress line: a caption and a bar, inside the window.
  progress_ = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
  gtk_style_context_add_class(gtk_widget_get_style_context(progress_), "tessaly-progress");
  progressLabel_ = gtk_label_new("");
  progressBar_ = gtk_progress_bar_new();
  gtk_widget_set_valign(progressBar_, GTK_ALIGN_CENTER);
  gtk_box_pack_start(GTK_BOX(progress_), progressLabel_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(progress_), progressBar_, TRUE, TRUE, 0);
  progressCancel_ = gtk_button_new_with_label(std::string(kCancelWorkButton).c_str());
  g_signal_connect(progressCancel_, "clicked",
                   G_CALLBACK(+[](GtkButton*, gpointer self) { static_cast<GtkPlatform*>(self)->Command(kCmdCancelWork); }),
                   this);
  gtk_box_pack_start(GTK_BOX(progress_), progressCancel_, FALSE, FALSE, 0);

  // The tabs: one per book, their row hidden while there is one.
  bookTabs_ = gtk_notebook_new();
  gtk_notebook_set_scrollable(GTK_NOTEBOOK(bookTabs_), TRUE);
  gtk_notebook_set_show_border(GTK_NOTEBOOK(bookTabs_), FALSE);
  g_signal_connect(bookTabs_, "switch-page", G_CALLBACK(OnTabSwitched), this);
  // A .chm dropped anywhere on the window opens in a tab.
  gtk_drag_dest_set(window_, GTK_DEST_DEFAULT_ALL, nullptr, 0, GDK_ACTION_COPY);
  gtk_drag_dest_add_uri_targets(window_);
  g_signal_connect(window_, "drag-data-received", G_CALLBACK(OnDrop), this);

  gtk_box_pack_start(GTK_BOX(column), barBox_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(column), progress_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(column), library_.Bar(), FALSE, FALSE, 0);
  if (reader_ != nullptr) library_.Attach(*reader_, window_);
  gtk_box_pack_start(GTK_BOX(column), bookTabs_, TRUE, TRUE, 0);
  gtk_container_add(GTK_CONTAINER(window_), column);

  g_signal_connect(window_, "delete-event", G_CALLBACK(OnDelete), this);
  g_signal_connect(window_, "key-press-event", G_CALLBACK(OnKey), this);
  g_signal_connect(window_, "notify::is-active", G_CALLBACK(OnActiveChanged), this);
  g_signal_connect_after(window_, "size-allocate", G_CALLBACK(OnWindowAllocate), this);

  SetTitle(title);
  gtk_widget_show_all(window_);
  gtk_widget_hide(toolbar_);
  gtk_widget_hide(progress_);
  gtk_widget_hide(progressCancel_);
  layout_ = defaultWidth_ < kSinglePaneWidth ? Layout::kSinglePane : Layout::kSidebar;
  ApplyLayout();
  if (reader_ != nullptr) reader_->OnLayout(layout_);

  if (channel_ && channel_->Listen(ownId_)) {
    channelSource_ = g_unix_fd_add(channel_->ListenFd(), G_IO_IN, OnChannel, this);
  }
  if (hooks_) hooks_->WindowCreated();
  return true;
}

void GtkPlatform::DestroyMainWindow() {
  if (destroyed_) return;
  destroyed_ = true;
  {
    std::lock_guard lock(postMutex_);
    postClosed_ = true;
    posted_.clear();
  }
  if (channelSource_ != 0) {
    g_source_remove(channelSource_);
    channelSource_ = 0;
  }
  if (channel_) channel_->StopListening();
  // What the reader stored on its way out is in the file once it has closed.
  if (storeWriter_) storeWriter_->Flush();
  library_.Close();
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
  // The busy pointer that still takes clicks: the window answers meanwhile.
  GdkCursor* shape =
      cursor == Cursor::kWait ? gdk_cursor_new_from_name(gdk_window_get_display(window), "progress") : nullptr;
  gdk_window_set_cursor(window, shape);
  if (shape != nullptr) g_object_unref(shape);
  if (hooks_) hooks_->Changed();
}

void GtkPlatform::BringToFront() {
  if (hooks_) hooks_->Raised();
  if (window_ == nullptr || destroyed_) return;
  gtk_window_deiconify(GTK_WINDOW(window_));
  gtk_window_present(GTK_WINDOW(window_));
}

void GtkPlatform::AddNotifyIcon() {
  if (statusIcon_ != nullptr) return;
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

void GtkPlatform::OnWindowAllocate(GtkWidget*, GdkRectangle* allocation, gpointer self) {
  auto* platform = static_cast<GtkPlatform*>(self);
  if (platform->bookTabs_ != nullptr) {
    GtkAllocation area{};
    gtk_widget_get_allocation(platform->bookTabs_, &area);
    if (area.width != platform->areaWidth_ || area.height != platform->areaHeight_) {
      platform->areaWidth_ = area.width;
      platform->areaHeight_ = area.height;
      if (platform->hooks_) platform->hooks_->Changed();
    }
  }
  const Layout layout = allocation->width < kSinglePaneWidth ? Layout::kSinglePane : Layout::kSidebar;
  if (layout == platform->layout_) return;
  platform->layout_ = layout;
  // Not while GTK allocates: right after.
  g_idle_add(
      [](gpointer data) -> gboolean {
        auto* self = static_cast<GtkPlatform*>(data);
        if (self->destroyed_) return G_SOURCE_REMOVE;
        self->ApplyLayout();
        if (self->reader_ != nullptr) self->reader_->OnLayout(self->layout_);
        if (self->hooks_) self->hooks_->Changed();
        return G_SOURCE_REMOVE;
      },
      platform);
}

void GtkPlatform::Command(int command) {
  if (!commandsEnabled_ || reader_ == nullptr || destroyed_) return;
  reader_->OnCommand(command);
}

gboolean GtkPlatform::OnKey(GtkWidget*, GdkEventKey* event, gpointer self) {
  auto* platform = static_cast<GtkPlatform*>(self);
  const auto modifiers = static_cast<GdkModifierType>(
      event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_SHIFT_MASK) & ~GDK_SHIFT_MASK);
  guint key = gdk_keyval_to_lower(event->keyval);
  // Ctrl+Shift+Tab comes as ISO_Left_Tab with Shift.
  if (key == GDK_KEY_ISO_Left_Tab && (event->state & GDK_CONTROL_MASK) != 0) {
    platform->Command(kCmdPreviousTab);
    return TRUE;
  }
  for (const Shortcut& shortcut : kShortcuts) {
    if (shortcut.key != key || shortcut.modifiers != modifiers) continue;
    // Menu items carry their keys themselves.
    if (shortcut.command == kCmdOpen || shortcut.command == kCmdExit || shortcut.command == kCmdHelpTopics)
      return FALSE;
    platform->Command(shortcut.command);
    return TRUE;
  }
  if (key == GDK_KEY_Escape && platform->Current() != nullptr) return platform->Current()->CloseFindBar();
  return FALSE;
}

// --- Tabs and layout ---------------------------------------------------------------------

void GtkPlatform::Changed() {
  if (hooks_) hooks_->Changed();
}

GtkTab* GtkPlatform::Current() const {
  if (bookTabs_ == nullptr) return nullptr;
  const int page = gtk_notebook_get_current_page(GTK_NOTEBOOK(bookTabs_));
  return page < 0 ? nullptr : TabOfPage(gtk_notebook_get_nth_page(GTK_NOTEBOOK(bookTabs_), page));
}

GtkTab* GtkPlatform::TabOfPage(GtkWidget* page) const {
  for (GtkTab* tab : tabs_) {
    if (tab->Root() == page) return tab;
  }
  return nullptr;
}

std::unique_ptr<TabView> GtkPlatform::NewTab(BookTab& tab) {
  auto view = std::make_unique<GtkTab>(*this, tab);
  tabs_.push_back(view.get());
  ++selectingTab_;
  gtk_notebook_append_page(GTK_NOTEBOOK(bookTabs_), view->Root(), view->LabelWidget());
  gtk_notebook_set_tab_reorderable(GTK_NOTEBOOK(bookTabs_), view->Root(), FALSE);
  gtk_notebook_set_show_tabs(GTK_NOTEBOOK(bookTabs_), tabs_.size() > 1);
  --selectingTab_;
  view->ApplyLayout();
  Changed();
  return view;
}

void GtkPlatform::TabGone(GtkTab* tab) {
  tabs_.erase(std::remove(tabs_.begin(), tabs_.end(), tab), tabs_.end());
  if (bookTabs_ == nullptr) return;
  ++selectingTab_;
  const int page = gtk_notebook_page_num(GTK_NOTEBOOK(bookTabs_), tab->Root());
  if (page >= 0) gtk_notebook_remove_page(GTK_NOTEBOOK(bookTabs_), page);
  gtk_notebook_set_show_tabs(GTK_NOTEBOOK(bookTabs_), tabs_.size() > 1);
  --selectingTab_;
  Changed();
}

void GtkPlatform::SelectTab(TabView& view) {
  auto& tab = static_cast<GtkTab&>(view);
  const int page = gtk_notebook_page_num(GTK_NOTEBOOK(bookTabs_), tab.Root());
  if (page < 0) return;
  ++selectingTab_;
  gtk_notebook_set_current_page(GTK_NOTEBOOK(bookTabs_), page);
  --selectingTab_;
  tab.ApplyLayout();
  Changed();
}

void GtkPlatform::OnTabSwitched(GtkNotebook*, GtkWidget* page, guint, gpointer self) {
  auto* platform = static_cast<GtkPlatform*>(self);
  if (platform->selectingTab_ > 0 || platform->reader_ == nullptr || platform->destroyed_) return;
  if (GtkTab* tab = platform->TabOfPage(page)) {
    tab->ApplyLayout();
    platform->reader_->OnTabSelected(tab->Tab());
  }
}

gboolean GtkPlatform::OnTabLabelButton(GtkWidget* label, GdkEventButton* event, gpointer self) {
  auto* platform = static_cast<GtkPlatform*>(self);
  // A middle click on a tab closes it, as in every tabbed program.
  if (event->type != GDK_BUTTON_PRESS || event->button != GDK_BUTTON_MIDDLE) return FALSE;
  if (platform->reader_ == nullptr || platform->destroyed_) return TRUE;
  for (GtkTab* tab : platform->tabs_) {
    if (tab->LabelWidget() == label) {
      platform->reader_->OnTabClose(tab->Tab());
      break;
    }
  }
  return TRUE;
}

void GtkPlatform::OnDrop(GtkWidget*, GdkDragContext* context, gint, gint, GtkSelectionData* data, guint, guint time,
                         gpointer self) {
  auto* platform = static_cast<GtkPlatform*>(self);
  gchar** uris = gtk_selection_data_get_uris(data);
  bool taken = false;
  for (gchar** uri = uris; uri != nullptr && *uri != nullptr; ++uri) {
    gchar* path = g_filename_from_uri(*uri, nullptr, nullptr);
    if (path != nullptr && platform->reader_ != nullptr && !platform->destroyed_ && g_str_has_suffix(path, ".chm")) {
      platform->reader_->OnOpenRequest(path);
      taken = true;
    }
    g_free(path);
  }
  g_strfreev(uris);
  gtk_drag_finish(context, taken, FALSE, time);
}

void GtkPlatform::ApplyLayout() {
  for (GtkTab* tab : tabs_) tab->ApplyLayout();
  Changed();
}

void GtkPlatform::SetSidebarWidth(int width) {
  sidebarWidth_ = std::clamp(width, 120, 1200);
  ApplyLayout();
}

void GtkPlatform::SidebarMoved(int width) {
  if (width == sidebarWidth_) return;
  sidebarWidth_ = width;
  if (sidebarSource_ != 0) g_source_remove(sidebarSource_);
  sidebarSource_ = g_timeout_add(
      kSidebarStoreDelayMs,
      [](gpointer data) -> gboolean {
        auto* self = static_cast<GtkPlatform*>(data);
        self->sidebarSource_ = 0;
        if (self->reader_ != nullptr && !self->destroyed_) self->reader_->OnSidebarResized(self->sidebarWidth_);
        return G_SOURCE_REMOVE;
      },
      this);
}

const std::string& GtkPlatform::FilterFolder() {
  if (!filterFolder_) {
    filterFolder_.emplace();
    if (const std::optional<std::string> cache = CacheFolder()) {
      if (const std::optional<std::string> folder = PrivateFolder(*cache + "/filters")) *filterFolder_ = *folder;
    }
  }
  return *filterFolder_;
}

// --- Menu bar and tool buttons ------------------------------------------------------

GtkWidget* GtkPlatform::NewMenuItem(const MenuEntry& item) {
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
    ++updatingMarks_;
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(widget), item.checked);
    --updatingMarks_;
  }
  if (!item.submenu.empty()) {
    GtkWidget* submenu = gtk_menu_new();
    gtk_menu_set_accel_group(GTK_MENU(submenu), accel_);
    for (const MenuEntry& child : item.submenu) gtk_menu_shell_append(GTK_MENU_SHELL(submenu), NewMenuItem(child));
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(widget), submenu);
  }
  gtk_widget_set_sensitive(widget, item.enabled);
  if (item.command != 0) {
    g_object_set_data(G_OBJECT(widget), "tessaly-command", GINT_TO_POINTER(item.command));
    g_object_set_data(G_OBJECT(widget), "tessaly-checked", GINT_TO_POINTER(item.checked ? 1 : 0));
    menuItems_[item.command] = widget;
    g_signal_connect(widget, "activate", G_CALLBACK(OnMenuActivate), this);
    for (const Shortcut& shortcut : kShortcuts) {
      if (shortcut.command == item.command &&
          (item.command == kCmdOpen || item.command == kCmdExit || item.command == kCmdHelpTopics)) {
        gtk_widget_add_accelerator(widget, "activate", accel_, shortcut.key, shortcut.modifiers,
                                   GTK_ACCEL_VISIBLE);
      }
    }
  }
  gtk_widget_show_all(widget);
  return widget;
}

void GtkPlatform::OnMenuActivate(GtkMenuItem* item, gpointer self) {
  auto* platform = static_cast<GtkPlatform*>(self);
  if (platform->updatingMarks_ > 0) return;
  const int command = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), "tessaly-command"));
  // A check item has flipped itself: it shows what the reader says.
  if (GTK_IS_CHECK_MENU_ITEM(item)) {
    ++platform->updatingMarks_;
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item),
                                   GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), "tessaly-checked")) != 0);
    --platform->updatingMarks_;
  }
  // The menu has closed before its item is activated: the command may
  // build the menus anew.
  platform->Command(command);
}

void GtkPlatform::SetMenus(std::span<const Menu> menus) {
  if (barBox_ == nullptr) return;
  if (menuBar_ != nullptr && std::equal(menus.begin(), menus.end(), menus_.begin(), menus_.end())) return;
  menus_.assign(menus.begin(), menus.end());
  if (menuBar_ != nullptr) gtk_widget_destroy(menuBar_);
  menuItems_.clear();
  menuBar_ = gtk_menu_bar_new();
  for (const Menu& menu : menus) {
    GtkWidget* top = gtk_menu_item_new_with_mnemonic(("_" + Mnemonic(menu.label)).c_str());
    GtkWidget* items = gtk_menu_new();
    gtk_menu_set_accel_group(GTK_MENU(items), accel_);
    for (const MenuEntry& item : menu.items) gtk_menu_shell_append(GTK_MENU_SHELL(items), NewMenuItem(item));
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(top), items);
    gtk_menu_shell_append(GTK_MENU_SHELL(menuBar_), top);
  }
  gtk_box_pack_start(GTK_BOX(barBox_), menuBar_, FALSE, FALSE, 0);
  gtk_widget_show_all(menuBar_);
  if (hooks_) hooks_->Changed();
}

void GtkPlatform::SetToolButtons(std::span<const ToolButton> buttons) {
  if (toolbar_ == nullptr) return;
  bool same = buttons.size() == toolButtons_.size();
  for (std::size_t i = 0; same && i < buttons.size(); ++i) same = buttons[i].command == toolButtons_[i].command;
  if (!same) {
    for (const ToolButtonEntry& button : toolButtons_) gtk_widget_destroy(GTK_WIDGET(button.item));
    toolButtons_.clear();
    for (const ToolButton& button : buttons) {
      GtkToolItem* item = gtk_tool_button_new(NewButtonImage(button.image), nullptr);
      g_object_set_data(G_OBJECT(item), "tessaly-command", GINT_TO_POINTER(button.command));
      g_signal_connect(item, "clicked", G_CALLBACK(OnToolClicked), this);
      gtk_toolbar_insert(GTK_TOOLBAR(toolbar_), item, -1);
      gtk_widget_show_all(GTK_WIDGET(item));
      toolButtons_.push_back({button.command, button.image, item});
    }
  }
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    ToolButtonEntry& entry = toolButtons_[i];
    if (entry.image != buttons[i].image) {
      GtkWidget* picture = NewButtonImage(buttons[i].image);
      gtk_widget_show(picture);
      gtk_tool_button_set_icon_widget(GTK_TOOL_BUTTON(entry.item), picture);
      entry.image = buttons[i].image;
    }
    gtk_widget_set_sensitive(GTK_WIDGET(entry.item), buttons[i].enabled);
    gtk_tool_item_set_tooltip_text(entry.item, buttons[i].tip.empty() ? nullptr : buttons[i].tip.c_str());
    gtk_tool_button_set_label(GTK_TOOL_BUTTON(entry.item), buttons[i].tip.c_str());
  }
  gtk_widget_set_visible(toolbar_, !toolButtons_.empty());
  if (hooks_) hooks_->Changed();
}

void GtkPlatform::OnToolClicked(GtkToolButton* button, gpointer self) {
  static_cast<GtkPlatform*>(self)->Command(
      GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "tessaly-command")));
}

// --- Store ----------------------------------------------------------------------------

std::string GtkPlatform::StoreKeyName(StoreKey key) const {
  return std::string(key == StoreKey::kPrev ? KeyValueStore::kPrevKey : KeyValueStore::kChmFileKey);
}

std::optional<std::string> GtkPlatform::ReadStoreValue(StoreKey key, std::string_view name) {
  if (!storeWriter_) return std::nullopt;
  return storeWriter_->Read(StoreKeyName(key), name);
}

bool GtkPlatform::WriteStoreValue(StoreKey key, std::string_view name, std::string_view value) {
  if (!storeWriter_ || !g_utf8_validate(value.data(), static_cast<gssize>(value.size()), nullptr)) return false;
  // Other readers look for a running one by its window's id: that value is
  // in the file before this returns. The others are written in the back.
  if (name == kStoreWindow) {
    storeWriter_->Flush();
    return store_->Write(StoreKeyName(key), name, value);
  }
  storeWriter_->Write(StoreKeyName(key), name, value);
  return true;
}

void GtkPlatform::AddRecentBook(std::string_view path) {
  gchar* uri = g_filename_to_uri(std::string(path).c_str(), nullptr, nullptr);
  if (uri == nullptr) return;
  gtk_recent_manager_add_item(gtk_recent_manager_get_default(), uri);
  g_free(uri);
}

// --- Instance channel -------------------------------------------------------------------

InstanceId GtkPlatform::FindReader() {
  if (!channel_) return 0;
  for (const ReaderId id : channel_->Readers(ownId_)) {
    if (channel_->Ask(id, "title?", kAskTimeoutMs)) return id;
  }
  return 0;
}

void GtkPlatform::RaiseReader(InstanceId id) {
  if (id != 0 && id != ownId_ && channel_) channel_->Ask(id, "raise", kAskTimeoutMs);
}

bool GtkPlatform::HandOver(InstanceId id, std::string_view commandLine) {
  if (id == 0 || id == ownId_ || !channel_ || commandLine.find('\n') != std::string_view::npos) return false;
  const std::optional<std::string> answer = channel_->Ask(id, "open " + std::string(commandLine), kAskTimeoutMs);
  return answer && *answer == "ok";
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
  } else if (request.starts_with("open ")) {
    // A book handed over by a reader started for it: a tab of this one.
    if (reader_ == nullptr || destroyed_) {
      InstanceChannel::Reply(fd, "closed");
      return;
    }
    InstanceChannel::Reply(fd, "ok");
    reader_->OnOpenRequest(std::string_view(request).substr(5));
  } else if (request == "close") {
    if (reader_ != nullptr) reader_->OnClose();
    InstanceChannel::Reply(fd, "closed");
  } else if (hooks_ && hooks_->HandleVerb(fd, request)) {
  } else {
    InstanceChannel::Reply(fd, "unknown request");
  }
}

// --- System -----------------------------------------------------------------------------

bool GtkPlatform::OpenExternal(std::string_view address) {
  if (!IsWebAddress(address)) return false;
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

std::optional<std::filesystem::path> GtkPlatform::PageTextFolder() { return KeptIndexFolder(); }

std::optional<std::filesystem::path> GtkPlatform::LibraryFile() { return KeptLibraryFile(); }

}  // namespace tessaly::app::gtk
