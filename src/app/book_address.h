// Book addresses: how the reader names a page of a book to the page view,
// and how it reads the addresses that come back (links, requests).
//
// A page of an open book is shown under
//   ms-its:/absolute/path/BOOK.chm::/dir/page.htm#fragment
// the form help pages expect of their own address, so the web engine
// resolves relative links, style sheets, pictures, scripts and frames
// against it by itself. The book's path and the page are UTF-8, written with
// %XX escapes for every byte that cannot stand in an address as it is.
//
// Links name books in more ways: "ms-its:", "mk:@MSITStore:" or "its:"
// before the book, or no prefix at all ("OTHER.chm::/page.htm"). A "::"
// separates the book from the page only where what stands before it is a
// book file (the caller says which names are): a book may be called
// "a::b.chm", and a page "Class::Member.htm".
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly::app {

inline constexpr std::string_view kBookScheme = "ms-its";

struct BookLink {
  std::string book;  // as written (maybe relative), percent-escapes decoded for ms-its: addresses
  std::string page;  // from the '/' after "::" on, maybe with a #fragment; empty: none named
};

// Says whether a name, as the link writes it, is a book file.
using BookFileTest = std::function<bool(std::string_view name)>;

// True when the path names an existing regular file (the test of a name on
// the command line).
bool IsBookFileName(std::string_view path);

// The book and page the text names, or nullopt when it names no book. With
// a prefix the text names a book even when no book file is found at any
// "::" (the caller then says the book is not there): the book is then all
// of the text before the first "::", or the whole text.
std::optional<BookLink> ParseBookLink(std::string_view text, const BookFileTest& isBook);

// The address of a page of a book (book: an absolute path; page: an in-book
// path, with or without its leading '/', maybe with a #fragment).
std::string PageAddress(std::string_view book, std::string_view page);

// True when the text starts with "ms-its:" (letter case ignored).
bool IsBookAddress(std::string_view text);

// The text after "ms-its:" with its %XX escapes decoded once, query and
// fragment dropped; nullopt for another scheme or a broken escape.
std::optional<std::string> DecodeBookAddress(std::string_view address);

// %XX escapes decoded once; nullopt for a '%' not followed by two hex digits.
std::optional<std::string> PercentDecode(std::string_view text);

// True when the link, after leading white space, starts with "http:",
// "https:", "ftp:" or "mailto:" (letters in any case).
bool IsWebAddress(std::string_view link);

// What the desktop is handed for a web address: a mailto: address keeps only
// its recipients, subject and body (no attachment or other header); other
// addresses stay as they are. Empty for a mailto: that keeps nothing.
std::string AddressForDesktop(std::string_view link);

}  // namespace tessaly::app
