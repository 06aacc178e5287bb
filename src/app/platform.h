// Platform: everything the reader's logic asks of the desktop it runs on, in
// intents: show this menu model, these tool buttons, this contents tree, this
// keyword list, these results, this panel, this page with this charset, this
// notice, this progress. Where things go on the screen, how wide the sidebar
// is and which toolkit widgets carry them is the platform's own business.
//
// The logic (Reader) owns every decision and every text; a platform only
// shows and reports. Events go the other way: the platform calls the
// Reader's On... methods (reader.h) from its event loop, on the interface
// thread. Work that takes long runs on the reader's workers (workers.h);
// their results come back through Post, the one call that may be made from
// any thread.
//
// Text: every text handed to or returned by the platform is UTF-8. Book text
// reaches it only after conversion from the book's code page (TextCodec).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "codec/text_codec.h"

namespace tessaly::app {

// The controls of the panels: they report events, take focus and, for the
// labels, only show the panel's texts. Which of them exist follows from the
// panels the book has (SetPanels).
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

// What a control reports through Reader::OnControlEvent.
enum class ControlEvent {
  kTextChanged,       // an entry's text changed (typed, or set with SetEditText)
  kSelectionChanged,  // a list's selected line changed by the user
  kDoubleClicked,     // a list line was double-clicked (or activated with Enter)
  kClicked,           // a button was pressed
  kActivated,         // Enter was pressed in an entry
};

// The reader's panels. Contents, Index and Search are the sidebar's tabs
// beside the page in a wide window; in a narrow one (or on a handheld) the
// panel shown takes the page's place. Html is the page alone.
enum class Panel { kNone, kContents, kIndex, kSearch, kHtml };

// The panel a control belongs to.
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

// How the platform lays the panels out (it decides by the window's width and
// reports every change with Reader::OnLayout).
enum class Layout {
  kSinglePane,  // one panel at a time, the page being one of them
  kSidebar,     // the page always, the sidebar's tab beside it while shown
};

enum class Cursor { kNormal, kWait };

// Message boxes are modal, have one OK button and stay on top.
enum class MessageIcon { kError, kExclamation };

// Menus, handed over whole whenever anything in them changes. A text with
// '&' marks a mnemonic ("&&" is a plain '&'); an empty text is a separator.
enum class MenuMark { kNone, kCheck, kRadio };

struct MenuEntry {
  int command = 0;  // 0 for a separator or a sub-menu
  std::string text;
  MenuMark mark = MenuMark::kNone;
  bool enabled = true;
  bool checked = false;
  std::vector<MenuEntry> submenu;
  bool IsSeparator() const { return text.empty(); }
  bool operator==(const MenuEntry&) const = default;
};

struct Menu {
  int id = 0;  // 401 File, 402 Help
  std::string label;
  std::vector<MenuEntry> items;
  bool operator==(const Menu&) const = default;
};

// A tool button after the menus. Images are numbers into the reader's strip
// of seven: 0 back, 1 forward, 2 loading, 3 refresh, 4 home, 5 locate, 6 jump.
struct ToolButton {
  int command = 0;
  int image = 0;
  bool enabled = true;
  std::string tip;
  bool operator==(const ToolButton&) const = default;
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
// twelve (closed and open book, folder, page and their variants); a number
// outside 0 .. 11 shows none. Rows come parents first, in display order.
struct ContentsRow {
  std::string text;
  int image = 0;
  int parent = -1;  // the parent's row, -1 at the top
};

// A line of the search results: the topic's title, and what a search of
// the page text adds (0 and empty for one answered by the book's own index):
// how often the page holds the words, and a few words of its text around
// them, each found word between kMarkOpen and kMarkClose.
inline constexpr std::string_view kMarkOpen = "\x02";
inline constexpr std::string_view kMarkClose = "\x03";
struct ResultLine {
  std::string title;
  int hits = 0;
  std::string snippet;
};

// What the page view is told besides the page.
struct ViewSettings {
  int zoomLevel = 2;       // 0 smallest .. 4 largest
  bool shrinkToFit = true; // keep images and tables within the width
  bool clearType = true;   // smoothed (subpixel) text
  bool showImages = true;  // pictures load
  bool operator==(const ViewSettings&) const = default;
};

// An object of a book the page view asked for (Reader::OnObjectRequest):
// its in-book name and bytes, or why it cannot be had.
struct PageObject {
  std::string name;
  std::string bytes;
  std::optional<std::string> error;
};

// The vertical scroll state of the page view, in any unit.
struct ScrollInfo {
  int position = 0;  // top of the visible part
  int page = 0;      // height of the visible part
  int maximum = 0;   // height of the whole document
};

// A dialog that lists lines and returns the chosen one ("Topics Found").
struct ChoiceDialog {
  std::string_view title;
  std::string_view prompt;
  std::string_view confirm;  // default button; a double-click confirms too
  std::string_view cancel;
  std::span<const std::string> lines;  // the first is selected and focused
};

// The About box. Line breaks in `name` are written as '\r'. Tapping the link
// opens it with OpenExternal.
struct AboutBox {
  std::string_view name;
  std::string_view link;
  std::string_view version;
  std::string_view button;
};

// The find bar over the page: its texts ("%1 of %2" counts matches).
struct FindBarTexts {
  std::string_view placeholder;
  std::string_view count;
  std::string_view none;
};

// A running reader: the instance channel's name for it; 0 is "none".
using InstanceId = std::uint64_t;

// The two keys of the persistent store: the reader's instance values (and the
// desktop values beside them), and the key that names the reader's own help
// book.
enum class StoreKey { kPrev, kChmFile };

class Platform {
 public:
  virtual ~Platform() = default;

  // --- Main window ---------------------------------------------------------
  // Creates and shows the main window with the title; false when it cannot.
  // The window's instance becomes findable by other readers from here on,
  // and the platform reports its layout (OnLayout) before the reader next
  // hears from it.
  virtual bool CreateMainWindow(std::string_view title) = 0;
  // Destroys the window and ends the event loop once control returns to it.
  virtual void DestroyMainWindow() = 0;
  virtual void SetTitle(std::string_view title) = 0;
  virtual void SetCursor(Cursor cursor) = 0;
  virtual void BringToFront() = 0;
  // The notification-area icon; tapping it calls Reader::OnNotifyIconTap. A
  // desktop without a notification area ignores both calls.
  virtual void AddNotifyIcon() = 0;
  virtual void RemoveNotifyIcon() = 0;
  // Runs the task on the interface thread, after the current event. May be
  // called from any thread; tasks run in the order they were posted. Tasks
  // still queued when the window has gone are dropped without running.
  virtual void Post(std::function<void()> task) = 0;

  // --- Menus and tool buttons ------------------------------------------------
  // The whole menu bar: its menus in order, with every item's state. Marks
  // change only through this call: a toolkit whose check items flip
  // themselves when chosen shows what the reader said last.
  virtual void SetMenus(std::span<const Menu> menus) = 0;
  // The tool buttons after the menus (none: the tool bar goes).
  virtual void SetToolButtons(std::span<const ToolButton> buttons) = 0;
  // Menu choices, tool buttons and command keys take input or not (off
  // while a page is prepared and loads; dropped, not greyed).
  virtual void EnableCommands(bool enabled) = 0;

  // --- Panels -------------------------------------------------------------------
  // The panels of the open book (all false: none, no book).
  virtual void SetPanels(const PanelSet& panels) = 0;
  // Shows a panel: a tab of the sidebar beside the page, or the one pane,
  // by the layout; Html hides the sidebar; kNone shows nothing.
  virtual void ShowPanel(Panel panel) = 0;
  // The sidebar's width in pixels, as stored (0: the platform's own).
  virtual void SetSidebarWidth(int width) = 0;
  virtual void EnableControl(Control control, bool enabled) = 0;
  virtual void FocusControl(Control control) = 0;
  // The control that has keyboard focus (the page view counts for whatever
  // inside it has it); nullopt when none of them has.
  virtual std::optional<Control> FocusedControl() const = 0;

  // Contents tree. Expanding and collapsing are the tree's own
  // (Reader::OnTreeExpanding is told first); selecting a row, by the user or
  // by SelectContentsRow, opens nothing: a tap on a row's image or text is
  // Reader::OnTreeTap, Enter is OnTreeEnter.
  virtual void ShowContents(std::span<const ContentsRow> rows, bool withLines) = 0;
  virtual void SetContentsImage(int row, int image) = 0;
  virtual void SelectContentsRow(int row) = 0;  // opens its parents and scrolls it into view; -1: none
  virtual int ContentsSelection() const = 0;    // -1 for none

  // Index: the keyword lines. Selecting reports no event.
  virtual void ShowKeywords(std::span<const std::string> lines) = 0;
  virtual void ScrollKeywords(int line) = 0;  // that line becomes the top line
  virtual void SelectKeyword(int line) = 0;
  virtual int KeywordSelection() const = 0;  // -1 for none

  // Search: the topics found (an empty span empties the list), and a note
  // under them (empty: none).
  virtual void ShowResults(std::span<const ResultLine> lines, std::string_view note) = 0;
  virtual int ResultSelection() const = 0;  // -1 for none

  // Entries (kIndexEdit, kSearchEdit). SetEditText reports kTextChanged
  // before it returns, as typing does.
  virtual std::string EditText(Control edit) const = 0;
  virtual void SetEditText(Control edit, std::string_view text) = 0;

  // --- Page view -----------------------------------------------------------------
  // Creates the HTML view; false when no HTML engine can be started.
  // Loading is asynchronous: the view calls Reader::OnDocumentComplete when a
  // load ends (also when it failed or was replaced by another), and
  // Reader::OnLinkTapped with the link as written in the page instead of
  // following it. It never fetches anything from the network.
  virtual bool CreatePageView() = 0;
  // A page address (book_address.h), maybe with #fragment; the view asks
  // the reader for the page and everything it loads
  // (Reader::OnObjectRequest). charset: the default for a page that
  // declares none (a WebKit encoding name, or empty).
  virtual void ShowPage(std::string_view address, std::string_view charset) = 0;
  // A page of the reader's own (UTF-8 HTML, no scripts of its own); its
  // links are reported as any page's.
  virtual void ShowHtml(std::string_view html) = 0;
  virtual void SetViewSettings(const ViewSettings& settings) = 0;
  // The last scroll state the view reported; nullopt when it is not known.
  virtual std::optional<ScrollInfo> PageScroll() const = 0;
  // Scrolls the page on screen down to the position (as PageScroll gives).
  virtual void ScrollPage(int position) = 0;
  // The find bar over the page (the view marks every match and steps
  // through them itself).
  virtual void ShowFindBar(const FindBarTexts& texts) = 0;
  // Marks every appearance of these words (UTF-8, letters compared without
  // case) in the page on screen: the words a search result was found by.
  virtual void MarkWords(std::span<const std::string> words) = 0;

  // --- Notices, messages, progress, dialogs ----------------------------------------
  // A modal message box (what the reader must stop for).
  virtual void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) = 0;
  // A notice above the page that does not stop the reader (the parts of a
  // page the book lacks): shown until the next one, HideNotice, or the user
  // closes it. One line per message.
  virtual void ShowNotice(std::string_view text) = 0;
  virtual void HideNotice() = 0;
  // Progress inside the window: a caption over a bar from 0 to 100. The
  // window keeps taking input meanwhile.
  virtual void ShowProgress(std::string_view caption, int value) = 0;
  virtual void HideProgress() = 0;
  // The path of an existing file the user chose, or nullopt when cancelled.
  virtual std::optional<std::string> ChooseFile(std::string_view filterName, std::string_view pattern) = 0;
  // The index of the chosen line, or -1 when cancelled.
  virtual int RunChoiceDialog(const ChoiceDialog& dialog) = 0;
  virtual void ShowAbout(const AboutBox& about) = 0;

  // --- Persistent store (in place of the registry) ---------------------------------
  // nullopt when the key or the value does not exist. Keys are never created
  // by the reader: a write to a missing key fails.
  virtual std::optional<std::string> ReadStoreValue(StoreKey key, std::string_view name) = 0;
  virtual bool WriteStoreValue(StoreKey key, std::string_view name, std::string_view value) = 0;
  // The desktop's list of recently used files gets this book.
  virtual void AddRecentBook(std::string_view path) = 0;

  // --- Instance channel (in place of window search and window messages) -------------
  // This reader's id (valid from CreateMainWindow on; nonzero).
  virtual InstanceId OwnInstance() const = 0;
  // Another running reader, or 0.
  virtual InstanceId FindReader() = 0;
  // Another running reader whose window title equals `title`, or 0.
  virtual InstanceId FindReaderByTitle(std::string_view title) = 0;
  // True while the reader with that id runs (it answers).
  virtual bool ReaderExists(InstanceId id) = 0;
  virtual void RaiseReader(InstanceId id) = 0;
  // Asks the reader to close and returns once its close path has run.
  virtual void CloseReader(InstanceId id) = 0;

  // --- System ---------------------------------------------------------------------
  // Opens an address with the desktop (browser, mail program); true when it
  // was taken. Only http, https, ftp and mailto addresses ever reach it, and
  // only when the user clicked them.
  virtual bool OpenExternal(std::string_view address) = 0;
  // Where the page-text index of each book is kept between runs; none: it
  // is built in memory each time it is needed.
  virtual std::optional<std::filesystem::path> PageTextFolder() = 0;
  // Thread-safe: workers convert book text with it.
  virtual const TextCodec& Codec() const = 0;
};

}  // namespace tessaly::app
