#include "support/run_cli.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>

#include "support/chm_builder.h"

namespace tessaly::test {

CliRun RunCli(const std::string& args, const std::string& before) {
  TempFile errFile(std::string(), ".err");
  const std::string command =
      (before.empty() ? std::string() : before + " ") + TESSALY_CLI + " " + args + " 2>" + errFile.Path();
  CliRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 4096> buf;
  std::size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) run.out.append(buf.data(), n);
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  const auto err = ReadFileBytes(errFile.Path());
  run.err.assign(err.begin(), err.end());
  return run;
}

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += "'\\''";
    else out += c;
  }
  return out + "'";
}

}  // namespace tessaly::test
