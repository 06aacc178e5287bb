#include "textindex/page_queue.h"

namespace tessaly::textindex {

void PageQueue::Push(BookPage& page) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return abandoned_ || bytes_ < kMaxBytes; });
  if (abandoned_) throw Abandoned();
  bytes_ += page.text.size();
  pages_.push_back(std::move(page));
  changed_.notify_all();
}

void PageQueue::Close(std::exception_ptr failure) {
  const std::lock_guard lock(mutex_);
  closed_ = true;
  failure_ = std::move(failure);
  changed_.notify_all();
}

std::optional<BookPage> PageQueue::Pop() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return closed_ || !pages_.empty(); });
  if (pages_.empty()) return std::nullopt;
  BookPage page = std::move(pages_.front());
  pages_.pop_front();
  bytes_ -= page.text.size();
  changed_.notify_all();
  return page;
}

std::exception_ptr PageQueue::Failure() {
  const std::lock_guard lock(mutex_);
  return failure_;
}

void PageQueue::Abandon() {
  const std::lock_guard lock(mutex_);
  abandoned_ = true;
  changed_.notify_all();
}

}  // namespace tessaly::textindex
