// ls and dump: the container's directory and its diagnostic dump.
#include <cstdio>
#include <iostream>
#include <sstream>

#include "book/book.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "helpdata/helpdata.h"

namespace tessaly::cli {

int RunList(const Args& args) {
  Book book;
  book.OpenContainer(args[0]);
  for (std::size_t i = 0; i < book.EntryCount(); ++i) {
    const DirectoryEntry entry = book.Entry(i);
    std::printf("%llu\t%llu\t%llu\t", static_cast<unsigned long long>(entry.section),
                static_cast<unsigned long long>(entry.offset), static_cast<unsigned long long>(entry.length));
    const std::string name = Printable(entry.name);
    std::fwrite(name.data(), 1, name.size(), stdout);
    std::fputc('\n', stdout);
  }
  return 0;
}

// The header, the directory, the content sections and the #SYSTEM records,
// as opening the book writes them to its log.
int RunDump(const Args& args) {
  // The log holds the book's names and texts: it reaches the terminal
  // escaped, also the part written before a failure.
  std::ostringstream log;
  const auto show = [&log] {
    std::cout << Printable(log.str(), true);
    std::cout.flush();
  };
  Book book;
  book.SetLog(&log);
  try {
    book.OpenStorage(args[0]);
    const ObjectBuffer system = book.ReadObject("#SYSTEM");
    SystemRecords records;
    ReadSystemRecords(system, records, book.Log());
  } catch (...) {
    show();
    throw;
  }
  show();
  return 0;
}

}  // namespace tessaly::cli
