// Small books and a private library for the library's tests: books made in
// code (pages, a title, keywords), a scratch XDG_DATA_HOME, and a converter.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "codec/codec.h"
#include "library/library.h"
#include "support/book_builder.h"
#include "support/chm_builder.h"

namespace tessaly::test {

struct SmallBook {
  std::string title;
  std::vector<std::pair<std::string, std::string>> pages;     // path (no '/'), body HTML
  std::vector<std::pair<std::string, std::string>> keywords;  // keyword, page path
};

inline std::string SystemRecord(int code, const std::string& data) {
  std::string r{static_cast<char>(code), '\0', static_cast<char>(data.size() & 0xFF),
                static_cast<char>(data.size() >> 8)};
  return r + data;
}

inline std::vector<std::uint8_t> MakeBook(const SmallBook& book) {
  std::string system = std::string("\x03\0\0\0", 4) + SystemRecord(1, std::string("k.hhk") + '\0') +
                       SystemRecord(3, book.title + '\0') + SystemRecord(4, std::string("\x09\x04\0\0", 4));
  std::string hhk = "<UL>";
  for (const auto& [keyword, page] : book.keywords) {
    hhk += "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"" + keyword +
           "\"><param name=\"Local\" value=\"" + page + "\"></OBJECT>";
  }
  hhk += "</UL>";
  BookBuilder b;
  b.AddFile("#SYSTEM", system);
  b.AddFile("#STRINGS", std::string(1, '\0'));
  b.AddFile("/k.hhk", hhk);
  for (const auto& [path, body] : book.pages) b.AddFile("/" + path, body);
  return b.Build();
}

inline void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

inline std::string Page(const std::string& title, const std::string& text) {
  return "<html><head><title>" + title + "</title></head><body><p>" + text + "</p></body></html>";
}

// A library of its own under a scratch folder: store, indexes and books.
class ScratchLibrary {
 public:
  ScratchLibrary() : root_(dir_.Path()) {}
  std::filesystem::path Root() const { return root_; }
  std::filesystem::path StoreFile() const { return root_ / "data" / "tessaly" / "library.sqlite"; }
  std::filesystem::path Indexes() const { return root_ / "data" / "tessaly" / "index"; }
  std::filesystem::path Books() const { return root_ / "books"; }
  library::Library Open() const { return library::Library::Open(StoreFile(), Indexes()); }
  const TextConverter& Converter() const { return codec_; }

 private:
  TempDir dir_;
  std::filesystem::path root_;
  IconvCodec codec_;
};

}  // namespace tessaly::test
