#include "convert/output_folder.h"

#include <cerrno>

#include "base/book_error.h"

namespace tessaly::convert {

namespace {

[[noreturn]] void RaiseWriteError(const std::string& path, int error) {
  throw BookError(ErrorKind::kIo, "Can't write " + path + ".").About(path).WithSystemError(error);
}

FolderHandle OpenTarget(const std::string& path) {
  FolderHandle root = FolderHandle::Open(path, true);
  if (!root.IsOpen()) RaiseWriteError(path, errno);
  return root;
}

}  // namespace

OutputFolder::OutputFolder(const std::string& path, OutputBudget& budget)
    : path_(path), budget_(budget), folders_(OpenTarget(path)) {}

void OutputFolder::Write(std::string_view relative, std::span<const std::uint8_t> bytes) {
  budget_.Spend(bytes.size(), relative);
  const FolderHandle* folder = folders_.FolderOf(relative);
  const std::string_view name = relative.substr(relative.rfind('/') + 1);
  if (folder == nullptr || !WriteFileIn(*folder, name, bytes)) RaiseWriteError(path_ + "/" + std::string(relative), errno);
}

void OutputFolder::Write(std::string_view relative, std::string_view text) {
  Write(relative, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace tessaly::convert
