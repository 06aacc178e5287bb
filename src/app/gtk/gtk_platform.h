// GtkPlatform: the reader's Platform on a GTK 3 desktop with a WebKitGTK
// page view.
//
// The window: the menu bar (File, Help) at the top, the tool bar of the
// book's buttons under it (hidden while there are none), a progress line
// while the reader works, and below them a paned area: the sidebar (a
// notebook whose tabs are Contents, Index and Search) beside the page (the
// notice bar, the find bar and the view). A window narrower than
// kSinglePaneWidth falls back to one pane: the panel shown takes the page's
// place. The layout is reported to the reader whenever it changes.
//
// Desktop keys reach the reader's commands: Ctrl+O, Ctrl+Q, F1, Ctrl+F,
// Ctrl+plus, Ctrl+minus, Ctrl+0, Alt+Left, Alt+Right, F5, Alt+Home, F9.
// While the reader says commands take no input (a page is prepared and
// loads), menu choices, button taps and command keys are dropped rather
// than greyed out, so that the bar does not flicker with every page.
//
// The chrome follows the desktop's light or dark preference (GTK's theme
// draws it); the page keeps the book's own colours.
//
// Other readers of the same user reach this one through an InstanceChannel:
// "title?" (the window title), "raise" and "close". A test build can attach
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
#include "app/gtk/page_view.h"
#include "app/gtk/test_hooks.h"
#include "app/platform.h"
#include "app/reader.h"
#include "codec/iconv_codec.h"

namespace tessaly::app::gtk {

// The search results' model: the plain title, and the line as Pango markup.
GtkListStore* NewResultsStore();

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

  void SetMenus(std::span<const Menu> menus) override;
  void SetToolButtons(std::span<const ToolButton> buttons) override;
  void EnableCommands(bool enabled) override { commandsEnabled_ = enabled; }

  void SetPanels(const PanelSet& panels) override;
  void ShowPanel(Panel panel) override;
  void SetSidebarWidth(int width) override;
  void EnableControl(Control control, bool enabled) override;
  void FocusControl(Control control) override;
  std::optional<Control> FocusedControl() const override;

  void ShowContents(std::span<const ContentsRow> rows, bool withLines) override;
  void SetContentsImage(int row, int image) override;
  void SelectContentsRow(int row) override;
  int ContentsSelection() const override;

  void ShowKeywords(std::span<const std::string> lines) override;
  void ScrollKeywords(int line) override;
  void SelectKeyword(int line) override;
  int KeywordSelection() const override { return ListSelection(Control::kIndexList); }
  void ShowResults(std::span<const ResultLine> lines, std::string_view note) override;
  int ResultSelection() const override { return ListSelection(Control::kResultsList); }

  std::string EditText(Control edit) const override;
  void SetEditText(Control edit, std::string_view text) override;

  bool CreatePageView() override;
  void ShowPage(std::string_view address, std::string_view charset) override;
  void ShowHtml(std::string_view html) override;
  void SetViewSettings(const ViewSettings& settings) override;
  std::optional<ScrollInfo> PageScroll() const override;
  void ScrollPage(int position) override;
  void ShowFindBar(const FindBarTexts& texts) override;
  void MarkWords(std::span<const std::string> words) override;

  void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override;
  void ShowNotice(std::string_view text) override;
  void HideNotice() override;
  void ShowProgress(std::string_view caption, int value) override;
  void HideProgress() override;
  std::optional<std::string> ChooseFile(std::string_view filterName, std::string_view pattern) override;
  int RunChoiceDialog(const ChoiceDialog& dialog) override;
  void ShowAbout(const AboutBox& about) override;

  std::optional<std::string> ReadStoreValue(StoreKey key, std::string_view name) override;
  bool WriteStoreValue(StoreKey key, std::string_view name, std::string_view value) override;
  void AddRecentBook(std::string_view path) override;

  InstanceId OwnInstance() const override { return ownId_; }
  InstanceId FindReader() override;
  InstanceId FindReaderByTitle(std::string_view title) override;
  bool ReaderExists(InstanceId id) override;
  void RaiseReader(InstanceId id) override;
  void CloseReader(InstanceId id) override;

  bool OpenExternal(std::string_view address) override;
  std::optional<std::filesystem::path> PageTextFolder() override;
  const TextCodec& Codec() const override { return codec_; }

 private:
  // One control: the widget shown, and the one inside it that takes focus
  // and carries the content (the same for most kinds).
  struct ControlWidgets {
    GtkWidget* outer = nullptr;
    GtkWidget* inner = nullptr;
  };

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

  // Window, bar, keys, layout.
  GtkWidget* NewMenuItem(const MenuEntry& item);
  void Command(int command);
  void FollowDesktopTheme();
  void BuildPanels();
  void ApplyLayout();
  static void OnMenuActivate(GtkMenuItem* item, gpointer self);
  static void OnToolClicked(GtkToolButton* button, gpointer self);
  static gboolean OnKey(GtkWidget* window, GdkEventKey* event, gpointer self);
  static gboolean OnDelete(GtkWidget* window, GdkEvent* event, gpointer self);
  static void OnActiveChanged(GObject* window, GParamSpec* property, gpointer self);
  static void OnWindowAllocate(GtkWidget* window, GdkRectangle* allocation, gpointer self);
  static void OnPanedPosition(GObject* paned, GParamSpec* property, gpointer self);
  static void OnTabSwitched(GtkNotebook* notebook, GtkWidget* page, guint number, gpointer self);
  static void OnStatusIconActivate(GObject* icon, gpointer self);
  static gboolean RunPosted(gpointer self);

  // Controls.
  ControlWidgets& Widgets(Control control) { return controls_[static_cast<std::size_t>(control)]; }
  const ControlWidgets& Widgets(Control control) const { return controls_[static_cast<std::size_t>(control)]; }
  GtkListStore* ListStore(Control list) const;
  void SetListModel(Control list, GtkListStore* store);
  int ListSelection(Control list) const;
  std::optional<GtkTreeIter> TreeIter(int row) const;
  int RowAt(GtkTreePath* path) const;
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

  // Find bar.
  void Find(bool forward, bool again);
  void UpdateFindCount();

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

  // Tasks posted from any thread.
  std::mutex postMutex_;
  std::deque<std::function<void()>> posted_;
  bool postScheduled_ = false;
  bool postClosed_ = false;

  GtkWidget* window_ = nullptr;
  GtkWidget* barBox_ = nullptr;
  GtkWidget* paned_ = nullptr;
  GtkWidget* notebook_ = nullptr;
  GtkWidget* resultsNote_ = nullptr;  // under the search results: where they come from
  GtkWidget* tabs_[3] = {nullptr, nullptr, nullptr};  // Contents, Index, Search
  GtkWidget* pageBox_ = nullptr;
  GtkAccelGroup* accel_ = nullptr;
  std::string title_;
  int defaultWidth_ = 1100;
  int defaultHeight_ = 760;
  int areaWidth_ = 0;
  int areaHeight_ = 0;
  Layout layout_ = Layout::kSidebar;
  Panel panel_ = Panel::kNone;
  PanelSet panels_;
  int switchingTabs_ = 0;
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

  std::array<ControlWidgets, kControlCount> controls_{};
  int selectingList_ = 0;  // the reader selects: no event
  GtkTreeModel* treeModel_ = nullptr;  // contents_model.h
  std::map<Control, GtkListStore*> listStores_;
  std::unique_ptr<PageView> pageView_;
  GtkWidget* notice_ = nullptr;  // the bar above the page, and its text
  GtkWidget* noticeLabel_ = nullptr;
  GtkWidget* findBar_ = nullptr;
  GtkWidget* findEntry_ = nullptr;
  GtkWidget* findLabel_ = nullptr;
  std::string findCountText_ = "%1 of %2";
  std::string findNoneText_;
  unsigned findMatches_ = 0;
  unsigned findCurrent_ = 0;

  GtkWidget* progress_ = nullptr;
  GtkWidget* progressLabel_ = nullptr;
  GtkWidget* progressBar_ = nullptr;

  std::optional<OpenDialog> dialog_;  // the modal dialog on screen
};

}  // namespace tessaly::app::gtk
