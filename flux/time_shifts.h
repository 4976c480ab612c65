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
  std::int32_t shift_index_lin_min = 0;  // the delays in samples
  std::int32_t shift_index_run_min = 0;
  std::int32_t shift_index_lin_max = 0;
  std::int32_t shift_index_run_max = 0;
  std::int32_t last_shift = 0;  // the largest delay searched, samples
};

// A flux corrected for the delay between the sensors as covariance
// maximisation does: of the two extremes of the delay search, the one of
// larger magnitude (the smallest on a tie), with its delay. A delay at the
// far edge of the searched range is suspect: the covariance may peak beyond.
struct DelayCorrectedFlux {
  double flux = 0.0;   // W/m²
  double delay = 0.0;  // seconds, 0 or negative, as the results file writes delays
  bool at_edge = false;
};
DelayCorrectedFlux delay_corrected_linear(const ShiftSearch& search);
DelayCorrectedFlux delay_corrected_running(const ShiftSearch& search);

// Starts from the zero-shift fluxes, computes the linear and running-mean
// fluxes for shifts 1 ... M (a shift without overlapping pairs is skipped and
// takes no part), then finds the minima and afterwards the maxima with strict
// comparisons, so that among equal values the smallest shift wins.
ShiftSearch search_time_shifts(const stats::FluctuationSeries& series,
                               const input::BlockSizes& sizes,
                               const stats::ZeroShiftFluxes& zero_shift, ShiftTables& tables,
                               const stats::Medium& medium = {});

}  // namespace ecflux::flux
