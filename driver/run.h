#pragma once

// One whole run of a run folder, for the program and for a caller in the
// same process (the Python module), which hears the run through a listener
// instead of standard output and standard error.

#include <functional>
#include <span>
#include <string>

#include "base/result.h"
#include "base/warning.h"
#include "driver/block_pipeline.h"
#include "flux/window_sweep.h"
#include "input/command_line.h"

namespace ecflux::driver {

// What a caller in the same process hears of a run as it goes. Every member
// may be empty.
struct RunListener {
  // Each line the program would print on standard error (failures, notes
  // and, as its text, each warning), without its line end.
  std::function<void(const std::string& line)> message;
  // Each warning as a value, before its line.
  std::function<void(const base::Warning& warning)> warning;
  // Each complete block as it is done.
  std::function<void(const BlockResult& block)> block;
  // The window-flux table, the blocks' mean times and the sizes they were
  // computed with, before the files are put in place.
  std::function<void(const flux::WindowFluxTable& table, std::span<const double> mean_times,
                     const input::BlockSizes& sizes)>
      window_table;
  // The failure that ends a run that does not complete, before its lines.
  std::function<void(const base::Failure& failure)> failure;
  // The progress lines go to standard output, as the program writes them.
  bool progress_lines = true;
};

// One whole run in the run folder of the command line (the working directory
// when it names none), or with --check the check of one: the configuration,
// the data file, the block loop and the end-of-run table. Returns the process
// exit status: 0 when the input has been processed, 1 after a one-line
// message on standard error, 128 + the signal's number after an interruption.
// With a listener, the run's lines and values go to it instead of standard
// error, and the stop signals are the caller's to catch.
int run(const input::CommandLine& line, const RunListener* listener = nullptr);

}  // namespace ecflux::driver
