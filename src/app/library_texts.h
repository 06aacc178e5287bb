// The commands and texts of the library's parts of the window: the Library
// menu, the search field above the tabs (Ctrl+K) and the Library view.
#pragma once

#include <string_view>

#include "app/resources.h"

namespace tessaly::app {

inline constexpr int kLibraryMenuButton = 403;
inline constexpr int kCmdLibrarySearch = 1060;  // Ctrl+K: the search field above the tabs
inline constexpr int kCmdShowLibrary = 1061;    // Ctrl+L: the Library view
inline constexpr int kCmdAddFolder = 1062;      // Library > Add Folder...
inline constexpr int kCmdBookmarkPage = 1063;   // Ctrl+D: the page on screen is bookmarked
inline constexpr int kCmdShowBookmarks = 1064;  // the Bookmarks window: every book's
inline constexpr int kCmdBookmarkFirst = 1200;  // the bookmarks of the menus, newest first
inline constexpr int kCmdBookmarkLast = 1299;

inline constexpr std::string_view kLibraryMenuLabel = "Library";
inline constexpr MenuItem kLibraryMenuItems[] = {
    Item(kCmdLibrarySearch, "&Search All Books"),
    Item(kCmdShowLibrary, "Show &Library"),
    Item(kCmdAddFolder, "&Add Folder..."),
    Item(kCmdShowBookmarks, "&Organize Bookmarks..."),
};
inline constexpr MenuItem kBookmarkPageItem = Item(kCmdBookmarkPage, "&Bookmark This Page");
inline constexpr std::string_view kBookBookmarksLabel = "This Book's Bookmarks";
inline constexpr std::string_view kAllBookmarksLabel = "All Bookmarks";

// The search field's placeholder, and the Library view's title and columns.
inline constexpr std::string_view kLibrarySearchPlaceholder = "Search all books (Ctrl+K)";
inline constexpr std::string_view kLibraryViewTitle = "Library";
inline constexpr std::string_view kLibraryFilterPlaceholder = "Filter books";
inline constexpr std::string_view kLibraryColumns[] = {"Title", "Language", "Size", "Where", "State"};
inline constexpr std::string_view kAddFolderTitle = "Add Folder to Library";
// The Bookmarks window: its title, columns and buttons.
inline constexpr std::string_view kBookmarksViewTitle = "Bookmarks";
inline constexpr std::string_view kBookmarkColumns[] = {"Name", "Book", "Page"};
inline constexpr std::string_view kBookmarkOpen = "_Open";
inline constexpr std::string_view kBookmarkRename = "_Rename";
inline constexpr std::string_view kBookmarkDelete = "_Delete";

}  // namespace tessaly::app
