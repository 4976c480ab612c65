#include <gtest/gtest.h>

#include "flux/time_shifts.h"

namespace ecflux::flux {
namespace {

// The extremes of a delay search over delays 0 to 20 samples at 10 Hz.
ShiftSearch search(double min, std::int32_t at_min, double max, std::int32_t at_max) {
  ShiftSearch s;
  s.flux_lin_min = s.flux_run_min = min;
  s.flux_lin_max = s.flux_run_max = max;
  s.shift_index_lin_min = s.shift_index_run_min = at_min;
  s.shift_index_lin_max = s.shift_index_run_max = at_max;
  s.shift_lin_min = s.shift_run_min = -at_min / 10.0;
  s.shift_lin_max = s.shift_run_max = -at_max / 10.0;
  s.last_shift = 20;
  return s;
}

TEST(DelayCorrectedFlux, TheExtremeOfLargerMagnitudeWithItsDelay) {
  // A downward flux: its minimum is the covariance peak.
  DelayCorrectedFlux down = delay_corrected_linear(search(-160.0, 3, 40.0, 12));
  EXPECT_EQ(down.flux, -160.0);
  EXPECT_EQ(down.delay, -0.3);
  EXPECT_FALSE(down.at_edge);
  DelayCorrectedFlux up = delay_corrected_running(search(-10.0, 7, 25.0, 0));
  EXPECT_EQ(up.flux, 25.0);
  EXPECT_EQ(up.delay, 0.0);
  // Extremes of equal magnitude: the minimum.
  EXPECT_EQ(delay_corrected_linear(search(-50.0, 4, 50.0, 9)).flux, -50.0);
}

TEST(DelayCorrectedFlux, APeakAtTheLargestDelaySearchedIsAtTheEdge) {
  EXPECT_TRUE(delay_corrected_linear(search(-160.0, 20, 40.0, 12)).at_edge);
  EXPECT_TRUE(delay_corrected_running(search(-10.0, 7, 25.0, 20)).at_edge);
  // The extreme of smaller magnitude may lie at the edge: it is not taken.
  EXPECT_FALSE(delay_corrected_linear(search(-160.0, 3, 40.0, 20)).at_edge);
  // A block too short for any delay: the zero delay is no edge.
  ShiftSearch none = search(-5.0, 0, 5.0, 0);
  none.last_shift = 0;
  EXPECT_FALSE(delay_corrected_running(none).at_edge);
}

}  // namespace
}  // namespace ecflux::flux
