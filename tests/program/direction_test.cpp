// DIR through a whole run: the stored record "currents" holds a block whose
// mean current flows towards each quadrant and along each axis, and a calm
// one; its configuration works out each bearing by hand.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "tests/program/run_files.h"

namespace ecflux {
namespace {

using testing::split_records;
using testing::TempFolder;

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  return first == std::string::npos ? "" : text.substr(first);
}

TEST(Direction, TowardsWhereTheCurrentFlowsInEveryQuadrantAndEveryFile) {
  TempFolder folder;
  testing::copy_record("currents", folder);
  const auto run = testing::run_ecflux(folder, {"--csv"});
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;

  const double none = std::numeric_limits<double>::quiet_NaN();
  // Mean (u, v) of each block in cm/s, and the bearing it flows towards.
  const std::vector<double> bearings = {
      36.869897645844,   // (3, 4): north-east
      126.869897645844,  // (4, -3): south-east
      216.869897645844,  // (-3, -4): south-west
      306.869897645844,  // (-4, 3): north-west
      0.0,               // (0, 5): north
      90.0,              // (5, 0): east
      180.0,             // (0, -5): south
      270.0,             // (-5, 0): west
      none,              // calm: no direction
  };
  const auto results = split_records(folder.read("results.out"));
  const auto progress = split_records(run.standard_output);
  const auto blocks = testing::csv_rows(folder.read("blocks.csv"));
  ASSERT_EQ(results.size(), 1 + bearings.size());
  ASSERT_EQ(progress.size(), bearings.size());
  ASSERT_EQ(blocks.size(), bearings.size());

  for (std::size_t b = 0; b < bearings.size(); ++b) {
    SCOPED_TRACE("block " + std::to_string(b + 1));
    const std::string& row = results[b + 1];
    const auto& csv = blocks[b];
    if (std::isnan(bearings[b])) {
      EXPECT_EQ(row.substr(61, 5), "  NaN");
      EXPECT_EQ(csv.at("direction_deg"), "");
    } else {
      EXPECT_EQ(trimmed(row.substr(61, 5)), fixed(bearings[b], 1));
      EXPECT_NEAR(std::stod(csv.at("direction_deg")), bearings[b], 1e-9);
    }
    // The three files tell of the same block: its time and its fluxes.
    char time[13], mean_removed[9], linear[9], running[9];
    ASSERT_EQ(
        std::sscanf(progress[b].c_str(), "%12s %8s %8s %8s", time, mean_removed, linear, running),
        4);
    EXPECT_EQ(time, fixed(std::stod(csv.at("time_mean")), 9));
    EXPECT_EQ(trimmed(row.substr(0, 12)), fixed(std::stod(csv.at("time_mean")), 4));
    EXPECT_EQ(linear, trimmed(row.substr(83, 8)));
    EXPECT_EQ(running, trimmed(row.substr(92, 8)));
    EXPECT_EQ(linear, fixed(std::stod(csv.at("flux_linear_W_m2")), 2));
    EXPECT_EQ(mean_removed, fixed(std::stod(csv.at("flux_mean_removed_W_m2")), 2));
  }
}

}  // namespace
}  // namespace ecflux
