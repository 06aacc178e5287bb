#include "textindex/text_index.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "book/book.h"
#include "textindex/sha256.h"

namespace tessaly::textindex {

namespace {

namespace fs = std::filesystem;

// Removes the file, or the link, at path; never what a link points to.
void RemoveEntry(const fs::path& path) { unlink(path.c_str()); }

// A new empty file, readable by the user only, that no one else can have
// put there; its path (named as DefaultIndexFolder says).
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
std::optional<TextIndex> OpenKept(const fs::path& path, const std::string& hash, const BuildControl& control,
                                  std::string& note) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return std::nullopt;  // none kept
  if (!S_ISREG(info.st_mode)) {
    note = path.string() + " is not a regular file: replaced";
    return std::nullopt;
  }
  try {
    TextIndex index = TextIndex::Open(path.string());
    const std::string problem = index.Validate(hash, control.cancel);
    if (problem.empty()) return index;
    note = "the kept page-text index is " + problem + ": rebuilt";
  } catch (const TextIndexError& error) {
    note = std::string(error.what()) + ": rebuilt";
  }
  return std::nullopt;
}

// What the caller is told of a build that left pages out.
void NoteBudget(const BuildStats& built, std::string& note) {
  if (built.budgetSpent == 0) return;
  if (!note.empty()) note += "; ";
  note += "only " + std::to_string(built.pages) + " pages are indexed: the text of more would pass " +
          std::to_string(built.budgetSpent >> 20) + " MiB, the most that the book's size allows";
}

}  // namespace

CachedIndex IndexCache::Open(const Book& book, const TextConverter& converter, const BuildControl& control) const {
  return Get(book, converter, control, true);
}

CachedIndex IndexCache::Rebuild(const Book& book, const TextConverter& converter, const BuildControl& control) const {
  return Get(book, converter, control, false);
}

CachedIndex IndexCache::Get(const Book& book, const TextConverter& converter, const BuildControl& control,
                            bool reuse) const {
  const std::string hash = HexDigestOfFile(std::string(book.FileName()));
  std::string note;
  std::optional<fs::path> final;
  if (folder_) {
    const std::string problem = PrepareIndexFolder(*folder_);
    if (problem.empty()) final = *folder_ / (hash + ".sqlite");
    else note = problem + ": the page-text index is kept in memory only";
  }
  if (!final) {
    TextIndex index = TextIndex::Create(":memory:");
    const BuildStats built = index.Build(book, converter, hash, control);
    NoteBudget(built, note);
    return {std::move(index), false, built, note};
  }
  RemoveAbandonedBuilds(*folder_);
  if (reuse) {
    if (std::optional<TextIndex> kept = OpenKept(*final, hash, control, note)) {
      MarkUsed(*final);
      EvictPast(*folder_, limit_, *final);
      return {std::move(*kept), true, {}, {}};
    }
  }

  const fs::path temporary = CreateTemporary(*final);
  try {
    TextIndex index = TextIndex::Create(temporary.string());
    const BuildStats built = index.Build(book, converter, hash, control);
    // rename() replaces a file or link at the final path, never following it.
    if (std::rename(temporary.c_str(), final->c_str()) != 0) {
      throw TextIndexError("Can't keep the page-text index as " + final->string() + ": " + std::strerror(errno));
    }
    EvictPast(*folder_, limit_, *final);
    NoteBudget(built, note);
    return {std::move(index), false, built, note};
  } catch (...) {
    RemoveEntry(temporary);
    throw;
  }
}

}  // namespace tessaly::textindex
