#include "qc/random_error.h"
#include "base/assert.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "qc/detrend.h"

namespace ecflux::qc {
namespace {

// The transform of `series` detrended and padded with zeros to the
// transform's length.
std::vector<std::complex<double>> padded_spectrum(std::span<const double> series,
                                                  RealTransform& transform) {
  const std::span<double> samples = transform.samples();
  detrend_linear(series, samples.first(series.size()));
  std::fill(samples.begin() + static_cast<std::ptrdiff_t>(series.size()), samples.end(), 0.0);
  transform.forward();
  const std::span<const std::complex<double>> spectrum = transform.spectrum();
  return {spectrum.begin(), spectrum.end()};
}

// sum over t of x(t) y(t + p) for every lag p (negative lags at length + p)
// from the two spectra: the backward transform of conj(X) Y over the length.
std::span<const double> correlation(std::span<const std::complex<double>> x,
                                    std::span<const std::complex<double>> y,
                                    RealTransform& transform) {
  const std::span<std::complex<double>> product = transform.spectrum();
  for (std::size_t k = 0; k < product.size(); ++k) product[k] = std::conj(x[k]) * y[k];
  transform.backward();
  return transform.samples();
}

}  // namespace

std::int64_t integration_lags(std::int64_t samples, double sample_rate, double seconds) {
  const auto range = static_cast<std::int64_t>(seconds * sample_rate);
  return std::min(range, samples / 10);
}

std::size_t correlation_transform_length(std::int64_t samples, std::int64_t lags) {
  return fast_transform_length(static_cast<std::size_t>(samples + lags));
}

RandomError random_error(std::span<const double> w, std::span<const double> temperature,
                         std::int64_t lags, RealTransform& transform) {
  ECFLUX_ASSERT(w.size() == temperature.size(), "w and temperature are of one length");
  const std::size_t n = w.size();
  const auto m = static_cast<std::size_t>(lags);
  const std::size_t length = transform.length();
  ECFLUX_ASSERT(lags >= 0 && m < n && length >= n + m, "the lags fit the block and the transform");

  const std::vector<std::complex<double>> w_spectrum = padded_spectrum(w, transform);
  const std::vector<std::complex<double>> t_spectrum = padded_spectrum(temperature, transform);

  // Each covariance is its sum of products divided by n; the transform adds
  // the factor length.
  const double scale = 1.0 / (static_cast<double>(length) * static_cast<double>(n));
  std::vector<double> auto_w(m + 1), products(m + 1);
  std::span<const double> c = correlation(w_spectrum, w_spectrum, transform);
  for (std::size_t p = 0; p <= m; ++p) auto_w[p] = c[p] * scale;
  c = correlation(t_spectrum, t_spectrum, transform);
  for (std::size_t p = 0; p <= m; ++p) products[p] = auto_w[p] * (c[p] * scale);
  // g_wT(p) g_Tw(p) = g_wT(p) g_wT(-p): the same for p and -p.
  c = correlation(w_spectrum, t_spectrum, transform);
  products[0] += (c[0] * scale) * (c[0] * scale);
  for (std::size_t p = 1; p <= m; ++p) {
    products[p] += (c[p] * scale) * (c[length - p] * scale);
  }

  // Lags 1 ... m stand for -m ... -1 as well: every term is even in p.
  double sum = 0.0;
  for (std::size_t p = m; p >= 1; --p) sum += products[p];
  const double variance = (products[0] + 2.0 * sum) / static_cast<double>(n);
  return {variance, std::sqrt(variance), lags};
}

}  // namespace ecflux::qc
