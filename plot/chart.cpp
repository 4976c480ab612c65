#include "plot/chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string_view>
#include <utility>

#include "input/data_warnings.h"
#include "plot/axis.h"

namespace ecflux::plot {

void Line::add(double x, double y) {
  if (segments.empty() || broken) segments.emplace_back();
  broken = false;
  segments.back().push_back({x, y});
}

std::size_t Line::point_count() const {
  std::size_t count = 0;
  for (const auto& segment : segments) count += segment.size();
  return count;
}

void Band::add(double x, double low, double high) {
  if (segments.empty() || broken) segments.emplace_back();
  broken = false;
  segments.back().push_back({x, low, high});
}

std::size_t Band::point_count() const {
  std::size_t count = 0;
  for (const auto& segment : segments) count += segment.size();
  return count;
}

namespace {

constexpr std::string_view replacement_character = "\xEF\xBF\xBD";

// The length of the well-formed UTF-8 sequence of an XML character at `at`,
// or 0 where there is none.
std::size_t character_length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) -> unsigned {
    return at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0u;
  };
  const unsigned lead = byte(0);
  if (lead < 0x80) return lead >= 0x20 || lead == '\t' || lead == '\n' || lead == '\r' ? 1 : 0;
  std::size_t length = 0;
  unsigned second_low = 0x80, second_high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) second_low = 0xA0;   // no overlong forms
    if (lead == 0xED) second_high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) second_low = 0x90;
    if (lead == 0xF4) second_high = 0x8F;  // nothing beyond U+10FFFF
  } else {
    return 0;
  }
  if (byte(1) < second_low || byte(1) > second_high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  // U+FFFE and U+FFFF are not characters of XML.
  if (lead == 0xEF && byte(1) == 0xBF && byte(2) >= 0xBE) return 0;
  return length;
}

}  // namespace

std::string escape_xml(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = character_length(text, at);
    if (length == 0) {
      escaped += replacement_character;
      ++at;
      continue;
    }
    switch (text[at]) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      case '\'': escaped += "&apos;"; break;
      default: escaped.append(text, at, length);
    }
    at += length;
  }
  return escaped;
}

namespace {

// The drawing's fixed geometry, in SVG user units (pixels at 100 %).
constexpr double width = 900.0;
constexpr double plot_left = 84.0;
constexpr double plot_right = 690.0;
constexpr double plot_height = 330.0;
constexpr double legend_left = 708.0;
constexpr double line_spacing = 16.0;

// Lines of more points than this get no dots.
constexpr std::size_t marker_limit = 200;

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

struct Frame {
  Axis x;
  Axis y;
  double top;
  double bottom;

  double px(double value) const { return plot_left + x.fraction(value) * (plot_right - plot_left); }
  double py(double value) const { return bottom - y.fraction(value) * (bottom - top); }
};

struct Pixel {
  double x;
  double y;
};

// Drawing needs no more than the extremes of each whole pixel column: of
// every run of consecutive points in one column, the first, the lowest, the
// highest and the last are kept, in their order, so that spikes stay visible
// however many points there are.
std::vector<Pixel> thin_to_columns(const std::vector<Pixel>& points) {
  std::vector<Pixel> kept;
  std::size_t begin = 0;
  while (begin < points.size()) {
    const double column = std::floor(points[begin].x);
    std::size_t end = begin + 1;
    while (end < points.size() && std::floor(points[end].x) == column) ++end;
    std::size_t lowest = begin, highest = begin;
    for (std::size_t i = begin; i < end; ++i) {
      if (points[i].y < points[lowest].y) lowest = i;
      if (points[i].y > points[highest].y) highest = i;
    }
    std::size_t chosen[] = {begin, std::min(lowest, highest), std::max(lowest, highest), end - 1};
    for (std::size_t i = 0; i < 4; ++i) {
      if (i > 0 && chosen[i] == chosen[i - 1]) continue;
      kept.push_back(points[chosen[i]]);
    }
    begin = end;
  }
  return kept;
}

// The same for a band: the envelope of each column, at the column's first
// and last x.
std::vector<BandPoint> thin_band_to_columns(const std::vector<BandPoint>& points) {
  std::vector<BandPoint> kept;
  std::size_t begin = 0;
  while (begin < points.size()) {
    const double column = std::floor(points[begin].x);
    std::size_t end = begin + 1;
    double low = points[begin].low, high = points[begin].high;
    while (end < points.size() && std::floor(points[end].x) == column) {
      low = std::max(low, points[end].low);  // pixel y grows downwards
      high = std::min(high, points[end].high);
      ++end;
    }
    kept.push_back({points[begin].x, low, high});
    if (end - begin > 1) kept.push_back({points[end - 1].x, low, high});
    begin = end;
  }
  return kept;
}

void append_points(std::string& svg, const std::vector<Pixel>& points) {
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (i > 0) svg += ' ';
    svg += number(points[i].x) + "," + number(points[i].y);
  }
}

void append_text(std::string& svg, double x, double y, std::string_view attributes,
                 const std::string& text) {
  svg += "<text x=\"" + number(x) + "\" y=\"" + number(y) + "\"";
  if (!attributes.empty()) {
    svg += ' ';
    svg += attributes;
  }
  svg += ">" + escape_xml(text) + "</text>\n";
}

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
    for (const auto& segment : line.segments)
      for (const auto& point : segment) take(point.x, point.y, point.y);
  for (const auto& band : chart.bands)
    for (const auto& segment : band.segments)
      for (const auto& point : segment) take(point.x, point.low, point.high);
  return x_low <= x_high;
}

void append_axes(std::string& svg, const Frame& frame) {
  // Grid lines at the labelled ticks, and a dashed line at zero.
  svg += "<g stroke=\"#e3e3e3\" stroke-width=\"1\">\n";
  for (const auto& tick : frame.x.ticks) {
    if (tick.label.empty()) continue;
    const double x = frame.px(tick.value);
    svg += "<line x1=\"" + number(x) + "\" y1=\"" + number(frame.top) + "\" x2=\"" + number(x) +
           "\" y2=\"" + number(frame.bottom) + "\"/>\n";
  }
  for (const auto& tick : frame.y.ticks) {
    const double y = frame.py(tick.value);
    svg += "<line x1=\"" + number(plot_left) + "\" y1=\"" + number(y) + "\" x2=\"" +
           number(plot_right) + "\" y2=\"" + number(y) + "\"/>\n";
  }
  svg += "</g>\n";
  if (frame.y.low < 0.0 && frame.y.high > 0.0) {
    const double y = frame.py(0.0);
    svg += "<line x1=\"" + number(plot_left) + "\" y1=\"" + number(y) + "\" x2=\"" +
           number(plot_right) + "\" y2=\"" + number(y) +
           "\" stroke=\"#888888\" stroke-width=\"1\" stroke-dasharray=\"4 3\"/>\n";
  }
}

void append_ticks(std::string& svg, const Frame& frame) {
  svg += "<g font-size=\"12\" fill=\"#222222\" stroke=\"#333333\" stroke-width=\"1\">\n";
  for (const auto& tick : frame.x.ticks) {
    const double x = frame.px(tick.value);
    const double length = tick.label.empty() && frame.x.logarithmic ? 3.0 : 5.0;
    svg += "<g class=\"x-tick\"><line x1=\"" + number(x) + "\" y1=\"" + number(frame.bottom) +
           "\" x2=\"" + number(x) + "\" y2=\"" + number(frame.bottom + length) + "\"/>";
    if (!tick.label.empty()) {
      svg += "<text x=\"" + number(x) + "\" y=\"" + number(frame.bottom + 19) +
             "\" text-anchor=\"middle\" stroke=\"none\">" + escape_xml(tick.label) + "</text>";
    }
    svg += "</g>\n";
  }
  for (const auto& tick : frame.y.ticks) {
    const double y = frame.py(tick.value);
    svg += "<g class=\"y-tick\"><line x1=\"" + number(plot_left - 5) + "\" y1=\"" + number(y) +
           "\" x2=\"" + number(plot_left) + "\" y2=\"" + number(y) + "\"/><text x=\"" +
           number(plot_left - 8) + "\" y=\"" + number(y + 4) +
           "\" text-anchor=\"end\" stroke=\"none\">" + escape_xml(tick.label) + "</text></g>\n";
  }
  svg += "</g>\n";
}

// The pixels that one piece of a band is drawn through.
std::vector<BandPoint> band_pixels(const Frame& frame, const std::vector<BandPoint>& segment) {
  std::vector<BandPoint> pixels;
  pixels.reserve(segment.size());
  for (const auto& point : segment)
    pixels.push_back({frame.px(point.x), frame.py(point.low), frame.py(point.high)});
  return thin_band_to_columns(pixels);
}

// A line of few points is drawn with a dot at each of them, and unthinned.
bool drawn_with_markers(const Line& line) {
  return line.markers && line.point_count() <= marker_limit;
}

// The pixels that one piece of a line is drawn through.
std::vector<Pixel> line_pixels(const Frame& frame, const std::vector<Point>& segment,
                               bool markers) {
  std::vector<Pixel> pixels;
  pixels.reserve(segment.size());
  for (const auto& point : segment) pixels.push_back({frame.px(point.x), frame.py(point.y)});
  return markers ? pixels : thin_to_columns(pixels);
}

void append_band(std::string& svg, const Frame& frame, const Band& band) {
  svg += "<g data-series=\"" + escape_xml(band.label) + "\" fill=\"" + band.color +
         "\" fill-opacity=\"0.22\" stroke=\"" + band.color + "\" stroke-opacity=\"0.5\">\n";
  for (const auto& segment : band.segments) {
    if (segment.empty()) continue;
    const std::vector<BandPoint> pixels = band_pixels(frame, segment);
    if (pixels.size() == 1) {
      // A single x: a bar from the lower to the upper value.
      svg += "<line x1=\"" + number(pixels[0].x) + "\" y1=\"" + number(pixels[0].low) + "\" x2=\"" +
             number(pixels[0].x) + "\" y2=\"" + number(pixels[0].high) +
             "\" stroke-width=\"4\"/>\n";
      continue;
    }
    std::vector<Pixel> outline;
    for (const auto& point : pixels) outline.push_back({point.x, point.high});
    for (auto it = pixels.rbegin(); it != pixels.rend(); ++it) outline.push_back({it->x, it->low});
    svg += "<polygon stroke-width=\"0.5\" points=\"";
    append_points(svg, outline);
    svg += "\"/>\n";
  }
  svg += "</g>\n";
}

void append_line(std::string& svg, const Frame& frame, const Line& line) {
  svg += "<g data-series=\"" + escape_xml(line.label) + "\" stroke=\"" + line.color + "\" fill=\"" +
         line.color + "\">\n";
  const bool markers = drawn_with_markers(line);
  for (const auto& segment : line.segments) {
    if (segment.empty()) continue;
    const std::vector<Pixel> pixels = line_pixels(frame, segment, markers);
    if (pixels.size() > 1) {
      svg += "<polyline fill=\"none\" stroke-width=\"1.6\" stroke-linejoin=\"round\" points=\"";
      append_points(svg, pixels);
      svg += "\"/>\n";
    }
    // A lone point would be invisible as a line: it gets a dot like markers.
    if (markers || pixels.size() == 1) {
      for (const auto& pixel : pixels) {
        svg += "<circle cx=\"" + number(pixel.x) + "\" cy=\"" + number(pixel.y) +
               "\" r=\"3\" stroke=\"none\"/>\n";
      }
    }
  }
  svg += "</g>\n";
}

void append_marker(std::string& svg, const Frame& frame, const XMarker& marker) {
  const double at = frame.x.fraction(marker.x);
  if (!(at >= 0.0 && at <= 1.0)) return;
  const double x = frame.px(marker.x);
  svg += "<g class=\"x-marker\"><line x1=\"" + number(x) + "\" y1=\"" + number(frame.top) +
         "\" x2=\"" + number(x) + "\" y2=\"" + number(frame.bottom) +
         "\" stroke=\"#444444\" stroke-width=\"1.2\" stroke-dasharray=\"6 4\"/>";
  // The label on the side with more room.
  const bool right = at < 0.6;
  svg += "<text x=\"" + number(right ? x + 5 : x - 5) + "\" y=\"" + number(frame.top + 14) +
         "\" font-size=\"12\" fill=\"#444444\" text-anchor=\"" + (right ? "start" : "end") + "\">" +
         escape_xml(marker.label) + "</text></g>\n";
}

// A legend label that would run past the drawing's edge is squeezed into
// the room there is (a generous 7 units a character at this size).
std::string legend_fit(const std::string& label) {
  constexpr double room = width - legend_left - 36;
  if (static_cast<double>(label.size()) * 7.0 <= room) return {};
  return "textLength=\"" + number(room) + "\" lengthAdjust=\"spacingAndGlyphs\"";
}

void append_legend(std::string& svg, const Chart& chart, double top) {
  svg += "<g font-size=\"12\" fill=\"#222222\">\n";
  double y = top + 12;
  for (const auto& line : chart.lines) {
    if (line.label.empty()) continue;
    svg += "<line x1=\"" + number(legend_left) + "\" y1=\"" + number(y - 4) + "\" x2=\"" +
           number(legend_left + 22) + "\" y2=\"" + number(y - 4) + "\" stroke=\"" + line.color +
           "\" stroke-width=\"2.5\"/>\n";
    append_text(svg, legend_left + 30, y, legend_fit(line.label), line.label);
    y += line_spacing + 2;
  }
  for (const auto& band : chart.bands) {
    if (band.label.empty()) continue;
    svg += "<rect x=\"" + number(legend_left) + "\" y=\"" + number(y - 10) +
           "\" width=\"22\" height=\"12\" fill=\"" + band.color +
           "\" fill-opacity=\"0.22\" stroke=\"" + band.color + "\" stroke-opacity=\"0.5\"/>\n";
    append_text(svg, legend_left + 30, y, legend_fit(band.label), band.label);
    y += line_spacing + 2;
  }
  svg += "</g>\n";
}

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

// The plot area below the title and `subtitle_lines` lines of subtitle and,
// when the chart has a value to show, its axes over the values; false when
// it has none.
bool lay_out_frame(const Chart& chart, std::size_t subtitle_lines, Frame& frame) {
  frame.top = 60.0 + line_spacing * static_cast<double>(subtitle_lines);
  frame.bottom = frame.top + plot_height;
  double x_low, x_high, y_low, y_high;
  if (!data_range(chart, x_low, x_high, y_low, y_high)) return false;
  // A little room around the data, so that no point lies on the frame
  // (the logarithmic axis ends at powers of ten, which leave room anyway).
  const auto [x_from, x_to] = padded(x_low, x_high, 0.03);
  const auto [y_from, y_to] = padded(y_low, y_high, 0.05);
  frame.x = chart.log_x ? log_axis(x_low, x_high) : linear_axis(x_from, x_to, 8);
  frame.y = linear_axis(y_from, y_to, 6);
  return true;
}

// The number of points that drawing the series lays out.
std::size_t drawn_points(const Frame& frame, const Line& line) {
  const bool markers = drawn_with_markers(line);
  std::size_t count = 0;
  for (const auto& segment : line.segments) count += line_pixels(frame, segment, markers).size();
  return count;
}

std::size_t drawn_points(const Frame& frame, const Band& band) {
  std::size_t count = 0;
  for (const auto& segment : band.segments) count += band_pixels(frame, segment).size();
  return count;
}

// The pixel columns of the plot area, from its left edge: every point of a
// series falls in one of them.
constexpr auto first_column = static_cast<std::ptrdiff_t>(plot_left);
constexpr std::size_t column_count = static_cast<std::size_t>(plot_right - plot_left) + 1;

std::size_t column_of(const Frame& frame, double x) {
  const double column = std::floor(frame.px(x)) - static_cast<double>(first_column);
  if (!(column > 0.0)) return 0;
  return std::min(static_cast<std::size_t>(column), column_count - 1);
}

// Of every point of the line, whatever piece it is in: the leftmost, the
// lowest, the highest and the rightmost of each pixel column, in the order of
// x. These keep the line's range, so the axes stay as they were.
std::vector<Point> column_extremes(const Frame& frame, const Line& line) {
  struct Column {
    bool any = false;
    Point kept[4];  // leftmost, lowest, highest, rightmost
  };
  std::vector<Column> columns(column_count);
  for (const auto& segment : line.segments) {
    for (const Point& point : segment) {
      Column& column = columns[column_of(frame, point.x)];
      if (!column.any) {
        column = {true, {point, point, point, point}};
        continue;
      }
      if (point.x < column.kept[0].x) column.kept[0] = point;
      if (point.y < column.kept[1].y) column.kept[1] = point;
      if (point.y > column.kept[2].y) column.kept[2] = point;
      if (point.x > column.kept[3].x) column.kept[3] = point;
    }
  }
  std::vector<Point> points;
  for (Column& column : columns) {
    if (!column.any) continue;
    std::stable_sort(std::begin(column.kept), std::end(column.kept),
                     [](const Point& a, const Point& b) { return a.x < b.x; });
    for (std::size_t i = 0; i < 4; ++i) {
      const Point& point = column.kept[i];
      if (i > 0 && point.x == points.back().x && point.y == points.back().y) continue;
      points.push_back(point);
    }
  }
  return points;
}

// The same for a band: its lowest and highest value in each pixel column, at
// the column's leftmost and rightmost x.
std::vector<BandPoint> column_extremes(const Frame& frame, const Band& band) {
  struct Column {
    bool any = false;
    double left, right, low, high;
  };
  std::vector<Column> columns(column_count);
  for (const auto& segment : band.segments) {
    for (const BandPoint& point : segment) {
      Column& column = columns[column_of(frame, point.x)];
      if (!column.any) {
        column = {true, point.x, point.x, point.low, point.high};
        continue;
      }
      column.left = std::min(column.left, point.x);
      column.right = std::max(column.right, point.x);
      column.low = std::min(column.low, point.low);
      column.high = std::max(column.high, point.high);
    }
  }
  std::vector<BandPoint> points;
  for (const Column& column : columns) {
    if (!column.any) continue;
    points.push_back({column.left, column.low, column.high});
    if (column.right != column.left) points.push_back({column.right, column.low, column.high});
  }
  return points;
}

// The note of a series drawn by its extremes in each pixel column.
template <class Series>
std::string fitted_note(const Series& series) {
  const auto count = [](std::size_t n) {
    return input::with_thousands(static_cast<std::int64_t>(n));
  };
  const std::size_t pieces = series.segments.size();
  return (series.label.empty() ? std::string("A line") : series.label) + ": " +
         count(series.point_count()) + " values in " + count(pieces) +
         (pieces == 1 ? " piece" : " pieces") + ", drawn as their range in each pixel column.";
}

}  // namespace

void fit_to_drawing(Chart& chart) {
  Frame frame;
  if (!lay_out_frame(chart, split_lines(chart.subtitle).size(), frame)) return;
  for (Band& band : chart.bands) {
    if (drawn_points(frame, band) <= drawn_point_limit) continue;
    chart.notes.push_back(fitted_note(band));
    band.segments = {column_extremes(frame, band)};
  }
  for (Line& line : chart.lines) {
    if (drawn_points(frame, line) <= drawn_point_limit) continue;
    chart.notes.push_back(fitted_note(line));
    line.segments = {column_extremes(frame, line)};
    line.markers = false;
  }
}

std::string render_svg(const Chart& chart) {
  const auto subtitle_lines = split_lines(chart.subtitle);
  Frame frame;
  const bool has_data = lay_out_frame(chart, subtitle_lines.size(), frame);
  const double height =
      frame.bottom + 58.0 + line_spacing * static_cast<double>(chart.notes.size()) + 8.0;

  std::string svg;
  svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(width) + "\" height=\"" +
         number(height) + "\" viewBox=\"0 0 " + number(width) + " " + number(height) +
         "\" font-family=\"DejaVu Sans, Arial, Helvetica, sans-serif\">\n";
  svg += "<title>" + escape_xml(chart.title) + "</title>\n";
  svg += "<rect x=\"0\" y=\"0\" width=\"" + number(width) + "\" height=\"" + number(height) +
         "\" fill=\"#ffffff\"/>\n";
  append_text(svg, plot_left, 28, "font-size=\"18\" font-weight=\"bold\" fill=\"#111111\"",
              chart.title);
  for (std::size_t i = 0; i < subtitle_lines.size(); ++i) {
    append_text(svg, plot_left, 48 + line_spacing * static_cast<double>(i),
                "font-size=\"12\" fill=\"#555555\"", subtitle_lines[i]);
  }

  if (has_data) {
    append_axes(svg, frame);
    for (const auto& band : chart.bands) append_band(svg, frame, band);
    for (const auto& line : chart.lines) append_line(svg, frame, line);
    for (const auto& marker : chart.x_markers) append_marker(svg, frame, marker);
  }
  svg += "<rect x=\"" + number(plot_left) + "\" y=\"" + number(frame.top) + "\" width=\"" +
         number(plot_right - plot_left) + "\" height=\"" + number(plot_height) +
         "\" fill=\"none\" stroke=\"#333333\" stroke-width=\"1\"/>\n";
  if (has_data) {
    append_ticks(svg, frame);
    append_legend(svg, chart, frame.top);
  } else {
    append_text(svg, (plot_left + plot_right) / 2, frame.top + plot_height / 2,
                "font-size=\"16\" text-anchor=\"middle\" fill=\"#444444\"", chart.empty_message);
  }

  append_text(svg, (plot_left + plot_right) / 2, frame.bottom + 42,
              "font-size=\"13\" text-anchor=\"middle\" fill=\"#222222\"", chart.x_title);
  const double y_middle = (frame.top + frame.bottom) / 2;
  append_text(
      svg, 22, y_middle,
      "font-size=\"13\" text-anchor=\"middle\" fill=\"#222222\" transform=\"rotate(-90 22 " +
          number(y_middle) + ")\"",
      chart.y_title);
  for (std::size_t i = 0; i < chart.notes.size(); ++i) {
    append_text(svg, plot_left, frame.bottom + 66 + line_spacing * static_cast<double>(i),
                "font-size=\"12\" fill=\"#8a4b00\"", chart.notes[i]);
  }
  svg += "</svg>\n";
  return svg;
}

}  // namespace ecflux::plot
