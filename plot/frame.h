#pragma once

// Where a chart's values land in its drawing: the drawing's fixed geometry,
// the axes fitted to the values, and the values turned into pixels, of which
// drawing needs only the extremes of each pixel column.

#include <cstddef>
#include <string>
#include <vector>

#include "plot/axis.h"
#include "plot/chart.h"

namespace ecflux::plot {

// The drawing's fixed geometry, in SVG user units (pixels at 100 %).
inline constexpr double drawing_width = 900.0;
inline constexpr double plot_left = 84.0;
inline constexpr double plot_right = 690.0;
inline constexpr double plot_height = 330.0;
inline constexpr double legend_left = 708.0;
inline constexpr double line_spacing = 16.0;

// The plot area and its axes.
struct Frame {
  Axis x;
  Axis y;
  double top = 0.0;
  double bottom = 0.0;

  double px(double value) const { return plot_left + x.fraction(value) * (plot_right - plot_left); }
  double py(double value) const { return bottom - y.fraction(value) * (bottom - top); }
  Point pixel(const Point& point) const { return {px(point.x), py(point.y)}; }
  BandPoint pixel(const BandPoint& point) const {
    return {px(point.x), py(point.low), py(point.high)};
  }
};

// The lines of a text, split at its line feeds; none for an empty text.
std::vector<std::string> split_lines(const std::string& text);

// The range that a y axis over `values` shows: a little more, so that no
// point lies on the frame.
ValueRange shown_y_range(ValueRange values);

// The plot area below the title and the chart's subtitle and, when the chart
// has a value to show, its axes over the values (the y axis over the chart's
// y_scale where it has one); false when it has none.
bool lay_out_frame(const Chart& chart, Frame& frame);

// Whether a line is drawn with a marker at each point: a line of few
// points, which is drawn as it is, unthinned, or one whose points are not
// joined.
bool drawn_with_markers(const Line& line);

// Whether a series is drawn through what each pixel column needs of it
// rather than through every point: every band, and every line without dots.
inline bool thinned(const Line& line) { return !drawn_with_markers(line); }
inline bool thinned(const Band&) { return true; }

// The pixels that one piece of a series is drawn through: each point placed
// in the frame and, `thinned`, of every run of consecutive points in one
// whole pixel column only what drawing needs: of a line the first, the
// lowest, the highest and the last, so that spikes stay visible however many
// points there are; of a band its envelope at the run's first and last x.
std::vector<Point> segment_pixels(const Frame& frame, const std::vector<Point>& segment,
                                  bool thinned);
std::vector<BandPoint> segment_pixels(const Frame& frame, const std::vector<BandPoint>& segment,
                                      bool thinned);

}  // namespace ecflux::plot
