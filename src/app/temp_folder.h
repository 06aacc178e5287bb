// The reader's temporary folder: made private and atomically, and a stale
// one of a reader that died removed only when it is provably the reader's.
//
// A folder is "temptallis" in the temporary root, with one "_" more for each
// name that is taken. A name counts as taken when making the folder fails
// because something of that name exists (never by a look before making it,
// which another process could race). The folder is made with mode 0700.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessaly::app {

// The root the folder goes into: `root` without trailing '/', or "/" when
// `root` is not a directory (or is empty).
std::string UsableTempRoot(std::string_view root);

// Makes the folder under `root` (as UsableTempRoot gives it) and returns
// its path, without trailing '/'; nullopt when it cannot be made or its path
// would pass maxBytes.
std::optional<std::string> MakeTempFolder(std::string_view root, std::size_t maxBytes);

// True when `folder` (maybe ending in '/') names one of the reader's
// temporary folders in `root`: an absolute path whose last component starts
// with "temptallis", whose parent is `root`, and that is a real directory
// (not a link) owned by this user.
bool IsReaderTempFolder(std::string_view folder, std::string_view root);

// True when the two paths name the same folder once normalised ("a/b/",
// "a//b" and "a/./b" are one folder).
bool SameFolder(std::string_view a, std::string_view b);

// Deletes every entry of the folder that is not a directory (links are
// removed, never followed), then the folder itself if it is then empty.
// Entries that cannot be deleted are skipped. True when the folder is gone.
bool RemoveFolder(std::string_view folder);

}  // namespace tessaly::app
