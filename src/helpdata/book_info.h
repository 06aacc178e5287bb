// What a book says of itself, from #SYSTEM, #STRINGS and #WINDOWS: which
// objects hold the contents and the keyword index, the default and home
// topics, the title, the jump button and the language (so the code page).
//
// #SYSTEM names the contents, the index and the default topic first; the
// first window definition of #WINDOWS (fields at fixed offsets, texts as
// offsets into #STRINGS) stands in for what it does not name. The title
// prefers the window's caption; the home topic and the jump button come from
// #WINDOWS alone. Texts are in the book's code page and stay valid while the
// BookInfo lives.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/log.h"
#include "base/object_source.h"
#include "helpdata/system_records.h"

namespace tessaly {

class BookInfo {
 public:
  // Reads #SYSTEM and #STRINGS (a book lacks either only when it is broken)
  // and interprets #SYSTEM, dumping its records to the log. Raises BookError.
  void ReadSystem(const ObjectSource& objects, Logger& log);
  // Reads #WINDOWS when the book holds it. Raises BookError.
  void ReadWindows(const ObjectSource& objects);

  std::string_view ContentsFileName() const;
  std::string_view IndexFileName() const;
  std::string_view DefaultTopic() const;
  std::string_view HomeTopic() const;
  // The window caption, else the #SYSTEM title; empty when neither names one.
  std::string_view Title() const;
  std::optional<std::string_view> JumpLabel() const;
  std::optional<std::string_view> JumpTarget() const;
  std::int32_t LanguageId() const { return records_.languageId; }
  int CodePage() const { return CodePageForLanguage(records_.languageId); }
  // The bytes of #STRINGS (topic titles are read from them).
  std::span<const std::uint8_t> Strings() const { return stringsData_; }

 private:
  std::string_view WindowString(std::size_t fieldOffset) const;
  std::uint32_t WindowValue(std::size_t fieldOffset) const;

  SystemRecords records_;
  ObjectBuffer systemData_, stringsData_, windowsData_;
  bool hasWindows_ = false;
};

}  // namespace tessaly
