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
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

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

}  // namespace tessaly
