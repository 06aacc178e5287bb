// GtkPlatform: the reader's Platform on a GTK 3 desktop with a WebKitGTK
// page view.
//
// The window: the menu bar (File, Help) at the top, the tool bar of the
// book's buttons under it (hidden while there are none), and below them the
// area the reader lays its panels out in, with controls placed where the
// reader says. Desktop keys reach the same commands as the menus: Ctrl+O,
// Ctrl+Q, F1, Alt+Left, Alt+Right, F5, Alt+Home.
//
// While the reader says the bar takes no input (a page is loading), menu
// choices and button taps are dropped rather than greyed out, so that the
// bar does not flicker with every page.
//
// Other readers of the same user reach this one through an InstanceChannel:
// "title?" (the window title), "raise" and "close" (answered once the close
// path has run, however long the reader is busy). A test build can attach
// TestHooks (test_hooks.h): the same socket then also takes the test verbs,
// and links for the desktop's browser are recorded instead of opened.
#pragma once

#include <gtk/gtk.h>

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/gtk/instance_channel.h"
#include "app/gtk/key_value_store.h"
#include "app/gtk/page_view.h"
#include "app/gtk/test_hooks.h"
#include "app/platform.h"
#include "app/reader.h"
#include "codec/iconv_codec.h"

namespace tessaly::app::gtk {

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

  // --- Platform -----------------------------------------------------------------
  bool CreateMainWindow(std::string_view title) override;
  void DestroyMainWindow() override;
  void SetTitle(std::string_view title) override;
  void SetCursor(Cursor cursor) override;
  void PaintNow() override;
  Rect ClientRect() const override;
  int MenuBarHeight() const override { return 0; }
  void BringToFront() override;
  void AddNotifyIcon() override;
  void RemoveNotifyIcon() override;

  void CreateMenuBar(std::span<const MenuButton> menus) override;
  void DestroyMenuBar() override;
  void InsertFileMenuItem(int position, const MenuItem& item) override;
  bool DeleteFileMenuItemAt(int position) override;
  bool DeleteFileMenuCommand(int command) override;
  void EnableFileMenuItemAt(int position, bool enabled) override;
  void CheckMenuItem(int command, bool checked) override;
  void CheckMenuRadio(int first, int last, int command) override;
  void EnableMenuBar(bool enabled) override { menuBarEnabled_ = enabled; }
  void AddToolButtons(std::span<const ToolButton> buttons) override;
  int ToolButtonCount() const override { return 2 + static_cast<int>(toolButtons_.size()); }
  bool DeleteToolButton(int index) override;
  void SetToolButtonImage(int command, int image) override;
  void EnableToolButton(int command, bool enabled) override;
  void SetToolTips(std::span<const std::string> tips) override;

  void CreateControl(Control control, std::string_view text) override;
  void DestroyControl(Control control) override;
  void MoveControl(Control control, const Rect& rect) override;
  void ShowControl(Control control, bool visible) override;
  void EnableControl(Control control, bool enabled) override;
  void FocusControl(Control control) override;
  std::optional<Control> FocusedControl() const override;
  Size MeasureText(Control control, std::string_view text) const override;

  void CreateTree(bool withLines) override;
  TreeItem TreeInsert(TreeItem parent, std::string_view text, int image) override;
  void TreeSetImage(TreeItem item, int image) override;
  int TreeImage(TreeItem item) const override;
  void TreeSelect(TreeItem item) override;
  TreeItem TreeSelection() const override;

  void ListAppend(Control list, std::string_view text) override;
  void ListClear(Control list) override;
  void ListSelect(Control list, int index) override;
  int ListSelection(Control list) const override;
  void ListScrollToTop(Control list, int index) override;

  std::string EditText(Control edit) const override;
  void SetEditText(Control edit, std::string_view text) override;

  bool CreatePageView() override;
  void Navigate(std::string_view address) override;
  void SetZoomLevel(int level) override;
  void SetShrinkToFit(bool on) override;
  void SetClearType(bool on) override;
  std::optional<ScrollInfo> PageScroll() const override;

  void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;
  void ShowNotice(std::string_view text) override;
  void HideNotice() override;
  std::optional<std::string> ChooseFile(std::string_view filterName, std::string_view pattern) override;
  int RunChoiceDialog(const ChoiceDialog& dialog) override;
  void ShowAbout(const AboutBox& about) override;
  void ShowProgress(std::string_view caption) override;
  void SetProgressBar(int value) override;
  void HideProgress() override;

  std::optional<std::string> ReadStoreValue(StoreKey key, std::string_view name) override;
  bool WriteStoreValue(StoreKey key, std::string_view name, std::string_view value) override;

  InstanceId OwnInstance() const override { return ownId_; }
  InstanceId FindReader() override;
  InstanceId FindReaderByTitle(std::string_view title) override;
  bool ReaderExists(InstanceId id) override;
  void RaiseReader(InstanceId id) override;
  void CloseReader(InstanceId id) override;

  bool OpenExternal(std::string_view address) override;
  std::string TempRoot() override;
  const TextCodec& Codec() const override { return codec_; }

 private:
  // One child control: the widget placed in the area, and the one inside it
  // that takes focus and carries the content (the same for most kinds).
  struct ControlWidgets {
    GtkWidget* outer = nullptr;
    GtkWidget* inner = nullptr;
  };

  struct ToolButtonEntry {
    int command = 0;
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

  // Window and bar.
  GtkWidget* NewMenuItem(const MenuItem& item);
  void ForgetMenuItem(GtkWidget* item);
  GtkWidget* FileMenuItemAt(int position) const;
  void SetMark(GtkWidget* item, bool checked);
  void UpdateToolbarVisibility();
  static void OnMenuActivate(GtkMenuItem* item, gpointer self);
  static void OnToolClicked(GtkToolButton* button, gpointer self);
  static gboolean OnDelete(GtkWidget* window, GdkEvent* event, gpointer self);
  static void OnActiveChanged(GObject* window, GParamSpec* property, gpointer self);
  static void OnAreaAllocate(GtkWidget* area, GdkRectangle* allocation, gpointer self);
  static void OnStatusIconActivate(GObject* icon, gpointer self);
  // Paints the windows now, waiting up to a moment for one just shown.
  void Flush(GtkWidget* window, bool waitForMap);

  // Controls.
  ControlWidgets& Widgets(Control control) { return controls_[static_cast<std::size_t>(control)]; }
  const ControlWidgets& Widgets(Control control) const { return controls_[static_cast<std::size_t>(control)]; }
  void Place(Control control, GtkWidget* outer, GtkWidget* inner);
  GtkListStore* ListStore(Control list) const;
  void AttachTreeModel();
  void AttachListModel(Control list);
  std::optional<GtkTreeIter> TreeIter(TreeItem item) const;
  TreeItem ItemAt(GtkTreePath* path) const;
  void TapTreeRow(GtkTreePath* path);
  static void OnEditChanged(GtkEditable* edit, gpointer self);
  static void OnEditActivated(GtkEntry* edit, gpointer self);
  static void OnListSelectionChanged(GtkTreeSelection* selection, gpointer self);
  static void OnListActivated(GtkTreeView* view, GtkTreePath* path, GtkTreeViewColumn* column, gpointer self);
  static void OnButtonClicked(GtkButton* button, gpointer self);
  static gboolean OnTreeButton(GtkWidget* widget, GdkEventButton* event, gpointer self);
  static void OnTreeActivated(GtkTreeView* view, GtkTreePath* path, GtkTreeViewColumn* column, gpointer self);
  static gboolean OnTreeTestExpand(GtkTreeView* view, GtkTreeIter* iter, GtkTreePath* path, gpointer self);
  static gboolean OnTreeTestCollapse(GtkTreeView* view, GtkTreeIter* iter, GtkTreePath* path, gpointer self);
  std::optional<Control> ControlOf(GObject* widget) const;

  // Dialogs.
  int RunModal(GtkWidget* dialog, OpenDialog shown);

  // Instance channel.
  static gboolean OnChannel(gint fd, GIOCondition condition, gpointer self);
  void HandleRequest(int fd, const std::string& request);
  void AnswerPendingCloses();
  std::string StoreKeyName(StoreKey key) const;

  // The test verbs read the window's state.
  friend class TestVerbs;

  Reader* reader_ = nullptr;
  std::unique_ptr<TestHooks> hooks_;
  GMainLoop* loop_ = nullptr;
  IconvCodec codec_;
  std::optional<KeyValueStore> store_;
  std::optional<InstanceChannel> channel_;
  InstanceId ownId_ = 0;
  guint channelSource_ = 0;
  std::vector<int> pendingCloses_;
  bool destroyed_ = false;
  bool looping_ = false;  // start-up is over: the event loop runs

  GtkWidget* window_ = nullptr;
  GtkWidget* barBox_ = nullptr;
  GtkWidget* area_ = nullptr;
  GtkAccelGroup* accel_ = nullptr;
  GtkCssProvider* css_ = nullptr;
  std::string title_;
  int areaWidth_ = 0;
  int areaHeight_ = 0;
  guint resizeSource_ = 0;

  GtkWidget* menuBar_ = nullptr;
  GtkWidget* fileMenu_ = nullptr;
  std::map<int, GtkWidget*> menuItems_;  // command -> item, in every menu
  std::map<int, bool> marks_;            // command -> mark as the reader set it
  bool menuBarEnabled_ = true;
  int updatingMarks_ = 0;
  GtkWidget* toolbar_ = nullptr;
  std::vector<ToolButtonEntry> toolButtons_;
  GObject* statusIcon_ = nullptr;

  std::array<ControlWidgets, kControlCount> controls_{};
  int selectingList_ = 0;  // the reader selects: no event
  GtkTreeStore* treeStore_ = nullptr;
  bool treeAttached_ = false;
  std::unordered_map<TreeItem, GtkTreeIter> treeItems_;
  TreeItem nextTreeItem_ = 1;
  std::map<Control, GtkListStore*> listStores_;
  std::map<Control, bool> listAttached_;
  std::unique_ptr<PageView> pageView_;
  GtkWidget* notice_ = nullptr;  // the bar above the page, and its text
  GtkWidget* noticeLabel_ = nullptr;

  GtkWidget* progress_ = nullptr;
  GtkWidget* progressLabel_ = nullptr;
  GtkWidget* progressBar_ = nullptr;

  std::optional<OpenDialog> dialog_;  // the modal dialog on screen
};

}  // namespace tessaly::app::gtk
