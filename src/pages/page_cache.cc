// Preparing a page: resolving the link, the page state, the files of the
// temporary folder, and the two passes over the name pairs (copies, then
// frames).
#include "pages/pages.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "base/book_error.h"
#include "base/book_path.h"
#include "base/text.h"
#include "base/object_source.h"
#include "pages/page_names.h"

namespace tessaly {

namespace {

// A link or path as the reader holds it: up to its first NUL, at most
// kMaxPath bytes.
std::string_view Bounded(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  return text.substr(0, std::min(text.size(), PageCache::kMaxPath));
}

void CutAt(std::string& text, char c) {
  const std::size_t at = text.find(c);
  if (at != std::string::npos) text.resize(at);
}

void CutToMaxPath(std::string& text) {
  if (text.size() > PageCache::kMaxPath) text.resize(PageCache::kMaxPath);
}

// The link's text from its first '#' on; empty when it has none.
std::string_view Fragment(std::string_view link) {
  const std::size_t hash = link.find('#');
  return hash == std::string_view::npos ? std::string_view() : link.substr(hash);
}

// A name made by this cache: one component, never "." or "..".
bool IsPlainFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

// Keeps frameDepth_ counted while frames are shown, whatever happens.
class DepthGuard {
 public:
  explicit DepthGuard(int& depth) : depth_(depth) { ++depth_; }
  ~DepthGuard() { --depth_; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;

 private:
  int& depth_;
};

}  // namespace

PageCache::PageCache(PagePlatform& platform, History& history, std::string_view tempFolder)
    : platform_(platform),
      history_(history),
      tempFolder_(tempFolder.empty() ? "./" : tempFolder) {
  if (tempFolder_.back() != '/') tempFolder_ += '/';
}

void PageCache::SetBook(const ObjectSource* book, std::uint64_t distinctBytes) {
  book_ = book;
  budget_ = distinctBytes >= kMaxPageBytes / 2 ? kMaxPageBytes
                                                : std::min(kMaxPageBytes, 2 * distinctBytes + kPageBytesFloor);
}

void PageCache::SetCurrentPagePath(std::string_view path) { currentPagePath_ = Bounded(path); }

void PageCache::SetCurrentPageDir(std::string_view dir) { currentPageDir_ = Bounded(dir); }

void PageCache::ResetPageState() {
  currentPageFile_.clear();
  currentPagePath_.clear();
  currentPageDir_.clear();
}

bool PageCache::PreparePage(std::string_view link) {
  if (frameDepth_ > 0) return PreparePageOrFrame(link);
  written_ = 0;
  leftOut_ = 0;
  framesShown_ = 0;
  const bool prepared = PreparePageOrFrame(link);
  if (leftOut_ > 0) {
    platform_.ReportMissingPart(FormatText(
        "%u parts of this page were left out: it names more than one page may show.", leftOut_));
  }
  return prepared;
}

bool PageCache::Spend(std::uint64_t bytes) {
  if (bytes > budget_ - std::min(written_, budget_)) {
    written_ = budget_;  // nothing more after a part that did not fit
    ++leftOut_;
    return false;
  }
  written_ += bytes;
  return true;
}

bool PageCache::PreparePageOrFrame(std::string_view rawLink) {
  const std::string_view link = Bounded(rawLink);
  historyEntry_.clear();
  if (book_ == nullptr) return false;

  // The target, resolved against the page on screen, in the form the
  // history and the page state keep.
  std::string work;
  if (link.starts_with('#')) {
    work = currentPagePath_.substr(0, currentPagePath_.find('#'));
  } else if (!link.starts_with('/')) {
    work = currentPageDir_;
  }
  work.append(link);
  CutToMaxPath(work);
  NormalizeBookPath(work);
  LowerCaseInPlace(work);
  LowerCaseInPlace(currentPagePath_);
  if (work == currentPagePath_) return false;
  if (!history_.Navigating()) historyEntry_ = work;
  CutAt(work, '#');

  // The page on screen (at another fragment, or without one): the view loads
  // the same file again; nothing is written. Only the whole path counts:
  // a.htm is not the page a.html.
  const std::string_view shownPath = std::string_view(currentPagePath_).substr(0, currentPagePath_.find('#'));
  if (shownPath == work) {
    if (currentPageFile_.empty()) return false;
    CutAt(currentPageFile_, '#');
    currentPagePath_ = work;
    const std::string_view fragment = Fragment(link);
    currentPageFile_.append(fragment);
    currentPagePath_.append(fragment);
    if (!historyEntry_.empty()) history_.HistoryPush(historyEntry_);
    return true;
  }

  // Another page.
  std::string pagePath = link.starts_with('/') ? std::string(link) : currentPageDir_ + std::string(link);
  CutToMaxPath(pagePath);
  NormalizeBookPath(pagePath);
  CutAt(pagePath, '#');
  if (pagePath.empty() || !book_->HasObject(pagePath)) {
    OpenExternally(link);
    return false;
  }

  ClearPageFiles(false);
  const std::string pageName = FormatText("index%u.htm", static_cast<unsigned>(pageCounter_));
  ++pageCounter_;
  PageFile file = CreatePageFile(pageName);
  if (!file) return false;
  currentPageFile_ = FileAddress(lastFilePath_);
  currentPageFile_.append(Fragment(link));

  std::uint32_t newPairs = 0;
  try {
    newPairs = RewritePage(*book_, pagePath, file.get(), platform_.ShowImages());
  } catch (const BookError& error) {
    file.reset();
    ReportError(error.Message());
    // The files of the page on screen are gone and this page was not written:
    // no file to jump within, and a link to the old page prepares it again.
    // currentPageDir stays, for the links of what the view still shows.
    currentPageFile_.clear();
    currentPagePath_.clear();
    return false;
  }
  // The page itself is always written: what it costs leaves less for its parts.
  const long pageBytes = std::ftell(file.get());
  written_ += pageBytes > 0 ? static_cast<std::uint64_t>(pageBytes) : 0;
  file.reset();
  currentPagePath_ = pagePath;
  const std::size_t slash = pagePath.rfind('/');
  currentPageDir_ = slash == std::string::npos ? std::string() : pagePath.substr(0, slash + 1);

  WriteCopies(newPairs);
  if (ShowFrames(newPairs)) return true;

  if (!historyEntry_.empty()) history_.HistoryPush(historyEntry_);
  return true;
}

std::string PageCache::FullPath(std::string_view reference) const {
  std::string full =
      reference.starts_with('/') ? std::string(reference) : currentPageDir_ + std::string(reference);
  CutToMaxPath(full);
  return full;
}

std::string PageCache::PathKey(std::string_view reference, std::string_view dir) {
  std::string key = reference.starts_with('/') ? std::string(reference) : std::string(dir) + std::string(reference);
  CutToMaxPath(key);
  NormalizeBookPath(key);
  CutAt(key, '#');
  LowerCaseInPlace(key);
  return key;
}

void PageCache::WriteCopies(std::uint32_t pagePairs) {
  // Style sheets add pairs of their own while this walks: indices, not
  // references, since the list may move; those later pairs are copied as
  // they are (one level deep).
  for (std::size_t index = 0; index < pairs_.size(); ++index) {
    const std::string reference = pairs_[index].reference;
    const std::string name = pairs_[index].name;
    const bool fromPage = index < pagePairs;

    // A frame page is only an empty placeholder: it is shown in its own turn.
    if (fromPage && IsHtmlPage(reference)) {
      CreatePageFile(name);
      continue;
    }
    // Past the budget nothing more is read.
    if (Spent()) {
      ++leftOut_;
      continue;
    }
    // What the book cannot give gets no file: the page shows without it.
    const std::string fullPath = FullPath(reference);
    ObjectBuffer bytes;
    try {
      bytes = book_->ReadObject(fullPath);
    } catch (const BookError& error) {
      if (!error.Message().empty()) platform_.ReportMissingPart(error.Message());
      continue;
    }
    if (fromPage && FileExtension(reference) == ".css") {
      const std::string sheet = RewriteStyleSheet(fullPath, bytes);
      if (!Spend(sheet.size())) continue;
      if (PageFile out = CreatePageFile(name)) std::fwrite(sheet.data(), 1, sheet.size(), out.get());
    } else {
      if (!Spend(bytes.size())) continue;
      if (PageFile out = CreatePageFile(name)) std::fwrite(bytes.data(), 1, bytes.size(), out.get());
    }
  }
}

std::string PageCache::RewriteStyleSheet(std::string_view fullPath, std::span<const std::uint8_t> bytes) {
  // The references of a style sheet are relative to its own folder.
  std::string sheetPath(fullPath);
  NormalizeBookPath(sheetPath);
  CutAt(sheetPath, '#');
  const std::string sheetDir = DirectoryPart(sheetPath);
  const std::string css(reinterpret_cast<const char*>(bytes.data()), bytes.size());

  auto rename = [&](std::string_view path) -> std::optional<std::string> {
    if (HasSchemeOrHost(path) || IsExternalUrl(path)) return std::nullopt;
    const std::string extension = FileExtension(path);
    if (!imagesForCopies_ && IsImageExtension(extension)) return std::nullopt;
    std::string target = path.starts_with('/') ? std::string(path) : sheetDir + std::string(path);
    if (target.size() > kMaxPath) return std::nullopt;
    NormalizeBookPath(target);
    CutAt(target, '#');
    if (target.empty()) return std::nullopt;
    // One copy per page: an object the page or another sheet already has.
    std::string key = target;
    LowerCaseInPlace(key);
    if (const auto known = namesByPath_.find(key); known != namesByPath_.end()) return known->second;
    // What the book lacks stays as written: no empty copy, no error box.
    if (!book_->HasObject(target)) return std::nullopt;
    std::string name = FormatText("%ufile", static_cast<unsigned>(fileCounter_)) + SafeExtension(extension);
    ++fileCounter_;
    pairs_.push_back({"/" + target, name});
    namesByPath_.emplace(std::move(key), name);
    return name;
  };

  return RewriteCssReferences(css, rename);
}

bool PageCache::ShowFrames(std::uint32_t pagePairs) {
  if (frameDepth_ >= kMaxFrameDepth) return false;
  // A copy of the frames taken before the first is shown: showing a page
  // empties and refills the pairs. Each is passed book-absolute, since
  // showing one moves currentPageDir to its folder.
  std::vector<std::string> frames;
  for (std::size_t index = 0; index < pagePairs && index < pairs_.size(); ++index) {
    const std::string_view reference = pairs_[index].reference;
    if (!IsHtmlPage(reference)) continue;
    std::string full = FullPath(reference);
    NormalizeBookPath(full);
    // A frame the book lacks stays an empty placeholder: following it would
    // delete the frameset and show nothing in its place.
    if (full.empty() || !book_->HasObject(full)) continue;
    frames.push_back("/" + full);
  }
  if (frames.empty()) return false;

  DepthGuard guard(frameDepth_);
  bool followed = false;
  for (const std::string& frame : frames) {
    // Past the budget the frameset stays, with what it has shown.
    if (Spent() || framesShown_ >= kMaxFrames) {
      ++leftOut_;
      continue;
    }
    ++framesShown_;
    ClearPageFiles(false);
    platform_.ShowPage(frame);
    followed = true;
  }
  return followed;
}

PageFile PageCache::CreatePageFile(std::string_view rawName) {
  std::string_view name = rawName.substr(0, rawName.find('#'));
  name = name.substr(0, std::min(name.size(), kMaxFilePath + 1));
  lastFilePath_ = tempFolder_;
  lastFilePath_.append(name);
  if (!IsPlainFileName(name) || lastFilePath_.size() > kMaxFilePath) return nullptr;
  if (!folder_.IsOpen()) folder_ = FolderHandle::Open(tempFolder_, false);
  if (!folder_.IsOpen()) return nullptr;
  PageFile file = CreateFileIn(folder_, name);
  if (!file) return nullptr;
  createdFiles_.emplace_back(name);
  return file;
}

void PageCache::ClearPageFiles(bool removeFolder) {
  for (const std::string& name : createdFiles_) RemoveFileIn(folder_, name);
  createdFiles_.clear();
  if (removeFolder) {
    // Only an empty folder goes: nothing but what this cache wrote is deleted.
    folder_ = FolderHandle();
    std::error_code error;
    std::filesystem::remove(std::filesystem::path(tempFolder_.substr(0, tempFolder_.size() - 1)), error);
  }
}

bool PageCache::OpenExternally(std::string_view rawLink) {
  std::string_view link = Bounded(rawLink);
  if (!IsSystemLink(link)) {
    platform_.ReportMissingLink(link);
    return false;
  }
  const std::size_t start = link.find_first_not_of(" \t\r\n");
  const std::size_t end = link.find_last_not_of(" \t\r\n");
  return platform_.OpenExternal(link.substr(start, end - start + 1));
}

void PageCache::ReportError(std::string_view message) {
  if (!message.empty()) platform_.ShowError(message);
}

}  // namespace tessaly
