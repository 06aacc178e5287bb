// What a shell command prints on its standard output (tools that tell a
// written file's structure: qpdf, pdfinfo, pdftotext).
#pragma once

#include <string>

namespace tessaly::test {

// Empty when the command cannot be started or prints nothing.
std::string CommandOutput(const std::string& command);

}  // namespace tessaly::test
