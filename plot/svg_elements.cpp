#include "plot/svg_elements.h"

#include <cstdio>

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

// A short number of a style, as "1.6".
std::string style_number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
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

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

std::string line_element(double x1, double y1, double x2, double y2, std::string_view attributes) {
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

std::string series_group(std::string_view label, std::string_view attributes) {
  return "<g data-series=\"" + escape_xml(label) + "\" " + std::string(attributes) + ">\n";
}

// The shape of a marker at a pixel. A dot is a circle; the other shapes are
// paths that begin at the point they mark.
std::string marker_element(Marker marker, double x, double y) {
  const std::string at = number(x) + " " + number(y);
  switch (marker) {
    case Marker::none: return {};
    case Marker::dot:
      return "<circle cx=\"" + number(x) + "\" cy=\"" + number(y) + "\" r=\"3\" stroke=\"none\"/>";
    case Marker::ring:
      return "<circle cx=\"" + number(x) + "\" cy=\"" + number(y) +
             "\" r=\"6.5\" fill=\"none\" stroke-width=\"2\"/>";
    case Marker::square:
      return "<path d=\"M" + at + " m-3.2 -3.2 h6.4 v6.4 h-6.4 z\" stroke=\"none\"/>";
    case Marker::triangle: return "<path d=\"M" + at + " m0 -4.5 l4 7 h-8 z\" stroke=\"none\"/>";
    case Marker::diamond:
      return "<path d=\"M" + at + " m0 -4.5 l4.5 4.5 l-4.5 4.5 l-4.5 -4.5 z\" stroke=\"none\"/>";
    case Marker::cross:
      return "<path d=\"M" + at +
             " m-5 -5 l10 10 m0 -10 l-10 10\" fill=\"none\" stroke-width=\"2.2\"/>";
  }
  return {};
}

std::string stroke_attributes(const LineStyle& style) {
  std::string attributes = "stroke-width=\"" + style_number(style.width) + "\"";
  if (!style.dashes.empty()) attributes += " stroke-dasharray=\"" + style.dashes + "\"";
  return attributes;
}

}  // namespace ecflux::plot
