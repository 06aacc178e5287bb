// The watch over every statement of the page-text index: a cancel flag set
// by another thread, and a time limit, stop a statement that would never end.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "textindex/text_index.h"

namespace tessaly::textindex {
namespace {

constexpr const char* kEndless =
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT count(*) FROM n";

TEST(SqliteWatch, CancelAndTimeLimitStopAnEndlessStatement) {
  const Connection db = Connection::Open(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY);
  std::atomic<bool> cancel{false};
  db.Watch(&cancel, std::chrono::milliseconds(0));
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    cancel = true;
  });
  try {
    Statement(db.get(), kEndless).Step();
    ADD_FAILURE() << "not stopped";
  } catch (const TextIndexError& error) {
    EXPECT_EQ(error.kind(), TextIndexError::Kind::kInterrupted) << error.what();
  }
  canceller.join();

  db.Watch(nullptr, std::chrono::milliseconds(50));
  try {
    Statement(db.get(), kEndless).Step();
    ADD_FAILURE() << "not stopped";
  } catch (const TextIndexError& error) {
    EXPECT_EQ(error.kind(), TextIndexError::Kind::kInterrupted) << error.what();
  }
}

}  // namespace
}  // namespace tessaly::textindex
