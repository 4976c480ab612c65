// The random error of the flux and the spectra through the program: records
// whose variances and covariances are known, against blocks.csv and
// cospectra.csv.

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "tests/quality/quality_runs.h"
#include "tools/noise.h"

namespace ecflux {
namespace {

using quality_testing::CsvTable;
using quality_testing::FieldRecord;
using quality_testing::run_ecflux;
using quality_testing::write_field_run;
using testing::TempFolder;

constexpr double heat_per_kelvin = 1025.0 * 4008.0;  // the default medium, J/(m³ K)

// w and temperature white noise, independent of each other, whose every
// block of `block_samples` has the standard deviations `w_sd` (cm/s) and
// `t_sd` (degrees) exactly (about its mean, over its samples).
FieldRecord white_noise(std::size_t samples, std::size_t block_samples, double sample_rate,
                        double w_sd, double t_sd, std::uint64_t seed) {
  tools::Noise noise(seed);
  FieldRecord r;
  r.sample_rate = sample_rate;
  for (std::size_t i = 0; i < samples; ++i) {
    r.u.push_back(20.0 + noise.normal());
    r.v.push_back(noise.normal());
    r.w.push_back(noise.normal());
    r.temperature.push_back(noise.normal());
  }
  for (std::size_t begin = 0; begin < samples; begin += block_samples) {
    for (auto [series, sd, centre] :
         {std::tuple{&r.w, w_sd, 0.0}, std::tuple{&r.temperature, t_sd, 10.0}}) {
      const auto first = series->begin() + static_cast<std::ptrdiff_t>(begin);
      const auto last = first + static_cast<std::ptrdiff_t>(block_samples);
      double sum = 0.0, squares = 0.0;
      for (auto x = first; x != last; ++x) sum += *x;
      const double mean = sum / static_cast<double>(block_samples);
      for (auto x = first; x != last; ++x) squares += (*x - mean) * (*x - mean);
      const double scale = sd / std::sqrt(squares / static_cast<double>(block_samples));
      for (auto x = first; x != last; ++x) *x = centre + (*x - mean) * scale;
    }
  }
  return r;
}

TEST(RandomError, WhiteNoiseGivesTheProductOfTheDeviationsOverTheRootOfTheSamples) {
  struct Case {
    double sample_rate;
    int block_seconds;
    double lag_seconds;  // the integration range: 200 s, at most a tenth of the block
  };
  for (const Case c : {Case{4.0, 3600, 200.0}, Case{10.0, 600, 60.0}}) {
    SCOPED_TRACE("block of " + std::to_string(c.block_seconds) + " s");
    const auto n =
        static_cast<std::size_t>(c.sample_rate) * static_cast<std::size_t>(c.block_seconds);
    const double w_sd = 2.0, t_sd = 0.01;
    TempFolder folder;
    write_field_run(folder, white_noise(3 * n, n, c.sample_rate, w_sd, t_sd, 31), c.block_seconds);
    const testing::ProcessResult run = run_ecflux(folder.path(), {"--csv", "--uncertainty"});
    ASSERT_EQ(run.exit_status, 0) << run.standard_error;
    const CsvTable blocks(folder / "blocks.csv");
    ASSERT_EQ(blocks.rows(), 3u);

    const auto samples = static_cast<double>(n);
    const double lags = c.lag_seconds * c.sample_rate;
    const double expected = (w_sd / 100.0) * t_sd / std::sqrt(samples) * heat_per_kelvin;
    // Four standard deviations of the estimate, whose variances at lag 0
    // are exact here: the noise of the products at the other 2m lags, and
    // the two degrees of freedom that the lines take.
    const double tolerance = 4.0 * 0.5 * std::sqrt(8.0 * lags) / samples + 2.0 / samples;
    // The running mean takes about 1 / W from each variance and gives it
    // back in the covariances of lags shorter than the window (W = 30 s).
    const double window = 30.0 * c.sample_rate;
    for (std::size_t block = 0; block < 3; ++block) {
      SCOPED_TRACE("block " + std::to_string(block + 1));
      EXPECT_EQ(blocks.number(block, "random_error_lag_s"), c.lag_seconds);
      EXPECT_NEAR(blocks.number(block, "flux_linear_random_error_W_m2"), expected,
                  tolerance * expected);
      EXPECT_NEAR(blocks.number(block, "flux_run_random_error_W_m2"), expected,
                  (tolerance + 1.0 / window) * expected);
    }
  }
}

constexpr double fs = 10.0;
constexpr std::size_t block_samples = 6000;  // 600 s at 10 Hz

// Both blocks carry their flux in eddies of a tenth of a second; block 2
// carries a quarter of it in a wave of three cycles a block as well, longer
// than the eddies that a block of this length holds whole.
FieldRecord two_kinds_of_flux() {
  tools::Noise noise(44);
  FieldRecord r;
  r.sample_rate = fs;
  for (std::size_t i = 0; i < 2 * block_samples; ++i) {
    const double eddy = noise.normal();
    double w = 2.0 * eddy, t = 10.0 - 0.004 * eddy + 0.005 * noise.normal();
    if (i >= block_samples) {
      const double wave =
          std::sin(2.0 * std::numbers::pi * 3.0 * static_cast<double>(i) / block_samples);
      w += 1.5 * wave;
      t -= 0.00356 * wave;
    }
    r.u.push_back(20.0);
    r.v.push_back(0.0);
    r.w.push_back(w);
    r.temperature.push_back(t);
  }
  return r;
}

// The covariance of w (m/s) and temperature (K) of samples [begin, end),
// each about its least-squares line against the sample index, summed over
// the samples and divided by their number: what the spectra spread over
// frequency.
double detrended_covariance(const FieldRecord& r, std::size_t begin, std::size_t end) {
  const auto n = static_cast<double>(end - begin);
  const auto detrended = [&](auto value) {
    double sum = 0.0, products = 0.0, squares = 0.0;
    for (std::size_t i = begin; i < end; ++i) sum += value(i);
    const double middle = (n - 1.0) / 2.0;
    for (std::size_t i = begin; i < end; ++i) {
      const double x = static_cast<double>(i - begin) - middle;
      products += x * (value(i) - sum / n);
      squares += x * x;
    }
    std::vector<double> out;
    for (std::size_t i = begin; i < end; ++i) {
      const double x = static_cast<double>(i - begin) - middle;
      out.push_back(value(i) - sum / n - products / squares * x);
    }
    return out;
  };
  const std::vector<double> w = detrended([&](std::size_t i) { return r.w[i] / 100.0; });
  const std::vector<double> t = detrended([&](std::size_t i) { return r.temperature[i] + 273.15; });
  double sum = 0.0;
  for (std::size_t i = 0; i < w.size(); ++i) sum += w[i] * t[i];
  return sum / n;
}

TEST(Spectra, TheBinnedCospectrumSumsToTheCovarianceAndTheOgiveEndsAtOne) {
  const FieldRecord record = two_kinds_of_flux();
  TempFolder folder;
  write_field_run(folder, record, 600);
  const testing::ProcessResult run = run_ecflux(folder.path(), {"--csv", "--spectra"});
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;
  const CsvTable spectra(folder / "cospectra.csv");
  const CsvTable blocks(folder / "blocks.csv");
  ASSERT_EQ(blocks.rows(), 2u);

  std::map<int, double> covariance;
  std::map<int, double> frequencies;
  std::map<int, std::size_t> first_row;
  for (std::size_t row = 0; row < spectra.rows(); ++row) {
    const int block = static_cast<int>(spectra.number(row, "block"));
    const double count = spectra.number(row, "frequencies_in_bin");
    if (first_row.count(block) == 0) first_row[block] = row;
    // Each bin holds the mean of its frequencies' densities: times their
    // number and the frequency step fs / n, their share of the covariance.
    covariance[block] += spectra.number(row, "cospectrum_K_m") * count * fs / block_samples;
    frequencies[block] += count;
  }
  ASSERT_EQ(covariance.size(), 2u);
  for (const int block : {1, 2}) {
    SCOPED_TRACE("block " + std::to_string(block));
    const std::size_t begin = static_cast<std::size_t>(block - 1) * block_samples;
    const double expected = detrended_covariance(record, begin, begin + block_samples);
    EXPECT_NEAR(covariance[block], expected, 1e-9 * std::fabs(expected));
    EXPECT_EQ(frequencies[block], block_samples / 2);
    EXPECT_EQ(spectra.text(first_row[block], "ogive"), "1");
  }

  // The wave's flux sits at the lowest frequencies: the ogive has not
  // levelled off there, which alone makes the block one to use with care.
  EXPECT_EQ(blocks.column("ogive_not_levelled"), (std::vector<double>{0, 1}));
  EXPECT_LT(std::fabs(blocks.number(0, "ogive_low_frequency_share")), 0.05);
  EXPECT_NEAR(blocks.number(1, "ogive_low_frequency_share"), 0.25, 0.03);
  EXPECT_EQ(blocks.column("quality_flag"), (std::vector<double>{0, 1}));
  EXPECT_LT(blocks.number(1, "steady_state_difference_percent"), 30.0);
}

}  // namespace
}  // namespace ecflux
