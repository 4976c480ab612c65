#pragma once

// The running-mean window sweep of a whole run, done fast: blocks are gathered
// into batches that share one vector register, one block per lane, and the
// windows of a batch are spread over worker threads. Every block's result for
// every window is bit-identical to sweep_running_mean_windows, whatever the
// number of threads or the instruction set.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "flux/instruction_sets.h"
#include "flux/window_sweep.h"
#include "input/configuration.h"

namespace ecflux::flux {

// The number of processors this process may run on.
int available_processors();

struct SweepOptions {
  int threads = 1;  // worker threads, at least one; the calling thread helps while it waits
  const Implementation* implementation = &best_implementation();
  // Whether the run has been asked to stop: the calling thread then stops
  // waiting and helping, between two tasks of the sweep.
  bool (*stop)() = nullptr;
};

// The options for this machine: every processor, the widest instruction set.
SweepOptions default_sweep_options();

class WindowSweeper {
 public:
  WindowSweeper(const input::BlockSizes& sizes, SweepOptions options);
  ~WindowSweeper();
  WindowSweeper(const WindowSweeper&) = delete;
  WindowSweeper& operator=(const WindowSweeper&) = delete;

  // Hands over the next block's w and temperature (N values each, copied).
  // Its sweep may run later and on other threads. The window lengths, the
  // batches and the threads are made with the first block, so that a run
  // without one spends nothing on them. Once the run is asked to stop, the
  // block may be dropped.
  void add_block(std::span<const double> w, std::span<const double> temperature);

  // Waits for the sweeps of every block added and returns the table, one row
  // per block in the order they were added; without a block, an empty table
  // (no window lengths). Nothing when the run was asked to stop first.
  std::optional<WindowFluxTable> finish();

 private:
  struct Engine;
  input::BlockSizes sizes_;
  SweepOptions options_;
  std::unique_ptr<Engine> engine_;
};

}  // namespace ecflux::flux
