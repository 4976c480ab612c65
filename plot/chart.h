#pragma once

// What one plot shows: lines and shaded bands of values, with the titles,
// the legend and the notes about values that could not be shown. A series'
// values (its pieces) are kept apart from how it is drawn (its label, colour
// and dots), so that the readers of the run's files fill the one and the
// chart builders give the other.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace ecflux::plot {

struct Point {
  double x;
  double y;
};

// A lower and an upper value at one x.
struct BandPoint {
  double x;
  double low;
  double high;
};

// Values in their order, in pieces: a missing value ends a piece, so that
// nothing is drawn across the gap.
template <class P>
struct Pieces {
  std::vector<std::vector<P>> segments;  // none of them empty
  bool broken = false;                   // the next point starts a segment

  // Appends a point to the current segment.
  void add(const P& point) {
    if (segments.empty() || broken) segments.emplace_back();
    broken = false;
    segments.back().push_back(point);
  }
  // Ends the current segment: the next point starts a new one.
  void gap() { broken = true; }
  std::size_t point_count() const {
    std::size_t count = 0;
    for (const auto& segment : segments) count += segment.size();
    return count;
  }
};

// The shape drawn at a line's points.
enum class Marker {
  none,
  dot,       // a filled circle
  square,    // a filled square
  triangle,  // a filled triangle, pointing up
  diamond,   // a filled square on its corner
  ring,      // a circle drawn around the point, hollow
  cross,     // an upright cross, for a point that is not to be used
};

// How a line is drawn, apart from its colour: the defaults are a plain line
// of 1.6 units.
struct LineStyle {
  std::string dashes;  // SVG stroke-dasharray; empty for a solid line
  double width = 1.6;
  bool joined = true;  // false: its points are marked, not joined
};

// A line drawn through its points in order.
struct Line {
  std::string label;  // legend text; not in the legend when empty
  std::string color;
  Marker marker = Marker::none;  // at every point (for lines of few points)
  Pieces<Point> points;
  LineStyle style = {};
  bool in_legend = true;  // false: named by its label, but not in the legend
};

// Between a lower and an upper value at each x: a shaded area, or a bar at
// each x (an error bar, where each x stands alone).
struct Band {
  std::string label;
  std::string color;
  Pieces<BandPoint> points;
  bool bars = false;
};

// A range of values on an axis.
struct ValueRange {
  double low;
  double high;
};

// A labelled vertical line at one x, drawn when it is within the x axis.
struct XMarker {
  double x;
  std::string label;
};

struct Chart {
  std::string title;
  std::string subtitle;
  std::string x_title;  // with the unit
  std::string y_title;
  bool log_x = false;  // x on a scale of powers of ten; x values must be above zero
  // The values that the y axis is fitted to, when some values are kept out
  // of its scale (those of flagged blocks): values beyond it are clipped at
  // the plot area's edge, and marked points beyond it drawn at the edge.
  std::optional<ValueRange> y_scale;
  std::vector<Band> bands;
  std::vector<Line> lines;
  std::vector<XMarker> x_markers;
  // Shown below the axes, one line each: values skipped, blocks left out.
  std::vector<std::string> notes;
  // Shown in the middle instead of data when there is no point to draw.
  std::string empty_message = "Nothing to plot";
};

}  // namespace ecflux::plot
