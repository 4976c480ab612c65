#pragma once

// Output of the run, done in order on a thread of its own while the run goes
// on with the next block: formatting and writing the rows of a block cost as
// much as reading it. Where no thread can be started, each job runs when it
// is posted.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "base/result.h"

namespace ecflux::driver {

class OutputQueue {
 public:
  // A job writes records and gives the first failure of a file, if any; after
  // a job that failed, the queue runs no further job.
  using Job = std::function<base::Status()>;

  // At most `capacity` jobs wait at a time; post() waits for room, which
  // bounds the memory that waiting rows take.
  explicit OutputQueue(std::size_t capacity);
  // Runs the jobs still waiting, then ends the thread.
  ~OutputQueue();
  OutputQueue(const OutputQueue&) = delete;
  OutputQueue& operator=(const OutputQueue&) = delete;

  // Waits for room, unless a stop signal arrives while it waits (the output
  // thread may be blocked writing to a pipe nobody reads): then the job is
  // dropped.
  void post(Job job);
  // Waits until every job posted so far has run, or the queue has stopped.
  // False when a stop signal ended the wait first.
  bool drain();
  // Gives the jobs posted so far up to `limit` to run (the progress lines of
  // the blocks done), then drops the rest and runs no more. False when a job
  // is still running then: its thread is blocked (a pipe nobody reads), and
  // the process cannot wait for it to end.
  bool cancel(std::chrono::milliseconds limit);
  // The failure of the job that stopped the queue, once one has.
  [[nodiscard]] base::Status status();

 private:
  void work();
  base::Status run_job(const Job& job);

  const std::size_t capacity_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> jobs_;
  bool running_job_ = false;
  bool stopped_ = false;
  base::Status failure_;
  std::optional<base::Failure> memory_failure_;
  bool closing_ = false;
  std::thread thread_;
};

}  // namespace ecflux::driver
