#include "qc/block_quality.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <vector>

#include "qc/despike.h"
#include "qc/gap_filling.h"
#include "qc/missing_values.h"

namespace ecflux::qc {
namespace {

constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();

// The marks of one variable from the block's missing bits.
std::vector<std::uint8_t> marks_of(const input::Block& block, std::size_t n, std::uint8_t bit) {
  std::vector<std::uint8_t> marks(n);
  for (std::size_t k = 0; k < n; ++k) marks[k] = (block.missing[k] & bit) != 0 ? 1 : 0;
  return marks;
}

// The sums, the speeds and the count of the block as the reader forms them,
// from the samples as they are: u and v give the horizontal speed and their
// sums before any rotation, which turns only w into the results.
void sum_horizontal(input::Block& block, std::size_t n) {
  block.sum_u = 0.0;
  block.sum_v = 0.0;
  for (std::size_t k = 0; k < n; ++k) {
    const double u = block.u[k];
    const double v = block.v[k];
    block.horizontal_speed[k] = std::sqrt(u * u + v * v);
    block.sum_u += u;
    block.sum_v += v;
  }
}

void sum_the_rest(input::Block& block, std::size_t n) {
  block.sum_w = 0.0;
  block.sum_time = 0.0;
  block.sum_temperature = 0.0;
  for (std::size_t k = 0; k < n; ++k) {
    block.sum_w += block.w[k];
    block.sum_time += block.sample_time[k];
    block.sum_temperature += block.temperature[k];
  }
}

}  // namespace

BlockQuality control_block(input::Block& block, std::int64_t samples,
                           const QualitySettings& settings, MeanVelocity* measured) {
  const auto n = static_cast<std::size_t>(samples);
  BlockQuality quality;
  quality.yaw = quality.pitch = quality.roll = not_a_number;
  // Working copies of u and v: the rotations turn them, and the results keep
  // the horizontal current as measured.
  std::vector<double> u(block.u.begin(), block.u.begin() + static_cast<std::ptrdiff_t>(n));
  std::vector<double> v(block.v.begin(), block.v.begin() + static_cast<std::ptrdiff_t>(n));
  const BlockSeries series{u, v, std::span(block.w).first(n),
                           std::span(block.temperature).first(n)};

  if (settings.fill_missing) {
    const auto mu = marks_of(block, n, input::missing_u);
    const auto mv = marks_of(block, n, input::missing_v);
    const auto mw = marks_of(block, n, input::missing_w);
    const auto mt = marks_of(block, n, input::missing_temperature);
    const auto mtime = marks_of(block, n, input::missing_time);
    const MissingSummary summary =
        fill_missing(series, {mu, mv, mw, mt}, settings.missing_allowance_percent);
    // A missing time makes its sample missing too, and is bridged like the
    // values.
    std::int64_t missing_samples = 0;
    for (std::size_t k = 0; k < n; ++k) missing_samples += block.missing[k] != 0 ? 1 : 0;
    quality.missing_samples = missing_samples;
    quality.beyond_allowance =
        summary.beyond_allowance || static_cast<double>(missing_samples) * 100.0 >
                                        settings.missing_allowance_percent * static_cast<double>(n);
    if (!quality.beyond_allowance) {
      interpolate_marked(std::span(block.sample_time).first(n), mtime);
    }
  }
  if (!quality.beyond_allowance && settings.despike) {
    const BlockDespike despiked = despike_block(series);
    quality.spikes = {despiked.series.u.spikes, despiked.series.v.spikes, despiked.series.w.spikes,
                      despiked.series.temperature.spikes};
    quality.too_many_spikes = too_many_spikes(despiked);
    quality.despike_pass_limit_reached =
        despiked.series.u.pass_limit_reached || despiked.series.v.pass_limit_reached ||
        despiked.series.w.pass_limit_reached || despiked.series.temperature.pass_limit_reached;
  }
  std::copy(u.begin(), u.end(), block.u.begin());
  std::copy(v.begin(), v.end(), block.v.begin());
  sum_horizontal(block, n);
  if (measured != nullptr) *measured = mean_velocity(series);

  if (!quality.beyond_allowance) {
    if (settings.rotation == Rotation::double_rotation) {
      const DoubleRotation turned = rotate_double(series);
      quality.yaw = turned.yaw;
      quality.pitch = turned.pitch;
    } else if (settings.rotation == Rotation::planar) {
      quality.yaw = rotate_into_plane(settings.plane, series);
      quality.pitch = settings.plane.pitch;
      quality.roll = settings.plane.roll;
    }
  }
  sum_the_rest(block, n);
  return quality;
}

}  // namespace ecflux::qc
