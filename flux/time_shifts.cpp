#include "flux/time_shifts.h"

#include <algorithm>
#include <cmath>

namespace ecflux::flux {
namespace {

// Shifts from 1 up to this one have at least one overlapping pair; 0 when no
// shift has one.
std::size_t last_overlapping_shift(const input::BlockSizes& sizes) {
  const std::int64_t last =
      std::min<std::int64_t>(max_shift(sizes.sample_rate), std::int64_t{sizes.block_samples} - 1);
  return static_cast<std::size_t>(std::max<std::int64_t>(last, 0));
}

// Shifts whose sums are formed together.
constexpr int shift_group = 8;

// The sums over i < N - s of w(i) * t(i + s) / fs, for `count` consecutive
// shifts from `first` (count = shift_group, or fewer at the end), each in
// ascending i. A group shares each w(i) and neighbouring t values, and its
// independent sums keep the vector units busy.
void shifted_sums(const double* w, const double* t, std::int64_t n, std::int64_t first, int count,
                  double fs, double* sums) {
  double group[shift_group] = {};
  std::int64_t i = 0;
  if (count == shift_group) {
    // Up to here every shift of the group has the pair (i, i + s).
    for (const std::int64_t common = n - (first + shift_group - 1); i < common; ++i) {
      const double wi = w[i];
      const double* ti = t + i + first;
      for (int q = 0; q < shift_group; ++q) group[q] += wi * ti[q] / fs;
    }
  }
  for (int q = 0; q < count; ++q) {
    for (std::int64_t j = i; j < n - (first + q); ++j) group[q] += w[j] * t[j + first + q] / fs;
    sums[q] = group[q];
  }
}

}  // namespace

std::int64_t max_shift(double sample_rate) {
  return static_cast<std::int64_t>(std::trunc(2.0 * sample_rate));
}

ShiftTables make_shift_tables(const input::BlockSizes& sizes) {
  const std::size_t size = last_overlapping_shift(sizes) + 1;
  ShiftTables tables;
  for (auto* table : {&tables.cov_sum_lin, &tables.cov_sum_run, &tables.flux_lin, &tables.flux_run,
                      &tables.shift_time}) {
    table->resize(size);
  }
  return tables;
}

ShiftSearch search_time_shifts(const stats::FluctuationSeries& f, const input::BlockSizes& sizes,
                               const stats::ZeroShiftFluxes& zero_shift, ShiftTables& tables,
                               const stats::Medium& medium) {
  const double fs = sizes.sample_rate;
  const std::int32_t block_samples = sizes.block_samples;
  const std::size_t last = last_overlapping_shift(sizes);

  for (std::size_t first = 1; first <= last; first += shift_group) {
    const int count = static_cast<int>(std::min<std::size_t>(shift_group, last - first + 1));
    const auto first_shift = static_cast<std::int64_t>(first);
    shifted_sums(f.w_dev_lin.data(), f.t_dev_lin.data(), block_samples, first_shift, count, fs,
                 &tables.cov_sum_lin[first]);
    shifted_sums(f.w_dev_run.data(), f.t_dev_run.data(), block_samples, first_shift, count, fs,
                 &tables.cov_sum_run[first]);
  }
  for (std::size_t s = 1; s <= last; ++s) {
    const auto shift = static_cast<std::int64_t>(s);
    const std::int64_t n = block_samples - shift;
    tables.shift_time[s] = -(static_cast<double>(shift) / fs);
    const double duration = static_cast<double>(n) / fs;
    tables.flux_lin[s] = stats::heat_flux(tables.cov_sum_lin[s], duration, medium);
    tables.flux_run[s] = stats::heat_flux(tables.cov_sum_run[s], duration, medium);
  }

  ShiftSearch r;
  r.last_shift = static_cast<std::int32_t>(last);
  r.flux_lin_min = r.flux_lin_max = zero_shift.flux_lin;
  r.flux_run_min = r.flux_run_max = zero_shift.flux_run;
  for (std::size_t s = 1; s <= last; ++s) {
    if (tables.flux_lin[s] < r.flux_lin_min) {
      r.flux_lin_min = tables.flux_lin[s];
      r.shift_lin_min = tables.shift_time[s];
      r.shift_index_lin_min = static_cast<std::int32_t>(s);
    }
    if (tables.flux_run[s] < r.flux_run_min) {
      r.flux_run_min = tables.flux_run[s];
      r.shift_run_min = tables.shift_time[s];
      r.shift_index_run_min = static_cast<std::int32_t>(s);
    }
  }
  for (std::size_t s = 1; s <= last; ++s) {
    if (tables.flux_lin[s] > r.flux_lin_max) {
      r.flux_lin_max = tables.flux_lin[s];
      r.shift_lin_max = tables.shift_time[s];
      r.shift_index_lin_max = static_cast<std::int32_t>(s);
    }
    if (tables.flux_run[s] > r.flux_run_max) {
      r.flux_run_max = tables.flux_run[s];
      r.shift_run_max = tables.shift_time[s];
      r.shift_index_run_max = static_cast<std::int32_t>(s);
    }
  }
  return r;
}

namespace {

DelayCorrectedFlux larger_extreme(double min, double min_delay, std::int32_t min_index, double max,
                                  double max_delay, std::int32_t max_index, std::int32_t last) {
  const bool maximum = std::fabs(max) > std::fabs(min);
  const std::int32_t index = maximum ? max_index : min_index;
  return {maximum ? max : min, maximum ? max_delay : min_delay, last > 0 && index == last};
}

}  // namespace

DelayCorrectedFlux delay_corrected_linear(const ShiftSearch& s) {
  return larger_extreme(s.flux_lin_min, s.shift_lin_min, s.shift_index_lin_min, s.flux_lin_max,
                        s.shift_lin_max, s.shift_index_lin_max, s.last_shift);
}

DelayCorrectedFlux delay_corrected_running(const ShiftSearch& s) {
  return larger_extreme(s.flux_run_min, s.shift_run_min, s.shift_index_run_min, s.flux_run_max,
                        s.shift_run_max, s.shift_index_run_max, s.last_shift);
}

}  // namespace ecflux::flux
