#include "app/desktop_folders.h"

#include "library/library.h"
#include "textindex/text_index.h"

namespace tessaly::app {

std::optional<std::filesystem::path> KeptIndexFolder() { return textindex::DefaultIndexFolder(); }

std::optional<std::filesystem::path> KeptLibraryFile() { return library::DefaultStoreFile(); }

}  // namespace tessaly::app
