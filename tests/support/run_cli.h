// Runs the tessaly-cli binary as a user would, for tests of the tool.
#pragma once

#include <string>

namespace tessaly::test {

struct CliRun {
  int status = -1;  // exit status, -1 when it did not exit normally
  std::string out;
  std::string err;
};

// Runs tessaly-cli with the given arguments, which are passed through the
// shell: quote them with Quote(). `before` is shell text put before the
// tool's path (limits: "ulimit -t 10; exec", a wrapper: "exec timeout 10").
CliRun RunCli(const std::string& args, const std::string& before = std::string());

// Single-quotes a text for the shell.
std::string Quote(const std::string& text);

}  // namespace tessaly::test
