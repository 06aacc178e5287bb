#include "app/object_cache.h"

#include <cstdint>

namespace tessaly::app {

std::string ObjectCache::Key(const Book* book, const std::string& name) {
  return std::to_string(reinterpret_cast<std::uintptr_t>(book)) + '\n' + name;
}

std::shared_ptr<const std::string> ObjectCache::Find(const Book* book, const std::string& name) {
  const auto found = byKey_.find(Key(book, name));
  if (found == byKey_.end()) return nullptr;
  entries_.splice(entries_.begin(), entries_, found->second);
  return found->second->bytes;
}

void ObjectCache::Keep(const Book* book, const std::string& name, std::shared_ptr<const std::string> bytes) {
  if (!bytes || bytes->size() > kLargest) return;
  const std::string key = Key(book, name);
  if (const auto found = byKey_.find(key); found != byKey_.end()) Drop(found->second);
  bytes_ += bytes->size();
  entries_.push_front(Entry{book, name, std::move(bytes)});
  byKey_[key] = entries_.begin();
  while (bytes_ > kBudget && !entries_.empty()) Drop(std::prev(entries_.end()));
}

void ObjectCache::Forget(const Book* book) {
  for (auto it = entries_.begin(); it != entries_.end();) {
    const auto next = std::next(it);
    if (it->book == book) Drop(it);
    it = next;
  }
}

void ObjectCache::Drop(std::list<Entry>::iterator entry) {
  bytes_ -= entry->bytes->size();
  byKey_.erase(Key(entry->book, entry->name));
  entries_.erase(entry);
}

}  // namespace tessaly::app
