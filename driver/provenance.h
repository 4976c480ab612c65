#pragma once

// The record of a run (run.json), filled as the run goes: what it was asked
// to do, what it read, what it found and when.

#include <chrono>
#include <string>
#include <string_view>

#include "driver/run_inputs.h"
#include "input/command_line.h"
#include "input/data_warnings.h"
#include "report/run_record.h"

namespace ecflux::driver {

// The time now, as run.json records the start and the end of a run.
std::string now_utc();

// The options of quality control as run.json records them.
report::RecordedQuality recorded_quality(const input::QualityOptions& quality);

// How the input ended, as run.json names it: "end_of_file", "past_end_time"
// or "unreadable_record".
std::string_view input_end_name(input::BlockStatus status);

class Provenance {
 public:
  // The program, its command line and options, the run folder and the time
  // the run starts.
  explicit Provenance(const input::CommandLine& line);

  // The configuration field by field, the block sizes and the data file.
  void record_inputs(const RunInputs& inputs);
  // The plane of the planar fit.
  void record_plane(const qc::Plane& plane);
  // What reading gave: the data read and its hash (the rest of a regular
  // file is read for it), the blocks and the warnings; and the time.
  void record_end(RunInputs& inputs, const DataSummary& summary,
                  const input::DataWarnings& warnings, std::vector<int> quality_flags,
                  std::vector<base::Warning> found);

  const report::RunRecord& record() const { return record_; }

 private:
  report::RunRecord record_;
  std::chrono::steady_clock::time_point started_;
};

}  // namespace ecflux::driver
