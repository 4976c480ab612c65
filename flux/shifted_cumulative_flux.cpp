#include "flux/shifted_cumulative_flux.h"

namespace ecflux::flux {

void write_shifted_cumulative_flux(const input::Block& block, const input::BlockSizes& sizes,
                                   const stats::FluctuationSeries& f, std::int32_t shift,
                                   double& shift_cum_flux, stats::SeriesRows& rows) {
  const double sample_rate = sizes.sample_rate;
  // A shift of the whole block or more leaves no pair.
  if (shift >= sizes.block_samples) return;
  const auto offset = static_cast<std::size_t>(shift);
  const std::size_t n = static_cast<std::size_t>(sizes.block_samples) - offset;
  for (std::size_t i = 0; i < n; ++i) {
    const double w_fluctuation = f.w_dev_run[i];
    const double temperature_fluctuation = f.t_dev_run[i + offset];
    const double p = w_fluctuation * temperature_fluctuation;
    shift_cum_flux = p / sample_rate + shift_cum_flux;
    rows.add(block.sample_time[i], shift_cum_flux, w_fluctuation, temperature_fluctuation);
  }
}

}  // namespace ecflux::flux
