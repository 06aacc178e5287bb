// Opening a book completely, and what the book says of itself.
#include "base/book_error.h"
#include "base/bytes.h"
#include "book/book.h"
#include "helpdata/contents_tree.h"
#include "helpdata/system_records.h"
#include "helpdata/topic_table.h"

namespace tessaly {

namespace {

// #WINDOWS fields read from the first window definition (offsets from the
// start of the object, after its 8-byte header).
constexpr std::size_t kCaption = 28;
constexpr std::size_t kContentsFile = 104;
constexpr std::size_t kIndexFile = 108;
constexpr std::size_t kDefaultTopic = 112;
constexpr std::size_t kHomeTopic = 116;
constexpr std::size_t kButtons = 120;
constexpr std::size_t kJumpLabel1 = 164;
constexpr std::size_t kJumpLabel2 = 168;
constexpr std::size_t kJumpTarget1 = 172;
constexpr std::size_t kJumpTarget2 = 176;
constexpr std::uint32_t kHomeButton = 0x40;
constexpr std::uint32_t kJumpButton1 = 0x40000;
constexpr std::uint32_t kJumpButton2 = 0x80000;

}  // namespace

void Book::Open(std::string_view path) {
  OpenContainer(path);

  ReadSectionList();
  systemData_ = ReadObjectCopy("#SYSTEM");
  stringsData_ = ReadObjectCopy("#STRINGS");
  SystemRecords records{contentsFile_, indexFile_, defaultTopic_, title_, languageId_};
  ReadSystemRecords(systemData_, records, log_);
  contentsFile_ = std::move(records.contentsFile);
  indexFile_ = std::move(records.indexFile);
  defaultTopic_ = std::move(records.defaultTopic);
  title_ = std::move(records.title);
  languageId_ = records.languageId;

  PresizeBuffers();

  if (HasObject("#WINDOWS")) {
    windowsData_ = ReadObjectCopy("#WINDOWS");
    hasWindows_ = true;
  }

  // A contents file that the book does not hold leaves the book without a
  // contents tree; every page is still there.
  const std::string contentsName(ContentsFileName());
  if (!contentsName.empty() && HasObject(contentsName)) {
    ObjectBuffer sitemap = ReadObjectCopy(contentsName);
    ParseContents(*contents_, sitemap, log_);
  }

  if (HasObject("#topics") && HasObject("#urltbl") && HasObject("#urlstr")) {
    topicsData_ = ReadObjectCopy("#topics");
    urltblData_ = ReadObjectCopy("#urltbl");
    urlstrData_ = ReadObjectCopy("#urlstr");
  }
  *topics_ = TopicTable(topicsData_, urltblData_, urlstrData_, stringsData_);
}

std::string_view Book::WindowString(std::size_t fieldOffset) const {
  std::uint32_t stringOffset = 0;
  if (!hasWindows_ || !ReadLE32At(windowsData_, fieldOffset, stringOffset)) return {};
  return CStringAt(stringsData_, stringOffset);
}

std::uint32_t Book::WindowValue(std::size_t fieldOffset) const {
  std::uint32_t value = 0;
  if (!hasWindows_ || !ReadLE32At(windowsData_, fieldOffset, value)) return 0;
  return value;
}

std::string_view Book::ContentsFileName() const {
  return contentsFile_.empty() ? WindowString(kContentsFile) : std::string_view(contentsFile_);
}

std::string_view Book::IndexFileName() const {
  return indexFile_.empty() ? WindowString(kIndexFile) : std::string_view(indexFile_);
}

std::string_view Book::DefaultTopic() const {
  return defaultTopic_.empty() ? WindowString(kDefaultTopic) : std::string_view(defaultTopic_);
}

std::string_view Book::HomeTopic() const {
  // A home button with no home page named (as some writers leave it) shows
  // the default topic, like a book without the button.
  if (WindowValue(kButtons) & kHomeButton) {
    std::string_view home = WindowString(kHomeTopic);
    if (!home.empty()) return home;
  }
  return DefaultTopic();
}

std::string_view Book::Title() const {
  std::string_view title = title_;
  if (WindowValue(kCaption) != 0) title = WindowString(kCaption);
  return title.empty() ? std::string_view(bookFile_.fileName) : title;
}

std::optional<std::string_view> Book::JumpLabel() const {
  if (!hasWindows_) return std::nullopt;
  const std::uint32_t buttons = WindowValue(kButtons);
  if (buttons & kJumpButton1) return WindowString(kJumpLabel1);
  if (buttons & kJumpButton2) return WindowString(kJumpLabel2);
  return std::nullopt;
}

std::optional<std::string_view> Book::JumpTarget() const {
  if (!hasWindows_) return std::nullopt;
  const std::uint32_t buttons = WindowValue(kButtons);
  if (buttons & kJumpButton1) return WindowString(kJumpTarget1);
  if (buttons & kJumpButton2) return WindowString(kJumpTarget2);
  return std::nullopt;
}

int Book::CodePage() const { return CodePageForLanguage(languageId_); }

}  // namespace tessaly
