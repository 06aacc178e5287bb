// StoreWriter: the store's values written off the window's thread. Each
// write of the store replaces its file and waits for the disk, tens of
// milliseconds on a busy machine, and every page shown records where its
// book was left: the window hands the value over and goes on. Writes of a
// value coalesce (the last one wins), reach the file in the order given,
// and are read back at once in this process. Flush waits until all are in
// the file (at close, and before a value other readers look at).
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "app/gtk/key_value_store.h"

namespace tessaly::app::gtk {

class StoreWriter {
 public:
  explicit StoreWriter(KeyValueStore& store);
  ~StoreWriter();  // flushes
  StoreWriter(const StoreWriter&) = delete;
  StoreWriter& operator=(const StoreWriter&) = delete;

  void Write(std::string_view key, std::string_view name, std::string_view value);
  // The value as last written in this process, else as in the file.
  std::optional<std::string> Read(std::string_view key, std::string_view name) const;
  void Flush();

 private:
  using Values = std::map<std::pair<std::string, std::string>, std::string>;
  void Run();
  std::optional<std::string> Held(std::string_view key, std::string_view name) const;

  KeyValueStore& store_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable written_;
  Values pending_;   // not yet taken by the thread
  Values inFlight_;  // being written
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace tessaly::app::gtk
