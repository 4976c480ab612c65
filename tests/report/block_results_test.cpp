#include "report/block_results.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/output_files.h"
#include "tests/support/test_support.h"

namespace ecflux::report {
namespace {

using ecflux::testing::split_records;
using ecflux::testing::TempFolder;

struct Written {
  std::string row;
  std::string line;
};

Written write(const stats::BlockStatistics& s, const stats::ZeroShiftFluxes& z,
              const flux::ShiftSearch& r) {
  TempFolder folder;
  {
    auto results = textio::OutputFile::create((folder / "results.out").string(), 9);
    auto screen = textio::OutputFile::create((folder / "screen.txt").string(), 6);
    write_block_results(make_block_report(s, z, r), results.value(), screen.value());
  }
  const auto rows = split_records(folder.read("results.out"));
  const auto lines = split_records(folder.read("screen.txt"));
  EXPECT_EQ(rows.size(), 1u);
  EXPECT_EQ(lines.size(), 1u);
  return {rows.at(0), lines.at(0)};
}

TEST(BlockResults, RowColumnsAndScaling) {
  stats::BlockStatistics s;
  s.mean_time = 1234.5678;
  s.mean_u = 0.12345;
  s.mean_v = -0.05;
  s.mean_w = 0.001;
  s.variance_w = 0.0004;
  s.wind_magnitude = 0.13;
  s.variance_speed = 0.0001;
  s.wind_direction = 112.25;
  s.mean_temperature = 293.15;
  s.variance_temperature = 0.0004;
  stats::ZeroShiftFluxes z;
  z.flux_mean = -1.5;
  z.flux_lin = 123456.7;
  z.flux_run = -12.346;
  flux::ShiftSearch r;
  r.flux_lin_min = -20.0;
  r.flux_run_min = -30.0;
  r.flux_lin_max = 40.0;
  r.flux_run_max = 50.0;
  r.shift_lin_min = -1.3;
  r.shift_run_min = -2.0;
  r.shift_lin_max = 0.0;
  r.shift_run_max = -0.1;
  const auto [row, line] = write(s, z, r);

  ASSERT_EQ(row.size(), 163u);
  EXPECT_EQ(row.substr(0, 12), "   1234.5678");
  EXPECT_EQ(row.substr(12, 8), "  12.345");
  EXPECT_EQ(row.substr(20, 8), "  -5.000");
  EXPECT_EQ(row.substr(28, 8), "   0.100");
  EXPECT_EQ(row.substr(36, 8), "   2.000");
  EXPECT_EQ(row.substr(44, 8), "  13.000");
  EXPECT_EQ(row.substr(52, 8), "   1.000");
  EXPECT_EQ(row.substr(60, 6), " 112.2");
  EXPECT_EQ(row.substr(66, 8), " 293.150");
  EXPECT_EQ(row.substr(74, 8), "   0.020");
  EXPECT_EQ(row.substr(82, 9), " ********");
  EXPECT_EQ(row.substr(91, 9), "   -12.35");
  EXPECT_EQ(row.substr(100, 36), "   -20.00   -30.00    40.00    50.00");
  EXPECT_EQ(row.substr(136, 9), "    -1.30");
  EXPECT_EQ(row.substr(145, 18), " -2.00  0.00 -0.10");

  EXPECT_EQ(line, "************    -1.50 ******** " + std::string("  -12.35"));
}

TEST(BlockResults, ProgressLineShowsTwoDigitsOfTime) {
  stats::BlockStatistics s;
  stats::ZeroShiftFluxes z;
  flux::ShiftSearch r;
  s.mean_time = 99.5;
  EXPECT_EQ(write(s, z, r).line, "99.500000000     0.00     0.00     0.00");
  s.mean_time = 100.0;
  EXPECT_EQ(write(s, z, r).line.substr(0, 12), "************");
  s.mean_time = -9.5;
  EXPECT_EQ(write(s, z, r).line.substr(0, 12), "-9.500000000");
  EXPECT_EQ(write(s, z, r).line.size(), 39u);
}

}  // namespace
}  // namespace ecflux::report
