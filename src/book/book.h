// Book: one opened CHM file and everything read or built from it.
//
// A Book is created for every file the reader opens and destroyed when the
// next one is opened; an open that failed part way leaves a Book that can
// still be closed or destroyed safely. The file itself is not held open:
// it is opened for the header and directory and again for each read.
//
// Objects are reached only through FindEntry / HasObject / ObjectSize /
// ReadObject. ReadObject hands out a view into the book's shared output
// buffer, valid until the next read through the same Book; ReadObjectCopy
// gives the caller its own bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/log.h"
#include "book/book_file.h"
#include "book/directory_index.h"

namespace tessaly {

class LzxDecoder;
class File;
class TextConverter;
class TopicTable;
class FullTextIndex;
struct ResetTable;
struct BlockRange;
struct ContentsTree;
struct IndexEntry;
struct SearchResult;
template <class T>
class PointerArray;

using ObjectBuffer = std::vector<std::uint8_t>;

// True when a lower-cased copy of the text holds "http:", "https:" or "ftp:".
bool IsExternalUrl(std::string_view text);

class Book {
 public:
  static constexpr std::int32_t kDefaultLanguageId = 1033;
  static constexpr std::uint32_t kMinWorkBuffer = 50000;
  static constexpr std::int32_t kSearchResultCapacity = 100;
  static constexpr std::int32_t kSearchResultGrowth = 10;

  Book();
  ~Book();
  Book(const Book&) = delete;
  Book& operator=(const Book&) = delete;

  // Checks the path (it must end in ".chm"), opens the file and reads its
  // header and directory. Raises BookError.
  void OpenContainer(std::string_view path);

  // Builds the content sections from ::DataSpace/NameList. Raises BookError
  // (the directory is released then, so no lookup reads a wrong section).
  void ReadSectionList();

  // The container and its sections: enough to read every object, without
  // interpreting any of them.
  void OpenStorage(std::string_view path) {
    OpenContainer(path);
    ReadSectionList();
  }

  // Grows the compressed and plain work buffers to the largest block ranges
  // that any object of a compressed section needs. Raises BookError.
  void PresizeBuffers();

  // Opens the book completely: container, sections, #SYSTEM and #STRINGS,
  // work buffers, #WINDOWS, the contents tree and the topic tables. The
  // keyword index and the full-text index are read later, on request.
  // Raises BookError.
  void Open(std::string_view path);

  // Releases everything the book holds; the Book is then as constructed.
  void Close();

  // What the book says of itself (#SYSTEM, falling back on #WINDOWS). Texts
  // are in the book's code page and stay valid while the book is open.
  std::string_view ContentsFileName() const;
  std::string_view IndexFileName() const;
  std::string_view DefaultTopic() const;
  std::string_view HomeTopic() const;
  std::string_view Title() const;
  std::optional<std::string_view> JumpLabel() const;
  std::optional<std::string_view> JumpTarget() const;
  int CodePage() const;

  // The contents tree (empty when the book has none) and the topic table.
  const ContentsTree& Contents() const { return *contents_; }
  ContentsTree& Contents() { return *contents_; }
  const TopicTable& Topics() const { return *topics_; }

  // The keyword index, built on the first request (again appends a copy).
  // Raises BookError.
  void BuildKeywordIndex();
  const IndexEntry& KeywordIndex() const { return *keywordIndex_; }

  // The full-text index, loaded on request; Search fills SearchResults,
  // ordered by topic title. Both raise BookError.
  void LoadFullTextIndex();
  const FullTextIndex& FullText() const { return *fullText_; }
  void Search(std::string_view query);
  const PointerArray<SearchResult>& SearchResults() const { return *searchResults_; }

  // Converts book text to UTF-8 for lookups of paths that the book writes in
  // its code page while its directory holds UTF-8 names (not owned; may be
  // null).
  void SetTextConverter(const TextConverter* converter) { converter_ = converter; }

  // Attaches a diagnostic log (not owned; null detaches). The header,
  // directory, content sections and system records are dumped to it.
  void SetLog(std::ostream* log) { log_.SetStream(log); }
  Logger& Log() { return log_; }

  const BookFile& File() const { return bookFile_; }
  std::int32_t LanguageId() const { return languageId_; }

  // Lookup. Never raises; a miss is logged.
  const DirectoryEntry* FindEntry(std::string_view path);
  bool HasObject(std::string_view path) { return FindEntry(path) != nullptr; }
  std::uint32_t ObjectSize(std::string_view path);

  // Reading. Raise BookError on every failure.
  std::span<const std::uint8_t> ReadObject(std::string_view path);
  ObjectBuffer ReadObjectCopy(std::string_view path);

  // Reads every object of the directory, decoding each compressed section
  // once, in order, instead of once per object. Calls onObject for each
  // object that could be read (the bytes are valid during the call only) and
  // onError with the message ReadObject would have raised for each that
  // could not; objects of one section come in ascending offset order.
  using ObjectVisitor = std::function<void(const DirectoryEntry&, std::span<const std::uint8_t>)>;
  using ErrorVisitor = std::function<void(const DirectoryEntry&, const std::string&)>;
  void ReadAllObjects(const ObjectVisitor& onObject, const ErrorVisitor& onError);

  // Work buffers of compressed reads (capacities only grow).
  std::uint32_t InputCapacity() const { return inputCapacity_; }
  std::uint32_t OutputCapacity() const { return outputCapacity_; }
  void GrowInputBuffer(std::uint64_t size);
  void GrowOutputBuffer(std::uint64_t size);

  // The window-size field of the control data of an entry's section.
  std::uint32_t ReadControlData(const DirectoryEntry& entry);

 private:
  std::span<const std::uint8_t> ReadEntry(const DirectoryEntry& entry, std::string_view path, bool ownCopy,
                                          ObjectBuffer* copy);
  std::uint64_t DirectPosition(const DirectoryEntry& entry) const;
  void ReadDirectInto(tessaly::File& file, const DirectoryEntry& entry, std::string_view path,
                      std::uint8_t* destination);
  std::span<const std::uint8_t> ReadDirect(const DirectoryEntry& entry, std::string_view path, bool ownCopy,
                                           ObjectBuffer* copy);
  std::span<const std::uint8_t> ReadCompressedObject(const DirectoryEntry& entry, bool ownCopy, ObjectBuffer* copy);
  ResetTable ReadResetTable(const ContentSection& section);
  void DecodeRange(int windowBits, std::span<const std::uint8_t> input, std::span<std::uint8_t> output);
  static void GrowWorkBuffer(std::unique_ptr<std::uint8_t[]>& buffer, std::uint32_t& capacity, std::uint64_t size);
  void ReadCompressedSection(std::uint32_t sectionNumber, const std::vector<const DirectoryEntry*>& entries,
                             const ObjectVisitor& onObject, const ErrorVisitor& onError);
  void ReleaseDirectory();
  void ResetState();
  std::string_view WindowString(std::size_t fieldOffset) const;
  std::uint32_t WindowValue(std::size_t fieldOffset) const;
  const DirectoryEntry* FindEntryOnce(std::string_view path);

  BookFile bookFile_;
  DirectoryIndex index_;
  Logger log_;
  std::int32_t languageId_ = kDefaultLanguageId;

  // Metadata read at open, kept for the book's life.
  ObjectBuffer systemData_, stringsData_, windowsData_;
  ObjectBuffer topicsData_, urltblData_, urlstrData_;
  bool hasWindows_ = false;
  std::string contentsFile_, indexFile_, defaultTopic_, title_;
  const TextConverter* converter_ = nullptr;

  std::unique_ptr<ContentsTree> contents_;
  std::unique_ptr<TopicTable> topics_;
  std::unique_ptr<IndexEntry> keywordIndex_;
  std::unique_ptr<FullTextIndex> fullText_;
  std::unique_ptr<PointerArray<SearchResult>> searchResults_;

  std::unique_ptr<LzxDecoder> lzx_;
  std::unique_ptr<std::uint8_t[]> inputBuffer_;
  std::unique_ptr<std::uint8_t[]> outputBuffer_;
  std::uint32_t inputCapacity_ = 0;
  std::uint32_t outputCapacity_ = 0;
};

}  // namespace tessaly
