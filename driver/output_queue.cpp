#include "driver/output_queue.h"

#include <new>
#include <system_error>
#include <utility>

#include "base/stop_signals.h"

namespace ecflux::driver {
namespace {}  // namespace

// A job that runs out of memory fails like a file, so that the run ends with
// a message instead of the output thread ending the process. The failure is
// made in advance and moved out: where memory has run out, making its text
// would fail again.
base::Status OutputQueue::run_job(const Job& job) {
  try {
    return job();
  } catch (const std::exception&) {
    // Text short enough to need no memory of its own.
    if (!memory_failure_) return base::ResourceFailure{"out of memory"};
    base::Status failure = std::move(*memory_failure_);
    memory_failure_.reset();
    return failure;
  }
}

OutputQueue::OutputQueue(std::size_t capacity)
    : capacity_(capacity),
      memory_failure_(base::ResourceFailure{"out of memory while writing the records"}) {
  try {
    const base::StopSignalsHeldBack for_the_main_thread;
    thread_ = std::thread([this] { work(); });
  } catch (const std::system_error&) {
    // Without a thread of its own (a process limit), every job runs at once
    // on the thread that posts it: the records and their order are the same.
  }
}

OutputQueue::~OutputQueue() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

namespace {

// How often a wait looks for a stop signal, which the main thread notes
// without waking it.
constexpr auto stop_check_period = std::chrono::milliseconds(50);

// Waits until `done` holds, or a stop signal arrives; false for the latter.
template <class Done>
bool wait_unless_stopped(std::condition_variable& changed, std::unique_lock<std::mutex>& lock,
                         Done done) {
  while (!done()) {
    if (base::stop_requested()) return false;
    changed.wait_for(lock, stop_check_period);
  }
  return true;
}

}  // namespace

void OutputQueue::post(Job job) {
  if (!thread_.joinable()) {
    if (!failure_.ok()) return;
    failure_ = run_job(job);
    return;
  }
  std::unique_lock lock(mutex_);
  if (!wait_unless_stopped(changed_, lock,
                           [this] { return stopped_ || jobs_.size() < capacity_; })) {
    return;
  }
  if (stopped_) return;
  jobs_.push_back(std::move(job));
  changed_.notify_all();
}

bool OutputQueue::drain() {
  std::unique_lock lock(mutex_);
  return wait_unless_stopped(changed_, lock,
                             [this] { return stopped_ || (jobs_.empty() && !running_job_); });
}

bool OutputQueue::cancel(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, limit, [this] { return stopped_ || (jobs_.empty() && !running_job_); });
  jobs_.clear();
  stopped_ = true;
  changed_.notify_all();
  return !running_job_;
}

base::Status OutputQueue::status() {
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
    base::Status result = run_job(job);
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
