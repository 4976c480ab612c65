#include "qc/spectra.h"
#include "base/assert.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>

#include "qc/detrend.h"

namespace ecflux::qc {
namespace {

std::vector<std::complex<double>> spectrum_of(std::span<const double> series,
                                              RealTransform& transform) {
  std::copy(series.begin(), series.end(), transform.samples().begin());
  transform.forward();
  const std::span<const std::complex<double>> spectrum = transform.spectrum();
  return {spectrum.begin(), spectrum.end()};
}

}  // namespace

BlockSpectra block_spectra(std::span<const double> w, std::span<const double> temperature,
                           double sample_rate, RealTransform& transform) {
  ECFLUX_ASSERT(w.size() == temperature.size() && transform.length() == w.size(),
                "w, temperature and the transform are of one length");
  const std::size_t n = w.size();
  const std::size_t highest = n / 2;
  BlockSpectra s;
  s.frequency_step = sample_rate / static_cast<double>(n);

  std::vector<double> w_detrended(n), t_detrended(n);
  detrend_linear(w, w_detrended);
  detrend_linear(temperature, t_detrended);
  double sum_products = 0.0;
  for (std::size_t i = 0; i < n; ++i) sum_products += w_detrended[i] * t_detrended[i];
  s.covariance = sum_products / static_cast<double>(n);
  const std::vector<std::complex<double>> w_spectrum = spectrum_of(w_detrended, transform);
  const std::vector<std::complex<double>> t_spectrum = spectrum_of(t_detrended, transform);

  // One-sided densities: each frequency below n / 2 stands for itself and
  // its mirror above; n / 2 itself (n even) has none.
  const double density = 1.0 / (static_cast<double>(n) * static_cast<double>(n) * s.frequency_step);
  for (auto* series : {&s.frequency, &s.cospectrum, &s.power_w, &s.power_temperature, &s.ogive}) {
    series->resize(highest);
  }
  for (std::size_t k = 1; k <= highest; ++k) {
    const double sides = (2 * k == n) ? 1.0 : 2.0;
    const std::complex<double> cross = w_spectrum[k] * std::conj(t_spectrum[k]);
    s.frequency[k - 1] = static_cast<double>(k) * s.frequency_step;
    s.cospectrum[k - 1] = sides * cross.real() * density;
    s.power_w[k - 1] = sides * std::norm(w_spectrum[k]) * density;
    s.power_temperature[k - 1] = sides * std::norm(t_spectrum[k]) * density;
  }

  double cumulative = 0.0;
  for (std::size_t k = highest; k >= 1; --k) {
    cumulative += s.cospectrum[k - 1] * s.frequency_step;
    s.ogive[k - 1] = cumulative;
  }
  for (double& value : s.ogive) value /= cumulative;
  return s;
}

std::vector<SpectrumBin> bin_spectra(const BlockSpectra& s, int bins_per_decade) {
  std::vector<SpectrumBin> bins;
  const auto bin_of = [&](double f) {
    return static_cast<long>(std::floor(static_cast<double>(bins_per_decade) * std::log10(f)));
  };
  std::size_t k = 0;
  while (k < s.frequency.size()) {
    const long bin = bin_of(s.frequency[k]);
    SpectrumBin b;
    b.ogive = s.ogive[k];
    double sum_frequency = 0.0;
    for (; k < s.frequency.size() && bin_of(s.frequency[k]) == bin; ++k) {
      ++b.count;
      sum_frequency += s.frequency[k];
      b.cospectrum += s.cospectrum[k];
      b.power_w += s.power_w[k];
      b.power_temperature += s.power_temperature[k];
    }
    const auto count = static_cast<double>(b.count);
    b.frequency = sum_frequency / count;
    b.cospectrum /= count;
    b.power_w /= count;
    b.power_temperature /= count;
    bins.push_back(b);
  }
  return bins;
}

double low_frequency_share(const BlockSpectra& s) {
  const auto first_above = static_cast<std::size_t>(ogive_low_frequencies);
  if (s.ogive.size() <= first_above) return std::numeric_limits<double>::quiet_NaN();
  return 1.0 - s.ogive[first_above];
}

bool ogive_not_levelled(const BlockSpectra& s) {
  return std::fabs(low_frequency_share(s)) > ogive_low_share_limit;
}

}  // namespace ecflux::qc
