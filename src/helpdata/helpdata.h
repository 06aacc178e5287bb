// The help data of a book, read from its objects: what the book says of
// itself (#SYSTEM, #STRINGS, #WINDOWS), its contents tree and keyword index
// (the sitemaps) and the objects of its topic table. What the layers above
// include of this layer; the sitemap reading behind it stays inside.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/log.h"
#include "base/object_source.h"
#include "base/sitemap_trees.h"

namespace tessaly {

// What a book says of itself: #SYSTEM, #STRINGS and #WINDOWS.
//
// #SYSTEM (little-endian): 4 version (2 or 3), then records to the end:
//   2 code | 2 length | data. Codes read: 0 contents sitemap, 1 index
//   sitemap, 2 default topic, 3 title (NUL-terminated texts), 4 language id
//   (first 4 data bytes). Others are skipped by their length.
// #STRINGS: NUL-terminated strings addressed by byte offset.
// #WINDOWS: an 8-byte header, then window definitions; only fixed offsets
//   of the first one are read (see book_info.cc).

// The language a book has until #SYSTEM names one.
constexpr std::int32_t kDefaultLanguageId = 1033;

struct SystemRecords {
  std::string contentsFile, indexFile, defaultTopic, title;  // each at most 255 bytes
  std::int32_t languageId = kDefaultLanguageId;
};

// Reads the records into `records` (fields not named keep their values) and
// dumps them to the log. Raises BookError for a wrong version.
void ReadSystemRecords(std::span<const std::uint8_t> system, SystemRecords& records, Logger& log);

// The Windows ANSI code page for a language id.
int CodePageForLanguage(std::int32_t languageId);

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

// The book's table of contents, read from its contents sitemap (.hhc).
//
// The sitemap is HTML-like text: nested <UL> lists of <LI> items, each with
// an <OBJECT> whose <param> tags give the entry's "Name", its topic's
// "Local" path and an "ImageNumber". A "text/site properties" object before
// the first list gives "Window Styles" and "ImageType". Every top-level
// list is read, one after the other (text between them is not). A <UL> that opens before any <LI> of its level has
// no node to hang under: its items are read into the enclosing level, and
// its </UL> closes that level.
// Parsing uses no recursion: a tree may nest as deep as its input likes.

// Limits of the texts read from a contents item.
constexpr std::size_t kMaxTocText = 254;    // "Name" and "Local" values
constexpr std::size_t kMaxParamName = 18;   // a "param name" value
constexpr std::size_t kMaxNumberText = 18;  // an "ImageNumber" or "Window Styles" value

// Builds the tree from the sitemap's bytes, logging every entry (indented by
// its depth) to log. Raises BookError "Error while parse TOC file.\n%s" with
// the inner message on a malformed tag or a bad number.
void ParseContents(ContentsTree& tree, std::span<const std::uint8_t> sitemap, Logger& log);

// The book's keyword index, read from its index sitemap (.hhk).
//
// The sitemap has the contents' form: nested <UL> lists of <LI> items whose
// <OBJECT> params name a keyword and its topics. In an item, the first
// "Name" (or "Keyword") names the keyword; after it, each "Name" names a
// target and each "Local" gives a target's path:
//   Name k, Local a                          -> k: (, a)
//   Name k, Name t1, Local a, Name t2, Local b -> k: (t1, a) (t2, b)
//   Name k, Local a, Local b                 -> k: (, a) (, b)
//   Name k, Name t1, Name t2                 -> error
// Every top-level list is read; a <UL> before any <LI> of its level
// reads into the enclosing level, as in the contents. The top level is
// sorted by name (leading '_' and case ignored, ties in document order);
// sub-keywords keep document order. Nothing here recurses, so an index may
// nest as deep as its input.

constexpr std::size_t kMaxKeywordName = 99;   // keyword and target names
constexpr std::size_t kMaxTargetLocal = 254;  // target paths

// Reads the sitemap's keywords into root's children (appending to any that
// are there), logging each keyword indented by its depth, then sorts the top
// level. Raises BookError "Error while parse Index file.\n%s" with the inner
// message; the entries read before the failure stay (unsorted).
void ParseIndex(IndexEntry& root, std::span<const std::uint8_t> sitemap, Logger& log);

// Reads the index sitemap that the book names (indexFile) and parses it into
// root as ParseIndex does. Raises BookError, "No *.hhk file in CHM." when
// the book names none.
void ReadKeywordIndex(IndexEntry& root, const ObjectSource& objects, std::string_view indexFile, Logger& log);

// The order of top-level keywords: CompareNoCase of the names without their
// leading '_' characters.
int CompareKeywordNames(std::string_view a, std::string_view b);

// Stable sort of parent's children by CompareKeywordNames.
void SortKeywords(IndexEntry& parent);

// The three objects of the topic table (base/topic_table.h reads them),
// read from a book when it holds all three.

// A book without any one of them has no topic table.
struct TopicObjects {
  ObjectBuffer topics, urltbl, urlstr;
};
TopicObjects ReadTopicObjects(const ObjectSource& objects);

}  // namespace tessaly
