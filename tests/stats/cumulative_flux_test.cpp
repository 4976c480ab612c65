#include "stats/cumulative_flux.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/cumulative_flux_files.h"
#include "tests/support/test_support.h"
#include "textio/output_file.h"

namespace ecflux::stats {
namespace {

using ecflux::testing::split_records;
using ecflux::testing::TempFolder;

// A block and statistics set up by hand: the means, lines and running means
// are chosen so that each fluctuation is known exactly.
struct Fixture {
  int n;
  input::Block block;
  BlockStatistics statistics;
  FluctuationSeries series;

  explicit Fixture(int samples)
      : n(samples),
        block(input::make_block(samples)),
        statistics(make_block_statistics(samples)),
        series(make_fluctuation_series(samples)) {
    for (int i = 0; i < n; ++i) block.sample_time[static_cast<std::size_t>(i)] = 0.1 * (i + 1);
  }

  std::size_t samples() const { return static_cast<std::size_t>(n); }

  std::vector<std::string> run(double fs, double& cumulative, ZeroShiftFluxes& z) {
    TempFolder folder;
    {
      auto file = textio::OutputFile::create((folder / "cumflux.out").string(), 43);
      SeriesRows rows;
      z = build_cumulative_flux(block, {n, 1, fs}, statistics, series, cumulative, rows);
      report::write_series_rows(file.value(), rows);
      file.value().close();
      EXPECT_TRUE(file.value().status().ok());
    }
    return split_records(folder.read("cumflux.out"));
  }
};

TEST(CumulativeFlux, ConstantVerticalVelocityGivesNoFlux) {
  Fixture f(50);
  for (int i = 0; i < f.n; ++i) {
    const auto at = static_cast<std::size_t>(i);
    f.block.w[at] = 0.5;
    f.block.temperature[at] = 280.0 + 0.01 * (i % 7);
    f.statistics.running_mean_w[at] = 0.5;
    f.statistics.running_mean_temperature[at] = 280.0;
  }
  f.statistics.mean_w = 0.5;
  f.statistics.intercept_w = 0.5;
  f.statistics.mean_temperature = 280.0;
  double cumulative = 1.25;
  ZeroShiftFluxes z;
  const auto rows = f.run(10.0, cumulative, z);
  ASSERT_EQ(rows.size(), 50u);
  EXPECT_EQ(z.flux_mean, 0.0);
  EXPECT_EQ(z.flux_lin, 0.0);
  EXPECT_EQ(z.flux_run, 0.0);
  EXPECT_EQ(cumulative, 1.25);
  for (const auto& row : rows) {
    EXPECT_EQ(row.size(), 65u);
    EXPECT_EQ(row.substr(13, 26), "   1.25000000   0.00000000") << row;
    EXPECT_EQ(row.substr(39, 13), "   0.00000000") << row;
  }
  EXPECT_EQ(rows[0], "   0.10000000   1.25000000   0.00000000   0.00000000   0.00000000");
}

TEST(CumulativeFlux, SameProductEverywhereGivesTheHeatFlux) {
  Fixture f(600);
  for (std::size_t i = 0; i < f.samples(); ++i) {
    f.block.w[i] = 1.0;
    f.block.temperature[i] = 0.001;
  }
  double cumulative = 0.0;
  ZeroShiftFluxes z;
  const auto rows = f.run(10.0, cumulative, z);
  EXPECT_NEAR(z.cov_sum_run, 0.06, 1e-15);
  EXPECT_NEAR(z.flux_run, 4108.2, 1e-9);
  EXPECT_EQ(z.flux_run, z.cov_sum_run / 60.0 * 1025.0 * 4008.0);
  EXPECT_EQ(cumulative, z.cov_sum_run);
  EXPECT_EQ(rows.back().substr(13, 26), "   0.06000000   0.00100000");
}

TEST(CumulativeFlux, TotalContinuesFromBlockToBlock) {
  Fixture f(4);
  const std::vector<double> w = {0.2, -0.1, 0.3, 0.05};
  for (std::size_t i = 0; i < f.samples(); ++i) {
    f.block.w[i] = w[i];
    f.block.temperature[i] = 0.5 * w[i];
  }
  double cumulative = 0.0;
  ZeroShiftFluxes z;
  f.run(8.0, cumulative, z);
  const double after_first = cumulative;
  const auto rows = f.run(8.0, cumulative, z);
  const double first_term = w[0] * (0.5 * w[0]) / 8.0;
  EXPECT_EQ(cumulative - after_first, z.cov_sum_run);
  char expected[32];
  std::snprintf(expected, sizeof expected, "%12.8f", after_first + first_term);
  EXPECT_EQ(rows[0].substr(14, 12), expected);
}

TEST(CumulativeFlux, FluctuationsAboutMeanLineAndRunningMean) {
  Fixture f(3);
  f.block.w = {1.0, 2.0, 4.0};
  f.block.temperature = {10.0, 20.0, 40.0};
  f.block.sample_time = {1.0, 2.0, 3.0};
  f.statistics.mean_w = 2.0;
  f.statistics.mean_temperature = 20.0;
  f.statistics.slope_w = 1.0;
  f.statistics.intercept_w = 0.5;
  f.statistics.slope_temperature = 10.0;
  f.statistics.intercept_temperature = 1.5f;
  f.statistics.running_mean_w = {1.5, 2.0, 3.0};
  f.statistics.running_mean_temperature = {15.0, 25.0, 30.0};
  double cumulative = 0.0;
  ZeroShiftFluxes z;
  f.run(1.0, cumulative, z);
  EXPECT_EQ(f.series.w_dev_mean, (std::vector<double>{-1, 0, 2}));
  EXPECT_EQ(f.series.t_dev_mean, (std::vector<double>{-10, 0, 20}));
  EXPECT_EQ(f.series.w_dev_lin, (std::vector<double>{-0.5, -0.5, 0.5}));
  EXPECT_EQ(f.series.t_dev_lin, (std::vector<double>{-1.5, (20 - 21.5), 40 - 31.5}));
  EXPECT_EQ(f.series.w_dev_run, (std::vector<double>{-0.5, 0, 1}));
  EXPECT_EQ(f.series.t_dev_run, (std::vector<double>{-5, -5, 10}));
  EXPECT_EQ(z.cov_sum_mean, 10.0 + 0.0 + 40.0);
  EXPECT_EQ(z.cov_sum_run, 2.5 + 0.0 + 10.0);
  EXPECT_EQ(z.flux_mean, 50.0 / 3.0 * 1025.0 * 4008.0);
}

TEST(CumulativeFlux, TemperatureAtTheSinglePrecisionKelvinValueLeavesNoLinearResidue) {
  for (const double temperature : {288.1499938964844, 288.15}) {
    Fixture f(4);
    for (std::size_t i = 0; i < f.samples(); ++i) {
      f.block.temperature[i] = temperature;
      f.statistics.running_mean_temperature[i] = temperature;
    }
    f.statistics.mean_temperature = temperature;
    f.statistics.intercept_temperature = static_cast<float>(temperature);
    double cumulative = 0.0;
    ZeroShiftFluxes z;
    f.run(10.0, cumulative, z);
    for (std::size_t i = 0; i < f.samples(); ++i) {
      EXPECT_EQ(f.series.t_dev_mean[i], 0.0);
      EXPECT_EQ(f.series.t_dev_run[i], 0.0);
      EXPECT_EQ(f.series.t_dev_lin[i], temperature - 288.1499938964844);
    }
  }
}

TEST(CumulativeFlux, TimesOutsideTheFieldAreAsterisksAndTheRowStaysWhole) {
  Fixture f(2);
  f.block.sample_time = {999.99999999, 1000.0};
  double cumulative = 0.0;
  ZeroShiftFluxes z;
  const auto rows = f.run(10.0, cumulative, z);
  EXPECT_EQ(rows[0].substr(0, 13), " 999.99999999");
  EXPECT_EQ(rows[1].substr(0, 13), " ************");
  EXPECT_EQ(rows[1].size(), 65u);
}

}  // namespace
}  // namespace ecflux::stats
