#include "helpdata/helpdata.h"

#include "base/bytes.h"

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

void BookInfo::ReadSystem(const ObjectSource& objects, Logger& log) {
  systemData_ = objects.ReadObject("#SYSTEM");
  stringsData_ = objects.ReadObject("#STRINGS");
  ReadSystemRecords(systemData_, records_, log);
}

void BookInfo::ReadWindows(const ObjectSource& objects) {
  if (!objects.HasObject("#WINDOWS")) return;
  windowsData_ = objects.ReadObject("#WINDOWS");
  hasWindows_ = true;
}

std::string_view BookInfo::WindowString(std::size_t fieldOffset) const {
  std::uint32_t stringOffset = 0;
  if (!hasWindows_ || !ReadLE32At(windowsData_, fieldOffset, stringOffset)) return {};
  return CStringAt(stringsData_, stringOffset);
}

std::uint32_t BookInfo::WindowValue(std::size_t fieldOffset) const {
  std::uint32_t value = 0;
  if (!hasWindows_ || !ReadLE32At(windowsData_, fieldOffset, value)) return 0;
  return value;
}

std::string_view BookInfo::ContentsFileName() const {
  return records_.contentsFile.empty() ? WindowString(kContentsFile) : std::string_view(records_.contentsFile);
}

std::string_view BookInfo::IndexFileName() const {
  return records_.indexFile.empty() ? WindowString(kIndexFile) : std::string_view(records_.indexFile);
}

std::string_view BookInfo::DefaultTopic() const {
  return records_.defaultTopic.empty() ? WindowString(kDefaultTopic) : std::string_view(records_.defaultTopic);
}

std::string_view BookInfo::HomeTopic() const {
  // A home button with no home page named (as some writers leave it) shows
  // the default topic, like a book without the button.
  if (WindowValue(kButtons) & kHomeButton) {
    std::string_view home = WindowString(kHomeTopic);
    if (!home.empty()) return home;
  }
  return DefaultTopic();
}

std::string_view BookInfo::Title() const {
  if (WindowValue(kCaption) != 0) return WindowString(kCaption);
  return records_.title;
}

std::optional<std::string_view> BookInfo::JumpLabel() const {
  if (!hasWindows_) return std::nullopt;
  const std::uint32_t buttons = WindowValue(kButtons);
  if (buttons & kJumpButton1) return WindowString(kJumpLabel1);
  if (buttons & kJumpButton2) return WindowString(kJumpLabel2);
  return std::nullopt;
}

std::optional<std::string_view> BookInfo::JumpTarget() const {
  if (!hasWindows_) return std::nullopt;
  const std::uint32_t buttons = WindowValue(kButtons);
  if (buttons & kJumpButton1) return WindowString(kJumpTarget1);
  if (buttons & kJumpButton2) return WindowString(kJumpTarget2);
  return std::nullopt;
}

}  // namespace tessaly
