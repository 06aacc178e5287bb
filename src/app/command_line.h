// A book named on a command line or handed over by another reader:
// "BOOK.chm", "BOOK.chm::/page.htm", "ms-its:BOOK.chm::/page.htm", maybe
// with "file:\" before it. "::" divides the book from the page only after
// an existing book file ("a::b.chm" is a name).
//
// The other requests a start of the reader makes travel as one line too:
// "--keyword WORD BOOK" (an editor's help key) and "--library-add FOLDER",
// their fields escaped (%XX for '%', space and control bytes), so that no
// absolute book path (what a start hands over) reads as one of them.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tessaly::app {

struct NamedBook {
  std::string path;  // as written (relative paths stay relative)
  std::string page;  // in-book path, maybe with #fragment; empty: none named
};

NamedBook ParseNamedBook(std::string_view text);

enum class RequestKind {
  kOpen,        // open `book` (a command line as ParseNamedBook reads it; empty: none)
  kKeyword,     // the keyword index entry `word`, in `book` or, empty, the whole library
  kLibraryAdd,  // add the folder (or book) `book` to the library
};

struct ReaderRequest {
  RequestKind kind = RequestKind::kOpen;
  std::string word;
  std::string book;
  bool operator==(const ReaderRequest&) const = default;
};

// The request of the arguments after the program's name (GTK's own taken
// out): [BOOK], --keyword WORD [BOOK], --library-add FOLDER. nullopt for
// bad usage (an unknown option, a missing or extra argument, an empty
// word). Paths are as written: the caller makes them absolute.
std::optional<ReaderRequest> ParseArguments(std::span<const std::string_view> arguments);

// The one line that carries a request to the reader (Reader::Start,
// Reader::OnOpenRequest), and back.
std::string RequestLine(const ReaderRequest& request);
ReaderRequest ParseRequestLine(std::string_view line);

}  // namespace tessaly::app
