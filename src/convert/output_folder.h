// OutputFolder: the files of a conversion written below one target folder,
// never outside it: every folder below the target is reached through its
// parent's descriptor without following a link (base/safe_files.h), a file
// replaces whatever stood at its name, and the total written is charged to
// the conversion's budget.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "base/safe_files.h"
#include "convert/output_budget.h"

namespace tessaly::convert {

class OutputFolder {
 public:
  // Opens (creating it when missing) the target folder; raises BookError
  // (kIo, with the system's reason) when it cannot be had.
  OutputFolder(const std::string& path, OutputBudget& budget);

  // Writes `relative` (components separated by '/', each a safe name as
  // OutputNames makes them). Raises BookError (kIo) when the system
  // refuses, and the budget's error when the output grows past it.
  void Write(std::string_view relative, std::span<const std::uint8_t> bytes);
  void Write(std::string_view relative, std::string_view text);

 private:
  std::string path_;
  OutputBudget& budget_;
  FolderWalker folders_;
};

}  // namespace tessaly::convert
