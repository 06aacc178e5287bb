// The subcommands of tessaly-cli. Each returns the process exit status:
// 0 on success, 1 when a BookError was raised (reported by the caller), 2 for
// bad usage.
//
// info, toc, topics, index, search, search --text, library and lookup also have a --json form (Run...Json)
// that prints one JSON document in UTF-8 instead of lines: the same facts,
// under the field names that `tessaly-cli COMMAND --help` shows. Texts the
// book does not give (empty in the lines) are null there. These names are
// the scripts' interface: add fields if need be, never rename or drop one.
// text --jsonl prints one JSON object per line instead.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tessaly::cli {

using Args = std::vector<std::string>;

// Another form of a command that an option selects (search --text), with
// its own --json form; a further option may select a form of that form
// (search --text --library), which takes `operands` arguments.
struct CommandVariant {
  const char* option;
  const char* usage;
  const char* summary;
  int (*run)(const Args& args);
  int (*runJson)(const Args& args);
  const char* jsonShape;
  const CommandVariant* variant = nullptr;
  std::size_t operands = 0;  // 0: as many as the command takes
};

struct Command {
  const char* name;
  const char* usage;    // the arguments, for --help
  const char* summary;  // one line
  std::size_t minArgs;
  std::size_t maxArgs;
  int (*run)(const Args& args);
  int (*runJson)(const Args& args) = nullptr;  // the --json form, where there is one
  const char* jsonShape = nullptr;             // its document, for --help
  const char* jsonOption = "--json";           // the option that selects it (text: --jsonl)
  const CommandVariant* variant = nullptr;
  // The command's own options, handed to it among the operands as written:
  // "--flag" alone, "--name=" followed by its value as the next operand.
  const char* const* ownOptions = nullptr;
  const char* help = nullptr;  // more to say in COMMAND --help
};

int RunDump(const Args& args);
int RunList(const Args& args);
int RunCat(const Args& args);
int RunExtract(const Args& args);
int RunPage(const Args& args);
int RunInfo(const Args& args);
int RunToc(const Args& args);
int RunTopics(const Args& args);
int RunIndex(const Args& args);
int RunSearch(const Args& args);
int RunText(const Args& args);
int RunConvert(const Args& args);
int RunServe(const Args& args);
// convert BOOK OUT.pdf (pdf_command.cc, in builds with WebKitGTK and qpdf).
int ConvertToPdf(const class Book& book, const std::string& out, const std::string& from);
int RunSearchText(const Args& args);
int RunSearchLibrary(const Args& args);
int RunLibrary(const Args& args);
int RunLookup(const Args& args);

int RunInfoJson(const Args& args);
int RunTocJson(const Args& args);
int RunTopicsJson(const Args& args);
int RunIndexJson(const Args& args);
int RunSearchJson(const Args& args);
int RunTextJsonl(const Args& args);
int RunSearchTextJson(const Args& args);
int RunSearchLibraryJson(const Args& args);
int RunLibraryJson(const Args& args);
int RunLookupJson(const Args& args);

// The path below a target folder for a stored object's name; empty when the
// name could lead out of the folder.
std::string SafeRelativePath(std::string_view name);

}  // namespace tessaly::cli
