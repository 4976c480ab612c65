#include "driver/output_queue.h"

#include <utility>

namespace ecflux::driver {

OutputQueue::OutputQueue(std::size_t capacity) : capacity_(capacity), thread_([this] { work(); }) {}

OutputQueue::~OutputQueue() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void OutputQueue::post(Job job) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return stopped_ || jobs_.size() < capacity_; });
  if (stopped_) return;
  jobs_.push_back(std::move(job));
  changed_.notify_all();
}

void OutputQueue::drain() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return stopped_ || (jobs_.empty() && !running_job_); });
}

textio::Status OutputQueue::status() {
  std::lock_guard lock(mutex_);
  return failure_;
}

void OutputQueue::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return closing_ || stopped_ || !jobs_.empty(); });
    if (stopped_ || jobs_.empty()) return;
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    running_job_ = true;
    lock.unlock();
    changed_.notify_all();  // there is room for the next job
    textio::Status result = job();
    lock.lock();
    running_job_ = false;
    if (!result.ok()) {
      stopped_ = true;
      failure_ = std::move(result);
      jobs_.clear();
    }
    changed_.notify_all();
  }
}

}  // namespace ecflux::driver
