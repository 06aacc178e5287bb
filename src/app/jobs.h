// Jobs: the reader's long work, off the interface thread.
//
// A job is one task with a typed result: its Run reads a book on a worker
// and keeps what it found (or the error that stopped it) in the job itself;
// then its completion runs on the interface thread with the job in hand.
// Every job belongs to an owner's CancelFlag (a book session's, a tab's):
// when the owner goes, the flag is raised, a job still waiting is skipped,
// one under way may stop early (those that can look at the flag), and no
// completion of it runs. Nothing ever waits for a job.
//
// ThreadJobs runs jobs on a few threads of its own, side by side; tests use
// a scheduler of their own that runs them when the test says.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tessaly::app {

// The message of an exception as the window shows it (a book error with
// the system's reason: "Can't open chm file: x.chm. (Permission denied)").
std::string FormatError(const std::exception& error);

// Raised once, when the owner of the jobs goes; read from any thread.
using CancelFlag = std::shared_ptr<std::atomic<bool>>;
inline CancelFlag NewCancelFlag() { return std::make_shared<std::atomic<bool>>(false); }

class Job {
 public:
  explicit Job(CancelFlag cancel) : cancel_(std::move(cancel)) {}
  virtual ~Job() = default;
  Job(const Job&) = delete;
  Job& operator=(const Job&) = delete;

  // On a worker: the work, its result kept in the job.
  virtual void Run() = 0;
  // Work that nobody waits for (indexing a library): it runs at a low
  // priority, apart from the work the window waits for.
  virtual bool Background() const { return false; }
  // Why the work failed, when it did (formatted for the window).
  const std::optional<std::string>& Error() const { return error_; }
  bool Cancelled() const { return cancel_->load(); }
  const CancelFlag& Flag() const { return cancel_; }

 protected:
  // Runs the work, keeping the message of what it threw as the error.
  template <class Work>
  void Catching(Work&& work);
  std::optional<std::string> error_;

 private:
  CancelFlag cancel_;
};

// Where jobs run. Post hands a task to the interface thread (from any
// thread); a completion runs there, after the job's Run, unless cancelled.
class JobScheduler {
 public:
  using Post = std::function<void(std::function<void()>)>;
  JobScheduler();
  // From here on nothing more reaches the interface thread.
  virtual ~JobScheduler();
  template <class J>
  void Submit(std::shared_ptr<J> job, std::function<void(J&)> done) {
    Job* plain = job.get();
    Schedule(std::move(job), [plain, done = std::move(done)] { done(static_cast<J&>(*plain)); });
  }
  // Runs a task on the interface thread while the flag is down.
  void Deliver(const CancelFlag& cancel, std::function<void()> task);
  void SetPost(Post post);
  // What a job's worker sends to the interface thread (progress) while the
  // flag is down; usable from any thread, even after the scheduler went.
  using Courier = std::function<void(std::function<void()>)>;
  Courier CourierFor(const CancelFlag& cancel) const;

 protected:
  struct Outbox;
  virtual void Schedule(std::shared_ptr<Job> job, std::function<void()> done) = 0;
  // Runs the job (unless cancelled) and delivers its completion through
  // the outbox, which a job still running after the scheduler went finds
  // closed.
  static void Execute(const std::shared_ptr<Outbox>& outbox, const std::shared_ptr<Job>& job,
                      std::function<void()> done);
  const std::shared_ptr<Outbox>& Mail() const { return outbox_; }

 private:
  static void Send(const Outbox& outbox, const CancelFlag& cancel, std::function<void()> task);
  std::shared_ptr<Outbox> outbox_;
};

// A few threads that take the jobs in turn, and one more of low priority
// that takes the background jobs in turn.
class ThreadJobs : public JobScheduler {
 public:
  explicit ThreadJobs(int threads = 4);
  // Jobs still queued are dropped; a job under way finishes on its thread,
  // which the scheduler does not wait for.
  ~ThreadJobs() override;
  ThreadJobs(const ThreadJobs&) = delete;
  ThreadJobs& operator=(const ThreadJobs&) = delete;

 protected:
  void Schedule(std::shared_ptr<Job> job, std::function<void()> done) override;

 private:
  struct Queue;
  std::shared_ptr<Queue> queue_;
};

template <class Work>
void Job::Catching(Work&& work) {
  try {
    work();
  } catch (const std::exception& error) {
    error_ = FormatError(error);
  }
}


}  // namespace tessaly::app
