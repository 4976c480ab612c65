#include "flux/window_sweep.h"

#include <algorithm>
#include <cmath>

#include "stats/running_mean.h"

namespace ecflux::flux {

std::vector<std::int32_t> window_sequence(const input::BlockSizes& sizes) {
  const double fs = sizes.sample_rate;
  // Below 4 samples a second the quarter-second step would be zero and the
  // window would stop growing; one sample is the least step.
  const std::int64_t quarter_step =
      std::max<std::int64_t>(1, static_cast<std::int64_t>(std::trunc(0.25 * fs)));
  std::vector<std::int32_t> lengths;
  std::int64_t w = 2;
  do {
    lengths.push_back(static_cast<std::int32_t>(w));
    const double length = static_cast<double>(w);
    if (length > 10.0 * fs) w = static_cast<std::int64_t>(std::trunc(length + fs));
    if (fs <= static_cast<double>(w) && static_cast<double>(w) <= 10.0 * fs) w += quarter_step;
    if (static_cast<double>(w) < fs) w += 1;
  } while (w < sizes.block_samples);
  return lengths;
}

SweepScratch make_sweep_scratch(std::int32_t block_samples) {
  const auto n = static_cast<std::size_t>(block_samples);
  return {std::vector<double>(n), std::vector<double>(n)};
}

double window_flux(const input::Block& block, const input::BlockSizes& sizes, std::int32_t window,
                   SweepScratch& scratch) {
  const double sample_rate = sizes.sample_rate;
  const auto n = static_cast<std::size_t>(sizes.block_samples);
  const auto w = std::span(block.w).first(n);
  const auto temperature = std::span(block.temperature).first(n);
  stats::running_mean(w, window, scratch.running_mean_w);
  stats::running_mean(temperature, window, scratch.running_mean_temperature);
  double sum = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double dw = w[i] - scratch.running_mean_w[i];
    const double d_temperature = temperature[i] - scratch.running_mean_temperature[i];
    sum += dw * d_temperature / sample_rate;
  }
  return sum / sizes.duration() * base::seconds_per_day;
}

void sweep_running_mean_windows(const input::Block& block, const input::BlockSizes& sizes,
                                SweepScratch& scratch, WindowFluxTable& table) {
  for (const std::int32_t window : table.window_length) {
    table.window_flux.push_back(window_flux(block, sizes, window, scratch));
  }
}

}  // namespace ecflux::flux
