// ls and dump: the container's directory and its diagnostic dump.
#include <cstdio>
#include <iostream>

#include "book/book.h"
#include "cli/commands.h"

namespace tessaly::cli {

int RunList(const Args& args) {
  Book book;
  book.OpenContainer(args[0]);
  for (const DirectoryEntry& entry : book.File().entries) {
    std::printf("%llu\t%llu\t%llu\t", static_cast<unsigned long long>(entry.section),
                static_cast<unsigned long long>(entry.offset), static_cast<unsigned long long>(entry.length));
    std::fwrite(entry.name.data(), 1, entry.name.size(), stdout);
    std::fputc('\n', stdout);
  }
  return 0;
}

int RunDump(const Args& args) {
  Book book;
  std::cout.sync_with_stdio(true);
  book.SetLog(&std::cout);
  book.OpenContainer(args[0]);
  std::cout.flush();
  return 0;
}

}  // namespace tessaly::cli
