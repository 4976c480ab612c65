#pragma once

// The warnings about data that are not what the run assumes: values left
// unread, uneven sampling, implausible values, times the files cannot hold,
// and a run that writes no block. The run and its check give them from here,
// each kind once, at the first line where it happens, and at the end a count
// where there were more. They change nothing in the outputs.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "input/block_reader.h"

namespace ecflux::input {

// The units that a data file's times may be given in, with their seconds.
struct TimeUnit {
  std::string_view name;  // "seconds", "minutes", "hours" or "days"
  double seconds;
};
inline constexpr TimeUnit time_units[] = {
    {"seconds", 1.0}, {"minutes", 60.0}, {"hours", 3600.0}, {"days", 86400.0}};

// How the input ended, for the warning of a run without a block.
struct InputEnd {
  BlockStatus status = BlockStatus::end_of_file;
  double ending_time = 0.0;  // past_end_time: the record's time
  std::int64_t samples = 0;  // in the block that was being filled
};

class DataWarnings {
 public:
  DataWarnings(std::string data_path, const ReadSettings& settings);

  // The warnings that block `index` (counted from 1), of `samples` samples,
  // brings for the first time. A block that the input ended before it was
  // full counts too, but its times are never written, so they bring no
  // warning of their own.
  std::vector<std::string> add_block(const Block& block, std::int64_t samples, std::int64_t index,
                                     bool complete);

  // The unit of the data file's times, judged from the typical step between
  // samples against 1/fs: "seconds", "minutes", "hours" or "days"; empty
  // before a block of two samples has been seen.
  std::string_view time_unit() const;

  // One sample interval, 1/fs, in the unit of the data file's times.
  double sample_interval() const { return sample_interval_; }

  // The seconds of one unit of the data file's times (1 before it is judged).
  double seconds_per_time_unit() const;

  // The warning of a value that is not a number, which ends the input.
  std::string unreadable_value(std::int64_t line) const;

  // At the end of the input: how many of each kind there were, where there
  // were more than one.
  std::vector<std::string> finish() const;

  // Why the input gave no complete block.
  std::string no_block_reason(const ReadCounts& counts, const InputEnd& end) const;

 private:
  std::string prefix() const;

  void judge_time_unit(const Block& block, std::int64_t samples);

  std::string path_;
  ReadSettings settings_;
  BlockChecks totals_;
  BlockChecks::First uneven_;  // time steps off 1/fs by more than half
  std::int64_t uneven_blocks_ = 0;
  std::size_t time_unit_ = 0;     // of the units known, once judged
  double sample_interval_ = 0.0;  // 0: not yet judged
};

// A whole number with commas between its thousands: 57,600.
std::string with_thousands(std::int64_t number);

}  // namespace ecflux::input
