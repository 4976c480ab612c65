#include "qc/despike.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "qc/gap_filling.h"
#include "qc/median.h"

namespace ecflux::qc {
namespace {

// The factor that makes the median absolute deviation of normal data its
// standard deviation.
constexpr double mad_to_standard_deviation = 1.483;

// Working storage of one series' passes.
struct Scratch {
  std::vector<double> x, dx, d2x;
  std::vector<double> values, spare;
};

// The values of y at the samples not marked.
void gather_unmarked(std::span<const double> y, std::span<const std::uint8_t> marks,
                     std::vector<double>& out) {
  out.clear();
  for (std::size_t i = 0; i < y.size(); ++i) {
    if (marks[i] == 0) out.push_back(y[i]);
  }
}

double standard_deviation(std::span<const double> y) {
  double sum = 0.0;
  for (const double value : y) sum += value;
  const double mean = sum / static_cast<double>(y.size());
  double squares = 0.0;
  for (const double value : y) squares += (value - mean) * (value - mean);
  return std::sqrt(squares / static_cast<double>(y.size()));
}

// The robust spread of y over the samples not marked, whose values
// s.values holds (in any order): 1.483 times their median absolute deviation
// from `centre`, their median, or their standard deviation where that is
// zero. Overwrites s.values.
double spread_about(std::span<const double> y, std::span<const std::uint8_t> marks, double centre,
                    Scratch& s) {
  for (double& value : s.values) value = std::fabs(value - centre);
  const double robust = mad_to_standard_deviation * median(s.values, s.spare);
  if (robust > 0.0) return robust;
  gather_unmarked(y, marks, s.values);
  return standard_deviation(s.values);
}

double spread(std::span<const double> y, std::span<const std::uint8_t> marks, Scratch& s) {
  gather_unmarked(y, marks, s.values);
  return spread_about(y, marks, median(s.values, s.spare), s);
}

// Central differences, one-sided at the two ends; y has at least two samples.
void difference(std::span<const double> y, std::span<double> dy) {
  const std::size_t n = y.size();
  dy[0] = y[1] - y[0];
  for (std::size_t i = 1; i + 1 < n; ++i) dy[i] = (y[i + 1] - y[i - 1]) / 2.0;
  dy[n - 1] = y[n - 1] - y[n - 2];
}

// An ellipse about the origin, turned by an angle, and whether a point lies
// outside it. An ellipse with a semi-axis of zero tests nothing.
struct Ellipse {
  double a = 0.0, b = 0.0;  // semi-axes along the turned first and second axis
  double cos_turn = 1.0, sin_turn = 0.0;

  bool in_use() const { return a > 0.0 && b > 0.0; }
  bool outside(double p, double q) const {
    const double along = p * cos_turn + q * sin_turn;
    const double across = q * cos_turn - p * sin_turn;
    // (along / a)^2 + (across / b)^2 > 1, without dividing.
    return along * along * (b * b) + across * across * (a * a) > (a * a) * (b * b);
  }
};

// The ellipse of (x, d2x): turned by t so that its extents along x and d2x
// are x_extent and d2x_extent; unturned where no turned ellipse has them.
Ellipse turned_ellipse(std::span<const double> x, std::span<const double> d2x,
                       std::span<const std::uint8_t> marks, double x_extent, double d2x_extent) {
  double sum_x_d2x = 0.0, sum_x2 = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (marks[i] != 0) continue;
    sum_x_d2x += x[i] * d2x[i];
    sum_x2 += x[i] * x[i];
  }
  Ellipse unturned{x_extent, d2x_extent};
  if (sum_x2 == 0.0) return unturned;
  const double turn = std::atan(sum_x_d2x / sum_x2);
  const double c = std::cos(turn), s = std::sin(turn);
  const double c2 = c * c, s2 = s * s;
  const double denominator = c2 * c2 - s2 * s2;
  const double x2 = x_extent * x_extent, d2 = d2x_extent * d2x_extent;
  const double a2 = (x2 * c2 - d2 * s2) / denominator;
  const double b2 = (d2 * c2 - x2 * s2) / denominator;
  if (!(a2 > 0.0 && b2 > 0.0 && std::isfinite(a2) && std::isfinite(b2))) return unturned;
  return {std::sqrt(a2), std::sqrt(b2), c, s};
}

// One pass of the test: marks[i] = 1 for each spike of `values`. Returns
// the number of spikes not marked before.
std::int64_t mark_spikes(std::span<const double> values, std::vector<std::uint8_t>& marks,
                         Scratch& s) {
  const std::size_t n = values.size();
  std::vector<double>&x = s.x, &dx = s.dx, &d2x = s.d2x;
  gather_unmarked(values, marks, s.values);
  const double centre = median(s.values, s.spare);
  for (std::size_t i = 0; i < n; ++i) x[i] = values[i] - centre;
  difference(x, dx);
  difference(dx, d2x);

  // x is about the median already: its spread is that of the values.
  const double threshold = std::sqrt(2.0 * std::log(static_cast<double>(n)));
  const double x_extent = threshold * spread_about(values, marks, centre, s);
  const double dx_extent = threshold * spread(dx, marks, s);
  const double d2x_extent = threshold * spread(d2x, marks, s);
  const Ellipse x_dx{x_extent, dx_extent};
  const Ellipse dx_d2x{dx_extent, d2x_extent};

  std::int64_t found = 0;
  const auto mark = [&](std::size_t i) {
    if (marks[i] == 0) {
      marks[i] = 1;
      ++found;
    }
  };
  for (std::size_t i = 0; i < n; ++i) {
    if ((x_dx.in_use() && x_dx.outside(x[i], dx[i])) ||
        (dx_d2x.in_use() && dx_d2x.outside(dx[i], d2x[i]))) {
      mark(i);
    }
  }
  // The turn is taken without the spikes just found: a spike's x and d2x
  // have opposite signs and it would pull the ellipse towards its own
  // diagonal, narrowing it across.
  const Ellipse x_d2x = turned_ellipse(x, d2x, marks, x_extent, d2x_extent);
  if (x_d2x.in_use()) {
    for (std::size_t i = 0; i < n; ++i) {
      if (x_d2x.outside(x[i], d2x[i])) mark(i);
    }
  }
  return found;
}

}  // namespace

SeriesDespike despike(std::span<double> values, int pass_limit) {
  SeriesDespike result;
  const std::size_t n = values.size();
  if (n < 3) return result;
  // Values without a measurement are not spikes; they have no order either.
  if (!std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); })) {
    return result;
  }

  // Replacing always starts again from the measured values of the samples
  // never found to be spikes; only the marked samples change.
  std::vector<std::uint8_t> marks(n, 0);
  Scratch scratch{std::vector<double>(n), std::vector<double>(n), std::vector<double>(n), {}, {}};
  scratch.values.reserve(n);
  for (;;) {
    const std::int64_t found = mark_spikes(values, marks, scratch);
    if (found == 0) return result;
    if (result.passes == pass_limit) {
      result.pass_limit_reached = true;
      return result;
    }
    // Every sample a spike leaves nothing to bridge from: the series stays.
    if (!interpolate_marked(values, marks)) return result;
    result.spikes += found;
    ++result.passes;
  }
}

BlockDespike despike_block(BlockSeries series, int pass_limit) {
  BlockDespike result;
  result.samples = static_cast<std::int64_t>(series.w.size());
  result.series.u = despike(series.u, pass_limit);
  result.series.v = despike(series.v, pass_limit);
  result.series.w = despike(series.w, pass_limit);
  result.series.temperature = despike(series.temperature, pass_limit);
  return result;
}

bool too_many_spikes(const BlockDespike& despiked) {
  const double limit = suspect_spike_percent * static_cast<double>(despiked.samples);
  return static_cast<double>(despiked.series.w.spikes) * 100.0 > limit ||
         static_cast<double>(despiked.series.temperature.spikes) * 100.0 > limit;
}

}  // namespace ecflux::qc
