#pragma once

// The running-mean flux of a block for a whole sequence of window lengths,
// from 2 samples up to the block length.

#include <cstdint>
#include <span>
#include <vector>

#include "base/units.h"
#include "input/block_reader.h"
#include "input/configuration.h"
#include "stats/cumulative_flux.h"

namespace ecflux::flux {

// The window lengths in samples: 2, then steps of one sample below one second,
// of a quarter second (at least one sample) from one to ten seconds, and of
// one second beyond, while the length stays below N. At least one window.
std::vector<std::int32_t> window_sequence(const input::BlockSizes& sizes);

// The window-flux table: the flux of every block for every window length of
// the sequence, one row per completed block, kept for the whole run.
struct WindowFluxTable {
  std::vector<std::int32_t> window_length;
  std::vector<double> window_flux;  // row b holds entries [b * K, (b + 1) * K)

  std::size_t window_count() const { return window_length.size(); }
  std::size_t block_count() const {
    return window_length.empty() ? 0 : window_flux.size() / window_length.size();
  }
  std::span<const double> row(std::size_t block) const {
    return std::span(window_flux).subspan(block * window_count(), window_count());
  }
};

// Working storage of one window's running means.
struct SweepScratch {
  std::vector<double> running_mean_w;
  std::vector<double> running_mean_temperature;
};

SweepScratch make_sweep_scratch(std::int32_t block_samples);

// One window's flux: the running means of w and temperature with the window,
// the sum over the block of (w - its mean) * (temperature - its mean) / fs,
// divided by the block's duration N / fs, times the seconds of a day (K·m/day).
double window_flux(const input::Block& block, const input::BlockSizes& sizes, std::int32_t window,
                   SweepScratch& scratch);

// A window flux of the table (K·m/day) as a heat flux in W/m², comparable
// with the block's other fluxes: per second, times the density and the
// specific heat.
inline double window_flux_in_watts(double flux_per_day, const stats::Medium& medium = {}) {
  return flux_per_day / base::seconds_per_day * medium.density * medium.specific_heat;
}

// Appends the block's row of the window-flux table.
void sweep_running_mean_windows(const input::Block& block, const input::BlockSizes& sizes,
                                SweepScratch& scratch, WindowFluxTable& table);

}  // namespace ecflux::flux
