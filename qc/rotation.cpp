#include "qc/rotation.h"
#include "base/assert.h"

#include <cmath>
#include <numbers>

namespace ecflux::qc {
namespace {

constexpr double degrees_per_radian = 180.0 / std::numbers::pi;

using Matrix = std::array<double, 9>;

Matrix multiply(const Matrix& left, const Matrix& right) {
  Matrix product{};
  for (std::size_t row = 0; row < 3; ++row) {
    for (std::size_t column = 0; column < 3; ++column) {
      double sum = 0.0;
      for (std::size_t k = 0; k < 3; ++k) sum += left[row * 3 + k] * right[k * 3 + column];
      product[row * 3 + column] = sum;
    }
  }
  return product;
}

// The turn of the axes by `angle` (radians) about z: the new x axis points
// at `angle` from the old x axis towards the old y axis.
Matrix yaw_matrix(double angle) {
  const double c = std::cos(angle), s = std::sin(angle);
  return {c, s, 0.0, -s, c, 0.0, 0.0, 0.0, 1.0};
}

// (u, v, w - w_offset) of every sample turned by `axes`, in place.
void turn(const Matrix& axes, double w_offset, BlockSeries series) {
  const std::size_t n = series.w.size();
  for (std::size_t i = 0; i < n; ++i) {
    const double u = series.u[i], v = series.v[i], w = series.w[i] - w_offset;
    series.u[i] = axes[0] * u + axes[1] * v + axes[2] * w;
    series.v[i] = axes[3] * u + axes[4] * v + axes[5] * w;
    series.w[i] = axes[6] * u + axes[7] * v + axes[8] * w;
  }
}

MeanVelocity turned(const Matrix& axes, const MeanVelocity& m) {
  return {axes[0] * m.u + axes[1] * m.v + axes[2] * m.w,
          axes[3] * m.u + axes[4] * m.v + axes[5] * m.w,
          axes[6] * m.u + axes[7] * m.v + axes[8] * m.w};
}

}  // namespace

MeanVelocity mean_velocity(const BlockSeries& series) {
  const std::size_t n = series.w.size();
  ECFLUX_ASSERT(series.u.size() == n && series.v.size() == n, "the series are of one length");
  double sum_u = 0.0, sum_v = 0.0, sum_w = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    sum_u += series.u[i];
    sum_v += series.v[i];
    sum_w += series.w[i];
  }
  const auto count = static_cast<double>(n);
  return {sum_u / count, sum_v / count, sum_w / count};
}

DoubleRotation rotate_double(BlockSeries series) {
  const MeanVelocity mean = mean_velocity(series);
  const double yaw = std::atan2(mean.v, mean.u);
  const double horizontal = mean.u * std::cos(yaw) + mean.v * std::sin(yaw);
  const double pitch = std::atan2(mean.w, horizontal);
  const double cp = std::cos(pitch), sp = std::sin(pitch);
  const Matrix pitch_matrix{cp, 0.0, sp, 0.0, 1.0, 0.0, -sp, 0.0, cp};
  turn(multiply(pitch_matrix, yaw_matrix(yaw)), 0.0, series);
  return {yaw * degrees_per_radian, pitch * degrees_per_radian};
}

PlaneFit fit_plane(std::span<const MeanVelocity> block_means) {
  PlaneFit fit;
  const std::size_t count = block_means.size();
  if (count < 3) return fit;

  double sum_u = 0.0, sum_v = 0.0, sum_w = 0.0;
  for (const MeanVelocity& m : block_means) {
    sum_u += m.u;
    sum_v += m.v;
    sum_w += m.w;
  }
  const auto blocks = static_cast<double>(count);
  const double mean_u = sum_u / blocks, mean_v = sum_v / blocks, mean_w = sum_w / blocks;
  double s_uu = 0.0, s_uv = 0.0, s_vv = 0.0, s_uw = 0.0, s_vw = 0.0;
  for (const MeanVelocity& m : block_means) {
    const double du = m.u - mean_u, dv = m.v - mean_v, dw = m.w - mean_w;
    s_uu += du * du;
    s_uv += du * dv;
    s_vv += dv * dv;
    s_uw += du * dw;
    s_vw += dv * dw;
  }
  // The horizontal means must spread in two directions; the determinant is
  // judged against its largest possible size, s_uu s_vv.
  const double determinant = s_uu * s_vv - s_uv * s_uv;
  if (!(determinant > 1e-10 * s_uu * s_vv)) {
    fit.outcome = PlaneFitOutcome::means_on_a_line;
    return fit;
  }

  Plane& p = fit.plane;
  p.slope_u = (s_uw * s_vv - s_vw * s_uv) / determinant;
  p.slope_v = (s_vw * s_uu - s_uw * s_uv) / determinant;
  p.offset = mean_w - p.slope_u * mean_u - p.slope_v * mean_v;

  const double r = std::sqrt(1.0 + p.slope_u * p.slope_u + p.slope_v * p.slope_v);
  const double p31 = -p.slope_u / r, p32 = -p.slope_v / r, p33 = 1.0 / r;
  const double cos_pitch = std::sqrt(p32 * p32 + p33 * p33);
  const double sin_pitch = p31;
  const double sin_roll = -p32 / cos_pitch;
  const double cos_roll = p33 / cos_pitch;
  p.pitch = std::atan2(sin_pitch, cos_pitch) * degrees_per_radian;
  p.roll = std::atan2(sin_roll, cos_roll) * degrees_per_radian;
  // Pitch about y after roll about x: the rows are the new axes.
  const Matrix pitch_matrix{cos_pitch, 0.0, -sin_pitch, 0.0, 1.0, 0.0, sin_pitch, 0.0, cos_pitch};
  const Matrix roll_matrix{1.0, 0.0, 0.0, 0.0, cos_roll, sin_roll, 0.0, -sin_roll, cos_roll};
  p.axes = multiply(pitch_matrix, roll_matrix);
  fit.outcome = PlaneFitOutcome::fitted;
  const double half_trace = 0.5 * (s_uu + s_vv);
  const double root = std::sqrt(half_trace * half_trace - determinant);
  fit.spread_ratio = std::sqrt((half_trace - root) / (half_trace + root));
  return fit;
}

double rotate_into_plane(const Plane& plane, BlockSeries series) {
  MeanVelocity mean = mean_velocity(series);
  mean.w -= plane.offset;
  const MeanVelocity in_plane = turned(plane.axes, mean);
  const double yaw = std::atan2(in_plane.v, in_plane.u);
  turn(multiply(yaw_matrix(yaw), plane.axes), plane.offset, series);
  return yaw * degrees_per_radian;
}

}  // namespace ecflux::qc
