#include "plot/axis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ecflux::plot {

double Axis::fraction(double value) const {
  if (logarithmic)
    return (std::log10(value) - std::log10(low)) / (std::log10(high) - std::log10(low));
  return (value - low) / (high - low);
}

std::string tick_label(double value, int decimals) {
  char text[64];
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
  if (high < low) std::swap(low, high);
  const double magnitude = std::max(std::abs(low), std::abs(high));
  if (high - low <= magnitude * 1e-12) {
    // One value, or values equal to the last digits: widen by a tenth of the
    // value, or by one around zero.
    const double pad = magnitude > 0.0 ? magnitude * 0.1 : 1.0;
    low -= pad;
    high += pad;
  }
  Axis axis;
  axis.low = low;
  axis.high = high;
  // The step 1, 2 or 5 times a power of ten nearest the wanted spacing,
  // made finer while fewer than two ticks fall within the range.
  for (double raw_step = (high - low) / std::max(tick_target, 1);; raw_step /= 2) {
    const double step = nice_step(raw_step);
    const double first = std::ceil(low / step - 1e-9);
    const double last = std::floor(high / step + 1e-9);
    if (last - first < 1.0) continue;
    const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
    // Each tick is formed by one multiplication, so no rounding accumulates.
    for (double k = first; k <= last + 0.5; k += 1.0) {
      const double value = k * step;
      axis.ticks.push_back({value, tick_label(value, decimals)});
    }
    return axis;
  }
}

Axis log_axis(double low, double high) {
  if (high < low) std::swap(low, high);
  int first = static_cast<int>(std::floor(std::log10(low) + 1e-9));
  int last = static_cast<int>(std::ceil(std::log10(high) - 1e-9));
  if (last <= first) last = first + 1;
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
