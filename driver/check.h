#pragma once

// ecflux --check: the configuration and the whole data file read as a run
// would read them, as data (for a caller in the same process) and as a
// report for a person on standard output. No file is written; the folder's
// lock is taken shared, so that a run cannot start while the check reads,
// and a check never reads what a run is writing.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "base/warning.h"
#include "input/command_line.h"
#include "input/configuration.h"
#include "qc/rotation.h"

namespace ecflux::driver {

struct CheckedField {
  std::string name;  // "sample rate"
  std::int64_t line = 0;
  std::size_t first_column = 0;
  std::size_t last_column = 0;
  std::string text;         // the field's columns as they stand
  std::string value_taken;  // as a person reads it: "10 samples a second"
};

struct CheckReport {
  std::string configuration_path;
  input::Configuration configuration;
  std::vector<CheckedField> fields;
  // What a run warns about the configuration's text.
  std::vector<base::Warning> configuration_findings;
  input::BlockSizes sizes;
  double window_before_cut = 0.0;  // trunc(window seconds x fs), before it is cut to N
  std::int64_t window_lengths = 0;
  std::int64_t largest_delay = 0;  // samples

  std::string data_path;
  std::int64_t lines_read = 0;
  std::int64_t records_read = 0;
  std::int64_t records_before_start = 0;
  std::optional<double> first_time, last_time;  // of the accepted records
  std::optional<double> median_step;            // between accepted samples
  double sample_interval = 0.0;                 // 1/fs in the judged time unit
  std::string time_unit;
  std::int64_t complete_blocks = 0;
  std::int64_t samples_left_over = 0;
  std::string input_end;  // "at the end of the file", "at line 652: ..."
  // With --rotate planar: the plane of the blocks' mean currents, when they
  // give one.
  std::optional<qc::Plane> plane;

  std::vector<base::Warning> warnings;  // every warning a run would give
  std::vector<std::string> leftovers;   // staged files of a run that did not complete
  // Why a run with the same options would not complete, when it would not:
  // a refusal before it writes, leftovers, no complete block, or with
  // --strict a warning.
  std::optional<base::Failure> verdict;
};

// The check of the run folder (the working directory) as data. Fails as a
// run would before it reads the data: another run writing there, an
// unusable configuration or data file.
base::Result<CheckReport> check_folder(const input::CommandLine& line);

// Prints the report of a check for a person; returns 0 when a run would
// complete, otherwise 1 with the reason on standard error. Unusable inputs
// give a run's own refusals and failures.
int check_run(const input::CommandLine& line);

}  // namespace ecflux::driver
