#include "qc/rotation.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include "tests/qc/synthetic_records.h"

namespace ecflux::qc {
namespace {

using testing::covariance;
using testing::mean;

constexpr double radians = std::numbers::pi / 180.0;

// A record in the frame of its flow with mean v and w exactly (to rounding)
// zero, as the rotation should find it again.
testing::Record flow_frame_record(std::size_t n, std::uint64_t seed, double speed) {
  testing::Record r = testing::turbulent_record(n, seed, speed);
  const double mean_v = mean(r.v), mean_w = mean(r.w);
  for (double& v : r.v) v -= mean_v;
  for (double& w : r.w) w -= mean_w;
  return r;
}

// The flow record as a sensor measures it whose axes are turned: the flow's
// axes are the columns of `axes` in the sensor's frame, plus an offset of w.
testing::Record as_measured(const testing::Record& flow, const std::array<double, 9>& axes,
                            double w_offset = 0.0) {
  testing::Record m = flow;
  for (std::size_t i = 0; i < flow.w.size(); ++i) {
    const double u = flow.u[i], v = flow.v[i], w = flow.w[i];
    m.u[i] = axes[0] * u + axes[1] * v + axes[2] * w;
    m.v[i] = axes[3] * u + axes[4] * v + axes[5] * w;
    m.w[i] = axes[6] * u + axes[7] * v + axes[8] * w + w_offset;
  }
  return m;
}

TEST(DoubleRotation, ATiltedSensorIsTurnedBackToTheFlow) {
  const testing::Record flow = flow_frame_record(14400, 4, 0.25);
  const double flux = covariance(flow.w, flow.temperature);
  for (const double tilt : {2.0, 5.0}) {
    SCOPED_TRACE(tilt);
    // Sensor frame: the mean flow 30 degrees from x towards y, rising by
    // `tilt` above the sensor's xy plane.
    const double yaw = 30.0 * radians, pitch = tilt * radians;
    const double cy = std::cos(yaw), sy = std::sin(yaw), cp = std::cos(pitch), sp = std::sin(pitch);
    // Columns: the flow's x, y and z axes.
    const std::array<double, 9> axes{cp * cy, -sy, -sp * cy,  //
                                     cp * sy, cy,  -sp * sy,  //
                                     sp,      0.0, cp};
    testing::Record measured = as_measured(flow, axes);
    // The tilt mixes the stress into w and with it u's heat flux.
    ASSERT_GT(std::fabs(covariance(measured.w, measured.temperature) / flux - 1.0), 0.03);

    const DoubleRotation angles = rotate_double(measured.series());
    EXPECT_NEAR(angles.yaw, 30.0, 1e-9);
    EXPECT_NEAR(angles.pitch, tilt, 1e-9);
    EXPECT_NEAR(mean(measured.v), 0.0, 1e-12);
    EXPECT_NEAR(mean(measured.w), 0.0, 1e-12);
    EXPECT_NEAR(covariance(measured.w, measured.temperature) / flux, 1.0, 0.01);
    for (std::size_t i = 0; i < flow.w.size(); i += 997) {
      EXPECT_NEAR(measured.u[i], flow.u[i], 1e-12);
      EXPECT_NEAR(measured.w[i], flow.w[i], 1e-12);
    }
  }
}

// A sensor tilted by a pitch and a roll, with an offset of w, over blocks
// whose mean currents turn with the tide; each block's current lies in the
// flow's horizontal plane.
struct TiltedRun {
  std::array<double, 9> axes{};  // the flow's axes as columns, in the sensor's frame
  double w_offset = 0.002;
  std::vector<testing::Record> flow, measured;
};

TiltedRun tilted_run(std::size_t blocks) {
  TiltedRun run;
  const double pitch = 3.0 * radians, roll = -2.0 * radians;
  const double cp = std::cos(pitch), sp = std::sin(pitch), cr = std::cos(roll), sr = std::sin(roll);
  // Roll about x after pitch about y.
  run.axes = {cp, 0.0, sp, sr * sp, cr, -sr * cp, -cr * sp, sr, cr * cp};
  for (std::size_t b = 0; b < blocks; ++b) {
    const double direction = 2.0 * std::numbers::pi * static_cast<double>(b) / 7.3;
    const double speed = 0.1 + 0.02 * static_cast<double>(b % 4);
    testing::Record flow = flow_frame_record(1200, 100 + b, 0.0);
    for (std::size_t i = 0; i < flow.u.size(); ++i) {
      const double along = flow.u[i] + speed, across = flow.v[i];
      flow.u[i] = along * std::cos(direction) - across * std::sin(direction);
      flow.v[i] = along * std::sin(direction) + across * std::cos(direction);
    }
    run.measured.push_back(as_measured(flow, run.axes, run.w_offset));
    run.flow.push_back(std::move(flow));
  }
  return run;
}

TEST(PlanarFit, ThePlaneOfBlocksTiltedAlikeIsFound) {
  TiltedRun run = tilted_run(24);
  std::vector<MeanVelocity> means;
  for (testing::Record& block : run.measured) means.push_back(mean_velocity(block.series()));

  const PlaneFit fit = fit_plane(means);
  ASSERT_EQ(fit.outcome, PlaneFitOutcome::fitted);
  // Currents in every direction found it well.
  EXPECT_GT(fit.spread_ratio, plane_spread_ratio_limit);
  // The flow's z axis in the sensor frame is the plane's normal n:
  // w = offset - (n_x u + n_y v) / n_z.
  const double nx = run.axes[2], ny = run.axes[5], nz = run.axes[8];
  EXPECT_NEAR(fit.plane.offset, run.w_offset, 1e-12);
  EXPECT_NEAR(fit.plane.slope_u, -nx / nz, 1e-9);
  EXPECT_NEAR(fit.plane.slope_v, -ny / nz, 1e-9);
  EXPECT_NEAR(fit.plane.axes[6], nx, 1e-9);
  EXPECT_NEAR(fit.plane.axes[7], ny, 1e-9);
  EXPECT_NEAR(fit.plane.axes[8], nz, 1e-9);
  // The turn that undoes the sensor's: its pitch and roll.
  EXPECT_NEAR(fit.plane.pitch, 3.0, 1e-7);
  EXPECT_NEAR(fit.plane.roll, -2.0, 1e-7);
  // The rows stay orthonormal.
  for (std::size_t a = 0; a < 3; ++a) {
    for (std::size_t b = 0; b < 3; ++b) {
      double dot = 0.0;
      for (std::size_t k = 0; k < 3; ++k)
        dot += fit.plane.axes[a * 3 + k] * fit.plane.axes[b * 3 + k];
      EXPECT_NEAR(dot, a == b ? 1.0 : 0.0, 1e-14);
    }
  }

  for (std::size_t b = 0; b < run.measured.size(); ++b) {
    SCOPED_TRACE(b);
    testing::Record& block = run.measured[b];
    const double flux = covariance(run.flow[b].w, run.flow[b].temperature);
    rotate_into_plane(fit.plane, block.series());
    EXPECT_NEAR(mean(block.v), 0.0, 1e-12);
    EXPECT_NEAR(mean(block.w), 0.0, 1e-12);
    EXPECT_NEAR(covariance(block.w, block.temperature) / flux, 1.0, 0.01);
  }
}

TEST(PlanarFit, ThePlaneNeedsCurrentsInTwoDirections) {
  EXPECT_EQ(fit_plane({}).outcome, PlaneFitOutcome::too_few_blocks);
  const std::vector<MeanVelocity> two{{0.1, 0.0, 0.0}, {0.0, 0.1, 0.0}};
  EXPECT_EQ(fit_plane(two).outcome, PlaneFitOutcome::too_few_blocks);
  // Flood and ebb along one channel: a line, not a plane.
  const std::vector<MeanVelocity> channel{
      {0.2, 0.1, 0.01}, {-0.3, -0.15, -0.01}, {0.05, 0.025, 0.0}, {0.4, 0.2, 0.02}};
  EXPECT_EQ(fit_plane(channel).outcome, PlaneFitOutcome::means_on_a_line);
  const std::vector<MeanVelocity> still(5, {0.1, 0.1, 0.0});
  EXPECT_EQ(fit_plane(still).outcome, PlaneFitOutcome::means_on_a_line);
}

TEST(PlanarFit, CurrentsCloseToOneLineInAnyDirectionGiveASmallSpreadRatio) {
  // Flood and ebb with a little drift across the channel: along it the
  // means spread by about 0.25 m/s, across it by about 0.0017 m/s.
  const double along[] = {0.2, -0.3, 0.05, 0.4, -0.1};
  const double across[] = {0.002, -0.001, 0.0015, -0.002, 0.001};
  for (const double direction : {0.0, 30.0, 90.0, 135.0}) {
    SCOPED_TRACE(direction);
    const double c = std::cos(direction * std::numbers::pi / 180.0);
    const double s = std::sin(direction * std::numbers::pi / 180.0);
    std::vector<MeanVelocity> means;
    for (std::size_t b = 0; b < std::size(along); ++b) {
      means.push_back({along[b] * c - across[b] * s, along[b] * s + across[b] * c, 0.001});
    }
    const PlaneFit fit = fit_plane(means);
    ASSERT_EQ(fit.outcome, PlaneFitOutcome::fitted);
    // The ratio of the spreads does not depend on the channel's direction:
    // the spreads, as standard deviations, in the channel's own axes.
    const auto spread = [](const double* values, std::size_t n) {
      double mean = 0.0, sum = 0.0;
      for (std::size_t i = 0; i < n; ++i) mean += values[i] / static_cast<double>(n);
      for (std::size_t i = 0; i < n; ++i) sum += (values[i] - mean) * (values[i] - mean);
      return std::sqrt(sum);
    };
    const double upper = spread(across, std::size(across)) / spread(along, std::size(along));
    EXPECT_LT(fit.spread_ratio, plane_spread_ratio_limit);
    // The principal spread across is at most the spread along the axis that
    // the drift is measured on.
    EXPECT_GT(fit.spread_ratio, 0.0);
    EXPECT_LE(fit.spread_ratio, upper * (1.0 + 1e-9));
  }
}

}  // namespace
}  // namespace ecflux::qc
