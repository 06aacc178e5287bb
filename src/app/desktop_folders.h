// Where the reader keeps what it makes of books between runs: the folder of
// the page-text indexes (nullopt: none can be had, indexes are then built
// in memory each time), and the store of the user's library (nullopt: the
// reader has no library).
#pragma once

#include <filesystem>
#include <optional>

namespace tessaly::app {

std::optional<std::filesystem::path> KeptIndexFolder();
std::optional<std::filesystem::path> KeptLibraryFile();

}  // namespace tessaly::app
