// The Book's side of the full-text index: loading it on request and searching it.
#include <memory>

#include "base/book_error.h"
#include "base/pointer_array.h"
#include "book/book.h"
#include "helpdata/topic_table.h"
#include "search/full_text_index.h"

namespace tessaly {

void Book::LoadFullTextIndex() {
  // A failed load leaves the book without an index, never with the one of an earlier book.
  fullText_ = std::make_unique<FullTextIndex>();
  if (!HasObject("$FIftiMain")) RaiseBookError("No $FIftiMain file in CHM.");
  fullText_->Load(ReadObjectCopy("$FIftiMain"));
}

void Book::Search(std::string_view query) {
  static const FullTextIndex kNoIndex;
  static const TopicTable kNoTopics;
  if (!searchResults_)
    searchResults_ = std::make_unique<PointerArray<SearchResult>>(kSearchResultCapacity, kSearchResultGrowth);
  const FullTextIndex& index = fullText_ ? *fullText_ : kNoIndex;
  index.Search(query, topics_ ? *topics_ : kNoTopics, *searchResults_);
}

}  // namespace tessaly
