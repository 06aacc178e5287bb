// The reader's fixed identifiers and texts: command numbers, menu and button
// layout, button images, dialog texts and messages. Texts are shown byte for
// byte as written here (the odd ones included: they are the reader's own).
#pragma once

#include <array>
#include <span>
#include <string_view>

#include "app/platform.h"

namespace tessaly::app {

// Commands of the File and Help menus.
inline constexpr int kCmdExit = 1000;
inline constexpr int kCmdContents = 1001;
inline constexpr int kCmdIndex = 1002;
inline constexpr int kCmdSearch = 1003;
inline constexpr int kCmdHtml = 1004;
inline constexpr int kCmdFitToWindow = 1005;
inline constexpr int kCmdClearType = 1006;
inline constexpr int kCmdSmallest = 1007;
inline constexpr int kCmdSmall = 1008;
inline constexpr int kCmdMedium = 1009;
inline constexpr int kCmdLarge = 1010;
inline constexpr int kCmdLargest = 1011;
inline constexpr int kCmdShowImages = 1030;
inline constexpr int kCmdOpen = 1031;
inline constexpr int kCmdHelpTopics = 1032;
inline constexpr int kCmdAbout = 1033;

// Commands of the desktop's keys and the Recent Books menu.
inline constexpr int kCmdFind = 1040;         // Ctrl+F
inline constexpr int kCmdTextLarger = 1041;   // Ctrl+plus
inline constexpr int kCmdTextSmaller = 1042;  // Ctrl+minus
inline constexpr int kCmdTextNormal = 1043;   // Ctrl+0
inline constexpr int kCmdSidebar = 1044;      // F9: the sidebar shows or hides
inline constexpr int kCmdCloseTab = 1045;     // Ctrl+W
inline constexpr int kCmdNextTab = 1046;      // Ctrl+PageDown, Ctrl+Tab
inline constexpr int kCmdPreviousTab = 1047;  // Ctrl+PageUp, Ctrl+Shift+Tab
inline constexpr int kCmdPrint = 1048;        // Ctrl+P: the page on screen
inline constexpr int kCmdExport = 1049;       // the book of the tab in front, taken out
inline constexpr int kCmdCancelWork = 1050;   // the progress line's Cancel: the export under way
inline constexpr int kCmdRecentFirst = 1100;  // the recent books, most recent first
inline constexpr int kCmdRecentLast = 1109;

// Commands of the tool buttons.
inline constexpr int kCmdForward = 302;
inline constexpr int kCmdBack = 303;
inline constexpr int kCmdRefresh = 304;
inline constexpr int kCmdHome = 305;
inline constexpr int kCmdLocate = 306;
inline constexpr int kCmdJump = 307;

// The two drop-down buttons of the menu bar.
inline constexpr int kFileMenuButton = 401;
inline constexpr int kHelpMenuButton = 402;

// Button images (the strip of seven).
inline constexpr int kImageBack = 0;
inline constexpr int kImageForward = 1;
inline constexpr int kImageLoading = 2;
inline constexpr int kImageRefresh = 3;
inline constexpr int kImageHome = 4;
inline constexpr int kImageLocate = 5;
inline constexpr int kImageJump = 6;
inline constexpr int kButtonImageCount = 7;

// Contents images (the strip of twelve).
inline constexpr int kContentsImageCount = 12;

// Text sizes: 0 smallest .. 4 largest.
inline constexpr int kTextSizeCount = 5;
inline constexpr int kDefaultTextSize = 2;

// Window and messages.
inline constexpr std::string_view kWindowClassName = "Varnhold Tessaly Reader";
inline constexpr std::string_view kNoBookTitle = "Tessaly";
inline constexpr std::string_view kMessageCaption = "Tallis Message";
// Caption of the message box that shows a book error.
inline constexpr std::string_view kBookErrorCaption = "Tallis Exception";
inline constexpr std::string_view kHelpFileMissing = "Can't find Tessaly Reader's help file.";
inline constexpr std::string_view kHelpFileCaption = "Error";
inline constexpr std::string_view kNotInBookCaption = "Tallis Message";
inline constexpr std::string_view kNotInBookText = "This page is not in the book:\n";
// A web link the desktop has no program for: said in the notice bar.
inline constexpr char kNoProgramFor[] = "No program on this computer opens %s";
// The page shown in place of one that leads out of the books by itself (a
// default topic, a refresh, a script): the address, and a link to open it.
inline constexpr std::string_view kLeavesTheBook = "This page leads out of the book, to:";
inline constexpr std::string_view kOpenAddress = "Open it";
// In place of a frame whose page is outside the books (never loaded): the
// address follows, as a link the user may click.
inline constexpr std::string_view kOutsideFrame = "This frame shows a page outside the book:";
// The last line of a page's notice when it lacks more parts than it lists.
inline constexpr char kMoreNotices[] = "... and %zu more.";
inline constexpr std::string_view kNoTopicsFound = "No topics found";
// Under the results when they come from the text of the pages rather than
// from the book's own full-text index.
inline constexpr char kPageTextNote[] = "Found in the text of the pages: %zu.";
inline constexpr char kHits[] = "%d hits";
inline constexpr char kOneHit[] = "%d hit";
inline constexpr std::string_view kPageTextFailed = "The text of the pages cannot be searched:\n";

// Progress captions (shown inside the window, each its own caption: the
// handheld's "Loading..." dialog title has no place there).
inline constexpr std::string_view kContentsCreation = "Contents creation...";
inline constexpr std::string_view kIndexCreation = "Index creation...";
inline constexpr std::string_view kSearchCreation = "Search list creation...";
inline constexpr std::string_view kPageTextCreation = "Page text index creation...";
inline constexpr std::string_view kExporting = "Exporting...";
// File > Export.
inline constexpr std::string_view kExportTitle = "Export";
inline constexpr std::array<std::string_view, 4> kExportFormats{"PDF", "EPUB", "HTML folder", "Markdown folder"};
inline constexpr std::string_view kExportButton = "_Export";
// The progress line's button while an export runs.
inline constexpr std::string_view kCancelWorkButton = "Cancel";
inline constexpr std::string_view kExportBranch = "Only the selected contents entry and its branch";
inline constexpr std::string_view kExportFailed = "The book could not be exported:\n";
inline constexpr std::string_view kExportCaption = "Export";

// Panels.
inline constexpr std::string_view kKeywordPrompt = "Type in the keyword to find:";
inline constexpr std::string_view kResultsPrompt = "Select Topic to display:";
inline constexpr std::string_view kDisplayButton = "Display";
inline constexpr std::string_view kListTopicsButton = "List Topics";

// "Topics Found".
inline constexpr std::string_view kTopicsFoundTitle = "Topics Found";
inline constexpr std::string_view kTopicsFoundPrompt = "Click a topic, than click Dysplay.";
inline constexpr std::string_view kTopicsFoundDisplay = "Display";
inline constexpr std::string_view kTopicsFoundCancel = "Cancel";

// About.
// The name's second line says the system it runs on ("for %s"), the
// version line the reader's own version ("Version %s").
inline constexpr std::string_view kAboutName = "Varnhold Tessaly Reader";
inline constexpr char kAboutPlatform[] = "for %s";
inline constexpr std::string_view kAboutLink = "https://tessaly.varnhold.example/";
inline constexpr char kAboutVersion[] = "Version %s";
inline constexpr std::string_view kAboutButton = "Ok";

// The open-file dialog.
inline constexpr std::string_view kOpenFilterName = "CHM files (*.chm)";
inline constexpr std::string_view kOpenFilterPattern = "*.chm";

// Stored values.
inline constexpr std::string_view kStoreWindow = "HWND";
inline constexpr std::string_view kStoreHelpPath = "HelpPath";

// Tool tips of the buttons.
inline constexpr std::string_view kTipLocate = "Locate";
inline constexpr std::string_view kTipBack = "Back";
inline constexpr std::string_view kTipForward = "Forward";
inline constexpr std::string_view kTipRefresh = "Refresh";
inline constexpr std::string_view kTipHome = "Home";

// Menu items as the tables below write them (the reader hands the menus
// over as MenuEntry, platform.h).
struct MenuItem {
  int command = 0;
  std::string_view text;  // empty for a separator
  MenuMark mark = MenuMark::kNone;
  bool enabled = true;
  bool checked = false;
};
constexpr MenuItem Item(int command, std::string_view text, MenuMark mark = MenuMark::kNone,
                        bool enabled = true, bool checked = false) {
  return MenuItem{command, text, mark, enabled, checked};
}
constexpr MenuItem Separator() { return MenuItem(); }

inline constexpr std::string_view kFileMenuLabel = "File";
inline constexpr std::string_view kHelpMenuLabel = "Help";
inline constexpr std::string_view kTextSizeLabel = "Text Size";
inline constexpr std::string_view kRecentBooksLabel = "Recent Books";

// The Text Size sub-menu, largest first (commands 1011 .. 1007).
inline constexpr std::array<MenuItem, 5> kTextSizeItems{{
    Item(kCmdLargest, "Largest", MenuMark::kCheck),
    Item(kCmdLarge, "Large", MenuMark::kCheck),
    Item(kCmdMedium, "Medium", MenuMark::kCheck),
    Item(kCmdSmall, "Small", MenuMark::kCheck),
    Item(kCmdSmallest, "Smallest", MenuMark::kCheck),
}};

inline constexpr MenuItem kOpenItem = Item(kCmdOpen, "Open");
inline constexpr MenuItem kExitItem = Item(kCmdExit, "Exit");
inline constexpr MenuItem kCloseTabItem = Item(kCmdCloseTab, "Close Tab");
inline constexpr MenuItem kPrintItem = Item(kCmdPrint, "Print...");
inline constexpr MenuItem kExportItem = Item(kCmdExport, "Export...");
// The page's context menu on a link of the books.
inline constexpr char kOpenInTab[] = "Open Link in New Tab";
inline constexpr std::array<MenuItem, 2> kHelpMenuItems{{
    Item(kCmdHelpTopics, "Help Topics"),
    Item(kCmdAbout, "About"),
}};

// Items a book adds to the File menu.
inline constexpr MenuItem kShowImagesItem = Item(kCmdShowImages, "Show images", MenuMark::kCheck);
inline constexpr MenuItem kFitToWindowItem = Item(kCmdFitToWindow, "Fit to window", MenuMark::kCheck);
inline constexpr MenuItem kClearTypeItem = Item(kCmdClearType, "ClearType", MenuMark::kCheck);
inline constexpr MenuItem kSearchItem = Item(kCmdSearch, "&Search", MenuMark::kRadio);
inline constexpr MenuItem kIndexItem = Item(kCmdIndex, "I&ndex", MenuMark::kRadio);
inline constexpr MenuItem kContentsItem = Item(kCmdContents, "&Contents", MenuMark::kRadio);
inline constexpr MenuItem kHtmlItem = Item(kCmdHtml, "&Html", MenuMark::kRadio);

// The start view, while no book is open: a way to open one, and the recent
// books (title, file, when last opened), each a link that opens it.
inline constexpr std::string_view kStartOpen = "Open a book...";
inline constexpr std::string_view kStartOpenLink = "tessaly:open";
inline constexpr std::string_view kStartLibrary = "Your library of books";
inline constexpr std::string_view kStartLibraryLink = "tessaly:library";
inline constexpr std::string_view kStartRecent = "Recent books";
inline constexpr std::string_view kStartNoRecent = "No book has been opened yet.";
inline constexpr char kStartTimeFormat[] = "%Y-%m-%d %H:%M";

// The find bar over the page.
inline constexpr std::string_view kFindPlaceholder = "Find in page";
inline constexpr std::string_view kFindCount = "%1 of %2";
inline constexpr std::string_view kFindNone = "No matches";

// Values the desktop keeps beside the instance values.
inline constexpr std::string_view kStoreRecentBooks = "RecentBooks";
inline constexpr std::string_view kStoreSidebarWidth = "SidebarWidth";
inline constexpr std::string_view kStoreSidebarVisible = "SidebarVisible";
// The books open in tabs when the window closed, a path a line, and which
// of them was in front.
inline constexpr std::string_view kStoreTabs = "Tabs";
inline constexpr std::string_view kStoreCurrentTab = "CurrentTab";

}  // namespace tessaly::app
