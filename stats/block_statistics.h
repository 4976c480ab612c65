#pragma once

// Per-block summary statistics and the trend models that the fluctuations are
// formed about.

#include <cstdint>
#include <vector>

#include "input/block_reader.h"
#include "input/configuration.h"

namespace ecflux::stats {

struct BlockStatistics {
  double mean_time = 0.0;
  double mean_u = 0.0;  // m/s
  double mean_v = 0.0;
  double mean_w = 0.0;
  double mean_temperature = 0.0;  // K
  double wind_magnitude = 0.0;    // of the mean horizontal vector, m/s
  double wind_direction = 0.0;    // degrees
  double variance_w = 0.0;
  double variance_speed = 0.0;  // of the speed about wind_magnitude
  double variance_temperature = 0.0;
  double slope_w = 0.0;
  double intercept_w = 0.0;
  double slope_temperature = 0.0;
  float intercept_temperature = 0.0f;  // kept in single precision
  std::vector<double> running_mean_w;
  std::vector<double> running_mean_temperature;
};

// Statistics with room for the running means of N samples.
BlockStatistics make_block_statistics(std::int32_t block_samples);

// The direction towards which the mean horizontal current flows, in degrees
// clockwise from the y axis (north) towards the x axis (east), 0 to 360:
// the one-argument arctangent D of mean_u / mean_v in degrees, with an offset
// by quadrant (180 + D where mean_v < 0, 360 + D where mean_v > 0 and
// mean_u < 0), 90 or 270 for a current along the x axis. A calm block
// (both means 0) gives the arctangent of 0 / 0, not a number.
double wind_direction(double mean_u, double mean_v);

// Running means, means, magnitude and direction, then one second pass for the
// least-squares lines of w and temperature against time and the three
// variances. Appends the block's mean time to block_mean_time.
void compute_block_statistics(const input::Block& block, const input::BlockSizes& sizes,
                              BlockStatistics& statistics, std::vector<double>& block_mean_time);

}  // namespace ecflux::stats
