// The file part of a book: its name, the headers as read, the directory and
// the content sections. Filled once when the container is opened and never
// changed afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "container/directory.h"
#include "container/itsf_header.h"

namespace tessaly {

// One content section named in ::DataSpace/NameList.
struct ContentSection {
  std::string name;              // low byte of each UTF-16 unit, at most 255 bytes
  std::uint64_t dataOffset = 0;  // of its ::DataSpace/Storage/<name>/Content object
  bool compressed = false;       // name is exactly "MSCompressed"
};

struct BookFile {
  std::string fileName;  // shorter than PATH_MAX
  ItsfHeader itsf;
  DirectoryHeader directoryHeader;
  std::uint64_t contentOffset = 0;       // file offset of content section 0
  Directory entries;                     // in file order
  std::vector<ContentSection> sections;  // index = content section number; empty until read
};

}  // namespace tessaly
