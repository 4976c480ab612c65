#pragma once

// What the plots of many blocks share: which blocks are drawn as lines, and
// the range of all blocks' values at each x, for the band behind the lines.

#include <algorithm>
#include <cstddef>
#include <vector>

#include "plot/chart.h"

namespace ecflux::plot {

// The blocks (from 0) drawn as lines: all `count` of them, or `line_limit`
// (at least 2) evenly spread over the run, the first and the last included.
std::vector<std::size_t> shown_blocks(std::size_t count, std::size_t line_limit);

// The lowest and highest value of all blocks at one x.
struct ValueSpread {
  double low = 0.0;
  double high = 0.0;
  bool any = false;

  void take(double value) {
    low = any ? std::min(low, value) : value;
    high = any ? std::max(high, value) : value;
    any = true;
  }
  // The spread as a point of the band at `x`, or a gap where no block had
  // a value.
  void add_to(Pieces<BandPoint>& range, double x) const {
    if (any) {
      range.add({x, low, high});
    } else {
      range.gap();
    }
  }
};

}  // namespace ecflux::plot
