// Test helpers for page preparation: a platform that records what page
// preparation asks of it, and a fixture that opens a built book and prepares
// its pages into a fresh folder.
#pragma once

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "book/book.h"
#include "pages/pages.h"
#include "support/book_builder.h"
#include "support/chm_builder.h"

namespace tessaly::test {

class RecordingPlatform : public PagePlatform {
 public:
  PageCache* cache = nullptr;
  bool images = true;
  std::vector<std::string> opened;   // OpenExternal
  std::vector<std::string> missing;  // ReportMissingLink
  std::vector<std::string> errors;   // ShowError
  std::vector<std::string> parts;    // ReportMissingPart
  std::vector<std::string> shown;    // ShowPage
  // Runs inside ShowPage before the page is prepared.
  std::function<void(std::string_view link)> beforeShow;

  bool OpenExternal(std::string_view address) override {
    opened.emplace_back(address);
    return true;
  }
  void ReportMissingLink(std::string_view link) override { missing.emplace_back(link); }
  void ShowError(std::string_view message) override { errors.emplace_back(message); }
  void ReportMissingPart(std::string_view message) override { parts.emplace_back(message); }
  bool ShowPage(std::string_view link) override {
    shown.emplace_back(link);
    if (beforeShow) beforeShow(link);
    return cache != nullptr && cache->PreparePage(link);
  }
  bool ShowImages() const override { return images; }
};

// The files of a folder, name -> bytes (sub-folders are listed with a
// trailing '/').
inline std::map<std::string, std::string> FolderFiles(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_directory()) {
      files[name + "/"] = "";
    } else {
      const std::vector<std::uint8_t> bytes = ReadFileBytes(entry.path().string());
      files[name] = std::string(bytes.begin(), bytes.end());
    }
  }
  return files;
}

// A name the cache makes: "index<N>.htm", or "<N>file" with an extension of
// 1 to 9 ASCII letters and digits or none.
inline bool IsCacheFileName(std::string_view name) {
  auto digits = [](std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (name.starts_with("index") && name.ends_with(".htm")) return digits(name.substr(5, name.size() - 9));
  const std::size_t file = name.find("file");
  if (file == std::string_view::npos || !digits(name.substr(0, file))) return false;
  const std::string_view extension = name.substr(file + 4);
  if (extension.empty()) return true;
  return extension.size() >= 2 && extension.size() <= 10 && extension[0] == '.' &&
         std::all_of(extension.begin() + 1, extension.end(), [](char c) {
           return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
         });
}

inline std::vector<std::string> Names(const std::map<std::string, std::string>& files) {
  std::vector<std::string> names;
  for (const auto& [name, bytes] : files) names.push_back(name);
  return names;
}

// A built book opened for reading, and a cache that writes into
// <root>/pages.
struct PageFixture {
  explicit PageFixture(const BookBuilder& builder)
      : chm(builder.Build()), folder(root.Path() + "/pages"), cache(platform, history, folder) {
    std::filesystem::create_directory(folder);
    book.OpenStorage(chm.Path());
    platform.cache = &cache;
    cache.SetBook(&book);
  }
  // A book file on disk; fullOpen reads its metadata too (Book::Open).
  explicit PageFixture(const std::string& bookPath, bool fullOpen = false)
      : folder(root.Path() + "/pages"), cache(platform, history, folder) {
    std::filesystem::create_directory(folder);
    if (fullOpen) {
      book.Open(bookPath);
    } else {
      book.OpenStorage(bookPath);
    }
    platform.cache = &cache;
    cache.SetBook(&book);
  }

  // Shows a book-absolute path, as the page view's ShowTopic does.
  bool ShowTopic(std::string_view path) {
    cache.SetCurrentPageDir("");
    return cache.PreparePage(path);
  }

  std::map<std::string, std::string> Files() const { return FolderFiles(folder); }
  std::string File(const std::string& name) const {
    const std::vector<std::uint8_t> bytes = ReadFileBytes(folder + "/" + name);
    return std::string(bytes.begin(), bytes.end());
  }
  std::string Address(const std::string& name) const { return "file://" + folder + "/" + name; }

  TempFile chm{std::string()};
  TempDir root;
  std::string folder;
  Book book;
  RecordingPlatform platform;
  History history;
  PageCache cache;
};

}  // namespace tessaly::test
