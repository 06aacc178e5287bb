// OutputNames: the file each book object becomes below a target folder, and
// the links between those files.
//
// An object keeps its folders and name where they are safe: bytes below
// 0x20, DEL and '\' become '_', a "." or ".." component becomes "_." or
// "_..", an over-long component is shortened, and a name already taken (a
// reserved name such as the contents page, a file where another object needs
// a folder, two names that only sanitising made equal) gets "-N" before its
// extension. Spaces, '#', '%' and non-ASCII letters stay in file names;
// links write them percent-escaped.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace tessaly::convert {

class OutputNames {
 public:
  // names: the objects' stored names in order; reserved: names at the root
  // that the converter writes itself; newExtension(name) gives the extension
  // an object's file takes instead of its own (".md" for a page), or empty to
  // keep it.
  template <typename ExtensionFor>
  OutputNames(const std::vector<std::string>& names, const std::vector<std::string>& reserved,
              ExtensionFor newExtension);

  const std::string& Of(std::size_t object) const { return paths_[object]; }

 private:
  void Assign(const std::vector<std::string>& names, const std::vector<std::string>& reserved,
              const std::vector<std::string>& extensions);
  std::vector<std::string> paths_;
};

// One component of a stored name made safe as a file name (see above).
std::string SafeComponent(std::string_view component);

// The link from the file at output path `from` to the file at `to` (both
// relative to the same root), percent-escaped, with "#fragment" when one is
// given.
std::string RelativeLink(std::string_view from, std::string_view to, std::string_view fragment = {});

// A path's bytes escaped for a relative link: EncodeUrlPath
// (pages/pages.h), and ':' written %3A.
std::string EscapeLinkPath(std::string_view path);

template <typename ExtensionFor>
OutputNames::OutputNames(const std::vector<std::string>& names, const std::vector<std::string>& reserved,
                         ExtensionFor newExtension) {
  std::vector<std::string> extensions;
  extensions.reserve(names.size());
  for (const std::string& name : names) extensions.push_back(newExtension(name));
  Assign(names, reserved, extensions);
}

}  // namespace tessaly::convert
