#include "plot/svg.h"

#include <cstdio>
#include <vector>

#include "plot/frame.h"

namespace ecflux::plot {
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

// A coordinate of the drawing, to a hundredth of a pixel.
std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

// The elements of the drawing, without a line end. `attributes` follow the
// coordinates, after one blank.
std::string line_element(double x1, double y1, double x2, double y2,
                         std::string_view attributes = {}) {
  std::string line = "<line x1=\"" + number(x1) + "\" y1=\"" + number(y1) + "\" x2=\"" +
                     number(x2) + "\" y2=\"" + number(y2) + "\"";
  if (!attributes.empty()) {
    line += ' ';
    line += attributes;
  }
  return line + "/>";
}

std::string text_element(double x, double y, std::string_view attributes, std::string_view text) {
  std::string element = "<text x=\"" + number(x) + "\" y=\"" + number(y) + "\"";
  if (!attributes.empty()) {
    element += ' ';
    element += attributes;
  }
  return element + ">" + escape_xml(text) + "</text>";
}

std::string points_attribute(const std::vector<Point>& points) {
  std::string text = "points=\"";
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (i > 0) text += ' ';
    text += number(points[i].x) + "," + number(points[i].y);
  }
  return text + "\"";
}

// The group of one series, which carries its label.
std::string series_group(std::string_view label, std::string_view attributes) {
  return "<g data-series=\"" + escape_xml(label) + "\" " + std::string(attributes) + ">\n";
}

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

void append_band(std::string& svg, const Frame& frame, const Band& band) {
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

void append_line(std::string& svg, const Frame& frame, const Line& line) {
  svg += series_group(line.label, "stroke=\"" + line.color + "\" fill=\"" + line.color + "\"");
  const bool markers = drawn_with_markers(line);
  for (const auto& segment : line.points.segments) {
    if (segment.empty()) continue;
    const std::vector<Point> pixels = segment_pixels(frame, segment, !markers);
    if (pixels.size() > 1) {
      svg += "<polyline fill=\"none\" stroke-width=\"1.6\" stroke-linejoin=\"round\" " +
             points_attribute(pixels) + "/>\n";
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

// A legend label that would run past the drawing's edge is squeezed into
// the room there is (a generous 7 units a character at this size).
std::string legend_fit(const std::string& label) {
  constexpr double room = drawing_width - legend_left - 36;
  if (static_cast<double>(label.size()) * 7.0 <= room) return {};
  return "textLength=\"" + number(room) + "\" lengthAdjust=\"spacingAndGlyphs\"";
}

void append_legend(std::string& svg, const Chart& chart, double top) {
  svg += "<g font-size=\"12\" fill=\"#222222\">\n";
  double y = top + 12;
  for (const auto& line : chart.lines) {
    if (line.label.empty()) continue;
    svg += line_element(legend_left, y - 4, legend_left + 22, y - 4,
                        "stroke=\"" + line.color + "\" stroke-width=\"2.5\"") +
           "\n";
    svg += text_element(legend_left + 30, y, legend_fit(line.label), line.label) + "\n";
    y += line_spacing + 2;
  }
  for (const auto& band : chart.bands) {
    if (band.label.empty()) continue;
    svg += "<rect x=\"" + number(legend_left) + "\" y=\"" + number(y - 10) +
           "\" width=\"22\" height=\"12\" fill=\"" + band.color +
           "\" fill-opacity=\"0.22\" stroke=\"" + band.color + "\" stroke-opacity=\"0.5\"/>\n";
    svg += text_element(legend_left + 30, y, legend_fit(band.label), band.label) + "\n";
    y += line_spacing + 2;
  }
  svg += "</g>\n";
}

}  // namespace

std::string escape_xml(std::string_view text) {
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
