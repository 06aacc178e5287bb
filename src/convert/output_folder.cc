#include "convert/output_folder.h"

#include <cerrno>

#include "base/book_error.h"

namespace tessaly::convert {

namespace {

[[noreturn]] void RaiseWriteError(const std::string& path, int error) {
  throw BookError(ErrorKind::kIo, "Can't write " + path + ".").About(path).WithSystemError(error);
}

}  // namespace

OutputFolder::OutputFolder(const std::string& path, OutputBudget& budget)
    : path_(path), budget_(budget), root_(FolderHandle::Open(path, true)) {
  if (!root_.IsOpen()) RaiseWriteError(path, errno);
}

const FolderHandle& OutputFolder::FolderOf(std::string_view folder) {
  if (folder.empty()) return root_;
  if (last_.IsOpen() && folder == lastPath_) return last_;
  last_ = FolderHandle();
  lastPath_.clear();
  const FolderHandle* parent = &root_;
  for (std::size_t start = 0; start <= folder.size();) {
    const std::size_t end = std::min(folder.find('/', start), folder.size());
    FolderHandle child = parent->Child(folder.substr(start, end - start), true);
    if (!child.IsOpen()) RaiseWriteError(path_ + "/" + std::string(folder), errno);
    last_ = std::move(child);
    parent = &last_;
    start = end + 1;
  }
  lastPath_ = std::string(folder);
  return last_;
}

void OutputFolder::Write(std::string_view relative, std::span<const std::uint8_t> bytes) {
  budget_.Spend(bytes.size(), relative);
  const std::size_t slash = relative.rfind('/');
  const std::string_view folder = slash == std::string_view::npos ? std::string_view() : relative.substr(0, slash);
  const std::string_view name = relative.substr(slash == std::string_view::npos ? 0 : slash + 1);
  if (!WriteFileIn(FolderOf(folder), name, bytes)) RaiseWriteError(path_ + "/" + std::string(relative), errno);
}

void OutputFolder::Write(std::string_view relative, std::string_view text) {
  Write(relative, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace tessaly::convert
