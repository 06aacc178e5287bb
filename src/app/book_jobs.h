// The reader's jobs (jobs.h), one type per task: open a book, lay out its
// contents (handed over in batches as they are made), build the keyword index, load the book's own full-text
// index, open (or build) the page-text index, search, and read an object
// for the page view. Each keeps its result in its fields, read on the
// interface thread once Run is over.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/jobs.h"
#include "app/views.h"
#include "codec/codec.h"

namespace tessaly {
class Book;
struct IndexEntry;
struct TocNode;
namespace textindex {
struct ParsedQuery;
}
}  // namespace tessaly

namespace tessaly::app {

struct PageTextSearch;

// Progress of a job in percent, reported from its worker (steps of ten).
using Progress = std::function<void(int percent)>;

class OpenBookJob final : public Job {
 public:
  OpenBookJob(CancelFlag cancel, std::string path, const TextCodec& codec, Progress progress);
  void Run() override;

  std::shared_ptr<Book> book;

 private:
  std::string path_;
  const TextCodec& codec_;
  Progress progress_;
};

// The contents as rows, depth-first in document order, each row's parent
// before it. A large tree is handed over in batches from the worker (the
// first one small), so that the panel shows its first entries long before
// the last are made.
struct ContentsBatch {
  std::vector<ContentsRow> rows;
  std::vector<const TocNode*> nodes;  // the node of each row
};

class ContentsJob final : public Job {
 public:
  using Deliver = std::function<void(ContentsBatch batch)>;
  // deliver: called on the worker with each batch, in order.
  ContentsJob(CancelFlag cancel, std::shared_ptr<const Book> book, const TextCodec& codec, Deliver deliver);
  void Run() override;

 private:
  std::shared_ptr<const Book> book_;
  const TextCodec& codec_;
  Deliver deliver_;
};

class KeywordIndexJob final : public Job {
 public:
  KeywordIndexJob(CancelFlag cancel, std::shared_ptr<const Book> book, const TextCodec& codec, Progress progress);
  void Run() override;

  std::vector<std::string> lines;  // indented by depth, UTF-8
  std::vector<const IndexEntry*> entries;

 private:
  std::shared_ptr<const Book> book_;
  const TextCodec& codec_;
  Progress progress_;
};

class FullTextJob final : public Job {
 public:
  FullTextJob(CancelFlag cancel, std::shared_ptr<const Book> book);
  void Run() override;

 private:
  std::shared_ptr<const Book> book_;
};

// Where a session's page-text index lives, and what opening it needs.
struct PageTextSource {
  std::shared_ptr<const Book> book;
  std::shared_ptr<PageTextSearch> search;
  const TextCodec* codec = nullptr;
  std::optional<std::filesystem::path> folder;  // none: built in memory
  Progress progress;                            // of a build
};

class PageTextJob final : public Job {
 public:
  PageTextJob(CancelFlag cancel, PageTextSource source);
  void Run() override;

 private:
  PageTextSource source_;
};

// A search: a single word by the book's own index when it has one, and the
// page text for everything; the answer that finds more pages is kept.
class SearchJob final : public Job {
 public:
  SearchJob(CancelFlag cancel, PageTextSource source, std::optional<std::string> ownWord,
            const textindex::ParsedQuery& query);
  ~SearchJob() override;
  void Run() override;

  bool pageText = false;  // answered from the text of the pages
  std::vector<ResultLine> lines;
  std::vector<std::string> paths;  // book text
  std::vector<std::string> words;  // to mark in a result's page

 private:
  PageTextSource source_;
  std::optional<std::string> ownWord_;
  std::unique_ptr<textindex::ParsedQuery> query_;
};

class ObjectJob final : public Job {
 public:
  // name: as the view wrote it (UTF-8); a book whose directory holds names
  // in its code page finds them converted.
  ObjectJob(CancelFlag cancel, std::shared_ptr<const Book> book, std::string name, const TextCodec& codec);
  void Run() override;

  const std::string& Name() const { return name_; }
  std::string bytes;
  bool notFound = false;

 private:
  std::shared_ptr<const Book> book_;
  std::string name_;
  const TextCodec& codec_;
};

}  // namespace tessaly::app
