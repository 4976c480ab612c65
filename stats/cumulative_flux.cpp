#include "stats/cumulative_flux.h"

namespace ecflux::stats {

FluctuationSeries make_fluctuation_series(std::int32_t block_samples) {
  const auto n = static_cast<std::size_t>(block_samples);
  FluctuationSeries series;
  for (auto* s : {&series.w_dev_mean, &series.t_dev_mean, &series.w_dev_lin, &series.t_dev_lin,
                  &series.w_dev_run, &series.t_dev_run}) {
    s->resize(n);
  }
  return series;
}

void SeriesRows::clear() {
  for (auto* column : {&time, &cumulative, &w_fluctuation, &temperature_fluctuation}) {
    column->clear();
  }
}

void SeriesRows::add(double row_time, double row_cumulative, double row_w, double row_temperature) {
  time.push_back(row_time);
  cumulative.push_back(row_cumulative);
  w_fluctuation.push_back(row_w);
  temperature_fluctuation.push_back(row_temperature);
}

ZeroShiftFluxes build_cumulative_flux(const input::Block& block, const input::BlockSizes& sizes,
                                      const BlockStatistics& s, FluctuationSeries& f,
                                      double& cumulative_flux, SeriesRows& rows,
                                      const Medium& medium) {
  const double fs = sizes.sample_rate;
  const auto block_samples = static_cast<std::size_t>(sizes.block_samples);
  const double intercept_temperature = s.intercept_temperature;
  ZeroShiftFluxes z;
  for (std::size_t i = 0; i < block_samples; ++i) {
    const double t = block.sample_time[i];
    f.w_dev_mean[i] = block.w[i] - s.mean_w;
    f.w_dev_lin[i] = block.w[i] - (s.slope_w * t + s.intercept_w);
    f.w_dev_run[i] = block.w[i] - s.running_mean_w[i];
    f.t_dev_mean[i] = block.temperature[i] - s.mean_temperature;
    f.t_dev_lin[i] = block.temperature[i] - (s.slope_temperature * t + intercept_temperature);
    f.t_dev_run[i] = block.temperature[i] - s.running_mean_temperature[i];

    const double p_mean = f.w_dev_mean[i] * f.t_dev_mean[i];
    const double p_lin = f.w_dev_lin[i] * f.t_dev_lin[i];
    const double p_run = f.w_dev_run[i] * f.t_dev_run[i];
    z.cov_sum_mean += p_mean / fs;
    z.cov_sum_lin += p_lin / fs;
    z.cov_sum_run += p_run / fs;
    cumulative_flux += p_run / fs;

    rows.add(t, cumulative_flux, f.w_dev_run[i], f.t_dev_run[i]);
  }
  const double duration = sizes.duration();
  z.flux_mean = heat_flux(z.cov_sum_mean, duration, medium);
  z.flux_lin = heat_flux(z.cov_sum_lin, duration, medium);
  z.flux_run = heat_flux(z.cov_sum_run, duration, medium);
  return z;
}

}  // namespace ecflux::stats
