#include "stats/block_statistics.h"

#include <gtest/gtest.h>

#include <cmath>
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

TEST(WindDirection, QuadrantRules) {
  EXPECT_NEAR(wind_direction(1, 1), 45, 1e-12);
  EXPECT_NEAR(wind_direction(1, -1), 135, 1e-12);
  EXPECT_NEAR(wind_direction(2, -1), 153.43494882292202, 1e-12);
  EXPECT_NEAR(wind_direction(-1, 1), 315, 1e-12);
  EXPECT_NEAR(wind_direction(-1, -2), 243.43494882292202, 1e-12);
  EXPECT_EQ(wind_direction(-1, 0), -90);
  EXPECT_EQ(wind_direction(1, 0), 90);
  EXPECT_EQ(wind_direction(0, -1), 0);
  EXPECT_EQ(wind_direction(0, 2), 0);
}

TEST(WindDirection, JumpsAcrossTheEastAxis) {
  EXPECT_NEAR(wind_direction(1, 1e-9), 90, 1e-6);
  EXPECT_NEAR(wind_direction(1, -1e-9), 180, 1e-6);
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
    block.sample_count += 1.0f;
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
