// The subcommands of tessaly-cli. Each returns the process exit status:
// 0 on success, 1 when a BookError was raised (reported by the caller), 2 for
// bad usage.
#pragma once

#include <string>
#include <vector>

namespace tessaly::cli {

using Args = std::vector<std::string>;

struct Command {
  const char* name;
  const char* usage;    // the arguments, for --help
  const char* summary;  // one line
  std::size_t minArgs;
  std::size_t maxArgs;
  int (*run)(const Args& args);
};

int RunDump(const Args& args);
int RunList(const Args& args);

}  // namespace tessaly::cli
