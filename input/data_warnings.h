#pragma once

// The warnings about data that are not what the run assumes: values left
// unread, uneven sampling, implausible values, times the files cannot hold,
// and a run that writes no block. The run and its check give them from here,
// each kind once, at the first line where it happens, and at the end a count
// where there were more. They change nothing in the outputs.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/units.h"
#include "base/warning.h"
#include "input/block_reader.h"

namespace ecflux::input {

// The units that a data file's times may be given in, with their seconds.
struct TimeUnit {
  std::string_view name;  // "seconds", "minutes", "hours" or "days"
  double seconds;
};
inline constexpr TimeUnit time_units[] = {{"seconds", 1.0},
                                          {"minutes", base::seconds_per_minute},
                                          {"hours", base::seconds_per_hour},
                                          {"days", base::seconds_per_day}};

// The unit of times whose step between two samples 1/rate seconds apart
// (rate in samples a second) is nearest the median of `steps`: its place in
// time_units, or none where no unit's step is within a factor of two.
std::optional<std::size_t> nearest_time_unit(std::vector<double> steps, double rate);

// How the input ended, for the warning of a run without a block.
struct InputEnd {
  BlockStatus status = BlockStatus::end_of_file;
  double ending_time = 0.0;  // past_end_time: the record's time
  std::int64_t samples = 0;  // in the block that was being filled
};

// What the records of one block showed, for its row of blocks.csv and its
// quality flag.
struct BlockFindings {
  std::int64_t uneven_steps = 0;        // steps further than half an interval from 1/fs
  std::int64_t implausible_values = 0;  // records with a value beyond the bounds
  std::int64_t values_unread = 0;       // lines with values after a record's seventh
  double largest_step = 0.0;            // the largest absolute step between samples, time unit
};

class DataWarnings {
 public:
  // The warnings of the data file at `data_path`; with an empty path, of
  // samples held in memory ("the arrays"), whose records are samples.
  DataWarnings(std::string data_path, const ReadSettings& settings);

  // Block `index` (counted from 1) of `samples` samples: what its records
  // showed, and in `found` the warnings it brings for the first time. Only a
  // complete block counts towards the totals of finish(); the samples among
  // which the input ended are counted apart, as the samples the run drops.
  BlockFindings add_block(const Block& block, std::int64_t samples, std::int64_t index,
                          bool complete, std::vector<base::Warning>& found);

  // The unit of the data file's times, judged from the typical step between
  // samples against 1/fs: "seconds", "minutes", "hours" or "days"; empty
  // before a block of two samples has been seen.
  std::string_view time_unit() const;

  // One sample interval, 1/fs, in the unit of the data file's times.
  double sample_interval() const { return sample_interval_; }

  // The seconds of one unit of the data file's times (1 before it is judged).
  double seconds_per_time_unit() const;

  // The warning of a value that is not a number, which ends the input.
  base::Warning unreadable_value(std::int64_t line) const;

  // At the end of the input: how many of each kind the complete blocks held,
  // where more than one, and what the samples after the last complete block,
  // which the run drops, held.
  std::vector<base::Warning> finish() const;

  // Why the input gave no complete block.
  std::string no_block_reason(const ReadCounts& counts, const InputEnd& end) const;

 private:
  void judge_time_unit(const Block& block, std::int64_t samples);
  // "the data file PATH", or "the arrays"; and what a record is called.
  std::string source() const;
  std::string record(std::int64_t line) const;
  std::string_view holds() const;
  base::Warning warning(base::WarningKind kind, std::int64_t line, std::int64_t count,
                        std::string text) const;

  std::string path_;
  ReadSettings settings_;
  // Of every block, complete or not: whether a kind has been told.
  BlockChecks seen_;
  BlockChecks::First seen_uneven_;
  // Of the complete blocks, for the totals.
  BlockChecks totals_;
  BlockChecks::First uneven_;
  std::int64_t uneven_blocks_ = 0;
  // Of the samples the input ended among.
  BlockChecks dropped_;
  BlockChecks::First dropped_uneven_;
  std::int64_t dropped_samples_ = 0;
  std::size_t time_unit_ = 0;     // of the units known, once judged
  double sample_interval_ = 0.0;  // 0: not yet judged
};

// A whole number with commas between its thousands: 57,600.
std::string with_thousands(std::int64_t number);

}  // namespace ecflux::input
