#include "plot/axis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace ecflux::plot {

double Axis::fraction(double value) const {
  if (logarithmic)
    return (std::log10(value) - std::log10(low)) / (std::log10(high) - std::log10(low));
  const double range = high - low;
  if (std::isfinite(range)) return (value - low) / range;
  // A range wider than the largest double, in halves.
  return (value / 2 - low / 2) / (high / 2 - low / 2);
}

std::string tick_label(double value, int decimals) {
  char text[64];
  // Beyond 15 digits fixed decimals are neither exact nor readable.
  if (std::abs(value) >= 1e15) {
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
  }
  std::snprintf(text, sizeof text, "%.*f", std::clamp(decimals, 0, 20), value);
  std::string label = text;
  // "-0.00" is zero: drop the sign.
  if (label.front() == '-' && label.find_first_not_of("-0.") == std::string::npos)
    label.erase(0, 1);
  return label;
}

namespace {

// 1, 2 or 5 times a power of ten, whichever is nearest `raw_step`.
double nice_step(double raw_step) {
  const double power = std::pow(10.0, std::floor(std::log10(raw_step)));
  const double scaled = raw_step / power;
  if (scaled < 1.5) return power;
  if (scaled < 3.0) return 2.0 * power;
  if (scaled < 7.0) return 5.0 * power;
  return 10.0 * power;
}

}  // namespace

Axis linear_axis(double low, double high, int tick_target) {
  constexpr double largest = std::numeric_limits<double>::max();
  if (high < low) std::swap(low, high);
  const double magnitude = std::max(std::abs(low), std::abs(high));
  // Half the range never overflows, however far apart the ends are.
  if (high / 2 - low / 2 <= magnitude * 1e-12 / 2) {
    // One value, or values equal to the last digits: widen by a tenth of the
    // value, or by one around zero.
    const double pad = magnitude > 0.0 ? magnitude * 0.1 : 1.0;
    low = std::max(low - pad, -largest);
    high = std::min(high + pad, largest);
  }
  Axis axis;
  axis.low = low;
  axis.high = high;
  // The step 1, 2 or 5 times a power of ten nearest the wanted spacing,
  // made finer while fewer than two ticks fall within the range.
  const double half_range = high / 2 - low / 2;
  for (double raw_step = std::min(half_range / std::max(tick_target, 1) * 2, largest);
       raw_step > 0.0; raw_step /= 2) {
    const double step = nice_step(raw_step);
    const double first = std::ceil(low / step - 1e-9);
    const double last = std::floor(high / step + 1e-9);
    if (!(last - first >= 1.0)) continue;
    const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
    // Each tick is formed by one multiplication, so no rounding accumulates.
    for (double k = first; k <= last + 0.5; k += 1.0) {
      const double value = k * step;
      axis.ticks.push_back({value, tick_label(value, decimals)});
    }
    return axis;
  }
  // Only a range of a few of the smallest numbers comes here: its ends are
  // its ticks.
  axis.ticks = {{low, tick_label(low, 20)}, {high, tick_label(high, 20)}};
  return axis;
}

Axis log_axis(double low, double high) {
  if (high < low) std::swap(low, high);
  // Within the powers of ten that a double holds.
  const int first = static_cast<int>(std::clamp(std::floor(std::log10(low) + 1e-9), -323.0, 307.0));
  const int last = static_cast<int>(
      std::clamp(std::ceil(std::log10(high) - 1e-9), static_cast<double>(first + 1), 308.0));
  const bool label_minor = last - first <= 2;
  Axis axis;
  axis.logarithmic = true;
  axis.low = std::pow(10.0, first);
  axis.high = std::pow(10.0, last);
  for (int decade = first; decade <= last; ++decade) {
    const double power = std::pow(10.0, decade);
    const int decimals = std::max(0, -decade);
    axis.ticks.push_back({power, tick_label(power, decimals)});
    if (decade == last) break;
    for (int multiple = 2; multiple <= 9; ++multiple) {
      const bool labelled = label_minor && (multiple == 2 || multiple == 5);
      const double value = multiple * power;
      axis.ticks.push_back({value, labelled ? tick_label(value, decimals) : std::string()});
    }
  }
  return axis;
}

}  // namespace ecflux::plot
