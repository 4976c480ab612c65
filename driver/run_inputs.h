#pragma once

// What a run and its check both start from: the configuration as read, the
// block sizes and the open data file, after the refusals that protect the
// data.

#include <string>
#include <vector>

#include "input/block_reader.h"
#include "input/configuration.h"
#include "report/output_guard.h"
#include "textio/layout.h"
#include "textio/result.h"

namespace ecflux::driver {

struct RunInputs {
  input::Configuration config;
  std::vector<textio::FieldPlace> places;  // of the configuration's values
  input::BlockSizes sizes;
  input::DataFile data;
};

// Reads the configuration, derives the block sizes and opens the data file,
// then refuses a run that would replace an input or another output, or whose
// blocks cannot fit in memory. Nothing is written.
textio::Result<RunInputs> open_run_inputs();

// Staged files of a run that did not complete (killed, or a power cut): in
// the run folder, and beside the targets of outputs that are links to other
// folders. Only while the run folder's lock is held are they certainly not
// being written.
std::vector<std::string> leftover_staged_files(const input::Configuration& config);

// The names of the run's files, for the guard.
report::RunFileNames run_file_names(const input::Configuration& config);

// How the blocks are read.
input::ReadSettings read_settings(const RunInputs& inputs);

}  // namespace ecflux::driver
