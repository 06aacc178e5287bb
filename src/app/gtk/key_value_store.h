// KeyValueStore: the reader's persistent values in place of the registry, a
// small key file of two groups ("keys"), each holding named values:
//
//   [Prev]
//   HWND=<instance id of the running reader, or 0>
//   WorkDirectory=<its temporary folder>
//   [chmfile]
//   HelpPath=<the reader's own help book>
//
// Install() is this platform's installation step: it creates the file, or
// adds a key that is missing. Afterwards values are written only into keys
// that exist. Every write re-reads the file and replaces it atomically, so
// two readers writing in turn never leave half a file and never lose each
// other's values. Values are UTF-8 text; anything else is refused.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessaly::app::gtk {

class KeyValueStore {
 public:
  static constexpr std::string_view kPrevKey = "Prev";
  static constexpr std::string_view kChmFileKey = "chmfile";

  explicit KeyValueStore(std::string path) : path_(std::move(path)) {}

  // Creates the two keys when they are missing: "Prev" with HWND=0 and an
  // empty WorkDirectory, "chmfile" with HelpPath=helpPath. Values already
  // there are kept. False when the file cannot be read or written.
  bool Install(std::string_view helpPath);

  // nullopt when the file, the key or the value does not exist.
  std::optional<std::string> Read(std::string_view key, std::string_view name) const;

  // False when the key does not exist, the value is not UTF-8 or the file
  // cannot be written.
  bool Write(std::string_view key, std::string_view name, std::string_view value);

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace tessaly::app::gtk
