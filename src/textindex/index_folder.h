// The folder that keeps page-text indexes, and its housekeeping: which
// folder, made private; the temporary files that a killed build left; the
// least recently used indexes past the size limit; the files that earlier
// versions kept in the user's cache folder.
//
// Names: an index is <64 hexadecimal digits>.sqlite; an index being built
// is that name followed by ".tmp.<process id>.<number>". Only files so
// named are ever removed, and removing one never follows a link.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace tessaly::textindex {

// $XDG_DATA_HOME/tessaly/index (an absolute XDG_DATA_HOME only), else
// $HOME/.local/share/tessaly/index; none without either. The sandboxed page
// process can write the user's cache folder, not this one. The first call
// also removes the indexes that earlier versions kept under
// $XDG_CACHE_HOME/tessaly (else $HOME/.cache/tessaly).
std::optional<std::filesystem::path> DefaultIndexFolder();

// Creates the folder 0700 when missing (its parent too, when that is the
// tessaly folder); empty when it can be used (a real folder, not a link,
// owned by the user, private), else why not.
std::string PrepareIndexFolder(const std::filesystem::path& folder);

// Removes the temporary files of builds whose process is gone.
void RemoveAbandonedBuilds(const std::filesystem::path& folder);

// Marks the index as just used (its modification time).
void MarkUsed(const std::filesystem::path& index);

// Removes the least recently used indexes until the folder's indexes take
// at most maxBytes; `keep` is never removed.
void EvictPast(const std::filesystem::path& folder, std::uint64_t maxBytes, const std::filesystem::path& keep);

}  // namespace tessaly::textindex
