// The reader's temporary folder: made private, under a fresh random name,
// and held by a lock for as long as its reader runs; a stale one removed
// only when it is provably the reader's and no running reader holds it.
//
// A folder is "temptallis" followed by six random characters in the
// temporary root (mkdtemp), mode 0700: a name another user made first is
// never used, and no name can be guessed ahead. Its reader holds an
// exclusive flock on the folder itself while it runs; the lock goes with
// the process, however it ends, so a folder whose lock can be taken belongs
// to no running reader.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessaly::app {

// An open descriptor of a folder with its exclusive lock held (when the file
// system has locks); the lock is released when the descriptor closes.
class FolderLock {
 public:
  FolderLock() = default;
  explicit FolderLock(int fd) : fd_(fd) {}
  ~FolderLock();
  FolderLock(FolderLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FolderLock& operator=(FolderLock&& other) noexcept;
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_ = -1;
};

// Takes the lock of an existing folder (never through a link), without
// waiting; nullopt when it cannot be opened or another holder has it.
std::optional<FolderLock> LockFolder(std::string_view folder);

// The root the folder goes into: `root` without trailing '/', or "/" when
// `root` is not a directory (or is empty).
std::string UsableTempRoot(std::string_view root);

struct LockedFolder {
  std::string path;  // without trailing '/'
  FolderLock lock;
};

// Makes a fresh folder under `root` (as UsableTempRoot gives it) and locks
// it (where the file system has locks); nullopt when it cannot be made or
// its path would pass maxBytes.
std::optional<LockedFolder> MakeTempFolder(std::string_view root, std::size_t maxBytes);

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

// Removes a reader's folder left behind (IsReaderTempFolder in `root`) when
// no running reader holds its lock; the lock is held while it goes. True
// when it was removed.
bool RemoveAbandonedFolder(std::string_view folder, std::string_view root);

}  // namespace tessaly::app
