#pragma once

// Axis scales for the plots: the shown range of values and its ticks, on a
// linear scale with "nice" steps (1, 2 or 5 times a power of ten) or on a
// scale of powers of ten.

#include <string>
#include <vector>

namespace ecflux::plot {

struct Tick {
  double value;
  std::string label;  // empty for an unlabelled (minor) tick
};

struct Axis {
  double low = 0.0;
  double high = 1.0;
  bool logarithmic = false;
  std::vector<Tick> ticks;

  // The position of `value` between the ends, 0 at `low` and 1 at `high`.
  double fraction(double value) const;
};

// A linear axis over [low, high] (given in either order) with roughly
// `tick_target` ticks, at least two, within it. A range of one value is
// widened around it. The values must be finite.
Axis linear_axis(double low, double high, int tick_target);

// A logarithmic axis from the power of ten at or below `low` to the one at
// or above `high`, spanning at least one decade; both must be above zero.
// Powers of ten are labelled; 2 and 5 times them too when the axis spans at
// most two decades.
Axis log_axis(double low, double high);

// A tick value written with `decimals` places and without a minus sign on
// zero; one of 10^15 or more with six significant digits.
std::string tick_label(double value, int decimals);

}  // namespace ecflux::plot
