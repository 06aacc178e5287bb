#include "book/book.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "base/book_error.h"
#include "base/text_converter.h"
#include "container/container.h"
#include "helpdata/helpdata.h"
#include "search/full_text_index.h"

namespace tessaly {

struct Book::Parts {
  std::unique_ptr<Container> container;
  BookInfo info;
  ContentsTree contents;
  TopicObjects topicObjects;
  TopicTable topics;

  // The parts built on request, each once per opened book.
  std::once_flag keywordOnce;
  std::optional<BookError> keywordError;
  IndexEntry keywordIndex;

  std::once_flag fullTextOnce;
  std::optional<BookError> fullTextError;
  std::atomic<bool> fullTextReady{false};
  FullTextIndex fullText;
};

namespace {

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

// The full-text index once loaded; before that, one that finds nothing.
const FullTextIndex& LoadedIndex(const std::atomic<bool>& ready, const FullTextIndex& index) {
  static const FullTextIndex kNoIndex;
  return ready.load(std::memory_order_acquire) ? index : kNoIndex;
}

}  // namespace

Book::Book() { Close(); }

Book::~Book() = default;

void Book::Close() { parts_ = std::make_unique<Parts>(); }

void Book::OpenTo(std::string_view path, bool sections) {
  Close();
  parts_->container = Container::Open(path, log_, sections ? Container::Depth::kSections : Container::Depth::kDirectory);
}

void Book::OpenContainer(std::string_view path) { OpenTo(path, false); }

void Book::OpenStorage(std::string_view path) { OpenTo(path, true); }

void Book::Open(std::string_view path) {
  OpenTo(path, true);
  Parts& parts = *parts_;
  parts.info.ReadSystem(*this, log_);
  // A compressed section whose tables are damaged keeps the book from
  // opening, as soon as an ordinary object lies in it.
  if (const BookError* failure = parts.container->CompressedSectionFailure()) throw *failure;
  parts.info.ReadWindows(*this);

  // A contents file that the book does not hold leaves the book without a
  // contents tree; every page is still there.
  const std::string contentsName(ContentsFileName());
  if (!contentsName.empty() && HasObject(contentsName)) ParseContents(parts.contents, ReadObject(contentsName), log_);

  parts.topicObjects = ReadTopicObjects(*this);
  const TopicObjects& topics = parts.topicObjects;
  parts.topics = TopicTable(topics.topics, topics.urltbl, topics.urlstr, parts.info.Strings());
}

std::string_view Book::ContentsFileName() const { return parts_->info.ContentsFileName(); }
std::string_view Book::IndexFileName() const { return parts_->info.IndexFileName(); }
std::string_view Book::DefaultTopic() const { return parts_->info.DefaultTopic(); }
std::string_view Book::HomeTopic() const { return parts_->info.HomeTopic(); }
std::optional<std::string_view> Book::JumpLabel() const { return parts_->info.JumpLabel(); }
std::optional<std::string_view> Book::JumpTarget() const { return parts_->info.JumpTarget(); }
int Book::CodePage() const { return parts_->info.CodePage(); }
std::int32_t Book::LanguageId() const { return parts_->info.LanguageId(); }

std::string_view Book::Title() const {
  const std::string_view title = parts_->info.Title();
  return title.empty() ? FileName() : title;
}

const ContentsTree& Book::Contents() const { return parts_->contents; }
ContentsTree& Book::Contents() { return parts_->contents; }
const TopicTable& Book::Topics() const { return parts_->topics; }

std::string_view Book::FileName() const {
  return parts_->container ? parts_->container->FileName() : std::string_view();
}

std::size_t Book::EntryCount() const { return parts_->container ? parts_->container->EntryCount() : 0; }

DirectoryEntry Book::Entry(std::size_t index) const { return parts_->container->Entry(index); }

std::uint64_t Book::DistinctBytes() const { return parts_->container ? parts_->container->DistinctBytes() : 0; }

std::optional<DirectoryEntry> Book::FindEntry(std::string_view path) const {
  if (const Container* container = parts_->container.get()) {
    if (std::optional<DirectoryEntry> entry = container->Lookup(path)) return entry;
    // Directory names are UTF-8, but sitemaps, topic tables and pages write
    // paths in the book's code page: try again with the path converted.
    const bool wide =
        std::any_of(path.begin(), path.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    if (wide && converter_ != nullptr) {
      const std::optional<std::string> utf8 = converter_->ToUtf8(path, CodePage());
      if (utf8 && *utf8 != path) {
        if (std::optional<DirectoryEntry> entry = container->Lookup(*utf8)) return entry;
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
  return parts_->container->ReadEntry(*entry, path);
}

void Book::ReadStoredRanges(const RangeVisitor& onRange, const RangeErrorVisitor& onError) const {
  if (parts_->container) parts_->container->ReadStoredRanges(onRange, onError);
}

void Book::BuildKeywordIndex() const {
  Parts& parts = *parts_;
  Once(parts.keywordOnce, parts.keywordError,
       [&] { ReadKeywordIndex(parts.keywordIndex, *this, IndexFileName(), log_); });
}

const IndexEntry& Book::KeywordIndex() const { return parts_->keywordIndex; }

void Book::LoadFullTextIndex() const {
  Parts& parts = *parts_;
  Once(parts.fullTextOnce, parts.fullTextError, [&] {
    parts.fullText.Read(*this);
    parts.fullTextReady.store(true, std::memory_order_release);
  });
}

bool Book::FullTextIndexEmpty() const {
  return parts_->fullTextReady.load(std::memory_order_acquire) && parts_->fullText.Empty();
}

PointerArray<SearchResult> Book::Search(std::string_view query) const {
  PointerArray<SearchResult> results(kSearchResultCapacity, kSearchResultGrowth);
  LoadedIndex(parts_->fullTextReady, parts_->fullText).Search(query, parts_->topics, results, CodePage());
  return results;
}

}  // namespace tessaly
