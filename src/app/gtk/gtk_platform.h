// GtkPlatform: the reader's Platform on a GTK 3 desktop with a WebKitGTK
// page view.
//
// The window: the menu bar (File, Help) at the top, the tool bar of the
// book's buttons under it (hidden while there are none), a progress line
// while the reader works, and below them the row of tabs, one per book
// (gtk_tab.h: each its sidebar beside its page). A window narrower than
// kSinglePaneWidth falls back to one pane: the panel shown takes the page's
// place. The layout is reported to the reader whenever it changes. A .chm
// dropped on the window opens in a tab; a middle click on a tab closes it.
//
// The library's search field stands above the tabs (library_widgets.h).
//
// Desktop keys reach the reader's commands: Ctrl+K, Ctrl+L, Ctrl+O, Ctrl+W, Ctrl+Q, F1,
// Ctrl+F, Ctrl+plus, Ctrl+minus, Ctrl+0, Alt+Left, Alt+Right, F5, Alt+Home,
// F9, Ctrl+PageDown and Ctrl+Tab (next tab), Ctrl+PageUp and
// Ctrl+Shift+Tab (previous tab).
// While the reader says commands take no input (a page is prepared and
// loads), menu choices, button taps and command keys are dropped rather
// than greyed out, so that the bar does not flicker with every page.
//
// The chrome follows the desktop's light or dark preference (GTK's theme
// draws it); the page keeps the book's own colours.
//
// Other readers of the same user reach this one through an InstanceChannel:
// "title?" (the window title), "raise", "close" and "open <book>" (a book
// handed over, opened in a tab). A test build can attach
// TestHooks (test_hooks.h): the same socket then also takes the test verbs,
// and links for the desktop's browser are recorded instead of opened.
#pragma once

#include <gtk/gtk.h>

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/gtk/instance_channel.h"
#include "app/gtk/key_value_store.h"
#include "app/gtk/library_widgets.h"
#include "app/gtk/store_writer.h"
#include "app/gtk/test_hooks.h"
#include "app/platform.h"
#include "app/reader.h"
#include "codec/codec.h"

namespace tessaly::app::gtk {

class GtkTab;

class GtkPlatform : public Platform {
 public:
  GtkPlatform();
  ~GtkPlatform() override;
  GtkPlatform(const GtkPlatform&) = delete;
  GtkPlatform& operator=(const GtkPlatform&) = delete;

  void Attach(Reader& reader) { reader_ = &reader; }
  // Test builds only: the verbs and what they observe (null: none).
  void SetTestHooks(std::unique_ptr<TestHooks> hooks) { hooks_ = std::move(hooks); }
  // Runs the event loop until DestroyMainWindow.
  void Run();
  bool HasWindow() const { return window_ != nullptr; }
  // The window's size when it is made (before CreateMainWindow).
  void SetDefaultSize(int width, int height) {
    defaultWidth_ = width;
    defaultHeight_ = height;
  }

  // The width below which one pane is shown instead of the sidebar.
  static constexpr int kSinglePaneWidth = 700;

  // --- Platform -----------------------------------------------------------------
  bool CreateMainWindow(std::string_view title) override;
  void DestroyMainWindow() override;
  void SetTitle(std::string_view title) override;
  void SetCursor(Cursor cursor) override;
  void BringToFront() override;
  void AddNotifyIcon() override;
  void RemoveNotifyIcon() override;
  void Post(std::function<void()> task) override;
  void PostAfterPaint(std::function<void()> task) override;

  std::unique_ptr<TabView> NewTab(BookTab& tab) override;
  void SelectTab(TabView& tab) override;

  void SetMenus(std::span<const Menu> menus) override;
  void SetToolButtons(std::span<const ToolButton> buttons) override;
  void EnableCommands(bool enabled) override { commandsEnabled_ = enabled; }
  void SetSidebarWidth(int width) override;

  void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;
  void ShowProgress(std::string_view caption, int value) override;
  void HideProgress() override;
  void OfferCancel(bool offered) override;
  std::optional<ExportChoice> ChooseExport(const ExportDialog& dialog) override;
  void PrintToPdf(const std::string& html, const std::string& pdf, PdfPrinted done) override;
  std::optional<std::string> ChooseFile(std::string_view filterName, std::string_view pattern) override;
  int RunChoiceDialog(const ChoiceDialog& dialog) override;
  void ShowAbout(const AboutBox& about) override;

  std::optional<std::string> ReadStoreValue(StoreKey key, std::string_view name) override;
  bool WriteStoreValue(StoreKey key, std::string_view name, std::string_view value) override;
  void AddRecentBook(std::string_view path) override;

  InstanceId OwnInstance() const override { return ownId_; }
  InstanceId FindReader() override;
  void RaiseReader(InstanceId id) override;
  bool HandOver(InstanceId id, std::string_view commandLine) override;

  bool OpenExternal(std::string_view address) override;
  std::optional<std::filesystem::path> PageTextFolder() override;
  std::optional<std::filesystem::path> LibraryFile() override;
  const TextCodec& Codec() const override { return codec_; }
  LibraryView& Library() override { return library_; }

 private:
  struct ToolButtonEntry {
    int command = 0;
    int image = 0;
    GtkToolItem* item = nullptr;
  };

  // What a test sees of the modal dialog on screen.
  struct OpenDialog {
    std::string kind;  // "message", "choice", "about", "file"
    std::string title;
    std::string text;
    std::vector<std::string> lines;
    GtkWidget* dialog = nullptr;
    GtkWidget* list = nullptr;  // the choice dialog's list
  };

  // For the tabs.
  friend class GtkTab;
  void Changed();
  void Command(int command);
  // The sidebar was dragged to this width (stored once let go of).
  void SidebarMoved(int width);
  // Where WebKit keeps the page views' compiled filter.
  const std::string& FilterFolder();
  // The tab in front (null: none yet).
  GtkTab* Current() const;
  GtkTab* TabOfPage(GtkWidget* page) const;
  // A tab's view is going: its page leaves the notebook.
  void TabGone(GtkTab* tab);

  // Window, bar, keys, layout.
  GtkWidget* NewMenuItem(const MenuEntry& item);
  void FollowDesktopTheme();
  void ApplyLayout();
  static void OnMenuActivate(GtkMenuItem* item, gpointer self);
  static void OnToolClicked(GtkToolButton* button, gpointer self);
  static gboolean OnKey(GtkWidget* window, GdkEventKey* event, gpointer self);
  static gboolean OnDelete(GtkWidget* window, GdkEvent* event, gpointer self);
  static void OnActiveChanged(GObject* window, GParamSpec* property, gpointer self);
  static void OnWindowAllocate(GtkWidget* window, GdkRectangle* allocation, gpointer self);
  static void OnTabSwitched(GtkNotebook* notebook, GtkWidget* page, guint number, gpointer self);
  static gboolean OnTabLabelButton(GtkWidget* label, GdkEventButton* event, gpointer self);
  static void OnDrop(GtkWidget* widget, GdkDragContext* context, gint x, gint y, GtkSelectionData* data, guint info,
                     guint time, gpointer self);
  static void OnStatusIconActivate(GObject* icon, gpointer self);
  static gboolean RunPosted(gpointer self);

  // Dialogs.
  int RunModal(GtkWidget* dialog, OpenDialog shown);

  // Instance channel.
  static gboolean OnChannel(gint fd, GIOCondition condition, gpointer self);
  void HandleRequest(int fd, const std::string& request);
  std::string StoreKeyName(StoreKey key) const;

  // The test verbs read the window's state.
  friend class TestVerbs;

  Reader* reader_ = nullptr;
  std::unique_ptr<TestHooks> hooks_;
  GMainLoop* loop_ = nullptr;
  IconvCodec codec_;
  std::optional<KeyValueStore> store_;
  std::optional<StoreWriter> storeWriter_;  // over store_
  std::optional<InstanceChannel> channel_;
  InstanceId ownId_ = 0;
  guint channelSource_ = 0;
  bool destroyed_ = false;
  bool looping_ = false;  // start-up is over: the event loop runs
  std::optional<std::string> filterFolder_;

  // Tasks posted from any thread.
  std::mutex postMutex_;
  std::deque<std::function<void()>> posted_;
  bool postScheduled_ = false;
  bool postClosed_ = false;

  GtkWidget* window_ = nullptr;
  GtkWidget* barBox_ = nullptr;
  GtkWidget* bookTabs_ = nullptr;  // the notebook of the tabs
  std::vector<GtkTab*> tabs_;      // in the order they were made; owned by the reader's tabs
  int selectingTab_ = 0;           // the reader selects: no event
  GtkAccelGroup* accel_ = nullptr;
  std::string title_;
  int defaultWidth_ = 1100;
  int defaultHeight_ = 760;
  int areaWidth_ = 0;
  int areaHeight_ = 0;
  Layout layout_ = Layout::kSidebar;
  int sidebarWidth_ = 280;
  guint sidebarSource_ = 0;

  GtkWidget* menuBar_ = nullptr;
  std::vector<Menu> menus_;
  std::map<int, GtkWidget*> menuItems_;  // command -> item, in every menu
  bool commandsEnabled_ = true;
  int updatingMarks_ = 0;
  GtkWidget* toolbar_ = nullptr;
  std::vector<ToolButtonEntry> toolButtons_;
  GObject* statusIcon_ = nullptr;

  GtkLibrary library_;  // the search field above the tabs, the Library view
  GtkWidget* progress_ = nullptr;
  GtkWidget* progressLabel_ = nullptr;
  GtkWidget* progressBar_ = nullptr;
  GtkWidget* progressCancel_ = nullptr;  // while an export runs

  std::optional<OpenDialog> dialog_;  // the modal dialog on screen
};

}  // namespace tessaly::app::gtk
