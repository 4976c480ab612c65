#pragma once

// The block computations of a run on samples held in memory, writing no
// file: the same acceptance by time, conversion, quality control, block
// steps and window sweep as a run of a data file holding the same values,
// so the same bits. What the Python module's process() does.

#include <cstdint>
#include <span>
#include <vector>

#include "base/result.h"
#include "driver/run.h"
#include "driver/run_inputs.h"
#include "input/command_line.h"
#include "report/run_record.h"

namespace ecflux::driver {

struct ArrayRequest {
  // In the data file's units: the time in its unit, velocities in cm/s, the
  // temperature in °C; of one length.
  std::span<const double> time, u, v, w, temperature;
  double sample_rate = 0.0;  // fs, samples per second
  std::int32_t block_seconds = 0;
  std::int32_t window_seconds = 0;  // cut to block_seconds, as the configuration's
  double start_time = 0.0;          // > 0: earlier samples are skipped
  double end_time = 0.0;            // > 0: a later sample ends the input
  input::QualityOptions quality;
};

struct ArraySummary {
  input::BlockSizes sizes;
  DataSummary data;
  std::string time_unit;     // as judged from the samples' steps
  input::ReadCounts counts;  // samples read, skipped before the start time, accepted
};

// Processes the arrays: every complete block, warning and the window table
// go to the listener as they come. Fails with the refusal of sizes that
// cannot give a block, of data that give none, of a planar fit that cannot
// be made, or with an interruption.
base::Result<ArraySummary> process_arrays(const ArrayRequest& request, const RunListener& listener);

// The record of a run over arrays, in the form of a run's run.json: the
// options, the sizes, what the arrays gave (as the data, without a file),
// the blocks with their quality flags and the warnings. What belongs to files
// (the configuration, the data file's facts, the outputs) stays empty.
report::RunRecord array_run_record(const ArrayRequest& request, const ArraySummary& summary,
                                   std::vector<int> quality_flags,
                                   std::vector<base::Warning> warnings);

}  // namespace ecflux::driver
