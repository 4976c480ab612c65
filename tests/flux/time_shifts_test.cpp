#include "flux/time_shifts.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace ecflux::flux {
namespace {

struct Search {
  stats::FluctuationSeries series;
  stats::ZeroShiftFluxes zero;
  int n;
  double fs;

  Search(int samples, double rate)
      : series(stats::make_fluctuation_series(samples)), n(samples), fs(rate) {}

  ShiftSearch run(ShiftTables& tables) {
    return search_time_shifts(series, {n, 1, fs}, zero, tables);
  }
  ShiftSearch run() {
    auto tables = make_shift_tables({n, 1, fs});
    return run(tables);
  }
};

TEST(TimeShifts, LargestShiftIsTwoSecondsTruncated) {
  EXPECT_EQ(max_shift(10.0), 20);
  EXPECT_EQ(max_shift(20.5), 41);
  EXPECT_EQ(max_shift(16.0), 32);
  EXPECT_EQ(max_shift(0.7), 1);
}

TEST(TimeShifts, ShiftTimesAndOverlapCounts) {
  Search s(6000, 10.0);
  s.series.w_dev_lin = s.series.w_dev_run = std::vector<double>(6000, 1.0);
  s.series.t_dev_lin = s.series.t_dev_run = std::vector<double>(6000, 0.001);
  auto tables = make_shift_tables({s.n, 1, s.fs});
  s.run(tables);
  for (int shift = 1; shift <= 20; ++shift) {
    const auto at = static_cast<std::size_t>(shift);
    EXPECT_EQ(tables.shift_time[at], -(shift / 10.0));
    double sum = 0.0;
    for (int i = 0; i < 6000 - shift; ++i) sum += 1.0 * 0.001 / 10.0;
    EXPECT_EQ(tables.cov_sum_run[at], sum);
    EXPECT_EQ(tables.flux_run[at], sum / ((6000 - shift) / 10.0) * 1025.0 * 4008.0);
  }
}

TEST(TimeShifts, LastShiftOfAShortBlockHasOnePair) {
  Search s(21, 10.0);
  s.series.w_dev_lin[0] = s.series.w_dev_run[0] = 0.3;
  s.series.t_dev_lin[20] = s.series.t_dev_run[20] = -0.02;
  auto tables = make_shift_tables({s.n, 1, s.fs});
  const auto r = s.run(tables);
  // One product over a duration of one sample: the product times the factor.
  EXPECT_EQ(tables.flux_run[20], 0.3 * -0.02 / 10.0 / (1 / 10.0) * 1025.0 * 4008.0);
  EXPECT_EQ(r.flux_run_min, tables.flux_run[20]);
  EXPECT_EQ(r.shift_run_min, -2.0);
  EXPECT_EQ(r.shift_index_run_min, 20);
  EXPECT_EQ(r.flux_lin_max, 0.0);
  EXPECT_EQ(r.shift_lin_max, 0.0);
}

TEST(TimeShifts, ShiftsWithoutOverlapTakeNoPart) {
  // fs = 10 allows 20 shifts, but a block of 5 samples overlaps only for 1-4.
  Search s(5, 10.0);
  s.series.w_dev_run = {1, 0, 0, 0, 0};
  s.series.t_dev_run = {0, 0, 0, 0, 2};
  const auto r = s.run();
  EXPECT_EQ(r.shift_index_run_min, 0);
  EXPECT_GT(r.flux_run_max, 0.0);
  EXPECT_EQ(r.shift_run_max, -0.4);
}

TEST(TimeShifts, EqualExtremesTakeTheSmallerShift) {
  // Shifts 2 and 4 pair the same values, over the same duration only if the
  // overlap counts agree; use a block long enough that only products matter:
  // the products are placed so both shifts give identical sums and n.
  Search s(8, 2.0);  // shifts 1 ... 4
  // shift 2 pairs w[i] with t[i+2]; shift 4 pairs w[i] with t[i+4].
  s.series.w_dev_run = {1, 0, 0, 0, 0, 0, 0, 0};
  s.series.t_dev_run = {0, 0, -1, 0, -1, 0, 0, 0};
  auto tables = make_shift_tables({s.n, 1, s.fs});
  const auto r = s.run(tables);
  ASSERT_LT(tables.flux_run[2], 0.0);
  ASSERT_LT(tables.flux_run[4], tables.flux_run[2]);  // shorter overlap, larger magnitude
  EXPECT_EQ(r.shift_index_run_min, 4);

  // Now make two shifts of equal overlap equal: the same sums everywhere.
  Search t(8, 2.0);
  t.series.w_dev_lin = {1, 1, 1, 1, 1, 1, 1, 1};
  t.series.t_dev_lin = {-1, -1, -1, -1, -1, -1, -1, -1};
  t.zero.flux_lin = 0.0;
  auto t_tables = make_shift_tables({t.n, 1, t.fs});
  const auto equal = t.run(t_tables);
  ASSERT_EQ(t_tables.flux_lin[1], t_tables.flux_lin[2]);
  EXPECT_EQ(equal.shift_lin_min, -0.5);
}

TEST(TimeShifts, ZeroShiftWinsTiesAndNothingCarriesOverFromAnEarlierBlock) {
  Search s(30, 4.0);
  auto tables = make_shift_tables({s.n, 1, s.fs});
  s.series.w_dev_run[0] = 1.0;
  s.series.t_dev_run[3] = -1.0;
  s.series.w_dev_lin[0] = 1.0;
  s.series.t_dev_lin[5] = 1.0;
  const auto first = s.run(tables);
  EXPECT_EQ(first.shift_index_run_min, 3);
  EXPECT_EQ(first.shift_lin_max, -1.25);

  // The next block: every shifted flux is zero, equal to the zero shift.
  Search next(30, 4.0);
  const auto second = next.run(tables);
  EXPECT_EQ(second.flux_run_min, 0.0);
  EXPECT_EQ(second.shift_run_min, 0.0);
  EXPECT_EQ(second.shift_index_run_min, 0);
  EXPECT_EQ(second.shift_lin_max, 0.0);
  EXPECT_EQ(second.shift_lin_min, 0.0);
  EXPECT_EQ(second.shift_run_max, 0.0);
}

// Every shifted sum against the plain loop over its pairs, for blocks shorter
// and longer than the shifts, whole and fractional rates.
TEST(TimeShifts, SumsMatchThePlainLoopOverThePairs) {
  std::mt19937_64 random(11);
  std::normal_distribution<double> normal;
  for (const double fs : {10.0, 20.5, 4.0, 16.0}) {
    for (const int n : {3, 9, 17, 30, 41, 42, 43, 200}) {
      Search s(n, fs);
      const auto samples = static_cast<std::size_t>(n);
      for (std::size_t i = 0; i < samples; ++i) {
        s.series.w_dev_lin[i] = 0.01 * normal(random);
        s.series.t_dev_lin[i] = 0.002 * normal(random);
        s.series.w_dev_run[i] = 0.01 * normal(random);
        s.series.t_dev_run[i] = 0.002 * normal(random);
      }
      auto tables = make_shift_tables({n, 1, fs});
      s.run(tables);
      const auto last = static_cast<std::size_t>(std::min<std::int64_t>(max_shift(fs), n - 1));
      for (std::size_t shift = 1; shift <= last; ++shift) {
        double lin = 0.0, run = 0.0;
        for (std::size_t i = 0; i + shift < samples; ++i) {
          lin += s.series.w_dev_lin[i] * s.series.t_dev_lin[i + shift] / fs;
          run += s.series.w_dev_run[i] * s.series.t_dev_run[i + shift] / fs;
        }
        EXPECT_EQ(tables.cov_sum_lin[shift], lin) << fs << " " << n << " " << shift;
        EXPECT_EQ(tables.cov_sum_run[shift], run) << fs << " " << n << " " << shift;
      }
    }
  }
}

TEST(TimeShifts, ExtremesAreBoundedByTheZeroShiftFluxes) {
  Search s(40, 5.0);
  for (int i = 0; i < s.n; ++i) {
    const auto at = static_cast<std::size_t>(i);
    s.series.w_dev_lin[at] = s.series.w_dev_run[at] = ((i * 37) % 11) - 5.0;
    s.series.t_dev_lin[at] = s.series.t_dev_run[at] = ((i * 13) % 7) - 3.0;
  }
  s.zero.flux_lin = 1e9;
  s.zero.flux_run = -1e9;
  const auto r = s.run();
  EXPECT_EQ(r.flux_lin_max, 1e9);
  EXPECT_EQ(r.shift_lin_max, 0.0);
  EXPECT_LT(r.flux_lin_min, 1e9);
  EXPECT_EQ(r.flux_run_min, -1e9);
  EXPECT_EQ(r.shift_index_run_min, 0);
}

}  // namespace
}  // namespace ecflux::flux
