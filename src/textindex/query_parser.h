// What the reader types into the Search panel, as an FTS5 query over the
// page text.
//
//   several words       every one must appear (in any order)
//   "a phrase"          the words next to each other, in this order
//   prefix*             any word that begins so (also "a phr"*)
//   one OR other        either; binds the items on both sides of it
//   -word, -"phrase"    pages holding it are left out
//
// Every word and phrase goes to FTS5 as a quoted string, so nothing the
// user types is read as FTS5 syntax (NEAR, column filters, ^, +, ...).
// Chinese, Japanese and Korean words need no spaces: the index tokenizer
// turns each quoted term into a phrase of its characters.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::textindex {

// A query that cannot be read; what() is a sentence for the user.
class QueryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ParsedQuery {
  std::string match;               // the FTS5 MATCH expression; empty: the query finds nothing
  std::vector<std::string> terms;  // words and phrases to find (not the left-out ones), as typed
  // The query when it is one plain word: no phrase, prefix, OR or exclusion
  // (the one kind of query the book's own full-text index can answer).
  std::optional<std::string> singleWord;
};

constexpr std::size_t kMaxQueryBytes = 1000;
constexpr std::size_t kMaxQueryTerms = 64;

// A query with nothing to find (empty, only punctuation, only words left
// out, a lone OR) finds nothing; an OR without a word on each side is
// dropped. Raises QueryError for an unclosed quotation mark, or a query
// longer than the limits above.
ParsedQuery ParseQuery(std::string_view query);

}  // namespace tessaly::textindex
