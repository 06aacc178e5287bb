// PageCache: writes a topic of the open book into the temporary folder, ready
// for an HTML view, and keeps the state of the page on screen.
//
// A page is written as "index<N>.htm" (N counts pages) with the tags that
// reference images, style sheets, scripts and frame pages rewritten to point
// at copies beside it named "<M>file.<ext>" (M counts copies; the extension is
// dropped unless it is plain letters and digits). Links to other pages stay as
// written: a tapped link comes back through PreparePage and is resolved
// against currentPageDir. A copied style sheet has its url(...) and @import
// references copied and rewritten too (one level: those copies are not read
// again). A frame page is written as an empty placeholder and then shown in
// the frameset's place through the page view.
//
// The name pairs of the page being rewritten (in-book reference, file name)
// are kept in the order they appear. Everything the folder holds for the page
// on screen is listed and deleted before the next page is written. Counters
// are never reset, so no name is used twice in one run. The work is linear in
// the page's references: one lookup each, and lists that grow geometrically.
//
// Nothing from a book reaches the file system unchecked: file names are made
// here, and only inside the folder; paths are bounded; books are only read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/safe_files.h"

namespace tessaly {

class History;
class ObjectSource;
class PagePlatform;

using PageFile = OwnedFile;

class PageCache {
 public:
  static constexpr std::size_t kMaxPath = 255;       // links, in-book paths, directories
  static constexpr std::size_t kMaxFilePath = 259;   // temporary folder + file name
  static constexpr std::size_t kMaxTag = 3000;       // bytes of one tag kept
  // Framesets that frame framesets are followed this deep; deeper frames stay
  // empty placeholders (two pages that frame each other would never end).
  static constexpr int kMaxFrameDepth = 4;
  // Frames shown for one preparation, at every depth together: each replaces
  // the last, and framesets of framesets would otherwise multiply.
  static constexpr int kMaxFrames = 64;
  // What one preparation (a page, its copies and its frames) may write: twice
  // the book's distinct stored bytes and a little more, never past the
  // ceiling. A page naming one object in many spellings or through many
  // aliases writes no more than its book holds; past the budget the page
  // shows without the rest and says so.
  static constexpr std::uint64_t kPageBytesFloor = 1 << 20;
  static constexpr std::uint64_t kMaxPageBytes = 256 << 20;

  // tempFolder: the folder the files are written to (a '/' is added when it
  // does not end in one). The platform and the history outlive the cache.
  PageCache(PagePlatform& platform, History& history, std::string_view tempFolder);
  PageCache(const PageCache&) = delete;
  PageCache& operator=(const PageCache&) = delete;

  // The book pages are taken from (not owned; null for none), and its
  // distinct stored bytes, which size what a page may write (when not given,
  // only the ceiling does).
  void SetBook(const ObjectSource* book, std::uint64_t distinctBytes = kMaxPageBytes);
  const ObjectSource* CurrentBook() const { return book_; }

  // Prepares the page a link names (a tapped link, a contents or index
  // target, a history entry): true when a page is ready in
  // CurrentPageFile(), false when there is nothing (new) to show. A link
  // that does not start with '/' or '#' is resolved against currentPageDir:
  // callers holding a book path (a contents target, a history entry, which
  // are paths from the book's root) empty currentPageDir first or pass it
  // with a leading '/'.
  bool PreparePage(std::string_view link);

  // Writes the page at pagePath of the book to out with its tags rewritten;
  // returns the number of name pairs recorded (the page's earlier pairs are
  // dropped first).
  // Raises BookError when the page cannot be read.
  std::uint32_t RewritePage(const ObjectSource& book, std::string_view pagePath, std::FILE* out, bool showImages);

  // Creates tempFolder + name (cut at its first '#') for writing, through
  // the folder's descriptor: what stands at that name (a link too) is
  // replaced, never written through. Null when the name is not a plain file
  // name, the path would pass kMaxFilePath, or the creation fails.
  // lastFilePath is set to the path in every case.
  PageFile CreatePageFile(std::string_view name);

  // Deletes every file listed in createdFiles and empties the list; with
  // removeFolder, also removes the folder itself (when it is empty).
  void ClearPageFiles(bool removeFolder);

  // Hands a link to the system when its scheme is http, https, ftp or
  // mailto; reports any other link as not in the book. Returns whether the
  // system took it.
  bool OpenExternally(std::string_view link);

  // Page state, shared with the page view.
  const std::string& CurrentPageFile() const { return currentPageFile_; }
  const std::string& CurrentPagePath() const { return currentPagePath_; }
  const std::string& CurrentPageDir() const { return currentPageDir_; }
  void SetCurrentPagePath(std::string_view path);
  void SetCurrentPageDir(std::string_view dir);
  // Empties the three texts above (a new book, or the images switch).
  void ResetPageState();

  const std::string& TempFolder() const { return tempFolder_; }
  std::uint32_t PageCounter() const { return pageCounter_; }
  std::uint32_t FileCounter() const { return fileCounter_; }
  const std::string& LastFilePath() const { return lastFilePath_; }
  std::size_t CreatedCount() const { return createdFiles_.size(); }
  const std::string& HistoryEntry() const { return historyEntry_; }

 private:
  // PreparePage for the page itself or one of its frames.
  bool PreparePageOrFrame(std::string_view link);
  // Counts bytes about to be written against the budget: false (and one more
  // part left out) when they would pass it.
  bool Spend(std::uint64_t bytes);
  bool Spent() const { return written_ >= budget_; }
  // Rewrites one tag's text in place (the attribute rules).
  void RewriteTag(std::string& tag, std::string_view pageDir, bool showImages, std::uint32_t& newPairs);
  // The file name recorded for the object a reference of a page in pageDir
  // names, recording a new pair (and counting it) when there is none.
  std::string NameFor(std::string_view reference, std::string_view pageDir, std::string_view extension,
                      std::uint32_t& newPairs);
  // Writes the copies of the pairs recorded by RewritePage (first pass).
  void WriteCopies(std::uint32_t pagePairs);
  // A copied style sheet with its references renamed (and recorded as pairs).
  std::string RewriteStyleSheet(std::string_view fullPath, std::span<const std::uint8_t> bytes);
  // The in-book path a recorded reference stands for.
  std::string FullPath(std::string_view reference) const;
  // The key the object a reference made in dir names is known by within one
  // page: its normalised in-book path, letters folded, without fragment.
  static std::string PathKey(std::string_view reference, std::string_view dir);
  // Shows the frames of the page just written (second pass); true when at
  // least one was followed.
  bool ShowFrames(std::uint32_t pagePairs);
  void ReportError(std::string_view message);

  PagePlatform& platform_;
  History& history_;
  const ObjectSource* book_ = nullptr;
  std::string tempFolder_;
  FolderHandle folder_;  // tempFolder_, opened on first use

  std::string currentPageFile_;
  std::string currentPagePath_;
  std::string currentPageDir_;
  std::uint32_t pageCounter_ = 0;
  std::uint32_t fileCounter_ = 0;
  std::string lastFilePath_;
  std::vector<std::string> createdFiles_;  // names in the folder
  std::string historyEntry_;
  // The page's name pairs, in the order of first appearance.
  struct NamePair {
    std::string reference;  // as the page or its style sheet wrote it
    std::string name;       // of the copy in the folder
  };
  std::vector<NamePair> pairs_;
  // The pairs by the object they stand for (PathKey), so that
  // a page naming many copies costs one lookup per reference, and naming one
  // object in many spellings makes one copy.
  std::unordered_map<std::string, std::string> namesByPath_;
  bool imagesForCopies_ = true;  // the images setting of the page being written
  int frameDepth_ = 0;
  std::uint64_t budget_ = kMaxPageBytes;
  std::uint64_t written_ = 0;  // by the preparation under way
  std::uint32_t leftOut_ = 0;  // parts it left out for the budget or the frame count
  int framesShown_ = 0;        // by it
};

}  // namespace tessaly
