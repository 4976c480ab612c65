#include "stats/block_statistics.h"

#include <cmath>
#include <span>

#include "stats/running_mean.h"

namespace ecflux::stats {

BlockStatistics make_block_statistics(std::int32_t block_samples) {
  BlockStatistics statistics;
  statistics.running_mean_w.resize(static_cast<std::size_t>(block_samples));
  statistics.running_mean_temperature.resize(static_cast<std::size_t>(block_samples));
  return statistics;
}

double wind_direction(double mean_u, double mean_v) {
  const double pi = std::acos(-1.0);
  // D lies in -90 ... 90 degrees: the offset turns it into the bearing of
  // the quadrant the current flows towards.
  const double d = std::atan(mean_u / mean_v) / pi * 180.0;
  if (mean_v < 0.0) return 180.0 + d;
  if (mean_v > 0.0 && mean_u < 0.0) return 360.0 + d;
  if (mean_v == 0.0 && mean_u > 0.0) return 90.0;
  if (mean_v == 0.0 && mean_u < 0.0) return 270.0;
  return d;
}

void compute_block_statistics(const input::Block& block, const input::BlockSizes& sizes,
                              BlockStatistics& s, std::vector<double>& block_mean_time) {
  const auto n = static_cast<std::size_t>(sizes.block_samples);
  running_mean(std::span(block.w).first(n), sizes.window_samples, s.running_mean_w);
  running_mean(std::span(block.temperature).first(n), sizes.window_samples,
               s.running_mean_temperature);

  const auto count = static_cast<double>(block.sample_count);
  s.mean_time = block.sum_time / count;
  s.mean_u = block.sum_u / count;
  s.mean_v = block.sum_v / count;
  s.mean_w = block.sum_w / count;
  s.mean_temperature = block.sum_temperature / count;
  s.wind_magnitude = std::sqrt(s.mean_u * s.mean_u + s.mean_v * s.mean_v);
  s.wind_direction = wind_direction(s.mean_u, s.mean_v);

  double s_tt_temp = 0.0, s_tw = 0.0, s_tt = 0.0, s_temp_temp = 0.0, s_ss = 0.0, s_ww = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double dt = block.sample_time[i] - s.mean_time;
    const double d_temp = block.temperature[i] - s.mean_temperature;
    const double dw = block.w[i] - s.mean_w;
    const double ds = block.horizontal_speed[i] - s.wind_magnitude;
    s_tt_temp += dt * d_temp;
    s_tw += dt * dw;
    s_tt += dt * dt;
    s_temp_temp += d_temp * d_temp;
    s_ss += ds * ds;
    s_ww += dw * dw;
  }
  s.slope_w = s_tw / s_tt;
  s.slope_temperature = s_tt_temp / s_tt;
  s.intercept_w = s.mean_w - s.slope_w * s.mean_time;
  s.intercept_temperature =
      static_cast<float>(s.mean_temperature - s.slope_temperature * s.mean_time);

  const double divisor = static_cast<double>(sizes.block_samples - 1);
  s.variance_temperature = s_temp_temp / divisor;
  s.variance_speed = s_ss / divisor;
  s.variance_w = s_ww / divisor;

  block_mean_time.push_back(s.mean_time);
}

}  // namespace ecflux::stats
