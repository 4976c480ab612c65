#include "plot/frame.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <utility>

namespace ecflux::plot {
namespace {

// Lines of more points than this get no dots.
constexpr std::size_t marker_limit = 200;

// The range with `share` of its width added at each end, within the doubles
// however wide it is.
std::pair<double, double> padded(double low, double high, double share) {
  constexpr double largest = std::numeric_limits<double>::max();
  const double pad = (high / 2 - low / 2) * (2 * share);
  return {std::max(low - pad, -largest), std::min(high + pad, largest)};
}

// The range of all values to show; false when there are none.
bool data_range(const Chart& chart, double& x_low, double& x_high, double& y_low, double& y_high) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  x_low = y_low = inf;
  x_high = y_high = -inf;
  const auto take = [&](double x, double low, double high) {
    x_low = std::min(x_low, x);
    x_high = std::max(x_high, x);
    y_low = std::min(y_low, low);
    y_high = std::max(y_high, high);
  };
  for (const auto& line : chart.lines)
    for (const auto& segment : line.points.segments)
      for (const auto& point : segment) take(point.x, point.y, point.y);
  for (const auto& band : chart.bands)
    for (const auto& segment : band.points.segments)
      for (const auto& point : segment) take(point.x, point.low, point.high);
  return x_low <= x_high;
}

// What drawing needs of a run of consecutive pixels in one column.
void keep_column(std::span<const Point> run, std::vector<Point>& kept) {
  std::size_t lowest = 0, highest = 0;
  for (std::size_t i = 0; i < run.size(); ++i) {
    if (run[i].y < run[lowest].y) lowest = i;
    if (run[i].y > run[highest].y) highest = i;
  }
  const std::size_t chosen[] = {0, std::min(lowest, highest), std::max(lowest, highest),
                                run.size() - 1};
  for (std::size_t i = 0; i < 4; ++i) {
    if (i > 0 && chosen[i] == chosen[i - 1]) continue;
    kept.push_back(run[chosen[i]]);
  }
}

void keep_column(std::span<const BandPoint> run, std::vector<BandPoint>& kept) {
  double low = run.front().low, high = run.front().high;
  for (const BandPoint& point : run.subspan(1)) {
    low = std::max(low, point.low);  // pixel y grows downwards
    high = std::min(high, point.high);
  }
  kept.push_back({run.front().x, low, high});
  if (run.size() > 1) kept.push_back({run.back().x, low, high});
}

template <class P>
std::vector<P> thin_to_columns(const std::vector<P>& pixels) {
  std::vector<P> kept;
  std::size_t begin = 0;
  while (begin < pixels.size()) {
    const double column = std::floor(pixels[begin].x);
    std::size_t end = begin + 1;
    while (end < pixels.size() && std::floor(pixels[end].x) == column) ++end;
    keep_column(std::span<const P>(pixels).subspan(begin, end - begin), kept);
    begin = end;
  }
  return kept;
}

template <class P>
std::vector<P> pixels_of(const Frame& frame, const std::vector<P>& segment, bool thinned) {
  std::vector<P> pixels;
  pixels.reserve(segment.size());
  for (const P& point : segment) pixels.push_back(frame.pixel(point));
  return thinned ? thin_to_columns(pixels) : pixels;
}

}  // namespace

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t begin = 0;
  while (begin <= text.size() && !text.empty()) {
    const auto end = text.find('\n', begin);
    lines.push_back(text.substr(begin, end == std::string::npos ? std::string::npos : end - begin));
    if (end == std::string::npos) break;
    begin = end + 1;
  }
  return lines;
}

ValueRange shown_y_range(ValueRange values) {
  const auto [low, high] = padded(values.low, values.high, 0.05);
  return {low, high};
}

bool lay_out_frame(const Chart& chart, Frame& frame) {
  frame.top = 60.0 + line_spacing * static_cast<double>(split_lines(chart.subtitle).size());
  frame.bottom = frame.top + plot_height;
  double x_low, x_high, y_low, y_high;
  if (!data_range(chart, x_low, x_high, y_low, y_high)) return false;
  // A little room around the data, so that no point lies on the frame
  // (the logarithmic axis ends at powers of ten, which leave room anyway).
  const auto [x_from, x_to] = padded(x_low, x_high, 0.03);
  if (chart.y_scale) {
    y_low = chart.y_scale->low;
    y_high = chart.y_scale->high;
  }
  const auto [y_from, y_to] = shown_y_range({y_low, y_high});
  frame.x = chart.log_x ? log_axis(x_low, x_high) : linear_axis(x_from, x_to, 8);
  frame.y = linear_axis(y_from, y_to, 6);
  return true;
}

bool drawn_with_markers(const Line& line) {
  return line.marker != Marker::none &&
         (!line.style.joined || line.points.point_count() <= marker_limit);
}

std::vector<Point> segment_pixels(const Frame& frame, const std::vector<Point>& segment,
                                  bool thinned) {
  return pixels_of(frame, segment, thinned);
}

std::vector<BandPoint> segment_pixels(const Frame& frame, const std::vector<BandPoint>& segment,
                                      bool thinned) {
  return pixels_of(frame, segment, thinned);
}

}  // namespace ecflux::plot
