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
struct ResetTable;
struct BlockRange;

using ObjectBuffer = std::vector<std::uint8_t>;

// True when a lower-cased copy of the text holds "http:", "https:" or "ftp:".
bool IsExternalUrl(std::string_view text);

class Book {
 public:
  static constexpr std::int32_t kDefaultLanguageId = 1033;
  static constexpr std::uint32_t kMinWorkBuffer = 50000;

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

  // Releases everything the book holds; the Book is then as constructed.
  void Close();

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

  BookFile bookFile_;
  DirectoryIndex index_;
  Logger log_;
  std::int32_t languageId_ = kDefaultLanguageId;

  std::unique_ptr<LzxDecoder> lzx_;
  std::unique_ptr<std::uint8_t[]> inputBuffer_;
  std::unique_ptr<std::uint8_t[]> outputBuffer_;
  std::uint32_t inputCapacity_ = 0;
  std::uint32_t outputCapacity_ = 0;
};

}  // namespace tessaly
