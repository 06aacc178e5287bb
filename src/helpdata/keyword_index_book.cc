// The Book's keyword index, built on the Index panel's first request.
#include <memory>

#include "base/book_error.h"
#include "book/book.h"
#include "helpdata/keyword_index.h"

namespace tessaly {

void Book::BuildKeywordIndex() {
  const std::string_view indexFile = IndexFileName();
  if (indexFile.empty()) RaiseBookError("No *.hhk file in CHM.");
  // An owned copy: parsing must not depend on the shared output buffer.
  const ObjectBuffer sitemap = ReadObjectCopy(indexFile);
  if (!keywordIndex_) keywordIndex_ = std::make_unique<IndexEntry>();
  ParseIndex(*keywordIndex_, sitemap, log_);
}

}  // namespace tessaly
