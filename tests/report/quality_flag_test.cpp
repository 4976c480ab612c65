#include <gtest/gtest.h>

#include <cmath>

#include "report/csv_files.h"

namespace ecflux::report {
namespace {

BlockFacts steady(double difference_percent) {
  BlockFacts facts;
  facts.steady_state_difference_percent = difference_percent;
  return facts;
}

TEST(QualityFlag, SteadyStateClasses) {
  EXPECT_EQ(quality_flag(steady(0.0)), 0);
  EXPECT_EQ(quality_flag(steady(29.99)), 0);
  EXPECT_EQ(quality_flag(steady(30.0)), 1);
  EXPECT_EQ(quality_flag(steady(100.0)), 1);
  EXPECT_EQ(quality_flag(steady(100.01)), 2);
  // A block too short for the test is judged without it.
  EXPECT_EQ(quality_flag(steady(std::nan(""))), 0);
}

TEST(QualityFlag, WhatTheRecordsShowedAndTheDelaySearch) {
  BlockFacts gap = steady(5.0);
  gap.uneven_steps = 1;
  EXPECT_EQ(quality_flag(gap), 2);
  BlockFacts fill = steady(5.0);
  fill.implausible_values = 3;
  EXPECT_EQ(quality_flag(fill), 2);
  BlockFacts unread = steady(5.0);
  unread.values_unread = 1;
  EXPECT_EQ(quality_flag(unread), 1);
  BlockFacts linear_edge = steady(5.0);
  linear_edge.linear.at_edge = true;
  EXPECT_EQ(quality_flag(linear_edge), 1);
  BlockFacts running_edge = steady(5.0);
  running_edge.running.at_edge = true;
  EXPECT_EQ(quality_flag(running_edge), 1);
  // The worse reason decides.
  unread.uneven_steps = 2;
  EXPECT_EQ(quality_flag(unread), 2);
  linear_edge.steady_state_difference_percent = 150.0;
  EXPECT_EQ(quality_flag(linear_edge), 2);
}

TEST(QualityFlag, WhatQualityControlFound) {
  BlockFacts missing = steady(5.0);
  missing.quality.beyond_allowance = true;
  EXPECT_EQ(quality_flag(missing), 2);
  BlockFacts spiky = steady(5.0);
  spiky.quality.too_many_spikes = true;
  EXPECT_EQ(quality_flag(spiky), 1);
  BlockFacts unfinished = steady(5.0);
  unfinished.quality.spikes_may_remain = true;
  EXPECT_EQ(quality_flag(unfinished), 1);
  BlockFacts long_eddies = steady(5.0);
  long_eddies.quality.ogive_not_levelled = true;
  EXPECT_EQ(quality_flag(long_eddies), 1);
  spiky.quality.beyond_allowance = true;
  EXPECT_EQ(quality_flag(spiky), 2);
}

}  // namespace
}  // namespace ecflux::report
