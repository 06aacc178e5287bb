// The jobs' work, each on a worker thread.
#include "app/book_jobs.h"

#include <mutex>
#include <utility>

#include "app/display_text.h"
#include "app/limits.h"
#include "app/resources.h"
#include "app/page_text_search.h"
#include "app/utf8.h"
#include "base/book_error.h"
#include "base/pointer_array.h"
#include "book/book.h"
#include "textindex/text_index.h"

namespace tessaly::app {

namespace {

// The image of a node: its own image number when it names one of the
// twelve, else a book or folder for a heading and a page for a leaf.
int NodeImage(const TocNode& node, const ContentsTree& tree) {
  if (node.imageNumber >= 1 && node.imageNumber <= kContentsImageCount) return node.imageNumber - 1;
  const bool heading = node.children.Count() > 0;
  if (tree.imageType == "folder") return heading ? 4 : 10;
  return heading ? 0 : 8;
}

// Rows of the contents in the first batch, and in each one after it: the
// first shows at once, the others each go into the tree within a frame.
constexpr std::size_t kFirstContentsBatch = 256;
constexpr std::size_t kContentsBatch = 4096;

// Progress in steps of ten, each told once.
class Steps {
 public:
  explicit Steps(const Progress& progress) : progress_(progress) {}
  void Tell(int percent) {
    if (percent % 10 != 0 || percent == shown_ || !progress_) return;
    shown_ = percent;
    progress_(percent);
  }

 private:
  const Progress& progress_;
  int shown_ = -1;
};

// Characters of a snippet kept before the first word found.
constexpr std::size_t kSnippetLead = 24;

// A snippet on one line: every run of spaces, tabs and line ends is one
// space, and it starts a few words before the first word found, so that
// the word shows within the sidebar's width (the line is cut at its end).
std::string OneLine(std::string_view text) {
  const std::size_t mark = text.find(kMarkOpen);
  if (mark != std::string_view::npos && CountChars(text.substr(0, mark)) > kSnippetLead) {
    std::size_t start = mark;
    for (std::size_t chars = 0; start > 0 && chars < kSnippetLead; --start) {
      if ((static_cast<unsigned char>(text[start - 1]) & 0xC0) != 0x80) ++chars;
    }
    // From a word's start where there is one near.
    const std::size_t space = text.find(' ', start);
    if (space != std::string_view::npos && space < mark) start = space + 1;
    return "\xE2\x80\xA6" + OneLine(text.substr(start));
  }
  std::string line;
  bool space = false;
  for (const char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      space = !line.empty();
      continue;
    }
    if (space) line += ' ';
    space = false;
    line += c;
  }
  return line;
}

// Opens the page-text index of a session, built when no kept one can be
// trusted; the caller holds the search's lock.
void OpenPageTextIndex(const PageTextSource& source) {
  PageTextSearch& search = *source.search;
  if (search.index) return;
  Steps steps(source.progress);
  textindex::BuildControl control;
  control.cancel = &search.cancel;
  control.progress = [&](int percent) { steps.Tell(percent); };
  search.index = textindex::IndexCache(source.folder).Open(*source.book, *source.codec, control).index;
}

}  // namespace

OpenBookJob::OpenBookJob(CancelFlag cancel, std::string path, const TextCodec& codec, Progress progress)
    : Job(std::move(cancel)), path_(std::move(path)), codec_(codec), progress_(std::move(progress)) {}

void OpenBookJob::Run() {
  auto opened = std::make_shared<Book>();
  opened->SetTextConverter(&codec_);
  Catching([&] { opened->Open(path_); });
  if (error_) return;
  Steps(progress_).Tell(10);
  book = std::move(opened);
}

ContentsJob::ContentsJob(CancelFlag cancel, std::shared_ptr<const Book> book, const TextCodec& codec, Deliver deliver)
    : Job(std::move(cancel)), book_(std::move(book)), codec_(codec), deliver_(std::move(deliver)) {}

void ContentsJob::Run() {
  // Without recursion: contents may nest as deep as the book likes, and are
  // shown at most kMaxShownDepth levels deep.
  const ContentsTree& contents = book_->Contents();
  struct Level {
    const TocNode* node;
    std::int32_t next;
    int row;
  };
  std::vector<Level> levels{{&contents.root, 0, -1}};
  ContentsBatch batch;
  std::size_t batchRows = kFirstContentsBatch;
  int rows = 0;
  while (!levels.empty() && !Cancelled()) {
    Level& level = levels.back();
    if (level.next >= level.node->children.Count()) {
      levels.pop_back();
      continue;
    }
    const TocNode* node = level.node->children.Get(level.next++);
    if (node == nullptr) continue;
    // Below the deepest shown level, entries go on at that level.
    const int depth = static_cast<int>(levels.size()) - 1;
    const int parent = levels[static_cast<std::size_t>(ShownDepth(depth))].row;
    const int row = rows++;
    batch.rows.push_back({DisplayText(codec_, node->name, kMaxTreeTextChars, book_->CodePage()),
                          NodeImage(*node, contents), parent});
    batch.nodes.push_back(node);
    if (node->children.Count() > 0) levels.push_back({node, 0, row});
    if (batch.rows.size() >= batchRows) {
      deliver_(std::exchange(batch, {}));
      batchRows = kContentsBatch;
    }
  }
  if (!batch.rows.empty() && !Cancelled()) deliver_(std::move(batch));
}

KeywordIndexJob::KeywordIndexJob(CancelFlag cancel, std::shared_ptr<const Book> book, const TextCodec& codec,
                                 Progress progress)
    : Job(std::move(cancel)), book_(std::move(book)), codec_(codec), progress_(std::move(progress)) {}

void KeywordIndexJob::Run() {
  Catching([&] { book_->BuildKeywordIndex(); });
  if (error_) return;
  Steps steps(progress_);
  steps.Tell(10);
  const int codePage = book_->CodePage();
  const auto add = [&](const IndexEntry& entry, int depth) {
    // The indentation does not count against the name's characters: a deep
    // entry still shows its name.
    std::string line(2 * static_cast<std::size_t>(ShownDepth(depth)), ' ');
    line += DisplayText(codec_, entry.name, kMaxListTextChars, codePage);
    lines.push_back(std::move(line));
    entries.push_back(&entry);
  };
  const IndexEntry& root = book_->KeywordIndex();
  const std::int64_t count = root.children.Count();
  for (std::int32_t i = 0; i < root.children.Count() && !Cancelled(); ++i) {
    if (const IndexEntry* keyword = root.children.Get(i)) {
      add(*keyword, 0);
      ForEachIndexEntry(*keyword, [&](const IndexEntry& entry, int depth) { add(entry, depth + 1); });
    }
    steps.Tell(static_cast<int>(i * 90 / count + 10));
  }
}

FullTextJob::FullTextJob(CancelFlag cancel, std::shared_ptr<const Book> book)
    : Job(std::move(cancel)), book_(std::move(book)) {}

void FullTextJob::Run() {
  Catching([&] { book_->LoadFullTextIndex(); });
}

PageTextJob::PageTextJob(CancelFlag cancel, PageTextSource source) : Job(std::move(cancel)), source_(std::move(source)) {}

void PageTextJob::Run() {
  const std::lock_guard<std::mutex> lock(source_.search->mutex);
  Catching([&] { OpenPageTextIndex(source_); });
}

SearchJob::SearchJob(CancelFlag cancel, PageTextSource source, std::optional<std::string> ownWord,
                     const textindex::ParsedQuery& query)
    : Job(std::move(cancel)),
      source_(std::move(source)),
      ownWord_(std::move(ownWord)),
      query_(std::make_unique<textindex::ParsedQuery>(query)) {}

SearchJob::~SearchJob() = default;

void SearchJob::Run() {
  const Book& book = *source_.book;
  const TextCodec& codec = *source_.codec;
  const int codePage = book.CodePage();
  if (ownWord_) {
    PointerArray<SearchResult> results(0, 1);
    Catching([&] { results = book.Search(*ownWord_); });
    if (error_) return;
    const TopicTable& topics = book.Topics();
    for (const SearchResult* result : results) {
      if (result == nullptr) continue;
      const auto topic = static_cast<std::int32_t>(result->topic);
      lines.push_back(ResultLine{DisplayText(codec, topics.Title(topic), kMaxListTextChars, codePage), 0, {}});
      // A topic without a path is listed, and opens nothing.
      paths.emplace_back(topics.Path(topic).value_or(std::string_view()));
    }
  }
  // The text of the pages answers what the book's index cannot, and
  // replaces a weak answer of it: the one that finds more pages is shown.
  std::vector<textindex::TextHit> hits;
  std::optional<std::string> textError;
  {
    const std::lock_guard<std::mutex> lock(source_.search->mutex);
    try {
      OpenPageTextIndex(source_);
      textindex::SearchOptions options;
      options.markOpen = kMarkOpen;
      options.markClose = kMarkClose;
      hits = source_.search->index->Search(*query_, options);
    } catch (const std::exception& error) {
      textError = FormatError(error);
    }
  }
  const bool ownIsBetter = !lines.empty() && (textError || hits.size() <= lines.size());
  if (ownIsBetter) return;
  pageText = true;
  error_ = std::move(textError);
  words = query_->terms;
  lines.clear();
  paths.clear();
  for (textindex::TextHit& hit : hits) {
    lines.push_back(ResultLine{CutToChars(hit.title, kMaxListTextChars), hit.hits, OneLine(hit.snippet)});
    paths.push_back(codec.FromUtf8(hit.path, codePage).value_or(hit.path));
  }
}

ObjectJob::ObjectJob(CancelFlag cancel, std::shared_ptr<const Book> book, std::string name, const TextCodec& codec)
    : Job(std::move(cancel)), book_(std::move(book)), name_(std::move(name)), codec_(codec) {}

void ObjectJob::Run() {
  try {
    ObjectBuffer read;
    try {
      read = book_->ReadObject(name_);
    } catch (const BookError& error) {
      const std::optional<std::string> local = codec_.FromUtf8(name_, book_->CodePage());
      if (error.Kind() != ErrorKind::kNotFound || !local || *local == name_) throw;
      read = book_->ReadObject(*local);
    }
    bytes.assign(read.begin(), read.end());
  } catch (const BookError& error) {
    notFound = error.Kind() == ErrorKind::kNotFound;
    error_ = error.Message();
  }
}

}  // namespace tessaly::app
