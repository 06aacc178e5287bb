// cat and extract: the stored objects themselves.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/book_error.h"
#include "book/book.h"
#include "cli/commands.h"

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

int RunExtract(const Args& args) {
  Book book;
  book.OpenStorage(args[0]);
  const fs::path target = args[1];
  std::error_code error;
  fs::create_directories(target, error);
  if (error) {
    std::fprintf(stderr, "tessaly-cli: cannot create %s: %s\n", target.c_str(), error.message().c_str());
    return 1;
  }
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
    std::fputs(line.c_str(), stderr);
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
        const fs::path path = target / relative;
        std::error_code ignored;
        fs::create_directories(path.parent_path(), ignored);
        std::FILE* out = std::fopen(path.c_str(), "wb");
        // An empty object has no bytes (and possibly no pointer) to write.
        bool ok = out != nullptr && (bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size());
        if (out != nullptr && std::fclose(out) != 0) ok = false;
        if (!ok) {
          warn("tessaly-cli: cannot write " + path.string() + ": " + std::strerror(errno) + "\n");
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
