// Views: what a tab of the reader's window shows, one small interface per
// panel (contents, index, search, the page) and one for the tab's frame,
// which lays the panels out. The logic (book_tab.h and the panels beside
// it) owns every decision and every text; a view only shows and reports,
// calling the panel it belongs to (BookTab's Contents(), Index(), ...) from
// the interface thread.
//
// Text: every text handed to or returned by a view is UTF-8. Book text
// reaches it only after conversion from the book's code page.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::app {

// The controls of a tab: they take focus and are enabled or not. Which of
// them exist follows from the panels the book has (TabView::SetPanels).
enum class Control : int {
  kTree,                // the contents tree
  kIndexLabel,          // Index: the prompt
  kIndexEdit,           // Index: the keyword entry
  kIndexList,           // Index: the keyword list, one line selected at most
  kIndexDisplayButton,  // Index: "Display"
  kSearchLabel,         // Search: the prompt
  kSearchEdit,          // Search: the word entry
  kListTopicsButton,    // Search: "List Topics"
  kResultsLabel,        // Search: over the results
  kResultsList,         // Search: the topics found
  kSearchDisplayButton, // Search: "Display"
  kPageView,            // the page
};
inline constexpr int kControlCount = 12;

// The panels. Contents, Index and Search are the sidebar's tabs beside the
// page in a wide window; in a narrow one the panel shown takes the page's
// place. Html is the page alone.
enum class Panel { kNone, kContents, kIndex, kSearch, kHtml };

constexpr Panel PanelOf(Control control) {
  switch (control) {
    case Control::kTree: return Panel::kContents;
    case Control::kIndexLabel:
    case Control::kIndexEdit:
    case Control::kIndexList:
    case Control::kIndexDisplayButton: return Panel::kIndex;
    case Control::kSearchLabel:
    case Control::kSearchEdit:
    case Control::kListTopicsButton:
    case Control::kResultsLabel:
    case Control::kResultsList:
    case Control::kSearchDisplayButton: return Panel::kSearch;
    case Control::kPageView: return Panel::kHtml;
  }
  return Panel::kNone;
}

// How the window lays the panels out (by its width; Reader::OnLayout).
enum class Layout {
  kSinglePane,  // one panel at a time, the page being one of them
  kSidebar,     // the page always, the sidebar's tab beside it while shown
};

// The texts of the Index and Search panels, and which panels the book has.
struct PanelSet {
  bool contents = false;
  bool index = false;
  bool search = false;
  std::string_view keywordPrompt;  // over both entries
  std::string_view resultsPrompt;  // over the results
  std::string_view display;        // the Display buttons
  std::string_view listTopics;     // the List Topics button
};

// A row of the contents tree. Images are numbers into the reader's strip of
// twelve; a number outside 0 .. 11 shows none. Rows come parents first.
struct ContentsRow {
  std::string text;
  int image = 0;
  int parent = -1;  // the parent's row, -1 at the top
};

// A line of the search results: the topic's title, and for a search of
// the page text how often the page holds the words and a snippet, each
// found word between kMarkOpen and kMarkClose.
inline constexpr std::string_view kMarkOpen = "\x02";
inline constexpr std::string_view kMarkClose = "\x03";
struct ResultLine {
  std::string title;
  int hits = 0;
  std::string snippet;
};

struct ViewSettings {
  int zoomLevel = 2;        // 0 smallest .. 4 largest
  bool shrinkToFit = true;  // keep images and tables within the width
  bool clearType = true;    // smoothed (subpixel) text
  bool showImages = true;   // pictures load
  bool operator==(const ViewSettings&) const = default;
};

// An object of a book the page view asked for: its in-book name and bytes,
// or why it cannot be had.
struct PageObject {
  std::string name;
  std::string bytes;
  std::optional<std::string> error;
};
using ObjectReply = std::function<void(PageObject)>;

// The vertical scroll state of the page view, in any unit.
struct ScrollInfo {
  int position = 0;  // top of the visible part
  int page = 0;      // height of the visible part
  int maximum = 0;   // height of the whole document
};

// The find bar over the page ("%1 of %2" counts matches).
struct FindBarTexts {
  std::string_view placeholder;
  std::string_view count;
  std::string_view none;
};

// Keys the page view reports (PagePanel::OnKey).
enum class PageKey { kUp, kDown, kAction };

// The contents tree. Expanding and collapsing are the tree's own
// (ContentsPanel::OnExpanding is told first); selecting a row opens
// nothing: a tap on a row's image or text is ContentsPanel::OnTap, Enter
// is OnEnter.
class ContentsView {
 public:
  virtual ~ContentsView() = default;
  virtual void ShowContents(std::span<const ContentsRow> rows, bool withLines) = 0;
  // Rows after those shown, numbered on from them (a parent before its
  // children).
  virtual void AddContents(std::span<const ContentsRow> rows) = 0;
  virtual void SetContentsImage(int row, int image) = 0;
  virtual void SelectContentsRow(int row) = 0;  // opens its parents, scrolls it into view; -1: none
  virtual int ContentsSelection() const = 0;    // -1 for none
};

// The Index panel: the entry and the keyword lines (selecting from here
// reports no event; SetKeywordText reports the change as typing does).
class IndexView {
 public:
  virtual ~IndexView() = default;
  virtual void ShowKeywords(std::span<const std::string> lines) = 0;
  virtual void ScrollKeywords(int line) = 0;  // that line becomes the top line
  virtual void SelectKeyword(int line) = 0;
  virtual int KeywordSelection() const = 0;  // -1 for none
  virtual std::string KeywordText() const = 0;
  virtual void SetKeywordText(std::string_view text) = 0;
};

// The Search panel: the entry, the topics found (empty: none) with a note
// under them, and its two buttons.
class SearchView {
 public:
  virtual ~SearchView() = default;
  virtual std::string QueryText() const = 0;
  // Puts a query in the field, as if typed (a recalled one).
  virtual void SetQueryText(std::string_view text) = 0;
  virtual void ShowResults(std::span<const ResultLine> lines, std::string_view note) = 0;
  virtual int ResultSelection() const = 0;  // -1 for none
};

// The page. Loading is asynchronous: the view calls PagePanel::OnLoadEnded
// when a load ends (also when it failed or was replaced), OnLinkTapped
// instead of following a link, OnObjectRequest for every object a page
// loads. It never fetches anything from the network.
class PageView {
 public:
  virtual ~PageView() = default;
  // A page address (pages/pages.h), maybe with #fragment; charset:
  // the default for a page that declares none (a WebKit name, or empty).
  virtual void ShowPage(std::string_view address, std::string_view charset) = 0;
  // A page of the reader's own (UTF-8 HTML, no scripts of its own).
  virtual void ShowHtml(std::string_view html) = 0;
  virtual void SetViewSettings(const ViewSettings& settings) = 0;
  // The last scroll state the view reported; nullopt when not known.
  virtual std::optional<ScrollInfo> PageScroll() const = 0;
  virtual void ScrollPage(int position) = 0;
  virtual void ShowFindBar(const FindBarTexts& texts) = 0;
  // Marks every appearance of these words (letters compared without case).
  virtual void MarkWords(std::span<const std::string> words) = 0;
  // A notice above the page, one line per message, until the next one.
  virtual void ShowNotice(std::string_view text) = 0;
  virtual void HideNotice() = 0;
  // The page on screen through the desktop's print dialog (which also
  // prints to a PDF file).
  virtual void Print() = 0;
  // Lets go of the engine that shows the page (its page process, its
  // memory) while the tab is out of sight: until the next ShowPage or
  // ShowHtml brings it back, the view shows nothing and knows no scroll
  // state.
  virtual void Discard() = 0;
};

// A tab's frame: its panels, their layout, focus, which controls take input,
// and the tab's label.
class TabView {
 public:
  virtual ~TabView() = default;
  virtual ContentsView& Contents() = 0;
  virtual IndexView& Index() = 0;
  virtual SearchView& Search() = 0;
  virtual PageView& Page() = 0;
  virtual void SetLabel(std::string_view text) = 0;
  // The panels of the book (all false: none, no book).
  virtual void SetPanels(const PanelSet& panels) = 0;
  // A tab of the sidebar beside the page, or the one pane, by the layout;
  // Html hides the sidebar; kNone shows nothing.
  virtual void ShowPanel(Panel panel) = 0;
  virtual void EnableControl(Control control, bool enabled) = 0;
  virtual void FocusControl(Control control) = 0;
  // The control that has focus; nullopt when none of them has.
  virtual std::optional<Control> FocusedControl() const = 0;
};

}  // namespace tessaly::app
