#include "stats/block_statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "stats/running_mean.h"

namespace ecflux::stats {
namespace {

std::vector<double> running_mean_of(const std::vector<double>& x, int window) {
  std::vector<double> mean(x.size(), -1.0);
  running_mean(x, window, mean);
  return mean;
}

TEST(RunningMean, OddAndEvenWindowsAreCutAtBothEnds) {
  EXPECT_EQ(running_mean_of({1, 2, 3, 4, 5}, 3), (std::vector<double>{1.5, 2, 3, 4, 4.5}));
  EXPECT_EQ(running_mean_of({1, 2, 3, 4, 5, 6}, 4),
            (std::vector<double>{2, 2.5, 3.5, 4.5, 5, 5.5}));
}

TEST(RunningMean, SmallestAndWholeBlockWindows) {
  const std::vector<double> x = {3, -1, 4, 1, -5, 9, 2};
  EXPECT_EQ(running_mean_of(x, 1), x);

  const auto pairs = running_mean_of(x, 2);
  for (std::size_t j = 0; j + 1 < x.size(); ++j) EXPECT_EQ(pairs[j], (x[j] + x[j + 1]) / 2) << j;
  EXPECT_EQ(pairs.back(), x.back());

  // W = N: entry j covers samples 0 ... j + N/2, cut at the end.
  const auto whole = running_mean_of(x, 7);
  EXPECT_EQ(whole[0], (3.0 - 1 + 4 + 1) / 4);
  EXPECT_EQ(whole[3], (3.0 - 1 + 4 + 1 - 5 + 9 + 2) / 7);
  EXPECT_EQ(whole[6], (1.0 - 5 + 9 + 2) / 4);
}

// Each entry must be the mean of the samples its window covers, for every
// window length; sums of small integers are exact, so equality is exact.
TEST(RunningMean, MatchesTheMeanOverEachWindowForAllWindowLengths) {
  std::vector<double> x(23);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = static_cast<double>((i * 7) % 11) - 5;
  const int n = static_cast<int>(x.size());
  for (int w = 1; w <= n; ++w) {
    const auto mean = running_mean_of(x, w);
    const int h = w / 2;
    for (int j = 0; j < n; ++j) {
      const int lo = std::max(0, j + h - w + 1);
      const int hi = std::min(n - 1, j + h);
      const double sum = std::accumulate(x.begin() + lo, x.begin() + hi + 1, 0.0);
      EXPECT_DOUBLE_EQ(mean[static_cast<std::size_t>(j)], sum / (hi - lo + 1))
          << "w=" << w << " j=" << j;
    }
  }
}

// The bearing towards which the current flows, clockwise from north (v)
// towards east (u), as the two-argument arctangent gives it, in every
// quadrant and on every axis.
TEST(WindDirection, BearingInEveryQuadrant) {
  const double pi = std::acos(-1.0);
  for (int step = 0; step < 720; ++step) {
    const double bearing = step * 0.5 + 0.25;  // never on an axis
    for (const double speed : {1e-6, 0.03, 1.0, 250.0}) {
      const double u = speed * std::sin(bearing / 180.0 * pi);
      const double v = speed * std::cos(bearing / 180.0 * pi);
      const double expected = std::fmod(std::atan2(u, v) / pi * 180.0 + 360.0, 360.0);
      EXPECT_NEAR(wind_direction(u, v), expected, 1e-9) << u << " " << v;
    }
  }
  // The four currents of one speed that the user tried.
  EXPECT_NEAR(wind_direction(1, 2), 26.565051177077990, 1e-12);
  EXPECT_NEAR(wind_direction(1, -2), 153.43494882292202, 1e-12);
  EXPECT_NEAR(wind_direction(-1, -2), 206.56505117707798, 1e-12);
  EXPECT_NEAR(wind_direction(-1, 2), 333.43494882292202, 1e-12);
  EXPECT_EQ(wind_direction(0, 2), 0);
  EXPECT_EQ(wind_direction(1, 0), 90);
  EXPECT_EQ(wind_direction(0, -1), 180);
  EXPECT_EQ(wind_direction(-1, 0), 270);
  EXPECT_TRUE(std::isnan(wind_direction(0, 0)));
}

TEST(WindDirection, ContinuousAcrossTheEastAndWestAxes) {
  EXPECT_NEAR(wind_direction(1, 1e-9), 90, 1e-6);
  EXPECT_NEAR(wind_direction(1, -1e-9), 90, 1e-6);
  EXPECT_NEAR(wind_direction(-1, -1e-9), 270, 1e-6);
  EXPECT_NEAR(wind_direction(-1, 1e-9), 270, 1e-6);
}

input::Block block_of(const std::vector<double>& time, const std::vector<double>& w,
                      const std::vector<double>& temperature, const std::vector<double>& u,
                      const std::vector<double>& v) {
  input::Block block = input::make_block(static_cast<int>(time.size()));
  for (std::size_t i = 0; i < time.size(); ++i) {
    block.sample_time[i] = time[i];
    block.w[i] = w[i];
    block.temperature[i] = temperature[i];
    block.horizontal_speed[i] = std::sqrt(u[i] * u[i] + v[i] * v[i]);
    block.sum_time += time[i];
    block.sum_u += u[i];
    block.sum_v += v[i];
    block.sum_w += w[i];
    block.sum_temperature += temperature[i];
    ++block.sample_count;
  }
  return block;
}

TEST(BlockStatistics, LinesVariancesAndMeans) {
  // w rises by 0.5 per time unit; temperature falls by 2 per time unit.
  const std::vector<double> time = {10, 11, 12, 13, 14};
  const std::vector<double> w = {1, 1.5, 2, 2.5, 3};
  const std::vector<double> temperature = {300, 298, 296, 294, 292};
  const std::vector<double> u(5, 0.5), v(5, 0.0);
  const auto block = block_of(time, w, temperature, u, v);
  auto s = make_block_statistics(5);
  std::vector<double> mean_times = {1.0};
  compute_block_statistics(block, {5, 3, 1.0}, s, mean_times);

  EXPECT_EQ(s.mean_time, 12);
  EXPECT_EQ(s.mean_w, 2);
  EXPECT_EQ(s.mean_temperature, 296);
  EXPECT_EQ(s.slope_w, 0.5);
  EXPECT_EQ(s.intercept_w, -4);
  EXPECT_EQ(s.slope_temperature, -2);
  EXPECT_EQ(s.intercept_temperature, 320.0f);
  EXPECT_EQ(s.variance_w, 2.5 / 4);
  EXPECT_EQ(s.variance_temperature, 40.0 / 4);
  // Constant wind whose sums are exact: the speed does not spread.
  EXPECT_EQ(s.wind_magnitude, 0.5);
  EXPECT_EQ(s.variance_speed, 0);
  EXPECT_EQ(s.wind_direction, 90);
  EXPECT_EQ(s.running_mean_w, (std::vector<double>{1.25, 1.5, 2, 2.5, 2.75}));
  EXPECT_EQ(mean_times, (std::vector<double>{1.0, 12.0}));
}

// The means divide by the exact count of samples: a count in single
// precision stops at 2^24 = 16,777,216, and a longer block's means would be
// too large. Some 900 MB: run with ECFLUX_SLOW_TESTS=1.
TEST(BlockStatistics, MeansOfBlocksLongerThanTwoToTheTwentyFourSamples) {
  if (std::getenv("ECFLUX_SLOW_TESTS") == nullptr) {
    GTEST_SKIP() << "a block of 16,777,219 samples; set ECFLUX_SLOW_TESTS=1 to run it";
  }
  constexpr std::int32_t n = (1 << 24) + 3;
  input::Block block = input::make_block(n);
  for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
    block.sample_time[i] = 1.0;
    block.w[i] = 0.5;
    block.temperature[i] = 280.0;
    block.horizontal_speed[i] = 0.25;
    block.sum_time += 1.0;
    block.sum_u += 0.25;
    block.sum_w += 0.5;
    block.sum_temperature += 280.0;
    ++block.sample_count;
  }
  auto s = make_block_statistics(n);
  std::vector<double> mean_times;
  compute_block_statistics(block, {n, 1, 1.0}, s, mean_times);
  EXPECT_EQ(s.mean_time, 1.0);
  EXPECT_EQ(s.mean_w, 0.5);
  EXPECT_EQ(s.mean_u, 0.25);
  EXPECT_EQ(s.mean_temperature, 280.0);
}

TEST(BlockStatistics, TurningWindSpreadsTheSpeedAboutTheShorterMeanVector) {
  const std::vector<double> time = {0, 1, 2, 3};
  const std::vector<double> zero(4, 0.0), temperature(4, 280.0);
  const auto block = block_of(time, zero, temperature, {1, 0, -1, 0}, {0, 1, 0, 1});
  auto s = make_block_statistics(4);
  std::vector<double> mean_times;
  compute_block_statistics(block, {4, 2, 1.0}, s, mean_times);
  EXPECT_EQ(s.wind_magnitude, 0.5);
  EXPECT_EQ(s.variance_speed, 4 * 0.25 / 3);
}

TEST(BlockStatistics, TemperatureInterceptIsKeptInSinglePrecision) {
  const std::vector<double> time = {1, 2, 3, 4}, w(4, 0.0), u(4, 0.1), v(4, 0.1);
  {
    const double representable = 288.1499938964844;
    const auto block = block_of(time, w, std::vector<double>(4, representable), u, v);
    auto s = make_block_statistics(4);
    std::vector<double> mean_times;
    compute_block_statistics(block, {4, 2, 1.0}, s, mean_times);
    EXPECT_EQ(s.mean_temperature, representable);
    EXPECT_EQ(s.slope_temperature, 0);
    EXPECT_EQ(static_cast<double>(s.intercept_temperature), representable);
  }
  {
    const auto block = block_of(time, w, std::vector<double>(4, 288.15), u, v);
    auto s = make_block_statistics(4);
    std::vector<double> mean_times;
    compute_block_statistics(block, {4, 2, 1.0}, s, mean_times);
    EXPECT_EQ(static_cast<double>(s.intercept_temperature), 288.1499938964844);
  }
}

}  // namespace
}  // namespace ecflux::stats
