#include "flux/shifted_cumulative_flux.h"

namespace ecflux::flux {

void write_shifted_cumulative_flux(const input::Block& block, std::int32_t block_samples,
                                   double sample_rate, const stats::FluctuationSeries& f,
                                   std::int32_t shift, double& shift_cum_flux,
                                   stats::SeriesRows& rows) {
  const std::int64_t n = std::int64_t{block_samples} - shift;
  for (std::int64_t i = 0; i < n; ++i) {
    const double w_fluctuation = f.w_dev_run[i];
    const double temperature_fluctuation = f.t_dev_run[i + shift];
    const double p = w_fluctuation * temperature_fluctuation;
    shift_cum_flux = p / sample_rate + shift_cum_flux;
    rows.add(block.sample_time[i], shift_cum_flux, w_fluctuation, temperature_fluctuation);
  }
}

}  // namespace ecflux::flux
