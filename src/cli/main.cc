// tessaly-cli: the library of the Tessaly reader on the command line.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "base/book_error.h"
#include "cli/commands.h"

namespace tessaly::cli {
namespace {

constexpr Command kCommands[] = {
    {"ls", "BOOK", "list the directory: section, offset, length and name of every object", 1, 1, RunList},
    {"dump", "BOOK", "print the container's header, directory and section dump", 1, 1, RunDump},
    {"cat", "BOOK PATH", "write one stored object's bytes to standard output", 2, 2, RunCat},
    {"extract", "BOOK DIR", "write every stored object into DIR, keeping its folders", 2, 2, RunExtract},
    {"page", "BOOK PATH DIR", "write the topic at PATH into DIR as the reader does; print its address",
     3, 3, RunPage},
    {"info", "BOOK", "title, default and home topic, sitemaps, language and counts", 1, 1, RunInfo},
    {"toc", "BOOK", "the contents tree: name and path, indented by depth", 1, 1, RunToc},
    {"topics", "BOOK", "the topic table: number, title and path", 1, 1, RunTopics},
    {"index", "BOOK", "the keyword index: keywords in the reader's order and their targets", 1, 1, RunIndex},
    {"search", "BOOK WORD", "the topics holding WORD: number, title and path, ordered by title", 2, 2,
     RunSearch},
};

void PrintUsage(std::FILE* out) {
  std::fprintf(out, "Usage: tessaly-cli COMMAND ARGS...\n\nCommands:\n");
  for (const Command& c : kCommands) {
    std::string head = std::string(c.name) + " " + c.usage;
    std::fprintf(out, "  %-26s %s\n", head.c_str(), c.summary);
  }
  std::fprintf(out,
               "\nExit status: 0 on success, 1 when the book cannot be read (the reason goes to\n"
               "standard error), 2 for bad usage.\n");
}

int Main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    PrintUsage(stdout);
    return 0;
  }
  for (const Command& c : kCommands) {
    if (name != c.name) continue;
    Args args(argv + 2, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
      std::printf("Usage: tessaly-cli %s %s\n  %s\n", c.name, c.usage, c.summary);
      return 0;
    }
    if (args.size() < c.minArgs || args.size() > c.maxArgs) {
      std::fprintf(stderr, "Usage: tessaly-cli %s %s\n", c.name, c.usage);
      return 2;
    }
    try {
      return c.run(args);
    } catch (const BookError& error) {
      std::fflush(stdout);
      const std::string& message = error.Message();
      std::fputs(message.c_str(), stderr);
      if (message.empty() || message.back() != '\n') std::fputc('\n', stderr);
      return 1;
    }
  }
  std::fprintf(stderr, "tessaly-cli: unknown command '%s' (see tessaly-cli --help)\n", name.c_str());
  return 2;
}

}  // namespace
}  // namespace tessaly::cli

int main(int argc, char** argv) { return tessaly::cli::Main(argc, argv); }
