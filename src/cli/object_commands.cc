// cat: one stored object; the names extract may write.
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

}  // namespace tessaly::cli
