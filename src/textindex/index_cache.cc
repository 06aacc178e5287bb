#include "textindex/index_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "book/book.h"
#include "textindex/sha256.h"

namespace tessaly::textindex {

namespace {

namespace fs = std::filesystem;

// The folder, created 0700 when missing (its parents too), or why it cannot
// be used.
std::string PrepareFolder(const fs::path& folder) {
  struct stat info {};
  if (lstat(folder.c_str(), &info) != 0) {
    std::error_code error;
    fs::create_directories(folder.parent_path(), error);
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      return "can't create " + folder.string() + ": " + std::strerror(errno);
    }
    if (lstat(folder.c_str(), &info) != 0) return "can't create " + folder.string();
  }
  if (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode)) return folder.string() + " is not a folder";
  if (info.st_uid != geteuid()) return folder.string() + " belongs to another user";
  if ((info.st_mode & 0077) != 0 && chmod(folder.c_str(), 0700) != 0) return "can't protect " + folder.string();
  return {};
}

// Removes the file, or the link, at path; never what a link points to.
void RemoveEntry(const fs::path& path) { unlink(path.c_str()); }

// A new empty file, readable by the user only, that no one else can have
// put there; its path.
fs::path CreateTemporary(const fs::path& final) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path path = final;
    path += ".tmp." + std::to_string(getpid()) + "." + std::to_string(counter++);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      close(fd);
      return path;
    }
    if (errno != EEXIST) break;
  }
  throw TextIndexError("Can't create a file for the page-text index beside " + final.string() + ": " +
                       std::strerror(errno));
}

// The kept index when it can be trusted; otherwise none, with the reason.
std::optional<TextIndex> OpenKept(const fs::path& path, const std::string& hash, std::string& note) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return std::nullopt;  // none kept
  if (!S_ISREG(info.st_mode)) {
    note = path.string() + " is not a regular file: replaced";
    RemoveEntry(path);
    return std::nullopt;
  }
  try {
    TextIndex index = TextIndex::Open(path.string(), TextIndex::Access::kReadOnly);
    const std::string problem = index.Validate(hash);
    if (problem.empty()) return index;
    note = "the kept page-text index is " + problem + ": rebuilt";
  } catch (const TextIndexError& error) {
    note = std::string(error.what()) + ": rebuilt";
  }
  return std::nullopt;
}

}  // namespace

std::optional<fs::path> DefaultCacheFolder() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg != nullptr && xdg[0] == '/') return fs::path(xdg) / "tessaly";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return fs::path(home) / ".cache" / "tessaly";
  return std::nullopt;
}

std::optional<fs::path> IndexCache::FileFor(const std::string& bookHash) const {
  if (!folder_) return std::nullopt;
  return *folder_ / (bookHash + ".sqlite");
}

CachedIndex IndexCache::Open(const Book& book, const TextConverter& converter, const BuildControl& control) const {
  const std::string hash = HexDigestOfFile(book.File().fileName);
  std::string note;
  std::optional<fs::path> final = FileFor(hash);
  if (final) {
    const std::string problem = PrepareFolder(*folder_);
    if (!problem.empty()) {
      note = problem + ": the page-text index is kept in memory only";
      final.reset();
    }
  }
  if (!final) {
    TextIndex index = TextIndex::Open(":memory:", TextIndex::Access::kReadWrite);
    const BuildStats built = index.Build(book, converter, hash, control);
    return {std::move(index), false, built, note};
  }
  if (std::optional<TextIndex> kept = OpenKept(*final, hash, note)) return {std::move(*kept), true, {}, {}};

  const fs::path temporary = CreateTemporary(*final);
  BuildStats built;
  try {
    TextIndex index = TextIndex::Open(temporary.string(), TextIndex::Access::kReadWrite);
    built = index.Build(book, converter, hash, control);
  } catch (...) {
    RemoveEntry(temporary);
    throw;
  }
  // rename() replaces a file or link at the final path, never following it.
  if (std::rename(temporary.c_str(), final->c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    RemoveEntry(temporary);
    throw TextIndexError("Can't keep the page-text index as " + final->string() + ": " + reason);
  }
  return {TextIndex::Open(final->string(), TextIndex::Access::kReadOnly), false, built, note};
}

}  // namespace tessaly::textindex
