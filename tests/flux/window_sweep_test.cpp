#include "flux/window_sweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

namespace ecflux::flux {
namespace {

TEST(WindowSequence, TenHertzHourTenthBlock) {
  const auto lengths = window_sequence({6000, 1, 10.0});
  ASSERT_EQ(lengths.size(), 644u);
  EXPECT_EQ(std::vector<std::int32_t>(lengths.begin(), lengths.begin() + 10),
            (std::vector<std::int32_t>{2, 3, 4, 5, 6, 7, 8, 9, 10, 12}));
  const auto at_100 = std::find(lengths.begin(), lengths.end(), 100);
  ASSERT_NE(at_100, lengths.end());
  EXPECT_EQ(at_100[1], 102);
  EXPECT_EQ(at_100[2], 112);
  EXPECT_EQ(lengths.back(), 5992);
}

TEST(WindowSequence, EightHertzShortBlock) {
  const auto lengths = window_sequence({100, 1, 8.0});
  ASSERT_EQ(lengths.size(), 46u);
  EXPECT_EQ(std::vector<std::int32_t>(lengths.begin(), lengths.begin() + 9),
            (std::vector<std::int32_t>{2, 3, 4, 5, 6, 7, 8, 10, 12}));
  EXPECT_EQ(std::vector<std::int32_t>(lengths.end() - 4, lengths.end()),
            (std::vector<std::int32_t>{80, 82, 90, 98}));
}

TEST(WindowSequence, AlwaysAtLeastOneWindowAndNeverOneOfTheBlockLength) {
  EXPECT_EQ(window_sequence({2, 1, 10.0}), (std::vector<std::int32_t>{2}));
  EXPECT_EQ(window_sequence({3, 1, 10.0}), (std::vector<std::int32_t>{2}));
  EXPECT_EQ(window_sequence({4, 1, 10.0}), (std::vector<std::int32_t>{2, 3}));
  for (const double fs : {4.0, 7.5, 16.0, 20.9, 100.0}) {
    for (const int n : {50, 577, 3000}) {
      const auto lengths = window_sequence({n, 1, fs});
      EXPECT_TRUE(std::is_sorted(lengths.begin(), lengths.end()));
      EXPECT_EQ(std::adjacent_find(lengths.begin(), lengths.end()), lengths.end());
      EXPECT_LT(lengths.back(), n);
    }
  }
}

TEST(WindowSequence, SlowSamplingStillEnds) {
  // A quarter second holds no whole sample below 4 Hz; the step is one sample.
  // 2 ... 21 by one sample, then by one second (two samples).
  const auto two_hertz = window_sequence({1200, 1, 2.0});
  EXPECT_EQ(two_hertz.size(), 609u);
  EXPECT_EQ(two_hertz[19], 21);
  EXPECT_EQ(two_hertz[20], 23);
  EXPECT_EQ(two_hertz.back(), 1199);
  const auto one_hertz = window_sequence({600, 1, 1.0});
  EXPECT_EQ(one_hertz.back(), 599);
}

TEST(WindowSequence, HourAtSixteenHertz) {
  EXPECT_EQ(window_sequence({57600, 1, 16.0}).size(), 3641u);
}

// The flux of one window computed from the definition: means over the cut
// windows, deviations, products divided by fs, summed in sample order. With
// small whole numbers every sum is exact, so the sliding sums must agree to
// the bit.
double flux_by_definition(const std::vector<double>& w, const std::vector<double>& t, int window,
                          double fs) {
  const int n = static_cast<int>(w.size());
  const int h = window / 2;
  double sum = 0.0;
  for (int j = 0; j < n; ++j) {
    const int lo = std::max(0, j + h - window + 1);
    const int hi = std::min(n - 1, j + h);
    const double sw = std::accumulate(w.begin() + lo, w.begin() + hi + 1, 0.0);
    const double st = std::accumulate(t.begin() + lo, t.begin() + hi + 1, 0.0);
    const double count = hi - lo + 1;
    const auto at = static_cast<std::size_t>(j);
    sum += (w[at] - sw / count) * (t[at] - st / count) / fs;
  }
  return sum / (n / fs) * 86400.0;
}

TEST(WindowSweep, EveryWindowMatchesTheDefinition) {
  const int n = 61;
  const double fs = 4.0;
  input::Block block = input::make_block(n);
  for (int i = 0; i < n; ++i) {
    const auto at = static_cast<std::size_t>(i);
    block.w[at] = static_cast<double>((i * 5) % 9) - 4.0;
    block.temperature[at] = 280.0 + static_cast<double>((i * 3 + i / 7) % 5);
  }
  auto scratch = make_sweep_scratch(n);
  for (int window = 1; window <= n; ++window) {
    EXPECT_EQ(window_flux(block, {n, 1, fs}, window, scratch),
              flux_by_definition(block.w, block.temperature, window, fs))
        << window;
  }
}

TEST(WindowSweep, EachBlockAddsItsOwnRow) {
  const int n = 40;
  const double fs = 4.0;
  WindowFluxTable table;
  table.window_length = window_sequence({n, 1, fs});
  auto scratch = make_sweep_scratch(n);
  input::Block block = input::make_block(n);
  for (int i = 0; i < n; ++i) {
    const auto at = static_cast<std::size_t>(i);
    block.w[at] = (i % 3) * 0.1;
    block.temperature[at] = 280.0 + (i % 4) * 0.01;
  }
  sweep_running_mean_windows(block, {n, 1, fs}, scratch, table);
  const std::vector<double> first(table.row(0).begin(), table.row(0).end());
  for (double& w : block.w) w = 0.5;
  sweep_running_mean_windows(block, {n, 1, fs}, scratch, table);
  ASSERT_EQ(table.block_count(), 2u);
  EXPECT_EQ(std::vector<double>(table.row(0).begin(), table.row(0).end()), first);
  for (const double flux : table.row(1)) EXPECT_EQ(flux, 0.0);
  EXPECT_EQ(table.window_count(), table.window_length.size());
}

}  // namespace
}  // namespace ecflux::flux
