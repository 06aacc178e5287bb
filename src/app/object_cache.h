// ObjectCache: the objects the page views read last, kept in memory so that
// a page shown again (a reload, Back, the next contents entry with the same
// style sheet and pictures) is answered at once. Bounded in bytes; objects
// above a size are not kept; the least recently used go first. Used on the
// interface thread only.
#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>

namespace tessaly {
class Book;
}

namespace tessaly::app {

class ObjectCache {
 public:
  static constexpr std::size_t kBudget = 24u << 20;
  static constexpr std::size_t kLargest = 1u << 20;

  // The object's bytes, or null.
  std::shared_ptr<const std::string> Find(const Book* book, const std::string& name);
  void Keep(const Book* book, const std::string& name, std::shared_ptr<const std::string> bytes);
  // A book closed: its objects go.
  void Forget(const Book* book);

 private:
  struct Entry {
    const Book* book;
    std::string name;
    std::shared_ptr<const std::string> bytes;
  };
  static std::string Key(const Book* book, const std::string& name);
  void Drop(std::list<Entry>::iterator entry);

  std::list<Entry> entries_;  // most recent first
  std::unordered_map<std::string, std::list<Entry>::iterator> byKey_;
  std::size_t bytes_ = 0;
};

}  // namespace tessaly::app
