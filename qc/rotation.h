#pragma once

// The tilt of the velocity sensor: its axes turned so that w is the velocity
// across the mean flow. Two ways: each block on its own (double rotation),
// or all blocks into the one plane in which the blocks' mean currents lie
// (planar fit). Angles are in degrees; the series are turned in place, and
// temperature is not touched.

#include <array>
#include <span>

#include "qc/variables.h"

namespace ecflux::qc {

struct MeanVelocity {
  double u = 0.0, v = 0.0, w = 0.0;
};

// The block's mean u, v and w, each sum in sample order divided by the count.
MeanVelocity mean_velocity(const BlockSeries& series);

struct DoubleRotation {
  double yaw = 0.0;    // of the mean current from the x axis towards the y axis
  double pitch = 0.0;  // of the mean current above the plane of the turned x and y axes
};

// Turns the axes about z by the yaw, so that mean v becomes zero and mean u
// carries the mean horizontal current, then about the new y axis by the
// pitch, so that mean w becomes zero too. Both turns are made in one pass,
// with the angles found from the block's means.
DoubleRotation rotate_double(BlockSeries series);

// The plane w = offset + slope_u u + slope_v v fitted by least squares to the
// blocks' mean velocities, and the turn of the axes that makes it the plane
// of the new x and y axes.
struct Plane {
  double offset = 0.0;   // b0, in the unit of the velocities
  double slope_u = 0.0;  // b1
  double slope_v = 0.0;  // b2
  // The turn as a pitch about the y axis, then a roll about the x axis:
  // sin(pitch) = -b1 / r, sin(roll) = b2 / (r cos(pitch)),
  // r = sqrt(1 + b1^2 + b2^2).
  double pitch = 0.0;
  double roll = 0.0;
  // Its matrix, row by row: the new x, y and z axes in the old ones (the z
  // row is the plane's unit normal).
  std::array<double, 9> axes{};
};

enum class PlaneFitOutcome {
  fitted,
  too_few_blocks,   // fewer than three blocks
  means_on_a_line,  // the mean currents do not span a plane: they all
                    // point one way (or its opposite), or are all equal
};

struct PlaneFit {
  PlaneFitOutcome outcome = PlaneFitOutcome::too_few_blocks;
  Plane plane;  // when fitted
  // When fitted: the spread of the blocks' mean horizontal currents across
  // their main direction over the spread along it (the square root of the
  // smaller over the larger principal variance). Small where the mean
  // currents run close to one line, as in a channel whose tide turns back
  // and forth; the plane's tilt across that line then rests on little.
  double spread_ratio = 0.0;
};

// Below this spread ratio the plane is fitted but not to be trusted without
// a look: a warning says so.
inline constexpr double plane_spread_ratio_limit = 0.1;

// Fits the plane to the blocks' mean velocities of the whole run. The
// horizontal means are taken about their averages, so that a strong mean
// current does not cost precision.
PlaneFit fit_plane(std::span<const MeanVelocity> block_means);

// Turns one block into the plane: w minus the plane's offset, then the
// plane's turn, then a yaw about the new z axis so that the block's mean v
// becomes zero; returns that yaw. Mean w of a block is near zero only as far
// as the block's mean current lies in the plane.
double rotate_into_plane(const Plane& plane, BlockSeries series);

}  // namespace ecflux::qc
