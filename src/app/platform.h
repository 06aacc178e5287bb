// Platform: what the reader's logic asks of the desktop's window, in
// intents: this menu model, these tool buttons, these tabs, this message,
// this progress, the store and the other running readers. What a tab shows
// is asked of its views (views.h), which the platform makes per tab. Where
// things go on the screen and which toolkit widgets carry them is the
// platform's own business.
//
// The logic (Reader, BookTab) owns every decision and every text; a
// platform only shows and reports. Events go the other way: the platform
// calls the Reader's On... methods (reader.h) and the panels' (views.h)
// from its event loop, on the interface thread. Long work runs as jobs
// (jobs.h); their results come back through Post, the one call that may be
// made from any thread.
//
// Text: every text handed to or returned by the platform is UTF-8. Book text
// reaches it only after conversion from the book's code page (TextCodec).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/library_views.h"
#include "app/views.h"
#include "codec/codec.h"

namespace tessaly::app {

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

// A running reader: the instance channel's name for it; 0 is "none".
using InstanceId = std::uint64_t;

// The two keys of the persistent store: the reader's instance values (and the
// desktop values beside them), and the key that names the reader's own help
// book.
enum class StoreKey { kPrev, kChmFile };

// What File > Export takes a book out as: a file (PDF, EPUB) or a folder.
enum class ExportFormat { kPdf, kEpub, kHtmlFolder, kMarkdownFolder };

// The Export dialog: a format, a target, and for a book with contents
// whether only the branch of the selected entry goes (branchLabel names
// it; empty: the whole book only). A PDF or EPUB target is a file with that
// extension, the others a folder.
struct ExportDialog {
  std::string_view title;
  std::span<const std::string_view> formats;  // labels, in ExportFormat's order
  std::string_view confirm;                   // the default button
  std::string_view branchLabel;
  std::string_view suggestedName;  // the target's name without extension
};

struct ExportChoice {
  ExportFormat format = ExportFormat::kEpub;
  std::string target;  // absolute path of the file or folder to write
  bool branch = false;
};

// PdfPrinted: why a print to a PDF file failed, or nullopt when it worked.
using PdfPrinted = std::function<void(std::optional<std::string> error)>;

class BookTab;

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
  // The same, once the window has drawn what it shows now (at once, as
  // Post, where nothing is drawn): work that may wait for a frame.
  virtual void PostAfterPaint(std::function<void()> task) { Post(std::move(task)); }

  // --- Tabs -------------------------------------------------------------------
  // A new tab at the end of the tab row (not shown until SelectTab), its
  // events going to `tab`'s panels. Destroying the view removes the tab.
  virtual std::unique_ptr<TabView> NewTab(BookTab& tab) = 0;
  virtual void SelectTab(TabView& tab) = 0;

  // --- Menus and tool buttons ------------------------------------------------
  // The whole menu bar: its menus in order, with every item's state. Marks
  // change only through this call: a toolkit whose check items flip
  // themselves when chosen shows what the reader said last.
  virtual void SetMenus(std::span<const Menu> menus) = 0;
  // The tool buttons after the menus (none: the tool bar goes).
  virtual void SetToolButtons(std::span<const ToolButton> buttons) = 0;
  // Menu choices, tool buttons and command keys take input or not (off
  // while a page loads; dropped, not greyed).
  virtual void EnableCommands(bool enabled) = 0;
  // The sidebar's width in pixels, as stored (0: the platform's own).
  virtual void SetSidebarWidth(int width) = 0;

  // --- Messages, progress, dialogs ----------------------------------------
  // A modal message box (what the reader must stop for).
  virtual void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) = 0;
  // Progress inside the window: a caption over a bar from 0 to 100. The
  // window keeps taking input meanwhile.
  virtual void ShowProgress(std::string_view caption, int value) = 0;
  virtual void HideProgress() = 0;
  // While offered, the progress line carries a Cancel button that sends
  // the command kCmdCancelWork.
  virtual void OfferCancel(bool offered) = 0;
  // The path of an existing file the user chose, or nullopt when cancelled.
  virtual std::optional<std::string> ChooseFile(std::string_view filterName, std::string_view pattern) = 0;
  // The index of the chosen line, or -1 when cancelled.
  virtual int RunChoiceDialog(const ChoiceDialog& dialog) = 0;
  virtual void ShowAbout(const AboutBox& about) = 0;
  // nullopt when the user cancelled.
  virtual std::optional<ExportChoice> ChooseExport(const ExportDialog& dialog) = 0;
  // Lays out a prepared HTML document (an absolute path; it references
  // nothing but the files beside it) and prints it to a PDF file, without
  // a dialog and without blocking the window; `done` runs later on the
  // interface thread.
  virtual void PrintToPdf(const std::string& html, const std::string& pdf, PdfPrinted done) = 0;

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
  virtual void RaiseReader(InstanceId id) = 0;
  // Hands a book (the command line's text) to the reader, which opens it
  // in a tab (Reader::OnOpenRequest); false when it did not take it.
  virtual bool HandOver(InstanceId id, std::string_view commandLine) = 0;

  // --- System ---------------------------------------------------------------------
  // Opens an address with the desktop (browser, mail program); true when it
  // was taken. Only http, https, ftp and mailto addresses ever reach it, and
  // only when the user clicked them.
  virtual bool OpenExternal(std::string_view address) = 0;
  // Where the page-text index of each book is kept between runs; none: it
  // is built in memory each time it is needed.
  virtual std::optional<std::filesystem::path> PageTextFolder() = 0;
  // The store of the user's library (books, keywords, bookmarks); none: the
  // reader keeps no library.
  virtual std::optional<std::filesystem::path> LibraryFile() = 0;
  // The library's search field and view (library_views.h).
  virtual LibraryView& Library() = 0;
  // Thread-safe: workers convert book text with it.
  virtual const TextCodec& Codec() const = 0;
};

}  // namespace tessaly::app
