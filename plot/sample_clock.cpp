#include "plot/sample_clock.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

namespace ecflux::plot {
namespace {

bool all_numbers(std::span<const double> values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

}  // namespace

std::optional<TimeUnit> judge_time_unit(std::span<const double> mean_times, double block_seconds) {
  if (mean_times.size() < 2 || !all_numbers(mean_times) || !(block_seconds > 0.0)) return {};
  std::vector<double> steps;
  for (std::size_t b = 1; b < mean_times.size(); ++b)
    steps.push_back(mean_times[b] - mean_times[b - 1]);
  // Blocks follow each other as samples do, block_seconds apart.
  const auto unit = input::nearest_time_unit(std::move(steps), 1.0 / block_seconds);
  if (!unit) return {};
  return input::time_units[*unit];
}

SampleClock::SampleClock(const input::BlockSizes& sizes, std::span<const double> mean_times,
                         std::span<const double> run_min_delays)
    : block_samples_(sizes.block_samples),
      sample_rate_(sizes.sample_rate),
      unit_(judge_time_unit(mean_times, sizes.duration())) {
  for (std::size_t b = 0; b < mean_times.size(); ++b)
    starts_.push_back(static_cast<double>(b) * sizes.duration());
  if (unit_) {
    std::vector<double> timed;
    for (const double time : mean_times) timed.push_back((time - mean_times[0]) * unit_->seconds);
    // Times so far apart that their distance in seconds is no number are not
    // a record's: the blocks follow each other then, too.
    if (all_numbers(timed)) {
      starts_ = std::move(timed);
    } else {
      unit_.reset();
    }
  }
  shifted_first_.push_back(0);
  for (const double delay : run_min_delays) {
    const double shift =
        std::isfinite(delay) ? std::max(0.0, std::round(-delay * sample_rate_)) : 0.0;
    const double rows = std::max(0.0, static_cast<double>(block_samples_) - shift);
    shifted_first_.push_back(shifted_first_.back() + static_cast<std::int64_t>(rows));
  }
}

double SampleClock::block_start(std::size_t block) const {
  if (block < starts_.size()) return starts_[block];
  // The block after the last one.
  return starts_.empty() ? 0.0
                         : starts_.back() + static_cast<double>(block_samples_) / sample_rate_;
}

double SampleClock::after_blocks(std::int64_t rows_of_blocks, std::int64_t row) const {
  return block_start(starts_.size()) + static_cast<double>(row - rows_of_blocks) / sample_rate_;
}

double SampleClock::plain_row(std::int64_t row) const {
  const std::int64_t block = row / block_samples_;
  if (static_cast<std::size_t>(block) >= starts_.size())
    return after_blocks(static_cast<std::int64_t>(starts_.size()) * block_samples_, row);
  return starts_[static_cast<std::size_t>(block)] +
         static_cast<double>(row % block_samples_) / sample_rate_;
}

double SampleClock::shifted_row(std::int64_t row) const {
  // The last block whose first row is at or before `row`.
  const auto next = std::upper_bound(shifted_first_.begin(), shifted_first_.end(), row);
  const auto block = static_cast<std::size_t>(std::distance(shifted_first_.begin(), next) - 1);
  if (block + 1 >= shifted_first_.size()) return after_blocks(shifted_first_.back(), row);
  return block_start(block) + static_cast<double>(row - shifted_first_[block]) / sample_rate_;
}

}  // namespace ecflux::plot
