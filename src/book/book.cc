#include "book/book.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "base/book_error.h"
#include "base/text_converter.h"

namespace tessaly {

// The parts built on request, each once per opened book.
struct Book::Lazy {
  std::once_flag keywordOnce;
  std::optional<BookError> keywordError;
  IndexEntry keywordIndex;

  std::once_flag fullTextOnce;
  std::optional<BookError> fullTextError;
  std::atomic<bool> fullTextReady{false};
  FullTextIndex fullText;
};

namespace {

const BookFile kNoFile;

// Runs build once; a BookError it raises is kept and raised again to every
// caller, this one included.
template <class Build>
void Once(std::once_flag& once, std::optional<BookError>& error, Build build) {
  std::call_once(once, [&] {
    try {
      build();
    } catch (const BookError& raised) {
      error = raised;
    }
  });
  if (error) throw *error;
}

}  // namespace

Book::Book() { Close(); }

Book::~Book() = default;

void Book::Close() {
  container_.reset();
  info_ = BookInfo();
  contents_ = std::make_unique<ContentsTree>();
  topicObjects_ = TopicObjects();
  topics_ = TopicTable();
  lazy_ = std::make_unique<Lazy>();
}

void Book::OpenTo(std::string_view path, Container::Depth depth) {
  Close();
  container_ = Container::Open(path, log_, depth);
}

void Book::OpenContainer(std::string_view path) { OpenTo(path, Container::Depth::kDirectory); }

void Book::OpenStorage(std::string_view path) { OpenTo(path, Container::Depth::kSections); }

void Book::Open(std::string_view path) {
  OpenTo(path, Container::Depth::kSections);
  info_.ReadSystem(*this, log_);
  // A compressed section whose tables are damaged keeps the book from
  // opening, as soon as an ordinary object lies in it.
  if (const BookError* failure = container_->CompressedSectionFailure()) throw *failure;
  info_.ReadWindows(*this);

  // A contents file that the book does not hold leaves the book without a
  // contents tree; every page is still there.
  const std::string contentsName(ContentsFileName());
  if (!contentsName.empty() && HasObject(contentsName)) ParseContents(*contents_, ReadObject(contentsName), log_);

  topicObjects_ = ReadTopicObjects(*this);
  topics_ = TopicTable(topicObjects_.topics, topicObjects_.urltbl, topicObjects_.urlstr, info_.Strings());
}

std::string_view Book::Title() const {
  const std::string_view title = info_.Title();
  return title.empty() ? std::string_view(File().fileName) : title;
}

const BookFile& Book::File() const { return container_ ? container_->File() : kNoFile; }

std::optional<DirectoryEntry> Book::FindEntry(std::string_view path) const {
  if (container_) {
    if (std::optional<DirectoryEntry> entry = container_->Lookup(path)) return entry;
    // Directory names are UTF-8, but sitemaps, topic tables and pages write
    // paths in the book's code page: try again with the path converted.
    const bool wide =
        std::any_of(path.begin(), path.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (wide && converter_ != nullptr) {
      const std::optional<std::string> utf8 = converter_->ToUtf8(path, CodePage());
      if (utf8 && *utf8 != path) {
        if (std::optional<DirectoryEntry> entry = container_->Lookup(*utf8)) return entry;
      }
    }
  }
  log_.Write("Can't find entry for file %s\n", std::string(path.substr(0, path.find('\0'))).c_str());
  return std::nullopt;
}

std::uint64_t Book::ObjectSize(std::string_view path) const {
  const std::optional<DirectoryEntry> entry = FindEntry(path);
  return entry ? entry->length : 0;
}

ObjectBuffer Book::ReadObject(std::string_view path) const {
  const std::optional<DirectoryEntry> entry = FindEntry(path);
  if (!entry) {
    const std::string printable(path.substr(0, path.find('\0')));
    throw BookError(ErrorKind::kNotFound, FormatText("Can't find entry for file %s\n", printable.c_str()))
        .About(printable);
  }
  return container_->ReadEntry(*entry, path);
}

void Book::ReadStoredRanges(const RangeVisitor& onRange, const RangeErrorVisitor& onError) const {
  if (container_) container_->ReadStoredRanges(onRange, onError);
}

void Book::ReadAllObjects(const ObjectVisitor& onObject, const ErrorVisitor& onError) const {
  ReadStoredRanges(
      [&](Aliases aliases, std::span<const std::uint8_t> bytes) {
        for (const DirectoryEntry& entry : aliases) onObject(entry, bytes);
      },
      [&](Aliases aliases, const BookError& error) {
        for (const DirectoryEntry& entry : aliases) onError(entry, error);
      });
}

void Book::BuildKeywordIndex() const {
  Lazy& lazy = *lazy_;
  Once(lazy.keywordOnce, lazy.keywordError, [&] { ReadKeywordIndex(lazy.keywordIndex, *this, IndexFileName(), log_); });
}

const IndexEntry& Book::KeywordIndex() const { return lazy_->keywordIndex; }

void Book::LoadFullTextIndex() const {
  Lazy& lazy = *lazy_;
  Once(lazy.fullTextOnce, lazy.fullTextError, [&] {
    lazy.fullText.Read(*this);
    lazy.fullTextReady.store(true, std::memory_order_release);
  });
}

const FullTextIndex& Book::FullText() const {
  static const FullTextIndex kNoIndex;
  return lazy_->fullTextReady.load(std::memory_order_acquire) ? lazy_->fullText : kNoIndex;
}

PointerArray<SearchResult> Book::Search(std::string_view query) const {
  PointerArray<SearchResult> results(kSearchResultCapacity, kSearchResultGrowth);
  FullText().Search(query, topics_, results, CodePage());
  return results;
}

}  // namespace tessaly
