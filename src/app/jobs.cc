// ThreadJobs: a shared queue that outlives the scheduler, taken by a few
// detached threads, and its background list by one more of low priority,
// started with the first background job.
#include "app/jobs.h"

#include <sys/resource.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "base/book_error.h"

namespace tessaly::app {

std::string FormatError(const std::exception& error) {
  const auto* book = dynamic_cast<const BookError*>(&error);
  if (book == nullptr) return error.what();
  std::string text = book->Message();
  int system = 0;
  for (const BookError* step = book; step != nullptr && system == 0; step = step->Inner()) {
    system = step->SystemError();
  }
  if (system == 0) return text;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text + " (" + std::strerror(system) + ")";
}

struct JobScheduler::Outbox {
  mutable std::mutex mutex;
  Post post;
  bool open = true;
};

JobScheduler::JobScheduler() : outbox_(std::make_shared<Outbox>()) {}

JobScheduler::~JobScheduler() {
  std::lock_guard lock(outbox_->mutex);
  outbox_->open = false;
  outbox_->post = nullptr;
}

void JobScheduler::SetPost(Post post) {
  std::lock_guard lock(outbox_->mutex);
  outbox_->post = std::move(post);
}

void JobScheduler::Send(const Outbox& outbox, const CancelFlag& cancel, std::function<void()> task) {
  if (cancel->load()) return;
  std::lock_guard lock(outbox.mutex);
  if (!outbox.open || !outbox.post) return;
  outbox.post([cancel, task = std::move(task)] {
    if (!cancel->load()) task();
  });
}

void JobScheduler::Deliver(const CancelFlag& cancel, std::function<void()> task) {
  Send(*outbox_, cancel, std::move(task));
}

JobScheduler::Courier JobScheduler::CourierFor(const CancelFlag& cancel) const {
  return [outbox = outbox_, cancel](std::function<void()> task) { Send(*outbox, cancel, std::move(task)); };
}

void JobScheduler::Execute(const std::shared_ptr<Outbox>& outbox, const std::shared_ptr<Job>& job,
                           std::function<void()> done) {
  if (job->Cancelled()) return;
  job->Run();
  // The completion holds the job until it has run on the interface thread.
  Send(*outbox, job->Flag(), [job, done = std::move(done)] { done(); });
}

struct ThreadJobs::Queue {
  using Tasks = std::deque<std::function<void()>>;
  std::mutex mutex;
  std::condition_variable ready;
  Tasks tasks;
  Tasks background;
  bool backgroundServed = false;
  bool stopping = false;
};

namespace {

// The nice value of the background thread: it gets the processor when the
// window and its page views leave it.
constexpr int kBackgroundNice = 10;

// Takes the tasks of one list until the queue stops.
template <class Queue>
void Serve(const std::shared_ptr<Queue>& queue, typename Queue::Tasks& list) {
  std::unique_lock lock(queue->mutex);
  for (;;) {
    queue->ready.wait(lock, [&] { return queue->stopping || !list.empty(); });
    if (queue->stopping) return;
    std::function<void()> task = std::move(list.front());
    list.pop_front();
    lock.unlock();
    task();
    task = nullptr;
    lock.lock();
  }
}

}  // namespace

ThreadJobs::ThreadJobs(int threads) : queue_(std::make_shared<Queue>()) {
  for (int i = 0; i < threads; ++i) std::thread([queue = queue_] { Serve(queue, queue->tasks); }).detach();
}

ThreadJobs::~ThreadJobs() {
  {
    std::lock_guard lock(queue_->mutex);
    queue_->stopping = true;
    queue_->tasks.clear();
    queue_->background.clear();
  }
  queue_->ready.notify_all();
}

void ThreadJobs::Schedule(std::shared_ptr<Job> job, std::function<void()> done) {
  {
    std::lock_guard lock(queue_->mutex);
    Queue::Tasks& list = job->Background() ? queue_->background : queue_->tasks;
    if (job->Background() && !queue_->backgroundServed) {
      queue_->backgroundServed = true;
      std::thread([queue = queue_] {
        // Linux gives each thread a nice value of its own.
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kBackgroundNice);
        Serve(queue, queue->background);
      }).detach();
    }
    list.push_back([outbox = Mail(), job = std::move(job), done = std::move(done)]() mutable {
      Execute(outbox, job, std::move(done));
    });
  }
  // The threads of both lists wait on one condition.
  queue_->ready.notify_all();
}

}  // namespace tessaly::app
