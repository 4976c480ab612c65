#include "flux/shifted_cumulative_flux.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/cumulative_flux_files.h"
#include "tests/support/test_support.h"
#include "textio/output_file.h"

namespace ecflux::flux {
namespace {

using ecflux::testing::split_records;
using ecflux::testing::TempFolder;

struct Rows {
  std::vector<std::string> shifted;
  std::vector<std::string> unshifted;
};

// Writes one block's rows of both cumulative-flux files.
Rows write_block(const input::Block& block, const stats::BlockStatistics& statistics, int n,
                 double fs, int shift, double& cumulative, double& shifted_total) {
  TempFolder folder;
  auto series = stats::make_fluctuation_series(n);
  {
    auto cumflux = textio::OutputFile::create((folder / "cumflux.out").string(), 43);
    auto cfshift = textio::OutputFile::create((folder / "CFSHIFT.out").string(), 889);
    stats::SeriesRows unshifted_rows, shifted_rows;
    const input::BlockSizes sizes{n, 1, fs};
    stats::build_cumulative_flux(block, sizes, statistics, series, cumulative, unshifted_rows);
    write_shifted_cumulative_flux(block, sizes, series, shift, shifted_total, shifted_rows);
    report::write_series_rows(cumflux.value(), unshifted_rows);
    report::write_series_rows(cfshift.value(), shifted_rows);
  }
  return {split_records(folder.read("CFSHIFT.out")), split_records(folder.read("cumflux.out"))};
}

struct Fixture {
  int n;
  input::Block block;
  stats::BlockStatistics statistics;

  explicit Fixture(int samples)
      : n(samples),
        block(input::make_block(samples)),
        statistics(stats::make_block_statistics(samples)) {
    for (int i = 0; i < n; ++i) {
      const auto at = static_cast<std::size_t>(i);
      block.sample_time[at] = 0.01 * i;
      block.w[at] = 0.01 * ((i * 7) % 5 - 2);
      block.temperature[at] = 0.001 * ((i * 3) % 4);
    }
  }
};

TEST(ShiftedCumulativeFlux, ShiftDropsTheLastSamplesOfTheBlock) {
  Fixture f(6000);
  double cumulative = 0.0, shifted = 0.0;
  const auto rows = write_block(f.block, f.statistics, f.n, 10.0, 3, cumulative, shifted);
  ASSERT_EQ(rows.shifted.size(), 5997u);
  // The last row pairs velocity sample 5997 with temperature sample 6000.
  const std::string& last = rows.shifted.back();
  EXPECT_EQ(last.substr(0, 13), rows.unshifted[5996].substr(0, 13));
  EXPECT_EQ(last.substr(40, 13), rows.unshifted[5996].substr(40, 13));
  EXPECT_EQ(last.substr(53, 13), rows.unshifted[5999].substr(53, 13));
}

TEST(ShiftedCumulativeFlux, ZeroShiftRepeatsTheUnshiftedRowsAcrossBlocks) {
  Fixture f(300);
  double cumulative = 0.0, shifted = 0.0;
  for (int block = 0; block < 3; ++block) {
    const auto rows = write_block(f.block, f.statistics, f.n, 8.0, 0, cumulative, shifted);
    EXPECT_EQ(rows.shifted, rows.unshifted);
    EXPECT_EQ(shifted, cumulative);
    for (double& w : f.block.w) w += 0.003;
  }
}

TEST(ShiftedCumulativeFlux, TotalContinuesAndAShiftBeyondTheBlockWritesNothing) {
  Fixture f(10);
  double cumulative = 0.0, shifted = 0.5;
  const auto none = write_block(f.block, f.statistics, f.n, 8.0, 10, cumulative, shifted);
  EXPECT_TRUE(none.shifted.empty());
  EXPECT_EQ(shifted, 0.5);
  const auto rows = write_block(f.block, f.statistics, f.n, 8.0, 1, cumulative, shifted);
  ASSERT_EQ(rows.shifted.size(), 9u);
  // With zero running means the fluctuations are the samples themselves.
  double expected = 0.5;
  for (std::size_t i = 0; i < 9; ++i) {
    expected = f.block.w[i] * f.block.temperature[i + 1] / 8.0 + expected;
  }
  EXPECT_EQ(shifted, expected);
}

}  // namespace
}  // namespace ecflux::flux
