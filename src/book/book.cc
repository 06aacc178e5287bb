#include "book/book.h"

#include "base/book_error.h"
#include "book/directory.h"
#include "book/file.h"
#include "base/pointer_array.h"
#include "helpdata/contents_tree.h"
#include "helpdata/keyword_index.h"
#include "helpdata/topic_table.h"
#include "lzx/lzx_decoder.h"
#include "search/full_text_index.h"
#include "pages/link_path.h"

namespace tessaly {

namespace {

// Strips what surrounds a path pasted from a link or a shell: blanks, quotes
// and semicolons at both ends, and trailing slashes. A leading '/' is where an
// absolute path begins on this system, so it stays.
std::string TrimFileName(std::string_view path) {
  constexpr std::string_view kFront = " \t\r\n\"';";
  constexpr std::string_view kBack = " \t\r\n\"';/";
  std::size_t start = path.find_first_not_of(kFront);
  if (start == std::string_view::npos) return std::string();
  path.remove_prefix(start);
  std::size_t end = path.find_last_not_of(kBack);
  return std::string(path.substr(0, end == std::string_view::npos ? 0 : end + 1));
}

}  // namespace

Book::Book() : lzx_(std::make_unique<LzxDecoder>()) { ResetState(); }

Book::~Book() = default;

void Book::ResetState() {
  systemData_.clear();
  stringsData_.clear();
  windowsData_.clear();
  topicsData_.clear();
  urltblData_.clear();
  urlstrData_.clear();
  hasWindows_ = false;
  contentsFile_.clear();
  indexFile_.clear();
  defaultTopic_.clear();
  title_.clear();
  contents_ = std::make_unique<ContentsTree>();
  topics_ = std::make_unique<TopicTable>();
  keywordIndex_ = std::make_unique<IndexEntry>();
  fullText_ = std::make_unique<FullTextIndex>();
  searchResults_ = std::make_unique<PointerArray<SearchResult>>(kSearchResultCapacity, kSearchResultGrowth);
}

void Book::Close() {
  ResetState();
  inputBuffer_.reset();
  outputBuffer_.reset();
  inputCapacity_ = 0;
  outputCapacity_ = 0;
  index_.Clear();
  bookFile_ = BookFile();
  languageId_ = kDefaultLanguageId;
}

void Book::OpenContainer(std::string_view path) {
  Close();

  std::string name = TrimFileName(path.substr(0, kMaxBookPath));
  bookFile_.fileName = name;

  if (FileExtension(name) != ".chm") RaiseBookError("File must have *.chm extention: %s.", name.c_str());

  tessaly::File file;
  const bool opened = file.Open(name);
  log_.Write("%i", file.Handle());
  if (!opened) RaiseBookError("Can't open chm file: %s.", name.c_str());
  ReadDirectory(file, bookFile_, log_);
  index_.Build(bookFile_.entries);
}

}  // namespace tessaly
