#pragma once

// What a run and its check both start from: the configuration as read, the
// block sizes and the open data file, after the refusals that protect the
// data.

#include <csignal>
#include <vector>

#include "driver/file_guard.h"
#include "input/block_reader.h"
#include "input/configuration.h"
#include "textio/layout.h"
#include "textio/result.h"

namespace ecflux::driver {

struct RunInputs {
  input::Configuration config;
  std::vector<textio::FieldPlace> places;  // of the configuration's values
  input::BlockSizes sizes;
  input::DataFile data;
};

// Reads the configuration, takes the run folder's lock where `lock` is given
// (a check takes none), derives the block sizes and opens the data file, then
// refuses a run that would replace an input or another output, or whose
// blocks cannot fit in memory. Nothing is written.
// With `csv` the guard covers the CSV files too.
textio::Result<RunInputs> open_run_inputs(RunLock* lock = nullptr, bool csv = false);

// How the blocks are read, with `interrupted` the flag that stops the input.
input::ReadSettings read_settings(const RunInputs& inputs,
                                  const volatile std::sig_atomic_t* interrupted = nullptr);

}  // namespace ecflux::driver
