// Where the reader keeps its things on a Linux desktop.
//
// - The reader's private cache folder, $XDG_CACHE_HOME/tessaly
//   ($XDG_CACHE_HOME defaulting to $HOME/.cache): the compiled content
//   filter. Never a folder other users can write in: there they could take
//   names first or plant things.
// - Instance sockets: $XDG_RUNTIME_DIR/tessaly, or, without a runtime
//   folder, "channel" in the private cache folder.
// - The store (in place of the registry): $XDG_CONFIG_HOME/tessaly/store,
//   $XDG_CONFIG_HOME defaulting to $HOME/.config.
// - The reader's own help book: installed under <prefix>/share/tessaly, or
//   in the source tree the program was built from.
#pragma once

#include <optional>
#include <string>

namespace tessaly::app::gtk {

// The reader's cache folder ($XDG_CACHE_HOME/tessaly, made private), or
// nullopt when there is no home or it cannot be made so.
std::optional<std::string> CacheFolder();

// Makes `path` a folder only this user can enter (mode 0700), or checks that
// the existing one is: a real folder (not a link), owned by this user,
// closed to others. nullopt when it is not and cannot be made so.
std::optional<std::string> PrivateFolder(const std::string& path);

// The folder of the instance sockets (made private), or nullopt.
std::optional<std::string> ChannelFolder();

// The store file's folder (made private) and the file in it, or nullopt
// when there is no home to put it in.
std::optional<std::string> StoreFile();

// The folder the running executable lies in (no trailing '/'), or empty.
std::string ExecutableFolder();

// The reader's own help book: <prefix>/share/tessaly/help.chm beside the
// executable's prefix when it is there, else the source tree's compiled
// manual when that is there, else the installed path.
std::string InstalledHelpBook();

// A regular file this user may read.
bool IsReadableFile(const std::string& path);

}  // namespace tessaly::app::gtk
