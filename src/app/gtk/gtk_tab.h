// GtkTab: one tab of the window on GTK 3: the sidebar (a notebook whose tabs
// are Contents, Index and Search) beside the page (the notice bar, the find
// bar and the WebKit view), in a paned area that falls back to one pane in
// a narrow window. It is the tab's views (app/views.h) and reports what the
// user does to the tab's panels (app/book_tab.h).
#pragma once

#include <gtk/gtk.h>

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/book_tab.h"
#include "app/gtk/page_picture.h"
#include "app/gtk/page_view.h"
#include "app/views.h"

namespace tessaly::app::gtk {

class GtkPlatform;

// The search results' model: the plain title, and the line as Pango markup.
GtkListStore* NewResultsStore();
// A search result as Pango markup: its title, hits and snippet (the found
// words in bold).
std::string ResultMarkup(const ResultLine& line);

class GtkTab final : public TabView,
                     private ContentsView,
                     private IndexView,
                     private SearchView,
                     private app::PageView {
 public:
  GtkTab(GtkPlatform& window, BookTab& tab);
  ~GtkTab() override;
  GtkTab(const GtkTab&) = delete;
  GtkTab& operator=(const GtkTab&) = delete;

  // The tab's page in the window's notebook, and the label over it.
  GtkWidget* Root() const { return paned_; }
  GtkWidget* LabelWidget() const { return labelBox_; }
  BookTab& Tab() { return tab_; }
  // The window's layout or the sidebar's width changed.
  void ApplyLayout();
  // Escape: the find bar closes; false when it was not open.
  bool CloseFindBar();

  // --- TabView ---------------------------------------------------------------------
  ContentsView& Contents() override { return *this; }
  IndexView& Index() override { return *this; }
  SearchView& Search() override { return *this; }
  app::PageView& Page() override { return *this; }
  void SetLabel(std::string_view text) override;
  void SetPanels(const PanelSet& panels) override;
  void ShowPanel(Panel panel) override;
  void EnableControl(Control control, bool enabled) override;
  void FocusControl(Control control) override;
  std::optional<Control> FocusedControl() const override;

 private:
  // ContentsView.
  void ShowContents(std::span<const ContentsRow> rows, bool withLines) override;
  void AddContents(std::span<const ContentsRow> rows) override;
  void SetContentsImage(int row, int image) override;
  void SelectContentsRow(int row) override;
  int ContentsSelection() const override;
  // IndexView.
  void ShowKeywords(std::span<const std::string> lines) override;
  void ScrollKeywords(int line) override;
  void SelectKeyword(int line) override;
  int KeywordSelection() const override { return ListSelection(Control::kIndexList); }
  std::string KeywordText() const override { return EditText(Control::kIndexEdit); }
  void SetKeywordText(std::string_view text) override;
  // SearchView.
  std::string QueryText() const override { return EditText(Control::kSearchEdit); }
  void SetQueryText(std::string_view text) override;
  void ShowResults(std::span<const ResultLine> lines, std::string_view note) override;
  int ResultSelection() const override { return ListSelection(Control::kResultsList); }
  // PageView.
  void ShowPage(std::string_view address, std::string_view charset) override;
  void ShowHtml(std::string_view html) override;
  void SetViewSettings(const ViewSettings& settings) override;
  std::optional<ScrollInfo> PageScroll() const override;
  void ScrollPage(int position) override;
  void ShowFindBar(const FindBarTexts& texts) override;
  void MarkWords(std::span<const std::string> words) override;
  void ShowNotice(std::string_view text) override;
  void HideNotice() override;
  void Print() override;
  void Discard() override;

  // One control: the widget shown, and the one inside it that takes focus
  // and carries the content (the same for most kinds).
  struct ControlWidgets {
    GtkWidget* outer = nullptr;
    GtkWidget* inner = nullptr;
  };
  // What a control reports.
  enum class ControlEvent { kTextChanged, kSelectionChanged, kDoubleClicked, kClicked, kActivated };

  void BuildPanels();
  void BuildPage();
  void BuildView();
  // The page view, made again when it was discarded.
  gtk::PageView& Engine();
  // The discarded page's picture goes: the page view shows its own.
  void EndPicture();
  bool Live() const;
  void Report(Control control, ControlEvent event);
  ControlWidgets& Widgets(Control control) { return controls_[static_cast<std::size_t>(control)]; }
  const ControlWidgets& Widgets(Control control) const { return controls_[static_cast<std::size_t>(control)]; }
  std::optional<Control> ControlOf(GObject* widget) const;
  GtkListStore* ListStore(Control list) const;
  void SetListModel(Control list, GtkListStore* store);
  int ListSelection(Control list) const;
  std::string EditText(Control edit) const;
  std::optional<GtkTreeIter> TreeIter(int row) const;
  int RowAt(GtkTreePath* path) const;
  void TapTreeRow(GtkTreePath* path);
  void Find(bool forward, bool again);
  void UpdateFindCount();
  static void OnEditChanged(GtkEditable* edit, gpointer self);
  static void OnEditActivated(GtkEntry* edit, gpointer self);
  static void OnListSelectionChanged(GtkTreeSelection* selection, gpointer self);
  static void OnListActivated(GtkTreeView* view, GtkTreePath* path, GtkTreeViewColumn* column, gpointer self);
  static void OnButtonClicked(GtkButton* button, gpointer self);
  static gboolean OnTreeButton(GtkWidget* widget, GdkEventButton* event, gpointer self);
  static void OnTreeActivated(GtkTreeView* view, GtkTreePath* path, GtkTreeViewColumn* column, gpointer self);
  static gboolean OnTreeTestExpand(GtkTreeView* view, GtkTreeIter* iter, GtkTreePath* path, gpointer self);
  static gboolean OnTreeTestCollapse(GtkTreeView* view, GtkTreeIter* iter, GtkTreePath* path, gpointer self);
  static void OnPanedPosition(GObject* paned, GParamSpec* property, gpointer self);
  static void OnSidebarSwitched(GtkNotebook* notebook, GtkWidget* page, guint number, gpointer self);

  // The test verbs read the tab's state.
  friend class TestVerbs;

  GtkPlatform& window_;
  BookTab& tab_;
  GtkWidget* paned_ = nullptr;
  GtkWidget* sidebar_ = nullptr;
  GtkWidget* sidebarTabs_[3] = {nullptr, nullptr, nullptr};  // Contents, Index, Search
  GtkWidget* pageBox_ = nullptr;
  GtkWidget* labelBox_ = nullptr;
  GtkWidget* label_ = nullptr;
  GtkWidget* resultsNote_ = nullptr;  // under the search results: where they come from
  Panel panel_ = Panel::kNone;
  PanelSet panels_;
  int switchingTabs_ = 0;
  int selectingList_ = 0;  // the reader selects: no event
  std::array<ControlWidgets, kControlCount> controls_{};
  GtkTreeModel* treeModel_ = nullptr;  // contents_model.h
  std::map<Control, GtkListStore*> listStores_;
  GtkWidget* pageArea_ = nullptr;            // the page view, the picture over it
  std::unique_ptr<gtk::PageView> pageView_;  // null while discarded
  // A discarded view until its picture is taken; the picture, shown from
  // the moment the tab is back until its page is on screen again: loaded
  // (restoring_ until it is asked for) and gone down to pictureScroll_.
  std::unique_ptr<gtk::PageView> retiring_;
  PagePicture picture_;
  bool restoring_ = false;
  std::optional<int> pictureScroll_;
  guint pictureTimeout_ = 0;
  bool closing_ = false;
  GtkWidget* notice_ = nullptr;  // the bar above the page, and its text
  GtkWidget* noticeLabel_ = nullptr;
  GtkWidget* findBar_ = nullptr;
  GtkWidget* findEntry_ = nullptr;
  GtkWidget* findLabel_ = nullptr;
  std::string findCountText_ = "%1 of %2";
  std::string findNoneText_;
  unsigned findMatches_ = 0;
  unsigned findCurrent_ = 0;
};

}  // namespace tessaly::app::gtk
