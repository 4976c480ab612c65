#pragma once

// The heat flux with the temperature series taken 1, 2, ... samples later
// than the velocity series, up to two seconds, and its extremes.

#include <cstdint>
#include <vector>

#include "input/configuration.h"
#include "stats/cumulative_flux.h"

namespace ecflux::flux {

// M = trunc(2 fs): the largest shift in samples.
std::int64_t max_shift(double sample_rate);

// Working tables of the search, indexed by the shift in samples from 1 (entry
// 0 unused). Only shifts with at least one overlapping pair are kept, so the
// tables need min(M, N - 1) + 1 entries.
struct ShiftTables {
  std::vector<double> cov_sum_lin, cov_sum_run;
  std::vector<double> flux_lin, flux_run;
  std::vector<double> shift_time;  // -s / fs, seconds
};

ShiftTables make_shift_tables(const input::BlockSizes& sizes);

struct ShiftSearch {
  double flux_lin_min = 0.0;             // LINMIN
  double flux_run_min = 0.0;             // RUNMIN
  double flux_lin_max = 0.0;             // LINMAX
  double flux_run_max = 0.0;             // RUNMAX
  double shift_lin_min = 0.0;            // SLMIN, seconds, 0 or negative
  double shift_run_min = 0.0;            // SRMIN
  double shift_lin_max = 0.0;            // SLMAX
  double shift_run_max = 0.0;            // SRMAX
  std::int32_t shift_index_run_min = 0;  // samples
};

// Starts from the zero-shift fluxes, computes the linear and running-mean
// fluxes for shifts 1 ... M (a shift without overlapping pairs is skipped and
// takes no part), then finds the minima and afterwards the maxima with strict
// comparisons, so that among equal values the smallest shift wins.
ShiftSearch search_time_shifts(const stats::FluctuationSeries& series,
                               const input::BlockSizes& sizes,
                               const stats::ZeroShiftFluxes& zero_shift, ShiftTables& tables);

}  // namespace ecflux::flux
