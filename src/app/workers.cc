// ThreadWorkers: a thread per book job, one thread for the page lane.
#include "app/workers.h"

namespace tessaly::app {

ThreadWorkers::ThreadWorkers() : pageThread_([this] { PageLane(); }) {}

ThreadWorkers::~ThreadWorkers() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  pageReady_.notify_all();
  pageThread_.join();
  // Book threads are not interrupted (a book cannot stop half way through
  // its open); their results are dropped by the reader, which is gone.
  std::list<BookThread> threads;
  {
    std::lock_guard lock(mutex_);
    threads.swap(bookThreads_);
  }
  for (BookThread& t : threads) t.thread.join();
}

void ThreadWorkers::JoinFinishedBookThreads() {
  std::list<BookThread> finished;
  {
    std::lock_guard lock(mutex_);
    for (auto it = bookThreads_.begin(); it != bookThreads_.end();) {
      auto next = std::next(it);
      if (it->done) finished.splice(finished.end(), bookThreads_, it);
      it = next;
    }
  }
  for (BookThread& t : finished) t.thread.join();
}

void ThreadWorkers::RunBookJob(std::function<void()> job) {
  JoinFinishedBookThreads();
  std::lock_guard lock(mutex_);
  BookThread& slot = bookThreads_.emplace_back();
  slot.thread = std::thread([this, &slot, job = std::move(job)] {
    job();
    std::lock_guard done(mutex_);
    slot.done = true;
  });
}

void ThreadWorkers::RunPageJob(std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    pageJobs_.push_back(std::move(job));
  }
  pageReady_.notify_one();
}

void ThreadWorkers::FinishPageJobs() {
  std::unique_lock lock(mutex_);
  pageIdle_.wait(lock, [this] { return pageJobs_.empty() && !pageRunning_; });
}

void ThreadWorkers::PageLane() {
  std::unique_lock lock(mutex_);
  for (;;) {
    pageReady_.wait(lock, [this] { return stopping_ || !pageJobs_.empty(); });
    if (pageJobs_.empty()) {
      if (stopping_) return;
      continue;
    }
    std::function<void()> job = std::move(pageJobs_.front());
    pageJobs_.pop_front();
    pageRunning_ = true;
    lock.unlock();
    job();
    job = nullptr;
    lock.lock();
    pageRunning_ = false;
    if (pageJobs_.empty()) pageIdle_.notify_all();
  }
}

}  // namespace tessaly::app
