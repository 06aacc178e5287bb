// PagePlatform: what page preparation asks of the platform and of the page
// view around it. The reader implements it on its window system and HTML
// view; the command-line tool and the tests implement it on their own.
//
// Everything runs on the one thread; a call may come back into PageCache
// (ShowPage does, for the frames of a frameset page).
#pragma once

#include <string_view>

namespace tessaly {

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

}  // namespace tessaly
