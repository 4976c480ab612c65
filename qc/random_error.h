#pragma once

// The random error of a block's flux: how much the covariance of w and
// temperature would scatter between blocks of the same turbulence, from the
// block's own auto- and cross-covariances. For fluctuations w' and T' of n
// samples, with g_xy(p) = (1/n) sum over t of x'(t) y'(t + p),
//
//   var(cov) = (1/n) sum for p = -m ... m of
//              [g_ww(p) g_TT(p) + g_wT(p) g_Tw(p)],
//
// summed over the lags of the integration range m. The covariances come
// from Fourier transforms of the zero-padded series, so a block costs
// O(n log n) whatever m is.

#include <cstdint>
#include <span>

#include "qc/fourier.h"

namespace ecflux::qc {

// The integration range, in seconds: long enough for the eddies that carry
// the flux.
inline constexpr double default_integration_seconds = 200.0;

// m = trunc(seconds x fs) lags, at most a tenth of the block (n / 10). Every
// lag beyond the eddies adds only the noise of its covariances, whose
// products do not average out where w and temperature go together: the sum
// comes out too large by about (2m / n) 2r^2 / (1 + r^2), r the correlation
// of w and temperature, so at most about 20 % at a tenth of the block.
std::int64_t integration_lags(std::int64_t samples, double sample_rate,
                              double seconds = default_integration_seconds);

// The length of the transform that random_error needs: the series padded
// with at least m zeros, so that no lag within the range wraps around.
std::size_t correlation_transform_length(std::int64_t samples, std::int64_t lags);

struct RandomError {
  double variance = 0.0;  // of the covariance, (K m/s)^2 for w in m/s and T in K
  // Its square root, K m/s: times the density and the specific heat, the
  // standard error of the heat flux. Not a number where the variance comes
  // out negative, which only lags that are far too long can make it.
  double standard_error = 0.0;
  std::int64_t lags = 0;  // m
};

// The random error of the covariance of w and temperature of one block,
// with the fluctuations taken about each series' least-squares line. The
// transform must be at least correlation_transform_length(n, lags) long;
// 0 <= lags < n.
RandomError random_error(std::span<const double> w, std::span<const double> temperature,
                         std::int64_t lags, RealTransform& transform);

}  // namespace ecflux::qc
