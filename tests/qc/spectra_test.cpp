#include "qc/spectra.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "tests/qc/synthetic_records.h"
#include "tools/noise.h"

namespace ecflux::qc {
namespace {

using testing::sample_rate;

BlockSpectra spectra_of(const std::vector<double>& w, const std::vector<double>& temperature) {
  RealTransform transform(w.size());
  return block_spectra(w, temperature, sample_rate, transform);
}

// The sum over n of the products of the series about their least-squares
// lines, fitted here with long doubles.
long double detrended_covariance(const std::vector<double>& x, const std::vector<double>& y) {
  const auto about_line = [](const std::vector<double>& s) {
    const auto n = static_cast<long double>(s.size());
    long double st = 0, ss = 0, stt = 0, sts = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
      const auto t = static_cast<long double>(i);
      st += t;
      ss += s[i];
      stt += t * t;
      sts += t * s[i];
    }
    const long double slope = (n * sts - st * ss) / (n * stt - st * st);
    std::vector<long double> out(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
      out[i] = s[i] - ((ss - slope * st) / n + slope * static_cast<long double>(i));
    }
    return out;
  };
  const std::vector<long double> a = about_line(x), b = about_line(y);
  long double sum = 0;
  for (std::size_t i = 0; i < a.size(); ++i) sum += a[i] * b[i];
  return sum / static_cast<long double>(a.size());
}

double integral(const std::vector<double>& density, double step) {
  double sum = 0.0;
  for (const double value : density) sum += value * step;
  return sum;
}

TEST(Spectra, TheCospectrumIntegratesToTheCovariance) {
  // Even blocks have a frequency n / 2 of their own; odd blocks do not.
  for (const std::size_t n : {std::size_t{14400}, std::size_t{1001}}) {
    SCOPED_TRACE(n);
    const testing::Record r = testing::turbulent_record(n, 12);
    const BlockSpectra s = spectra_of(r.w, r.temperature);
    ASSERT_EQ(s.frequency.size(), n / 2);
    EXPECT_DOUBLE_EQ(s.frequency.front(), sample_rate / static_cast<double>(n));
    EXPECT_DOUBLE_EQ(s.frequency.back(),
                     static_cast<double>(n / 2) * sample_rate / static_cast<double>(n));

    const double covariance = static_cast<double>(detrended_covariance(r.w, r.temperature));
    EXPECT_NEAR(s.covariance, covariance, 1e-12 * std::fabs(covariance));
    EXPECT_NEAR(integral(s.cospectrum, s.frequency_step), covariance, 1e-9 * std::fabs(covariance));
    const double var_w = static_cast<double>(detrended_covariance(r.w, r.w));
    const double var_t = static_cast<double>(detrended_covariance(r.temperature, r.temperature));
    EXPECT_NEAR(integral(s.power_w, s.frequency_step), var_w, 1e-9 * var_w);
    EXPECT_NEAR(integral(s.power_temperature, s.frequency_step), var_t, 1e-9 * var_t);

    // The ogive runs from the highest frequency's share up to 1 exactly.
    EXPECT_EQ(s.ogive.front(), 1.0);
    EXPECT_NEAR(s.ogive.back(), s.cospectrum.back() * s.frequency_step / covariance, 1e-9);
    // Above frequency k: the cospectrum of the frequencies below taken away.
    const std::vector<double> below(s.cospectrum.begin(),
                                    s.cospectrum.begin() + static_cast<long>(n / 4));
    EXPECT_NEAR(s.ogive[n / 4], 1.0 - integral(below, s.frequency_step) / covariance, 1e-9);
  }
}

TEST(Spectra, AnOscillationLandsAtItsFrequency) {
  // w and temperature oscillate at 40 cycles a block, temperature a third of
  // a cycle behind: the cospectrum holds a w T cos(phase) / 2 there, the
  // quadrature part no cospectrum.
  constexpr std::size_t n = 4800;
  constexpr double a = 0.03, b = 0.01, phase = 2.0 * std::numbers::pi / 3.0;
  std::vector<double> w(n), t(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double angle = 2.0 * std::numbers::pi * 40.0 * static_cast<double>(i) / n;
    w[i] = a * std::cos(angle);
    t[i] = 285.0 + b * std::cos(angle - phase);
  }
  const BlockSpectra s = spectra_of(w, t);
  const std::size_t at = 39;  // k = 40
  EXPECT_DOUBLE_EQ(s.frequency[at], 40.0 * sample_rate / n);
  EXPECT_NEAR(s.cospectrum[at] * s.frequency_step, a * b * std::cos(phase) / 2.0, 1e-4 * a * b);
  EXPECT_NEAR(s.power_w[at] * s.frequency_step, a * a / 2.0, 1e-4 * a * a);
  double elsewhere = 0.0;
  for (std::size_t k = 0; k < s.power_w.size(); ++k) {
    if (k != at) elsewhere += s.power_w[k] * s.frequency_step;
  }
  EXPECT_LT(elsewhere, 1e-3 * a * a);
}

TEST(Spectra, LogarithmicBins) {
  constexpr std::size_t n = 14400;
  const testing::Record r = testing::turbulent_record(n, 31);
  const BlockSpectra s = spectra_of(r.w, r.temperature);
  const std::vector<SpectrumBin> bins = bin_spectra(s);

  // 1/900 Hz to 8 Hz: bins -30 to 9, ten a decade, of which -29, -28 and
  // -26 fall between the lowest frequencies, which each have a bin of their
  // own.
  EXPECT_EQ(bins.size(), 37u);
  EXPECT_EQ(bins[0].count, 1);
  EXPECT_EQ(bins[1].count, 1);
  std::int64_t frequencies = 0;
  double covariance = 0.0;
  std::size_t first = 0;
  for (std::size_t j = 0; j < bins.size(); ++j) {
    const SpectrumBin& bin = bins[j];
    const auto count = static_cast<std::size_t>(bin.count);
    const double low = s.frequency[first], high = s.frequency[first + count - 1];
    // Every frequency of the bin within one tenth of a decade.
    EXPECT_LT(high / low, std::pow(10.0, 0.1)) << j;
    EXPECT_GE(bin.frequency, low);
    EXPECT_LE(bin.frequency, high);
    if (j > 0) {
      EXPECT_GT(bin.frequency, bins[j - 1].frequency);
    }
    EXPECT_EQ(bin.ogive, s.ogive[first]);
    frequencies += bin.count;
    covariance += bin.cospectrum * static_cast<double>(bin.count) * s.frequency_step;
    first += count;
  }
  EXPECT_EQ(frequencies, static_cast<std::int64_t>(n / 2));
  EXPECT_NEAR(covariance, s.covariance, 1e-9 * std::fabs(s.covariance));

  // Bins are decade-wide with one a decade: 1/900 ... 0.01, ..., 1 ... 8.
  const std::vector<SpectrumBin> decades = bin_spectra(s, 1);
  ASSERT_EQ(decades.size(), 4u);
  EXPECT_EQ(decades[0].count, 8);           // 1 ... 8 cycles a block
  EXPECT_EQ(decades[3].count, 7200 - 899);  // 1 Hz and above
}

TEST(Spectra, AnOgiveThatDoesNotLevelOff) {
  constexpr std::size_t n = 14400;
  // Short eddies carry the flux: the ogive is level at the low end.
  const testing::Record short_eddies = testing::turbulent_record(n, 40, 0.25, 1.0);
  const BlockSpectra level = spectra_of(short_eddies.w, short_eddies.temperature);
  EXPECT_LT(std::fabs(low_frequency_share(level)), 0.05);
  EXPECT_FALSE(ogive_not_levelled(level));

  // A swell of two cycles a block carries as much flux again: half of it
  // sits at the lowest frequencies.
  testing::Record swell = short_eddies;
  const double flux = level.covariance;
  for (std::size_t i = 0; i < n; ++i) {
    const double angle = 2.0 * std::numbers::pi * 2.0 * static_cast<double>(i) / n;
    swell.w[i] += 0.01 * std::cos(angle);
    swell.temperature[i] += 2.0 * flux / 0.01 * std::cos(angle);
  }
  const BlockSpectra rising = spectra_of(swell.w, swell.temperature);
  EXPECT_NEAR(low_frequency_share(rising), 0.5, 0.05);
  EXPECT_TRUE(ogive_not_levelled(rising));

  // Too short a block for the rule: no frequency above the lowest three.
  const BlockSpectra tiny =
      spectra_of({0.1, 0.2, 0.1, 0.3, 0.2, 0.1, 0.0}, {1.0, 1.1, 1.0, 1.3, 1.2, 1.1, 1.0});
  EXPECT_TRUE(std::isnan(low_frequency_share(tiny)));
  EXPECT_FALSE(ogive_not_levelled(tiny));
}

}  // namespace
}  // namespace ecflux::qc
