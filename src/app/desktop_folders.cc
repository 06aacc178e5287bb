#include "app/desktop_folders.h"

#include "textindex/index_cache.h"

namespace tessaly::app {

std::optional<std::filesystem::path> KeptIndexFolder() { return textindex::DefaultIndexFolder(); }

}  // namespace tessaly::app
