#include "app/gtk/store_writer.h"

namespace tessaly::app::gtk {

StoreWriter::StoreWriter(KeyValueStore& store) : store_(store), thread_([this] { Run(); }) {}

StoreWriter::~StoreWriter() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void StoreWriter::Write(std::string_view key, std::string_view name, std::string_view value) {
  {
    std::lock_guard lock(mutex_);
    pending_[{std::string(key), std::string(name)}] = std::string(value);
  }
  wake_.notify_all();
}

std::optional<std::string> StoreWriter::Held(std::string_view key, std::string_view name) const {
  const std::pair<std::string, std::string> id{std::string(key), std::string(name)};
  for (const Values* values : {&pending_, &inFlight_}) {
    if (const auto found = values->find(id); found != values->end()) return found->second;
  }
  return std::nullopt;
}

std::optional<std::string> StoreWriter::Read(std::string_view key, std::string_view name) const {
  {
    std::lock_guard lock(mutex_);
    if (std::optional<std::string> held = Held(key, name)) return held;
  }
  return store_.Read(key, name);
}

void StoreWriter::Flush() {
  std::unique_lock lock(mutex_);
  written_.wait(lock, [this] { return pending_.empty() && inFlight_.empty(); });
}

void StoreWriter::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
    if (pending_.empty()) return;  // stopping, all written
    inFlight_ = std::move(pending_);
    pending_.clear();
    lock.unlock();
    for (const auto& [id, value] : inFlight_) store_.Write(id.first, id.second, value);
    lock.lock();
    inFlight_.clear();
    written_.notify_all();
  }
}

}  // namespace tessaly::app::gtk
