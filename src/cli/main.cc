// tessaly-cli: the library of the Tessaly reader on the command line.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <string_view>
#include <string>
#include <vector>

#include "base/book_error.h"
#include "cli/commands.h"
#include "cli/output.h"

namespace tessaly::cli {
namespace {

// The --json documents, as `COMMAND --help` shows them. A "text" is a UTF-8
// string; "text or null" is null when the book has none.
constexpr const char* kInfoJson =
    "{\"title\", \"default_topic\", \"home_topic\", \"contents_file\", \"index_file\",\n"
    "   \"jump_label\", \"jump_target\": text or null,\n"
    "   \"language_id\", \"code_page\", \"topic_count\", \"contents_node_count\",\n"
    "   \"directory_entry_count\": number}";
constexpr const char* kTocJson =
    "{\"entries\": [ENTRY...]}\n"
    "  ENTRY: {\"name\": text or null, \"path\": text or null, \"children\": [ENTRY...]}";
constexpr const char* kTopicsJson =
    "{\"topics\": [TOPIC...]}\n"
    "  TOPIC: {\"number\": number, \"title\": text, \"path\": text or null}";
constexpr const char* kIndexJson =
    "{\"keywords\": [KEYWORD...]}\n"
    "  KEYWORD: {\"keyword\": text, \"targets\": [TARGET...], \"children\": [KEYWORD...]}\n"
    "  TARGET: {\"name\": text or null, \"path\": text or null}";
constexpr const char* kSearchJson =
    "{\"word\": text (WORD as given), \"topics\": [TOPIC...]}\n"
    "  TOPIC: {\"number\": number, \"title\": text, \"path\": text or null}";

constexpr const char* kSearchTextJson =
    "{\"query\": text (QUERY as given), \"pages\": [PAGE...]}\n"
    "  PAGE: {\"title\": text, \"path\": text, \"hits\": number, \"snippet\": text}\n"
    "  (best first; in the snippet the matched words stand between ** and **)";
constexpr const char* kTextJsonl =
    "one line per page: {\"book\": text (BOOK as given), \"title\": text, \"path\": text, \"text\": text}";

constexpr const char* kSearchLibraryJson =
    "{\"query\": text (QUERY as given), \"book_filter\": text or null (the WORD of WORD:),\n"
    "   \"pages\": [PAGE...]}\n"
    "  PAGE: {\"book\": text (its path), \"book_title\": text, \"title\": text, \"path\": text,\n"
    "         \"hits\": number, \"snippet\": text, \"keyword\": true or false}\n"
    "  (best first, the pages a keyword of the book's own index names QUERY first)";
constexpr const char* kLibraryJson =
    "list: {\"folders\": [text...], \"books\": [BOOK...]}\n"
    "  BOOK: {\"title\": text, \"language_id\": number, \"size\": number, \"path\": text,\n"
    "         \"folder\": text or null, \"state\": \"indexed\" | \"not indexed\" | \"damaged\" |\n"
    "         \"unreadable\", \"reason\": text or null}\n"
    "  add: {\"added\", \"changed\", \"removed\": [text...] (paths), \"unchanged\": number,\n"
    "        \"indexed\": number (indexes made now), \"problems\": [text...]}\n"
    "  remove: {\"removed\": text (the path)}";
constexpr const char* kLookupJson =
    "{\"word\": text, \"book\": text or null (BOOK as given), \"topics\": [TOPIC...],\n"
    "   \"pages\": [PAGE...] (no topic: the pages holding WORD, as search --text --library)}\n"
    "  TOPIC: {\"book\": text (its path), \"book_title\": text, \"keyword\": text,\n"
    "          \"name\": text or null, \"path\": text}";

constexpr CommandVariant kSearchLibrary = {
    "--library", "QUERY",
    "pages matching QUERY in every book of the library, best first; WORD:QUERY searches the books whose "
    "title or file name holds WORD",
    RunSearchLibrary, RunSearchLibraryJson, kSearchLibraryJson, nullptr, 1};

constexpr CommandVariant kSearchText = {
    "--text", "BOOK QUERY",
    "pages matching QUERY (words, \"a phrase\", prefix*, OR, -word), best first: title, path, hits, snippet",
    RunSearchText, RunSearchTextJson, kSearchTextJson, &kSearchLibrary};

constexpr const char* kConvertOptions[] = {"--html", "--markdown", "--from=", nullptr};
constexpr const char* kConvertHelp =
    "  OUT.epub             an EPUB 3 book: every page as XHTML, the contents as its\n"
    "                       navigation, the keyword index as a page of links\n"
    "  OUT.pdf              the book printed by WebKit in contents order, each contents\n"
    "                       entry a bookmark, links between pages kept; --from TOPIC\n"
    "                       (an entry's name or page) prints that entry's branch only.\n"
    "                       NEEDS A DISPLAY (an X server; Xvfb serves)\n"
    "  DIR --html           every object into DIR with working relative links, and\n"
    "                       DIR/index.html: the contents, the index and every other page\n"
    "  DIR --markdown       one Markdown file per page (with title and source), every\n"
    "                       other object as it is, and DIR/index.md\n"
    "Book text is written in UTF-8. Nothing is written outside OUT or DIR, and a link\n"
    "standing in DIR is replaced, never followed.";

constexpr const char* kServeOptions[] = {"--port=", "--listen=", nullptr};
constexpr const char* kServeHelp =
    "Serves the books to any browser until interrupted: a page per book with its\n"
    "contents, keyword index and search of the page text, and every object of the\n"
    "books at /N/PATH. It listens on 127.0.0.1 only, unless --listen names another\n"
    "address; --port picks the port (else the system does). The address is printed\n"
    "first. Requests reach nothing but the books' objects.";

// Commands that take a shelf of books take up to this many.
constexpr std::size_t kManyBooks = 100000;

constexpr Command kCommands[] = {
    {"ls", "BOOK", "list the directory: section, offset, length and name of every object", 1, 1, RunList},
    {"dump", "BOOK", "print the container's header, directory and section dump", 1, 1, RunDump},
    {"cat", "BOOK PATH", "write one stored object's bytes to standard output", 2, 2, RunCat},
    {"extract", "BOOK... DIR",
     "write every stored object into DIR, keeping its folders (several books: each into DIR/NAME)", 2,
     kManyBooks, RunExtract},
    {"page", "BOOK PATH DIR | BOOK.chm::/PATH DIR",
     "write the topic at PATH into DIR as the reader does; print its address", 2, 3, RunPage},
    {"info", "BOOK", "title, default and home topic, sitemaps, language and counts", 1, 1, RunInfo,
     RunInfoJson, kInfoJson},
    {"toc", "BOOK", "the contents tree: name and path, indented by depth", 1, 1, RunToc, RunTocJson,
     kTocJson},
    {"topics", "BOOK", "the topic table: number, title and path", 1, 1, RunTopics, RunTopicsJson,
     kTopicsJson},
    {"index", "BOOK", "the keyword index: keywords in the reader's order and their targets", 1, 1, RunIndex,
     RunIndexJson, kIndexJson},
    {"search", "BOOK WORD", "the topics holding WORD: number, title and path, ordered by title", 2, 2,
     RunSearch, RunSearchJson, kSearchJson, "--json", &kSearchText},
    {"text", "BOOK...",
     "every HTML page's plain text, once per stored page: a line '=== TITLE<tab>PATH', then the text", 1,
     kManyBooks, RunText,
     RunTextJsonl, kTextJsonl, "--jsonl"},
    {"library", "list | add DIR|BOOK | remove DIR|BOOK",
     "the books of the library (title, language, size, path, state); add a folder (its books found "
     "below it and indexed) or a book; remove one",
     1, 2, RunLibrary, RunLibraryJson, kLibraryJson},
    {"lookup", "WORD [BOOK]",
     "the keyword index entries named WORD in BOOK (a path, or a word of its title) or in every book of "
     "the library: book title, keyword, name, BOOK::/PAGE; none: the pages holding WORD",
     1, 2, RunLookup, RunLookupJson, kLookupJson},
    {"convert", "BOOK OUT.epub|OUT.pdf|DIR [--html|--markdown] [--from TOPIC]",
     "take the book out: EPUB 3, PDF (needs a display), plain HTML or Markdown", 2, 8, RunConvert, nullptr, nullptr,
     "--json", nullptr, kConvertOptions, kConvertHelp},
    {"serve", "BOOK... [--port N] [--listen ADDRESS]", "serve the books to a browser on 127.0.0.1", 1, kManyBooks,
     RunServe, nullptr, nullptr, "--json", nullptr, kServeOptions, kServeHelp},
};

// The command's own option that `text` names: the option as listed ("--x" or
// "--x="); null when it has none by that name.
const char* OwnOption(const Command& c, std::string_view text) {
  for (const char* const* o = c.ownOptions; o != nullptr && *o != nullptr; ++o) {
    std::string_view option = *o;
    if (option == text || (option.ends_with('=') && option.substr(0, option.size() - 1) == text)) return *o;
  }
  return nullptr;
}

std::string CommandUsage(const Command& c) {
  return std::string(c.name) + (c.runJson != nullptr ? " [" + std::string(c.jsonOption) + "] " : " ") + c.usage;
}

std::string VariantUsage(const Command& c) {
  return std::string(c.name) + " " + c.variant->option + " [--json] " + c.variant->usage;
}

std::string SubVariantUsage(const Command& c) {
  return std::string(c.name) + " " + c.variant->option + " " + c.variant->variant->option + " [--json] " +
         c.variant->variant->usage;
}

void PrintUsage(std::FILE* out) {
  std::fprintf(out,
               "Usage: tessaly-cli COMMAND ARGS...\n"
               "       tessaly-cli COMMAND --help\n"
               "       tessaly-cli --help | --version\n\nCommands:\n");
  // A usage too long for its column stands on a line of its own.
  const auto line = [out](const std::string& usage, const char* summary) {
    if (usage.size() <= 26) std::fprintf(out, "  %-26s %s\n", usage.c_str(), summary);
    else std::fprintf(out, "  %s\n      %s\n", usage.c_str(), summary);
  };
  for (const Command& c : kCommands) {
    line(CommandUsage(c), c.summary);
    if (c.variant != nullptr) line(VariantUsage(c), c.variant->summary);
    if (c.variant != nullptr && c.variant->variant != nullptr) line(SubVariantUsage(c), c.variant->variant->summary);
  }
  std::fprintf(out,
               "\nOptions:\n"
               "  --json      info, toc, topics, index, search (also search --text), library\n"
               "              and lookup: print one JSON document (UTF-8) instead of lines;\n"
               "              COMMAND --help shows its fields\n"
               "  --jsonl     text: one JSON object (UTF-8) per page and line\n"
               "  --          take every later argument as it is, even one starting with --\n"
               "  --version   print the tool's version\n"
               "\nThe library (library, lookup, search --text --library) is kept in\n"
               "$XDG_DATA_HOME/tessaly/library.sqlite.\n"
               "\nExit status: 0 on success, 1 when the book or the library cannot be read (the\n"
               "reason goes to standard error), 2 for bad usage.\n");
}

void PrintCommandHelp(const Command& c) {
  std::printf("Usage: tessaly-cli %s\n  %s\n", CommandUsage(c).c_str(), c.summary);
  if (c.help != nullptr) std::printf("\n%s\n", c.help);
  if (c.jsonShape != nullptr) std::printf("\nWith %s:\n  %s\n", c.jsonOption, c.jsonShape);
  if (c.variant == nullptr) return;
  std::printf("\nUsage: tessaly-cli %s\n  %s\n", VariantUsage(c).c_str(), c.variant->summary);
  std::printf("\nWith %s --json:\n  %s\n", c.variant->option, c.variant->jsonShape);
  const CommandVariant* sub = c.variant->variant;
  if (sub == nullptr) return;
  std::printf("\nUsage: tessaly-cli %s\n  %s\n", SubVariantUsage(c).c_str(), sub->summary);
  std::printf("\nWith %s %s --json:\n  %s\n", c.variant->option, sub->option, sub->jsonShape);
}

// A command's arguments once its options are taken out.
struct Invocation {
  Args operands;
  bool json = false;
  bool help = false;
  bool variant = false;
  bool subVariant = false;
};

// Options may stand anywhere among the arguments, up to "--". An option the
// command does not know is bad usage: none then, after a message.
std::optional<Invocation> ParseArguments(const Command& c, char** first, char** last) {
  Invocation call;
  bool options = true;
  for (char** arg = first; arg != last; ++arg) {
    const std::string text = *arg;
    if (options && text == "--") {
      options = false;
    } else if (options && text.starts_with("--")) {
      if (text == c.jsonOption && c.runJson != nullptr) {
        call.json = true;
      } else if (c.variant != nullptr && text == c.variant->option) {
        call.variant = true;
      } else if (c.variant != nullptr && c.variant->variant != nullptr && text == c.variant->variant->option) {
        call.subVariant = true;
      } else if (const char* own = OwnOption(c, text)) {
        call.operands.push_back(own);
        if (std::string_view(own).ends_with('=')) {
          if (arg + 1 == last) {
            std::fprintf(stderr, "tessaly-cli %s: option '%s' needs a value\n", c.name, text.c_str());
            return std::nullopt;
          }
          call.operands.push_back(*++arg);
        }
      } else if (text == "--help") {
        call.help = true;
      } else {
        std::fprintf(stderr, "tessaly-cli %s: unknown option '%s'\n", c.name, text.c_str());
        return std::nullopt;
      }
    } else {
      call.operands.push_back(text);
    }
  }
  if (first + 1 == last && std::strcmp(*first, "-h") == 0) call = Invocation{{}, false, true, false, false};
  return call;
}

int Main(int argc, char** argv) {
  // Options may come before the command too (tessaly-cli --json toc BOOK):
  // they are taken as if they followed it.
  std::vector<char*> leading;
  int at = 1;
  for (; at < argc && std::strncmp(argv[at], "--", 2) == 0 && std::strcmp(argv[at], "--") != 0; ++at) {
    leading.push_back(argv[at]);
  }
  auto has = [&](const char* option) {
    return std::any_of(leading.begin(), leading.end(), [&](const char* arg) { return std::strcmp(arg, option) == 0; });
  };
  if (at >= argc) {
    if (has("--version")) {
      std::printf("tessaly-cli %s\n", TESSALY_VERSION);
      return 0;
    }
    PrintUsage(has("--help") ? stdout : stderr);
    return has("--help") ? 0 : 2;
  }
  std::string name = argv[at];
  if (leading.empty() && (name == "-h" || name == "help")) {
    PrintUsage(stdout);
    return 0;
  }
  for (const Command& c : kCommands) {
    if (name != c.name) continue;
    std::vector<char*> rest(leading);
    rest.insert(rest.end(), argv + at + 1, argv + argc);
    const std::optional<Invocation> call = ParseArguments(c, rest.data(), rest.data() + rest.size());
    if (!call) {
      std::fprintf(stderr, "Usage: tessaly-cli %s\n", CommandUsage(c).c_str());
      return 2;
    }
    if (call->help) {
      PrintCommandHelp(c);
      return 0;
    }
    const Args& args = call->operands;
    const bool sub = call->subVariant;
    const bool fits = sub ? call->variant && args.size() == c.variant->variant->operands
                          : args.size() >= c.minArgs && args.size() <= c.maxArgs;
    if (!fits) {
      std::fprintf(stderr, "Usage: tessaly-cli %s\n",
                   sub ? SubVariantUsage(c).c_str() : call->variant ? VariantUsage(c).c_str() : CommandUsage(c).c_str());
      return 2;
    }
    try {
      if (sub) return call->json ? c.variant->variant->runJson(args) : c.variant->variant->run(args);
      if (call->variant) return call->json ? c.variant->runJson(args) : c.variant->run(args);
      return call->json ? c.runJson(args) : c.run(args);
    } catch (const BookError& error) {
      std::fflush(stdout);
      std::fputs(ErrorReport(error).c_str(), stderr);
      return 1;
    }
  }
  std::fprintf(stderr, "tessaly-cli: unknown command '%s' (see tessaly-cli --help)\n", name.c_str());
  return 2;
}

}  // namespace
}  // namespace tessaly::cli

int main(int argc, char** argv) { return tessaly::cli::Main(argc, argv); }
