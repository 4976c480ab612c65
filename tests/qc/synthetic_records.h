#pragma once

// Synthetic blocks for the quality-control tests: turbulence whose eddies
// move w, u and temperature together, so that the block has a heat flux and
// a stress that a tilted sensor mixes into its w.

#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "qc/variables.h"
#include "tools/noise.h"

namespace ecflux::qc::testing {

inline constexpr double sample_rate = 16.0;

struct Record {
  std::vector<double> u, v, w, temperature;  // m/s and K

  BlockSeries series() { return {u, v, w, temperature}; }
};

// n samples in the frame of the flow: mean current `speed` along x, mean v
// and w near zero; eddies of about `eddy_seconds` carry heat downwards (w up
// with cold water) and momentum (u' against w').
inline Record turbulent_record(std::size_t n, std::uint64_t seed, double speed = 0.25,
                               double eddy_seconds = 1.0) {
  tools::Noise noise(seed);
  Record r;
  const double memory = std::exp(-1.0 / (eddy_seconds * sample_rate));
  const double renewal = std::sqrt(1.0 - memory * memory);
  double eddy = noise.normal(), sway = noise.normal();
  for (std::size_t i = 0; i < n; ++i) {
    eddy = memory * eddy + renewal * noise.normal();
    sway = memory * sway + renewal * noise.normal();
    r.u.push_back(speed - 0.03 * eddy + 0.02 * noise.normal());
    r.v.push_back(0.025 * sway + 0.01 * noise.normal());
    r.w.push_back(0.02 * eddy + 0.008 * noise.normal());
    r.temperature.push_back(283.0 - 0.004 * eddy + 0.002 * noise.normal());
  }
  return r;
}

// The covariance of two series about their means, sum over n.
inline double covariance(std::span<const double> x, std::span<const double> y) {
  const auto n = static_cast<double>(x.size());
  double sx = 0.0, sy = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    sx += x[i];
    sy += y[i];
  }
  double sum = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) sum += (x[i] - sx / n) * (y[i] - sy / n);
  return sum / n;
}

inline double mean(std::span<const double> x) {
  double sum = 0.0;
  for (const double value : x) sum += value;
  return sum / static_cast<double>(x.size());
}

}  // namespace ecflux::qc::testing
