#include "stats/cumulative_flux.h"

#include "textio/fields.h"

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

void write_series_rows(textio::OutputFile& file, const SeriesRows& rows) {
  constexpr int width = 12;
  constexpr int decimals = 8;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    char* p = file.begin_record(5 * (1 + width));
    const double w = rows.w_fluctuation[i];
    const double temperature = rows.temperature_fluctuation[i];
    for (const double value : {rows.time[i], rows.cumulative[i], w * temperature, w, temperature}) {
      p = textio::put_blanks(p, 1);
      p = textio::put_real(p, value, width, decimals);
    }
    file.end_record(p);
  }
}

ZeroShiftFluxes build_cumulative_flux(const input::Block& block, std::int32_t block_samples,
                                      double sample_rate, const BlockStatistics& s,
                                      FluctuationSeries& f, double& cumulative_flux,
                                      SeriesRows& rows) {
  const double fs = sample_rate;
  const double intercept_temperature = s.intercept_temperature;
  ZeroShiftFluxes z;
  for (std::int32_t i = 0; i < block_samples; ++i) {
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
  const double duration = block_samples / fs;
  z.flux_mean = heat_flux(z.cov_sum_mean, duration);
  z.flux_lin = heat_flux(z.cov_sum_lin, duration);
  z.flux_run = heat_flux(z.cov_sum_run, duration);
  return z;
}

}  // namespace ecflux::stats
