// Platform: everything the reader's logic asks of the desktop it runs on.
//
// The logic (Reader) owns every decision; a platform only shows and reports.
// It is written for a GTK 3 window with a WebKitGTK page view, and every call
// maps onto something those give: a window with a menu bar and a tool bar, a
// fixed-position area for the panels, a tree view, list views, entries,
// buttons, labels, message dialogs, a file chooser, a WebKitWebView, a small
// key-value file, a per-reader socket, and the desktop's URI launcher.
//
// Events go the other way: the platform calls the Reader's On... methods
// (reader.h) from its event loop. Everything runs on one thread; a call into
// the platform may come back into the Reader only where it says so.
//
// Text: every text handed to or returned by the platform is UTF-8. Book text
// reaches it only after conversion from the book's code page (TextCodec).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "codec/text_codec.h"

namespace tessaly::app {

// The child controls of the main window. Each is created at most once at a
// time and addressed by its role; its kind follows from the role.
enum class Control : int {
  kTree,                // tree view with images (Contents panel)
  kIndexLabel,          // label
  kIndexEdit,           // single-line entry
  kIndexList,           // list of lines, one selected at most
  kIndexDisplayButton,  // push button
  kSearchLabel,
  kSearchEdit,
  kListTopicsButton,
  kResultsLabel,
  kResultsList,
  kSearchDisplayButton,
  kPageView,            // the HTML view
};
inline constexpr int kControlCount = 12;

enum class ControlKind { kTree, kLabel, kEdit, kList, kButton, kPageView };
ControlKind KindOf(Control control);

// What a control reports through Reader::OnControlEvent.
enum class ControlEvent {
  kTextChanged,       // an entry's text changed (typed, or set with SetEditText)
  kSelectionChanged,  // a list's selected line changed by the user
  kDoubleClicked,     // a list line was double-clicked (or activated with Enter)
  kClicked,           // a button was pressed
  kActivated,         // Enter was pressed in an entry
};

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const Rect&) const = default;
};

struct Size {
  int width = 0, height = 0;
  bool operator==(const Size&) const = default;
};

enum class Cursor { kNormal, kWait };

// Message boxes are modal, have one OK button and stay on top.
enum class MessageIcon { kError, kExclamation };

// Menus. The bar has two drop-down menus (File and Help); the logic edits the
// File menu afterwards, by position and by command. An item's mark kind is
// fixed when it is created (a GTK check item cannot become a radio item).
enum class MenuMark { kNone, kCheck, kRadio };

struct MenuItem {
  int command = 0;        // 0 for a separator or a sub-menu
  std::string_view text;  // empty for a separator; '&' marks a mnemonic
  MenuMark mark = MenuMark::kNone;
  bool enabled = true;
  bool checked = false;
  std::span<const MenuItem> submenu;  // items of a sub-menu, else empty
  bool IsSeparator() const { return text.empty(); }
};

struct MenuButton {
  int id = 0;  // 401 File, 402 Help
  std::string_view label;
  std::span<const MenuItem> items;
};

// A tool button after the two menus. Images are numbers into the reader's
// strip of seven: 0 back, 1 forward, 2 loading, 3 refresh, 4 home, 5 locate,
// 6 jump.
struct ToolButton {
  int command = 0;
  int image = 0;
  bool enabled = true;
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

// Tree items: 0 is "none" (and the invisible root when inserting).
using TreeItem = std::uintptr_t;

// A running reader: the instance channel's name for it; 0 is "none".
using InstanceId = std::uint64_t;

// The two keys of the persistent store: the reader's instance values, and the
// key that names the reader's own help book.
enum class StoreKey { kPrev, kChmFile };

class Platform {
 public:
  virtual ~Platform() = default;

  // --- Main window ---------------------------------------------------------
  // Creates and shows the main window with the title; false when it cannot.
  // The window's instance becomes findable by other readers from here on.
  virtual bool CreateMainWindow(std::string_view title) = 0;
  // Destroys the window and ends the event loop once control returns to it.
  virtual void DestroyMainWindow() = 0;
  virtual void SetTitle(std::string_view title) = 0;
  virtual void SetCursor(Cursor cursor) = 0;
  // Paints whatever is pending at once (the reader is about to work for a
  // while). Must not deliver input events to the Reader.
  virtual void PaintNow() = 0;
  // The area the panels share, in the coordinates controls are placed in.
  virtual Rect ClientRect() const = 0;
  // How much of ClientRect's bottom the menu bar covers; 0 where the bar lies
  // outside it (above it, on a desktop).
  virtual int MenuBarHeight() const = 0;
  // Shows the window and brings it to the front.
  virtual void BringToFront() = 0;
  // The notification-area icon; tapping it calls Reader::OnNotifyIconTap. A
  // desktop without a notification area ignores both calls.
  virtual void AddNotifyIcon() = 0;
  virtual void RemoveNotifyIcon() = 0;

  // --- Menu bar and tool buttons ----------------------------------------------
  virtual void CreateMenuBar(std::span<const MenuButton> menus) = 0;
  virtual void DestroyMenuBar() = 0;
  // File menu edits. Positions count every item, separators included; an
  // edit at a position the menu lacks does nothing (and Delete returns false).
  virtual void InsertFileMenuItem(int position, const MenuItem& item) = 0;
  virtual bool DeleteFileMenuItemAt(int position) = 0;
  virtual bool DeleteFileMenuCommand(int command) = 0;
  virtual void EnableFileMenuItemAt(int position, bool enabled) = 0;
  // Marks, by command, in any menu or sub-menu. CheckMenuRadio sets the mark
  // on `command` and clears it on the other items of first .. last. Marks
  // change only through these calls: a toolkit whose check items flip
  // themselves when chosen sets them back to what the reader says.
  virtual void CheckMenuItem(int command, bool checked) = 0;
  virtual void CheckMenuRadio(int first, int last, int command) = 0;
  // The whole bar (menus and buttons) takes input or not.
  virtual void EnableMenuBar(bool enabled) = 0;
  // Buttons are indexed with the two menus counted first (index 0 File, 1
  // Help); tool buttons start at index 2. Their tips go in the same order.
  virtual void AddToolButtons(std::span<const ToolButton> buttons) = 0;
  virtual int ToolButtonCount() const = 0;
  virtual bool DeleteToolButton(int index) = 0;  // false when there is none
  virtual void SetToolButtonImage(int command, int image) = 0;
  virtual void EnableToolButton(int command, bool enabled) = 0;
  virtual void SetToolTips(std::span<const std::string> tips) = 0;

  // --- Child controls ---------------------------------------------------------
  // Created hidden, without a place; a label or button shows `text`.
  virtual void CreateControl(Control control, std::string_view text) = 0;
  virtual void DestroyControl(Control control) = 0;
  virtual void MoveControl(Control control, const Rect& rect) = 0;
  virtual void ShowControl(Control control, bool visible) = 0;
  virtual void EnableControl(Control control, bool enabled) = 0;
  virtual void FocusControl(Control control) = 0;
  // The control that has keyboard focus (the page view counts for whatever
  // inside it has it); nullopt when none of them has.
  virtual std::optional<Control> FocusedControl() const = 0;
  // The size of the text in the control's font.
  virtual Size MeasureText(Control control, std::string_view text) const = 0;

  // Tree view (Control::kTree). Items show a 16 x 16 image from the reader's
  // strip of twelve (closed and open book, folder, page, and their variants,
  // in sitemap image-number order); the selected image is the same.
  // An image number outside 0 .. 11 shows no image. Expanding and
  // collapsing are the tree's own (Reader::OnTreeExpanding is told first);
  // selecting an item, by the user or by TreeSelect, opens nothing: a tap on
  // an item's image or text is Reader::OnTreeTap, Enter is OnTreeEnter.
  virtual void CreateTree(bool withLines) = 0;
  virtual TreeItem TreeInsert(TreeItem parent, std::string_view text, int image) = 0;  // as last child
  virtual void TreeSetImage(TreeItem item, int image) = 0;
  virtual int TreeImage(TreeItem item) const = 0;
  virtual void TreeSelect(TreeItem item) = 0;  // and scrolls it into view
  virtual TreeItem TreeSelection() const = 0;

  // Lists (kIndexList, kResultsList): unsorted lines of text.
  virtual void ListAppend(Control list, std::string_view text) = 0;
  virtual void ListClear(Control list) = 0;
  virtual void ListSelect(Control list, int index) = 0;  // reports no event
  virtual int ListSelection(Control list) const = 0;     // -1 for none
  virtual void ListScrollToTop(Control list, int index) = 0;  // that line becomes the top line

  // Entries (kIndexEdit, kSearchEdit). SetEditText reports kTextChanged
  // before it returns, as typing does.
  virtual std::string EditText(Control edit) const = 0;
  virtual void SetEditText(Control edit, std::string_view text) = 0;

  // --- Page view (Control::kPageView) -------------------------------------------
  // Creates the HTML view (hidden); false when no HTML engine can be started.
  // Loading is asynchronous: the view calls Reader::OnDocumentComplete when a
  // load ends (also when it failed or was replaced by another), and
  // Reader::OnLinkTapped with the link as written in the page instead of
  // following it. It never fetches anything from the network.
  virtual bool CreatePageView() = 0;
  virtual void Navigate(std::string_view address) = 0;  // a file:// address, maybe with #fragment
  virtual void SetZoomLevel(int level) = 0;             // 0 smallest .. 4 largest, 2 normal
  virtual void SetShrinkToFit(bool on) = 0;             // keep images and tables within the width
  virtual void SetClearType(bool on) = 0;               // smoothed (subpixel) text
  // The last scroll state the view reported; nullopt when it is not known
  // (the engine reports it asynchronously, so it may lag or be missing).
  virtual std::optional<ScrollInfo> PageScroll() const = 0;

  // --- Dialogs -------------------------------------------------------------------
  virtual void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) = 0;
  // A notice above the page that does not stop the reader (the parts of a
  // page the book lacks): shown until the next one, HideNotice, or the user
  // closes it. One line per message.
  virtual void ShowNotice(std::string_view text) = 0;
  virtual void HideNotice() = 0;
  // The path of an existing file the user chose, or nullopt when cancelled.
  virtual std::optional<std::string> ChooseFile(std::string_view filterName, std::string_view pattern) = 0;
  // The index of the chosen line, or -1 when cancelled.
  virtual int RunChoiceDialog(const ChoiceDialog& dialog) = 0;
  virtual void ShowAbout(const AboutBox& about) = 0;
  // The "Loading..." dialog: a caption over a bar from 0 to 100, shown beside
  // the main window without taking focus, painted at once on every change
  // (the reader works synchronously meanwhile; no input is delivered).
  virtual void ShowProgress(std::string_view caption) = 0;
  virtual void SetProgressBar(int value) = 0;
  virtual void HideProgress() = 0;

  // --- Persistent store (in place of the registry) ---------------------------------
  // nullopt when the key or the value does not exist. Keys are never created
  // by the reader: a write to a missing key fails.
  virtual std::optional<std::string> ReadStoreValue(StoreKey key, std::string_view name) = 0;
  virtual bool WriteStoreValue(StoreKey key, std::string_view name, std::string_view value) = 0;

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
  // Asks the reader to close and returns once its close path has run (a
  // reader busy opening a book closes when that is done).
  virtual void CloseReader(InstanceId id) = 0;

  // --- System ---------------------------------------------------------------------
  // Opens an address with the desktop (browser, mail program); true when it
  // was taken. Only http, https, ftp and mailto addresses ever reach it.
  virtual bool OpenExternal(std::string_view address) = 0;
  // The folder the reader's temporary folder goes into (no trailing '/').
  virtual std::string TempRoot() = 0;
  virtual const TextCodec& Codec() const = 0;
};

}  // namespace tessaly::app
