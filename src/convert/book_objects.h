// BookObjects: what a book holds for a reader to take out — every object
// its author stored (not the container's own records such as #SYSTEM or
// $FIftiMain) — with the pages in reading order and the lookup that
// resolves a link written in one object to another object.
//
// Names are the stored ones without the leading '/'. Lookups fold ASCII
// case, as the book itself does; a name the book writes in its code page
// (a contents entry) is tried again in UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tessaly {
class Book;
class TextConverter;
}  // namespace tessaly

namespace tessaly::convert {

struct BookObject {
  std::string name;      // as stored, without the leading '/'
  std::uint32_t entry;   // its position in the book's directory
  std::uint64_t length;  // stored length
  bool page;             // an HTML page (.htm, .html)
};

// Where a reference written in an object leads.
struct Target {
  enum class Kind {
    kObject,    // an object of the book (object, fragment)
    kExternal,  // a web or mail address, kept as written (address)
    kNowhere,   // nothing the book holds, nor a safe address: drop the link
  };
  Kind kind = Kind::kNowhere;
  std::size_t object = 0;
  std::string fragment;  // without the '#'; empty when none
  std::string address;
};

class BookObjects {
 public:
  // The objects of an open book and its reading order: the pages the
  // contents name, in contents order, then every other page in directory
  // order.
  BookObjects(const Book& book, const TextConverter& converter);

  const std::vector<BookObject>& Objects() const { return objects_; }
  const std::vector<std::size_t>& ReadingOrder() const { return order_; }

  // The object at a canonical path (no leading '/', no fragment).
  std::optional<std::size_t> Find(std::string_view path) const;
  // The object for a directory entry's position, if it is one of ours.
  std::optional<std::size_t> ForEntry(std::uint32_t entry) const;

  // Resolves a reference written in object `from` (an href or src value,
  // UTF-8, entities decoded). "ms-its:BOOK.chm::/path" and "BOOK.chm::/path"
  // lead into this book when BOOK is its file name; a reference can never
  // lead above the book's root.
  Target Resolve(std::size_t from, std::string_view reference) const;
  // Resolves a book path in the book's code page (a contents or index
  // entry's "Local").
  Target ResolveBookPath(std::string_view local) const;

 private:
  Target Lookup(std::string path) const;

  const Book& book_;
  const TextConverter& converter_;
  std::string bookFileName_;  // lower-cased, without folders
  std::vector<BookObject> objects_;
  std::vector<std::size_t> order_;
  std::unordered_map<std::string, std::size_t> byName_;   // folded name -> object
  std::unordered_map<std::uint32_t, std::size_t> byEntry_;
};

// True for the container's own records: names outside the root ("::..."),
// and root objects named "#..." or "$..." without an extension (#SYSTEM,
// #URLSTR, $FIftiMain, $WWKeywordLinks/...).
bool IsContainerRecord(std::string_view storedName);

}  // namespace tessaly::convert
