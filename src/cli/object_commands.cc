// cat and extract: the stored objects themselves.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/book_error.h"
#include "book/book.h"
#include "base/safe_files.h"
#include "cli/commands.h"
#include "cli/output.h"

namespace tessaly::cli {

namespace fs = std::filesystem;

int RunCat(const Args& args) {
  Book book;
  book.OpenStorage(args[0]);
  const ObjectBuffer bytes = book.ReadObject(args[1]);
  if ((!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) ||
      std::fflush(stdout) != 0) {
    std::fprintf(stderr, "tessaly-cli: cannot write to standard output: %s\n", std::strerror(errno));
    return 1;
  }
  return 0;
}

// The path below the target folder for a stored name, or empty when the name
// could lead out of it: a ".." or "." component, an empty component, a
// backslash or a NUL byte. The leading '/' of a name is dropped.
std::string SafeRelativePath(std::string_view name) {
  if (name.starts_with('/')) name.remove_prefix(1);
  if (name.empty() || name.find('\\') != std::string_view::npos || name.find('\0') != std::string_view::npos)
    return {};
  std::size_t start = 0;
  while (true) {
    std::size_t slash = name.find('/', start);
    std::string_view part = name.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
    if (part.empty() || part == "." || part == "..") return {};
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  return std::string(name);
}

namespace {

// The folders of the files extract writes, reached from the target folder
// one component at a time without following a link that stands in it. The
// last folder reached is kept: a book lists the objects of a folder
// together.
class FolderWalker {
 public:
  explicit FolderWalker(FolderHandle root) : root_(std::move(root)) {}

  // The folder of `relative` (a checked relative path with '/' between
  // components), made when missing; null (errno set) when it cannot be had.
  const FolderHandle* FolderOf(std::string_view relative) {
    const std::size_t slash = relative.rfind('/');
    if (slash == std::string_view::npos) return &root_;
    const std::string_view folder = relative.substr(0, slash);
    if (last_.IsOpen() && folder == lastPath_) return &last_;
    last_ = FolderHandle();
    lastPath_.clear();
    FolderHandle at;
    const FolderHandle* parent = &root_;
    for (std::size_t start = 0; start <= folder.size();) {
      const std::size_t end = std::min(folder.find('/', start), folder.size());
      at = parent->Child(folder.substr(start, end - start), true);
      if (!at.IsOpen()) {
        const int error = errno;
        last_ = FolderHandle();
        errno = error;
        return nullptr;
      }
      last_ = std::move(at);
      parent = &last_;
      start = end + 1;
    }
    lastPath_ = std::string(folder);
    return &last_;
  }

 private:
  FolderHandle root_;
  FolderHandle last_;
  std::string lastPath_;
};

}  // namespace

int RunExtract(const Args& args) {
  Book book;
  book.OpenStorage(args[0]);
  const fs::path target = args[1];
  FolderHandle root = FolderHandle::Open(target, true);
  if (!root.IsOpen()) {
    std::fprintf(stderr, "tessaly-cli: cannot create %s: %s\n", target.c_str(), std::strerror(errno));
    return 1;
  }
  FolderWalker folders(std::move(root));
  const bool progress = isatty(fileno(stderr));
  const std::size_t total = book.File().entries.size();
  std::size_t done = 0, written = 0;
  int status = 0;
  auto report = [&]() {
    ++done;
    if (progress && (done % 64 == 0 || done == total))
      std::fprintf(stderr, "\rExtracting: %zu of %zu objects", done, total);
  };
  auto warn = [&](const std::string& line) {
    if (progress) std::fputc('\n', stderr);
    std::fputs(Printable(line, true).c_str(), stderr);
  };

  book.ReadAllObjects(
      [&](const DirectoryEntry& entry, std::span<const std::uint8_t> bytes) {
        report();
        if (entry.name.ends_with('/')) return;
        const std::string relative = SafeRelativePath(entry.name);
        if (relative.empty()) {
          warn("tessaly-cli: skipping '" + std::string(entry.name.substr(0, entry.name.find('\0'))) +
               "': its name would leave the target folder\n");
          return;
        }
        // Nothing already in the folder is followed: a link where a folder
        // should be is refused, a file or link where the file goes is
        // replaced.
        const FolderHandle* folder = folders.FolderOf(relative);
        OwnedFile out = folder != nullptr ? CreateFileIn(*folder, relative.substr(relative.rfind('/') + 1)) : nullptr;
        // An empty object has no bytes (and possibly no pointer) to write.
        bool ok = out != nullptr && (bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), out.get()) == bytes.size());
        if (out != nullptr && std::fclose(out.release()) != 0) ok = false;
        if (!ok) {
          warn("tessaly-cli: cannot write " + (target / relative).string() + ": " + std::strerror(errno) + "\n");
          status = 1;
          return;
        }
        ++written;
      },
      [&](const DirectoryEntry& entry, const BookError& error) {
        report();
        std::string text = error.Message();
        if (text.empty() || text.back() != '\n') text += '\n';
        warn(std::string(entry.name) + ": " + text);
        status = 1;
      });
  if (progress) std::fprintf(stderr, "\rExtracted %zu objects into %s\n", written, target.c_str());
  return status;
}

}  // namespace tessaly::cli
