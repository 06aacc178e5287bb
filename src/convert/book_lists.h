// The lists a converter adds to a book's own pages: its contents and its
// keyword index as nested HTML lists of links, at most kMaxListDepth levels
// deep (deeper entries join the deepest level, as the tool shows them).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/book_objects.h"
#include "convert/convert.h"

namespace tessaly::convert {

constexpr int kMaxListDepth = 64;

// Builds nested lists from items given in document order with their depth.
class NestedList {
 public:
  // tag: "ul" or "ol".
  explicit NestedList(std::string_view tag) : tag_(tag) {}
  // An item at `depth` (0 for the top), its inner markup given.
  void Add(int depth, std::string_view itemMarkup);
  bool Empty() const { return open_.empty() && out_.empty(); }
  // The markup, every list closed.
  std::string Finish();

 private:
  std::string tag_;
  std::string out_;
  std::vector<bool> open_;  // per open level: an item is open in it
};

// The link markup for an entry's target: an href value, or nullopt for an
// entry that leads nowhere the output holds.
using EntryLink = std::function<std::optional<std::string>(const Target& target)>;

// "<a href=...>name</a>" or, when link gives nothing, "<span>name</span>";
// an empty name is written as `fallback`.
std::string EntryMarkup(std::string_view name, const std::optional<std::string>& href, std::string_view fallback);

// The contents as a nested list (names in UTF-8); empty when the book has none.
std::string ContentsList(const Book& book, const TextConverter& converter, const BookObjects& objects,
                         std::string_view tag, const EntryLink& link);

// The keyword index as a nested list: a keyword with one target is that
// link, one with several lists them under it. Empty when the book has no
// index; an index that cannot be read is told in the report.
std::string KeywordList(const Book& book, const TextConverter& converter, const BookObjects& objects,
                        const EntryLink& link, ConvertReport& report);

}  // namespace tessaly::convert
