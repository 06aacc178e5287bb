// Pages: the addresses of book objects, the history of the pages shown, and
// page preparation (a topic written into the temporary folder with what it
// references, for an HTML view) with the platform interface it asks. What
// the layers above include of this layer; the name rules behind it stay
// inside.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/byte_buffer.h"
#include "base/safe_files.h"

namespace tessaly {

// Addresses of book objects: what names a page of a book (a command-line
// argument, a link into another book, a request of the web engine), and the
// address a web engine is given for an object.
//
// An address is `ms-its:` + the absolute book path + `::` + `/` + the in-book
// path, so that a web engine resolves a page's relative links, anchors, style
// sheets, pictures, scripts and frames by itself:
//   ms-its:/b/BOOK.chm::/dir/page.htm  +  ../img/a.png  =  ms-its:/b/BOOK.chm::/img/a.png
//
// A book's file name and a page's path may both hold "::" (real API books name
// pages `Class::Member.htm`), so an address is split at "::" only where what
// stands before it names an existing `.chm` file. Whether a path names one is
// asked of a BookFileTest: IsBookFile asks the file system; the reader asks
// whether it is one of its open books, which confines a page to them.
//
// In-book paths come out canonical: NormalizeBookPath's form (percent-escapes
// decoded once), then every "", "." and ".." segment resolved, '\\' taken as
// '/', ".." never climbing above the book's root. Whatever the spelling
// (%2F, %5C, %2E%2E, ..\), no address names anything but a book's objects.

// Whether a path (as written in the address, decoded) names a book file.
using BookFileTest = std::function<bool(const std::string& path)>;

// The file system's answer: the path is a regular file, links followed.
bool IsBookFile(const std::string& path);

struct BookAddress {
  std::string book;      // the book file as named (decoded in a URL)
  std::string page;      // canonical in-book path; empty when none is named
  std::string fragment;  // after '#', decoded; empty when none
};

// What names a page of a book, as a user or a command line writes it:
//   ms-its:/abs/BOOK.chm::/dir/page.htm#frag   ms-its:BOOK.chm::/p
//   mk:@MSITStore:BOOK.chm::/p   its:...   file:///abs/BOOK.chm::/p
//   BOOK.chm::/p   a plain book path
// Scheme letters in any case; in the URL forms percent-escapes are decoded
// once and a query is dropped. A URL form that names no existing book is
// split at its first "::" after a name ending in ".chm" (else its first
// "::"), so that the caller can say which book is missing. Text without a
// scheme splits only at an existing book, else it is all a book path.
// Nullopt for another scheme (http:, javascript:, ...), a file: address of
// another host, a NUL, or empty text.
std::optional<BookAddress> ParseBookAddress(std::string_view text, const BookFileTest& isBook);

// A link of a page that leads into a book: an `ms-its:`, `its:` or
// `mk:@MSITStore:` address, or text that splits at an existing book
// (`OTHER.chm::/p`). Nullopt for everything else, `Foo::Bar.htm` included:
// those are links within the book.
std::optional<BookAddress> ParseBookLink(std::string_view link, const BookFileTest& isBook);

// The address of an object: `ms-its:` + bookPath + "::/" + inBookPath (+ '#'
// + fragment), each percent-encoding the bytes that cannot stand in a URL
// path (space, '#', '%', '?', quotes, ';', '\\', controls, bytes from 0x80
// up, ...). bookPath is absolute and normal, as std::filesystem::canonical
// gives it; inBookPath is canonical (a leading '/' is allowed).
std::string FormatBookAddress(std::string_view bookPath, std::string_view inBookPath,
                              std::string_view fragment = {});

// A request of the web engine, resolved for confinement.
struct BookRequest {
  enum class Kind {
    kObject,       // book names a book the test accepted; path is in it (empty: the book itself)
    kOutsideBook,  // no book named: an absolute "/x.htm" resolved against the scheme's root,
                   // or "../" that climbed out of the book; path is canonical, for the
                   // caller to refuse or to look up in the book of the page that asked
    kOtherBook,    // "::" after a name ending in ".chm" that the test refused; book holds it
    kRefused,      // not an ms-its:, its: or mk:@MSITStore: address, or it holds a NUL
  };
  Kind kind = Kind::kRefused;
  std::string book;
  std::string path;
  std::string fragment;
};

BookRequest ResolveBookRequest(std::string_view url, const BookFileTest& isBook);

// The bytes of text with every byte that cannot stand in a URL path written
// as %XX (upper-case hex); letters, digits, "-._~!$&()*+,=:@" and '/' stay.
std::string EncodeUrlPath(std::string_view text);

// References inside a style sheet: the targets of url(...) (quoted with '"'
// or '\'', or bare) and of @import with a quoted string. Comments are
// skipped. A reference's path is its text up to the first '?' or '#'; what
// follows (a query or fragment, as in "font.eot?#iefix") is kept after it.

// Called with each reference's path (white space trimmed, never empty), in
// order of appearance; returns the text that replaces the path, or nullopt
// to leave the reference as written.
using CssRename = std::function<std::optional<std::string>(std::string_view path)>;

// The style sheet with every reference that `rename` renames rewritten; all
// other bytes are kept as they are.
std::string RewriteCssReferences(std::string_view css, const CssRename& rename);

// History: the in-book paths of the pages shown for the current book, for
// Back and Forward.
//
// The paths live in one string list (NUL-terminated texts back to back,
// oldest first) in a ByteBuffer of 200 bytes that grows by 50. `position` is
// the 1-based number of the entry on screen (0 when empty); pushing drops
// every entry after it. The `navigating` flag is set by the page view while
// it re-shows a page from the history (or for the images switch), so that
// page preparation does not push that page again.

class History {
 public:
  static constexpr std::size_t kCapacity = 200;
  static constexpr std::size_t kGrowBy = 50;

  History();

  // Empties the list; count, position and navigating become 0.
  void HistoryClear();

  // Adds the path after the current entry, dropping every entry after it.
  // The path ends at its first NUL, if it holds one.
  void HistoryPush(std::string_view path);

  // Moves to the earlier entry; nothing changes on the first entry (or when
  // the history is empty).
  void HistoryBack();

  // Moves to the later entry; nothing changes on the last one.
  void HistoryForward();

  // The path of the current entry, exactly as pushed; empty when the history
  // is empty. Valid until the next push or clear.
  std::string_view HistoryCurrent() const;

  std::int32_t Count() const { return count_; }
  std::int32_t Position() const { return position_; }
  bool Navigating() const { return navigating_; }
  void SetNavigating(bool navigating) { navigating_ = navigating; }
  const ByteBuffer& Entries() const { return entries_; }

 private:
  // Offset in entries_ just after the first n strings (the used length when
  // there are fewer).
  std::size_t OffsetAfter(std::int32_t n) const;

  ByteBuffer entries_;
  std::int32_t count_ = 0;
  std::int32_t position_ = 0;
  bool navigating_ = false;
};

// PagePlatform: what page preparation asks of the platform and of the page
// view around it. The reader implements it on its window system and HTML
// view; the command-line tool and the tests implement it on their own.
//
// Everything runs on the one thread; a call may come back into PageCache
// (ShowPage does, for the frames of a frameset page).

// Caption of the message box that shows a book error.
inline constexpr std::string_view kBookErrorCaption = "Tallis Exception";

class PagePlatform {
 public:
  virtual ~PagePlatform() = default;

  // Opens an address with the system (browser, mail program). Only links
  // whose scheme is http, https, ftp or mailto ever reach it. Returns whether
  // the system took it; page preparation ignores the answer.
  virtual bool OpenExternal(std::string_view address) = 0;

  // A link that the book does not hold and that is not handed to the system
  // (a local path, file:, javascript:, a missing page), as it was given to
  // PreparePage. The reader tells the user that the page is not in the book.
  virtual void ReportMissingLink(std::string_view link) = 0;

  // Shows a book error that keeps a page from showing: a message box
  // captioned kBookErrorCaption (error icon, topmost). The message is never
  // empty.
  virtual void ShowError(std::string_view message) = 0;

  // A part of the page being prepared (a picture, style sheet, script or
  // other copy) could not be read from the book; the page shows without it.
  // The message is the book error's text, never empty. The reader gathers
  // them into one notice beside the page instead of a box per part.
  virtual void ReportMissingPart(std::string_view message) = 0;

  // Shows a page through the page view, exactly as a tapped link would be
  // (the view's ShowPage): it calls PageCache::PreparePage with the link and
  // loads the result. Returns what PreparePage returned. Page preparation
  // uses it to show the frames of a frameset page in its place; the link it
  // passes is book-absolute (it starts with '/').
  virtual bool ShowPage(std::string_view link) = 0;

  // The images setting of the view: false writes image tags so that the view
  // ignores them, and copies no image.
  virtual bool ShowImages() const = 0;
};

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

class ObjectSource;

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
