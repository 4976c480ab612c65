#include "flux/window_sweeper.h"
#include "base/assert.h"

#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "base/stop_signals.h"
#include "flux/aligned_doubles.h"
#include "flux/corrected_division.h"
#include "flux/sweep_kernel.h"

namespace ecflux::flux {

int available_processors() {
  cpu_set_t set;
  if (::sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

SweepOptions default_sweep_options() { return {available_processors(), &best_implementation()}; }

namespace {

// Windows per task: enough for the chunked loops to reuse the cache, few
// enough that the threads share a batch evenly.
constexpr std::int32_t windows_per_task = 96;

// Within these magnitudes (or zero) every sum, mean, deviation and product of
// a batch stays clear of underflow and overflow, where the corrected
// reciprocal is exact: sums of such values are multiples of 2^-302 and below
// 2^282, and their quotients and products stay within 2^-800 ... 2^600.
constexpr double smallest_safe = 0x1p-250;
constexpr double largest_safe = 0x1p250;

bool in_safe_range(double x) {
  const double magnitude = std::fabs(x);
  return x == 0.0 || (magnitude >= smallest_safe && magnitude <= largest_safe);
}

// The interleaved series of up to `lanes` consecutive blocks.
struct Batch {
  Batch(std::size_t samples, std::size_t lanes)
      : w(samples * lanes), temperature(samples * lanes) {}

  AlignedDoubles w;
  AlignedDoubles temperature;
  int blocks = 0;
  const Implementation* implementation = nullptr;  // the build the batch is swept with
  bool safe = true;
  std::vector<double> sums;               // per window and lane
  std::vector<double>* fluxes = nullptr;  // out: per block and window
  int tasks_left = 0;
};

struct Task {
  Batch* batch;
  std::int32_t first_window;
  std::int32_t window_count;
};

}  // namespace

struct WindowSweeper::Engine {
  Engine(const input::BlockSizes& sizes, SweepOptions options)
      : n(sizes.block_samples),
        fs(sizes.sample_rate),
        stop(options.stop),
        duration(sizes.duration()),
        implementation(*options.implementation),
        lanes(implementation.lanes),
        narrower(implementation.narrower != nullptr && implementation.narrower->supported()
                     ? implementation.narrower
                     : nullptr),
        lengths(window_sequence(sizes)),
        reciprocal_high(static_cast<std::size_t>(n) + 1),
        reciprocal_low(static_cast<std::size_t>(n) + 1) {
    for (std::int32_t c = 1; c <= n; ++c) {
      const auto [high, low] = split_reciprocal(c);
      const auto at = static_cast<std::size_t>(c);
      reciprocal_high[at] = high;
      reciprocal_low[at] = low;
    }
    const SplitReciprocal rate = split_reciprocal(fs);
    rate_high = rate.high;
    rate_low = rate.low;
    int exponent = 0;
    rate_power_of_two = std::frexp(fs, &exponent) == 0.5;

    // Two batches let the run fill one while the other is swept; a block so
    // long that two would take much memory gets one.
    const auto samples = static_cast<std::size_t>(n);
    const auto lane_count = static_cast<std::size_t>(lanes);
    const std::size_t batch_bytes = samples * lane_count * 2 * sizeof(double);
    const int batch_count = batch_bytes <= (std::size_t{64} << 20) ? 2 : 1;
    for (int i = 0; i < batch_count; ++i) {
      batches.push_back(std::make_unique<Batch>(samples, lane_count));
      idle.push_back(batches.back().get());
    }
    // A thread that cannot be started (a process or memory limit) leaves the
    // work to the others, and at least to the calling thread, which runs
    // tasks whenever it waits: the results do not depend on how many there
    // are.
    const int threads = std::max(1, options.threads);
    try {
      const base::StopSignalsHeldBack for_the_main_thread;
      for (int i = 0; i < threads; ++i) workers.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
    }
  }

  // Sweeps not yet started are dropped: a run that ends early needs none.
  ~Engine() {
    {
      std::lock_guard lock(mutex);
      stopping = true;
      tasks.clear();
    }
    task_ready.notify_all();
    for (auto& worker : workers) worker.join();
  }

  void add_block(std::span<const double> w, std::span<const double> temperature) {
    if (filling == nullptr) {
      filling = take_idle_batch();
      if (filling == nullptr) return;
      filling->blocks = 0;
      filling->safe = true;
    }
    const int lane = filling->blocks;
    double* w_out = filling->w.data() + lane;
    double* t_out = filling->temperature.data() + lane;
    bool safe = filling->safe;
    const auto samples = static_cast<std::size_t>(n);
    const auto stride = static_cast<std::size_t>(lanes);
    for (std::size_t k = 0; k < samples; ++k) {
      w_out[k * stride] = w[k];
      t_out[k * stride] = temperature[k];
      safe = safe && in_safe_range(w[k]) && in_safe_range(temperature[k]);
    }
    filling->safe = safe;
    ++filling->blocks;
    ++blocks_added;
    if (filling->blocks == lanes) submit_filling();
  }

  std::optional<WindowFluxTable> finish() {
    if (filling != nullptr) submit_filling();
    // The calling thread helps until nothing is left to do.
    while (!stop_requested() && run_one_task(/*wait=*/false)) {
    }
    {
      std::unique_lock lock(mutex);
      if (!wait_unless_stopped(lock, [this] { return batches_in_flight == 0; })) {
        return std::nullopt;
      }
    }
    WindowFluxTable table;
    table.window_length = lengths;
    table.window_flux.reserve(blocks_added * lengths.size());
    for (const auto& fluxes : batch_fluxes) {
      table.window_flux.insert(table.window_flux.end(), fluxes.begin(), fluxes.end());
    }
    batch_fluxes.clear();
    return table;
  }

  void submit_filling() {
    Batch* batch = filling;
    filling = nullptr;
    batch->implementation = &implementation;
    // A batch of the last few blocks costs as much as a full one; one that
    // fits the narrower build's registers goes through its loops instead, its
    // rows moved together in place (row k moves to an earlier place than any
    // row after it reads from).
    if (narrower != nullptr && batch->blocks <= narrower->lanes) {
      const auto narrow = static_cast<std::size_t>(narrower->lanes);
      const auto wide = static_cast<std::size_t>(lanes);
      for (double* series : {batch->w.data(), batch->temperature.data()}) {
        for (std::size_t k = 0; k < static_cast<std::size_t>(n); ++k) {
          for (std::size_t lane = 0; lane < narrow; ++lane) {
            series[k * narrow + lane] = series[k * wide + lane];
          }
        }
      }
      batch->implementation = narrower;
    }
    // The unused lanes of a partial batch hold zeros: any values would do, and
    // zeros keep the batch on the corrected division.
    const auto width = static_cast<std::size_t>(batch->implementation->lanes);
    for (std::size_t lane = static_cast<std::size_t>(batch->blocks); lane < width; ++lane) {
      for (std::size_t k = 0; k < static_cast<std::size_t>(n); ++k) {
        batch->w.data()[k * width + lane] = 0.0;
        batch->temperature.data()[k * width + lane] = 0.0;
      }
    }
    const auto windows = static_cast<std::int32_t>(lengths.size());
    batch->sums.assign(lengths.size() * width, 0.0);
    batch->fluxes =
        &batch_fluxes.emplace_back(static_cast<std::size_t>(batch->blocks) * lengths.size());
    {
      std::lock_guard lock(mutex);
      batch->tasks_left = (windows + windows_per_task - 1) / windows_per_task;
      for (std::int32_t first = 0; first < windows; first += windows_per_task) {
        tasks.push_back({batch, first, std::min(windows_per_task, windows - first)});
      }
      ++batches_in_flight;
    }
    task_ready.notify_all();
  }

  // An idle batch; while there is none, the calling thread sweeps. Nothing
  // once the run is asked to stop.
  Batch* take_idle_batch() {
    for (;;) {
      {
        std::unique_lock lock(mutex);
        if (!idle.empty()) {
          Batch* batch = idle.front();
          idle.pop_front();
          return batch;
        }
      }
      if (stop_requested()) return nullptr;
      if (!run_one_task(/*wait=*/false)) {
        std::unique_lock lock(mutex);
        if (!wait_unless_stopped(lock, [this] { return !idle.empty(); })) return nullptr;
      }
    }
  }

  bool stop_requested() const { return stop != nullptr && stop(); }

  // Waits on batch_done until `done` holds, looking for a stop between
  // short waits; false when the run was asked to stop first.
  template <class Done>
  bool wait_unless_stopped(std::unique_lock<std::mutex>& lock, Done done) {
    if (stop == nullptr) {
      batch_done.wait(lock, done);
      return true;
    }
    while (!done()) {
      if (stop()) return false;
      batch_done.wait_for(lock, std::chrono::milliseconds(50));
    }
    return true;
  }

  void work() {
    while (run_one_task(/*wait=*/true)) {
    }
  }

  // Runs one queued task; with `wait`, waits for one unless stopping. False
  // when there was none to run.
  bool run_one_task(bool wait) {
    Task task;
    {
      std::unique_lock lock(mutex);
      if (wait) task_ready.wait(lock, [this] { return stopping || !tasks.empty(); });
      if (tasks.empty()) return false;
      task = tasks.front();
      tasks.pop_front();
    }
    run_task(task);
    return true;
  }

  void run_task(const Task& task) {
    Batch& batch = *task.batch;
    const auto batch_lanes = static_cast<std::size_t>(batch.implementation->lanes);
    // Three registers per window of the task, aligned for the vector loads,
    // on the stack of whichever thread runs the task: a worker takes no
    // memory that could run out.
    ECFLUX_ASSERT(task.window_count <= windows_per_task && batch_lanes <= avx512_lanes,
                  "a task fits the registers on the stack");
    alignas(64) double state[windows_per_task * 3 * avx512_lanes];

    SweepTask kernel_task{};
    kernel_task.w = batch.w.data();
    kernel_task.temperature = batch.temperature.data();
    kernel_task.block_samples = n;
    kernel_task.window_length = lengths.data() + task.first_window;
    kernel_task.window_count = task.window_count;
    kernel_task.reciprocal_high = reciprocal_high.data();
    kernel_task.reciprocal_low = reciprocal_low.data();
    kernel_task.sample_rate = fs;
    kernel_task.sample_rate_reciprocal_high = rate_high;
    kernel_task.sample_rate_reciprocal_low = rate_low;
    kernel_task.sample_rate_power_of_two = rate_power_of_two;
    kernel_task.exact_division = !batch.safe;
    kernel_task.state = state;
    kernel_task.sums =
        batch.sums.data() + static_cast<std::size_t>(task.first_window) * batch_lanes;
    batch.implementation->kernel(kernel_task);

    bool batch_finished;
    {
      std::lock_guard lock(mutex);
      batch_finished = --batch.tasks_left == 0;
    }
    if (batch_finished) finish_batch(batch);
  }

  // The fluxes of the batch's blocks, in the table rows of those blocks; then
  // the batch is free for the next blocks.
  void finish_batch(Batch& batch) {
    const std::size_t windows = lengths.size();
    const auto batch_lanes = static_cast<std::size_t>(batch.implementation->lanes);
    for (std::size_t lane = 0; lane < static_cast<std::size_t>(batch.blocks); ++lane) {
      double* row = batch.fluxes->data() + lane * windows;
      for (std::size_t k = 0; k < windows; ++k) {
        row[k] = batch.sums[k * batch_lanes + lane] / duration * base::seconds_per_day;
      }
    }
    {
      std::lock_guard lock(mutex);
      idle.push_back(&batch);
      --batches_in_flight;
    }
    batch_done.notify_all();
  }

  const std::int32_t n;
  const double fs;
  bool (*const stop)();
  const double duration;  // of a block, seconds
  const Implementation& implementation;
  const int lanes;                       // of the batches as they are filled
  const Implementation* const narrower;  // for batches that fit its registers
  const std::vector<std::int32_t> lengths;
  std::vector<double> reciprocal_high;
  std::vector<double> reciprocal_low;
  double rate_high = 0.0;
  double rate_low = 0.0;
  bool rate_power_of_two = false;

  std::vector<std::unique_ptr<Batch>> batches;
  Batch* filling = nullptr;  // touched by the calling thread only
  std::size_t blocks_added = 0;
  // One entry per submitted batch, added by the calling thread; a deque keeps
  // the entries in place while workers fill them.
  std::deque<std::vector<double>> batch_fluxes;

  std::mutex mutex;
  std::condition_variable task_ready;
  std::condition_variable batch_done;
  std::deque<Task> tasks;
  std::deque<Batch*> idle;
  int batches_in_flight = 0;
  bool stopping = false;
  std::vector<std::thread> workers;
};

WindowSweeper::WindowSweeper(const input::BlockSizes& sizes, SweepOptions options)
    : sizes_(sizes), options_(options) {}

WindowSweeper::~WindowSweeper() = default;

void WindowSweeper::add_block(std::span<const double> w, std::span<const double> temperature) {
  if (!engine_) engine_ = std::make_unique<Engine>(sizes_, options_);
  engine_->add_block(w, temperature);
}

std::optional<WindowFluxTable> WindowSweeper::finish() {
  if (!engine_) return WindowFluxTable{};
  return engine_->finish();
}

}  // namespace ecflux::flux
