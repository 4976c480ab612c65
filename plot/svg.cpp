#include "plot/svg.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "plot/frame.h"
#include "plot/svg_elements.h"

namespace ecflux::plot {
namespace {

void append_axes(std::string& svg, const Frame& frame) {
  // Grid lines at the labelled ticks, and a dashed line at zero.
  svg += "<g stroke=\"#e3e3e3\" stroke-width=\"1\">\n";
  for (const auto& tick : frame.x.ticks) {
    if (tick.label.empty()) continue;
    const double x = frame.px(tick.value);
    svg += line_element(x, frame.top, x, frame.bottom) + "\n";
  }
  for (const auto& tick : frame.y.ticks) {
    const double y = frame.py(tick.value);
    svg += line_element(plot_left, y, plot_right, y) + "\n";
  }
  svg += "</g>\n";
  if (frame.y.low < 0.0 && frame.y.high > 0.0) {
    const double y = frame.py(0.0);
    svg += line_element(plot_left, y, plot_right, y,
                        "stroke=\"#888888\" stroke-width=\"1\" stroke-dasharray=\"4 3\"") +
           "\n";
  }
}

void append_ticks(std::string& svg, const Frame& frame) {
  svg += "<g font-size=\"12\" fill=\"#222222\" stroke=\"#333333\" stroke-width=\"1\">\n";
  for (const auto& tick : frame.x.ticks) {
    const double x = frame.px(tick.value);
    const double length = tick.label.empty() && frame.x.logarithmic ? 3.0 : 5.0;
    svg += "<g class=\"x-tick\">" + line_element(x, frame.bottom, x, frame.bottom + length);
    if (!tick.label.empty()) {
      svg +=
          text_element(x, frame.bottom + 19, "text-anchor=\"middle\" stroke=\"none\"", tick.label);
    }
    svg += "</g>\n";
  }
  for (const auto& tick : frame.y.ticks) {
    const double y = frame.py(tick.value);
    svg += "<g class=\"y-tick\">" + line_element(plot_left - 5, y, plot_left, y) +
           text_element(plot_left - 8, y + 4, "text-anchor=\"end\" stroke=\"none\"", tick.label) +
           "</g>\n";
  }
  svg += "</g>\n";
}

// Bars from the lower to the upper value at each x, with short caps.
void append_bars(std::string& svg, const Frame& frame, const Band& band) {
  svg += series_group(band.label, "stroke=\"" + band.color + "\" stroke-width=\"1.3\"");
  for (const auto& segment : band.points.segments) {
    for (const auto& pixel : segment_pixels(frame, segment, thinned(band))) {
      svg += line_element(pixel.x, pixel.low, pixel.x, pixel.high) +
             line_element(pixel.x - 3, pixel.low, pixel.x + 3, pixel.low) +
             line_element(pixel.x - 3, pixel.high, pixel.x + 3, pixel.high) + "\n";
    }
  }
  svg += "</g>\n";
}

void append_band(std::string& svg, const Frame& frame, const Band& band) {
  if (band.bars) return append_bars(svg, frame, band);
  svg += series_group(band.label, "fill=\"" + band.color + "\" fill-opacity=\"0.22\" stroke=\"" +
                                      band.color + "\" stroke-opacity=\"0.5\"");
  for (const auto& segment : band.points.segments) {
    if (segment.empty()) continue;
    const std::vector<BandPoint> pixels = segment_pixels(frame, segment, thinned(band));
    if (pixels.size() == 1) {
      // A single x: a bar from the lower to the upper value.
      svg += line_element(pixels[0].x, pixels[0].low, pixels[0].x, pixels[0].high,
                          "stroke-width=\"4\"") +
             "\n";
      continue;
    }
    std::vector<Point> outline;
    for (const auto& point : pixels) outline.push_back({point.x, point.high});
    for (auto it = pixels.rbegin(); it != pixels.rend(); ++it) outline.push_back({it->x, it->low});
    svg += "<polygon stroke-width=\"0.5\" " + points_attribute(outline) + "/>\n";
  }
  svg += "</g>\n";
}

// Where a marked point lies beyond the y axis of a chart whose scale leaves
// values out: a triangle at the edge it lies beyond, pointing away.
std::string off_scale_element(const Frame& frame, double x, double y) {
  if (y < frame.top)
    return "<path d=\"M" + number(x) + " " + number(frame.top) + " l5 8 h-10 z\"/>";
  if (y > frame.bottom)
    return "<path d=\"M" + number(x) + " " + number(frame.bottom) + " l5 -8 h-10 z\"/>";
  return {};
}

void append_line(std::string& svg, const Frame& frame, const Line& line, std::string& off_scale) {
  svg += series_group(line.label, "stroke=\"" + line.color + "\" fill=\"" + line.color + "\"");
  const bool markers = drawn_with_markers(line);
  // A lone point would be invisible as a line: it gets a dot like markers.
  const Marker marker = line.marker == Marker::none ? Marker::dot : line.marker;
  for (const auto& segment : line.points.segments) {
    if (segment.empty()) continue;
    const std::vector<Point> pixels = segment_pixels(frame, segment, !markers);
    if (pixels.size() > 1 && line.style.joined) {
      svg += "<polyline fill=\"none\" " + stroke_attributes(line.style) +
             " stroke-linejoin=\"round\" " + points_attribute(pixels) + "/>\n";
    }
    if (markers || pixels.size() == 1) {
      for (const auto& pixel : pixels) {
        svg += marker_element(marker, pixel.x, pixel.y) + "\n";
        const std::string beyond = off_scale_element(frame, pixel.x, pixel.y);
        if (!beyond.empty()) off_scale += beyond + "\n";
      }
    }
  }
  svg += "</g>\n";
}

void append_marker(std::string& svg, const Frame& frame, const XMarker& marker) {
  const double at = frame.x.fraction(marker.x);
  if (!(at >= 0.0 && at <= 1.0)) return;
  const double x = frame.px(marker.x);
  // The label on the side with more room.
  const bool right = at < 0.6;
  svg += "<g class=\"x-marker\">" +
         line_element(x, frame.top, x, frame.bottom,
                      "stroke=\"#444444\" stroke-width=\"1.2\" stroke-dasharray=\"6 4\"") +
         text_element(right ? x + 5 : x - 5, frame.top + 14,
                      std::string("font-size=\"12\" fill=\"#444444\" text-anchor=\"") +
                          (right ? "start" : "end") + "\"",
                      marker.label) +
         "</g>\n";
}

// The room for a legend label's text, in units, at a generous 7 units a
// character at this size.
constexpr double legend_room = drawing_width - legend_left - 36;
constexpr double legend_character = 7.0;

// A legend label that would run past the drawing's edge is squeezed into
// the room there is.
std::string legend_fit(const std::string& label) {
  if (static_cast<double>(label.size()) * legend_character <= legend_room) return {};
  return "textLength=\"" + number(legend_room) + "\" lengthAdjust=\"spacingAndGlyphs\"";
}

// A label's lines in the legend: one, squeezed where it runs a little past
// the edge; a label much longer than the room is broken at its blanks.
std::vector<std::string> legend_lines(const std::string& label) {
  const auto characters = static_cast<std::size_t>(legend_room / legend_character);
  if (label.size() <= characters + characters * 3 / 10) return {label};
  std::vector<std::string> lines;
  std::size_t begin = 0;
  while (begin < label.size()) {
    std::size_t end = label.size();
    if (end - begin > characters) {
      const auto blank = label.rfind(' ', begin + characters);
      end = blank != std::string::npos && blank > begin ? blank : label.find(' ', begin);
      if (end == std::string::npos) end = label.size();
    }
    lines.push_back(label.substr(begin, end - begin));
    begin = end + 1;
  }
  return lines;
}

// The label's lines from `y` down; the y of the entry after it.
double append_legend_label(std::string& svg, const std::string& label, double y) {
  for (const std::string& line : legend_lines(label)) {
    svg += text_element(legend_left + 30, y, legend_fit(line), line) + "\n";
    y += line_spacing;
  }
  return y + 2;
}

void append_legend(std::string& svg, const Chart& chart, double top) {
  svg += "<g font-size=\"12\" fill=\"#222222\">\n";
  double y = top + 12;
  for (const auto& line : chart.lines) {
    if (line.label.empty() || !line.in_legend) continue;
    if (line.style.joined) {
      LineStyle sample = line.style;
      sample.width = std::max(sample.width, 2.5);
      svg += line_element(legend_left, y - 4, legend_left + 22, y - 4,
                          "stroke=\"" + line.color + "\" " + stroke_attributes(sample)) +
             "\n";
    }
    if (line.marker != Marker::none && (line.marker != Marker::dot || !line.style.joined)) {
      svg += "<g stroke=\"" + line.color + "\" fill=\"" + line.color + "\">" +
             marker_element(line.marker, legend_left + 11, y - 4) + "</g>\n";
    }
    y = append_legend_label(svg, line.label, y);
  }
  for (const auto& band : chart.bands) {
    if (band.label.empty()) continue;
    if (band.bars) {
      svg += "<g stroke=\"" + band.color + "\" stroke-width=\"1.3\">" +
             line_element(legend_left + 11, y - 10, legend_left + 11, y + 2) +
             line_element(legend_left + 8, y - 10, legend_left + 14, y - 10) +
             line_element(legend_left + 8, y + 2, legend_left + 14, y + 2) + "</g>\n";
    } else {
      svg += "<rect x=\"" + number(legend_left) + "\" y=\"" + number(y - 10) +
             "\" width=\"22\" height=\"12\" fill=\"" + band.color +
             "\" fill-opacity=\"0.22\" stroke=\"" + band.color + "\" stroke-opacity=\"0.5\"/>\n";
    }
    y = append_legend_label(svg, band.label, y);
  }
  svg += "</g>\n";
}

// The bands and lines of a chart, clipped to the plot area where its scale
// leaves values out, and the triangles that mark points beyond it.
void append_series(std::string& svg, const Frame& frame, const Chart& chart) {
  const bool clipped = chart.y_scale.has_value();
  if (clipped) {
    const std::string area = number(plot_left) + " " + number(frame.top) + " " +
                             number(plot_right - plot_left) + " " + number(plot_height);
    svg += "<svg x=\"" + number(plot_left) + "\" y=\"" + number(frame.top) + "\" width=\"" +
           number(plot_right - plot_left) + "\" height=\"" + number(plot_height) + "\" viewBox=\"" +
           area + "\" overflow=\"hidden\">\n";
  }
  std::string off_scale;
  for (const auto& band : chart.bands) append_band(svg, frame, band);
  for (const auto& line : chart.lines) {
    std::string beyond;
    append_line(svg, frame, line, beyond);
    if (!beyond.empty())
      off_scale += "<g class=\"off-scale\" fill=\"" + line.color + "\">\n" + beyond + "</g>\n";
  }
  if (clipped) svg += "</svg>\n" + off_scale;
}

}  // namespace

std::string render_svg(const Chart& chart, SvgForm form) {
  const auto subtitle_lines = split_lines(chart.subtitle);
  const std::size_t notes = form == SvgForm::file ? chart.notes.size() : 0;
  Frame frame;
  const bool has_data = lay_out_frame(chart, frame);
  const double height = frame.bottom + 58.0 + line_spacing * static_cast<double>(notes) + 8.0;
  const std::string width = number(drawing_width);

  std::string svg;
  if (form == SvgForm::file) svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + width + "\" height=\"" +
         number(height) + "\" viewBox=\"0 0 " + width + " " + number(height) +
         "\" font-family=\"DejaVu Sans, Arial, Helvetica, sans-serif\">\n";
  svg += "<title>" + escape_xml(chart.title) + "</title>\n";
  svg += "<rect x=\"0\" y=\"0\" width=\"" + width + "\" height=\"" + number(height) +
         "\" fill=\"#ffffff\"/>\n";
  svg += text_element(plot_left, 28, "font-size=\"18\" font-weight=\"bold\" fill=\"#111111\"",
                      chart.title) +
         "\n";
  for (std::size_t i = 0; i < subtitle_lines.size(); ++i) {
    svg += text_element(plot_left, 48 + line_spacing * static_cast<double>(i),
                        "font-size=\"12\" fill=\"#555555\"", subtitle_lines[i]) +
           "\n";
  }

  if (has_data) {
    append_axes(svg, frame);
    append_series(svg, frame, chart);
    for (const auto& marker : chart.x_markers) append_marker(svg, frame, marker);
  }
  svg += "<rect x=\"" + number(plot_left) + "\" y=\"" + number(frame.top) + "\" width=\"" +
         number(plot_right - plot_left) + "\" height=\"" + number(plot_height) +
         "\" fill=\"none\" stroke=\"#333333\" stroke-width=\"1\"/>\n";
  if (has_data) {
    append_ticks(svg, frame);
    append_legend(svg, chart, frame.top);
  } else {
    svg += text_element((plot_left + plot_right) / 2, frame.top + plot_height / 2,
                        "font-size=\"16\" text-anchor=\"middle\" fill=\"#444444\"",
                        chart.empty_message) +
           "\n";
  }

  svg += text_element((plot_left + plot_right) / 2, frame.bottom + 42,
                      "font-size=\"13\" text-anchor=\"middle\" fill=\"#222222\"", chart.x_title) +
         "\n";
  const double y_middle = (frame.top + frame.bottom) / 2;
  svg += text_element(22, y_middle,
                      "font-size=\"13\" text-anchor=\"middle\" fill=\"#222222\" "
                      "transform=\"rotate(-90 22 " +
                          number(y_middle) + ")\"",
                      chart.y_title) +
         "\n";
  for (std::size_t i = 0; i < notes; ++i) {
    svg += text_element(plot_left, frame.bottom + 66 + line_spacing * static_cast<double>(i),
                        "font-size=\"12\" fill=\"#8a4b00\"", chart.notes[i]) +
           "\n";
  }
  svg += "</svg>\n";
  return svg;
}

}  // namespace ecflux::plot
