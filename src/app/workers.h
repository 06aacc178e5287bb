// Workers: where the reader's long work runs, off the interface thread.
//
// Two kinds of work:
// - Book work (opening a book and laying out its contents, building the
//   keyword index, loading the full-text index, searching) reads a Book that
//   is read-only once open and safe from several threads; each job holds the
//   book through a shared_ptr, so a book closed meanwhile outlives the job.
//   Jobs may run side by side (a new book opens while the old one's open is
//   still running down).
// - Page work runs on one serial lane that owns the page cache and the
//   history (neither is thread-safe): every read or change of them, from
//   preparing a page to emptying the folder, is a page job, in the order the
//   reader gave them. The interface thread keeps a copy of what it needs to
//   know (the page on screen, the history's position and count), which each
//   page job hands back.
//
// Results reach the interface thread through Platform::Post. Each carries
// the generation of the book it was started for; the reader drops those of
// a book that is no longer current (closed, or replaced by another), so no
// result of an old book reaches a new one.
//
// ThreadWorkers runs the jobs on standard threads. Tests give the reader
// their own Workers that queue the jobs and run them when the test says.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace tessaly::app {

class Workers {
 public:
  virtual ~Workers() = default;
  // A book job: on some worker thread, maybe beside others.
  virtual void RunBookJob(std::function<void()> job) = 0;
  // A page job: on the page lane, after every page job given before it.
  virtual void RunPageJob(std::function<void()> job) = 0;
  // Returns once every page job given so far has run (the reader closes:
  // the lane's files are removed after this).
  virtual void FinishPageJobs() = 0;
};

class ThreadWorkers : public Workers {
 public:
  ThreadWorkers();
  // Waits for every job under way; queued page jobs still run.
  ~ThreadWorkers() override;
  ThreadWorkers(const ThreadWorkers&) = delete;
  ThreadWorkers& operator=(const ThreadWorkers&) = delete;

  void RunBookJob(std::function<void()> job) override;
  void RunPageJob(std::function<void()> job) override;
  void FinishPageJobs() override;

 private:
  struct BookThread {
    std::thread thread;
    bool done = false;
  };
  void PageLane();
  void JoinFinishedBookThreads();

  std::mutex mutex_;
  std::condition_variable pageReady_;
  std::condition_variable pageIdle_;
  std::deque<std::function<void()>> pageJobs_;
  bool pageRunning_ = false;
  bool stopping_ = false;
  std::list<BookThread> bookThreads_;  // guarded by mutex_
  std::thread pageThread_;
};

}  // namespace tessaly::app
