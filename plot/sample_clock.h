#pragma once

// Time since the first sample for the rows of the cumulative-flux files,
// for runs whose TIME does not fit its field there (times of 1000 and more).
// Every complete block holds N consecutive samples 1/fs apart, so a row's
// place follows from its row number: its block and its sample in the block.
//
// Where each block starts is taken from the blocks' mean times: block b
// starts (t_b - t_0) seconds after the first, which also shows a gap in the
// record between two blocks. That needs the unit of the data file's times,
// which the run does not know; it is judged from the spacing of the mean
// times against the block's duration N/fs. When it cannot be judged (one
// block, a time missing, spacings that fit no unit), the blocks are taken to
// follow each other without gaps, and row r of cumflux.out is at r/fs.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "input/configuration.h"
#include "input/data_warnings.h"

namespace ecflux::plot {

using input::TimeUnit;

// The unit in which consecutive mean times lie nearest to `block_seconds`
// apart (their median spacing), if one is within a factor of two; none for
// fewer than two times.
std::optional<TimeUnit> judge_time_unit(std::span<const double> mean_times, double block_seconds);

class SampleClock {
 public:
  // `mean_times`: each block's mean time in the data file's unit, NaN where
  // the file has no number; `run_min_delays`: each block's RUNMIN delay in
  // seconds, -s/fs, NaN where unknown (taken as no delay).
  SampleClock(const input::BlockSizes& sizes, std::span<const double> mean_times,
              std::span<const double> run_min_delays);

  // Seconds since the first sample of row `row` (from 0, the header not
  // counted) of cumflux.out, and of CFSHIFT.out, whose block with a delay
  // of s samples has N - s rows, one per velocity sample from the first.
  // Rows beyond the known blocks go on 1/fs apart after the last block.
  double plain_row(std::int64_t row) const;
  double shifted_row(std::int64_t row) const;

  // The unit judged from the mean times, when the blocks are placed by them.
  const std::optional<TimeUnit>& time_unit() const { return unit_; }
  double sample_rate() const { return sample_rate_; }

 private:
  double block_start(std::size_t block) const;
  double after_blocks(std::int64_t rows_of_blocks, std::int64_t row) const;

  std::int64_t block_samples_;
  double sample_rate_;
  std::optional<TimeUnit> unit_;
  std::vector<double> starts_;               // seconds after the first block's start
  std::vector<std::int64_t> shifted_first_;  // the first CFSHIFT.out row of each block, and the end
};

}  // namespace ecflux::plot
