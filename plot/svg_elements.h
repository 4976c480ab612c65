#pragma once

// The pieces of markup that the charts and the report page are written
// from: XML text escaped so that any text of any file gives a well-formed
// document, and the SVG elements, coordinates to a hundredth of a pixel.

#include <string>
#include <string_view>
#include <vector>

#include "plot/chart.h"

namespace ecflux::plot {

// Text with the five characters that XML reserves written as entities, and
// every byte that is not part of a character XML allows (control characters,
// bytes of no UTF-8 sequence) written as U+FFFD.
std::string escape_xml(std::string_view text);

// A coordinate of the drawing, to a hundredth of a pixel.
std::string number(double value);

// The elements of the drawing, without a line end. `attributes` follow the
// coordinates, after one blank.
std::string line_element(double x1, double y1, double x2, double y2,
                         std::string_view attributes = {});
std::string text_element(double x, double y, std::string_view attributes, std::string_view text);
std::string points_attribute(const std::vector<Point>& points);

// The group of one series, which carries its label; the group is left open.
std::string series_group(std::string_view label, std::string_view attributes);

// The shape of a marker at a pixel.
std::string marker_element(Marker marker, double x, double y);

// The attributes of a line's stroke beyond its colour, as its polyline and
// its legend sample have them.
std::string stroke_attributes(const LineStyle& style);

}  // namespace ecflux::plot
