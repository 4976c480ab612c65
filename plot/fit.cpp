#include "plot/fit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "input/data_warnings.h"
#include "plot/frame.h"

namespace ecflux::plot {
namespace {

// The pixel columns of the plot area, from its left edge: every point of a
// series falls in one of them.
constexpr auto first_column = static_cast<std::ptrdiff_t>(plot_left);
constexpr std::size_t column_count = static_cast<std::size_t>(plot_right - plot_left) + 1;

std::size_t column_of(const Frame& frame, double x) {
  const double column = std::floor(frame.px(x)) - static_cast<double>(first_column);
  if (!(column > 0.0)) return 0;
  return std::min(static_cast<std::size_t>(column), column_count - 1);
}

// What one pixel column keeps of every point of a series in it, whatever
// piece the point is in.
template <class P>
struct ColumnExtremes;

// Of a line: the leftmost, the lowest, the highest and the rightmost point,
// in the order of x. These keep the line's range, so the axes stay as they
// were.
template <>
struct ColumnExtremes<Point> {
  bool any = false;
  Point kept[4];  // leftmost, lowest, highest, rightmost

  void take(const Point& point) {
    if (!any) {
      *this = {true, {point, point, point, point}};
      return;
    }
    if (point.x < kept[0].x) kept[0] = point;
    if (point.y < kept[1].y) kept[1] = point;
    if (point.y > kept[2].y) kept[2] = point;
    if (point.x > kept[3].x) kept[3] = point;
  }
  void append_to(std::vector<Point>& points) {
    if (!any) return;
    std::stable_sort(std::begin(kept), std::end(kept),
                     [](const Point& a, const Point& b) { return a.x < b.x; });
    for (std::size_t i = 0; i < 4; ++i) {
      const Point& point = kept[i];
      if (i > 0 && point.x == points.back().x && point.y == points.back().y) continue;
      points.push_back(point);
    }
  }
};

// Of a band: its lowest and highest value, at the leftmost and rightmost x.
template <>
struct ColumnExtremes<BandPoint> {
  bool any = false;
  double left, right, low, high;

  void take(const BandPoint& point) {
    if (!any) {
      *this = {true, point.x, point.x, point.low, point.high};
      return;
    }
    left = std::min(left, point.x);
    right = std::max(right, point.x);
    low = std::min(low, point.low);
    high = std::max(high, point.high);
  }
  void append_to(std::vector<BandPoint>& points) const {
    if (!any) return;
    points.push_back({left, low, high});
    if (right != left) points.push_back({right, low, high});
  }
};

template <class P>
std::vector<P> column_extremes(const Frame& frame, const Pieces<P>& pieces) {
  std::vector<ColumnExtremes<P>> columns(column_count);
  for (const auto& segment : pieces.segments) {
    for (const P& point : segment) columns[column_of(frame, point.x)].take(point);
  }
  std::vector<P> points;
  for (auto& column : columns) column.append_to(points);
  return points;
}

// The number of points that drawing the series lays out.
template <class Series>
std::size_t drawn_points(const Frame& frame, const Series& series) {
  const bool thin = thinned(series);
  std::size_t count = 0;
  for (const auto& segment : series.points.segments) {
    count += segment_pixels(frame, segment, thin).size();
  }
  return count;
}

// The note of a series drawn by its extremes in each pixel column.
template <class Series>
std::string fitted_note(const Series& series) {
  const auto count = [](std::size_t n) {
    return input::with_thousands(static_cast<std::int64_t>(n));
  };
  const std::size_t pieces = series.points.segments.size();
  return (series.label.empty() ? std::string("A line") : series.label) + ": " +
         count(series.points.point_count()) + " values in " + count(pieces) +
         (pieces == 1 ? " piece" : " pieces") + ", drawn as their range in each pixel column.";
}

// Draws the series by its extremes in each pixel column where it would lay
// out too many points; true when it does.
template <class Series>
bool fit_series(const Frame& frame, Series& series, std::vector<std::string>& notes) {
  if (drawn_points(frame, series) <= drawn_point_limit) return false;
  notes.push_back(fitted_note(series));
  series.points.segments = {column_extremes(frame, series.points)};
  return true;
}

}  // namespace

void fit_to_drawing(Chart& chart) {
  Frame frame;
  if (!lay_out_frame(chart, frame)) return;
  for (Band& band : chart.bands) fit_series(frame, band, chart.notes);
  for (Line& line : chart.lines) {
    // Points that are not joined stay marked: a line through them would
    // join what is apart.
    if (fit_series(frame, line, chart.notes) && line.style.joined) line.marker = Marker::none;
  }
}

}  // namespace ecflux::plot
