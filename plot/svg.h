#pragma once

// A chart drawn as SVG, either as a file of its own or inside the report
// page.

#include <string>
#include <string_view>

#include "plot/chart.h"
#include "plot/svg_elements.h"

namespace ecflux::plot {

// Where a drawing stands. In the report page it has no XML declaration, and
// its notes are left to the page, which shows them as its own text.
enum class SvgForm {
  file,
  in_page,
};

// The SVG document of the chart: fixed size, no external fonts, scripts or
// links. Every axis tick label is an element of class "x-tick" or "y-tick";
// every line is a polyline and every band a polygon inside a group whose
// data-series attribute holds the label.
std::string render_svg(const Chart& chart, SvgForm form = SvgForm::file);

}  // namespace ecflux::plot
