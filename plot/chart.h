#pragma once

// What one plot shows: lines and shaded bands of (x, y) values, with the
// titles, the legend and the notes about values that could not be shown,
// and its drawing as a self-contained SVG document.

#include <cstddef>
#include <string>
#include <vector>

namespace ecflux::plot {

struct Point {
  double x;
  double y;
};

// A line drawn through its points in order. A missing value breaks it into
// segments, so that nothing is drawn across the gap.
struct Line {
  std::string label;  // legend text; not in the legend when empty
  std::string color;
  bool markers = false;                      // a dot at every point (for lines of few points)
  std::vector<std::vector<Point>> segments;  // none of them empty

  // Appends a point to the current segment.
  void add(double x, double y);
  // Ends the current segment: the next point starts a new one.
  void gap() { broken = true; }
  std::size_t point_count() const;

  bool broken = false;  // the next point starts a segment
};

struct BandPoint {
  double x;
  double low;
  double high;
};

// A shaded area between a lower and an upper value at each x, broken at gaps
// like a line.
struct Band {
  std::string label;
  std::string color;
  std::vector<std::vector<BandPoint>> segments;  // none of them empty

  void add(double x, double low, double high);
  void gap() { broken = true; }
  std::size_t point_count() const;

  bool broken = false;
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
  std::vector<Band> bands;
  std::vector<Line> lines;
  std::vector<XMarker> x_markers;
  // Shown below the axes, one line each: values skipped, blocks left out.
  std::vector<std::string> notes;
  // Shown in the middle instead of data when there is no point to draw.
  std::string empty_message = "Nothing to plot";
};

// The most points one line or band of a chart lays out. Drawing needs only
// the extremes of each pixel column, so an unbroken series of any length
// stays far below it; only a series broken into very many pieces, or one
// whose x values go back and forth, can reach it.
inline constexpr std::size_t drawn_point_limit = 20'000;

// Keeps what the chart lays out within drawn_point_limit for every series,
// whatever the files held: a line or band that would lay out more is
// replaced by its extremes in each pixel column (the leftmost, lowest,
// highest and rightmost of its points there, of a band its widest extent), as
// one unbroken piece, and a note names it. Other series are left as they are.
void fit_to_drawing(Chart& chart);

// The SVG document of the chart: fixed size, no external fonts, scripts or
// links. Every axis tick label is an element of class "x-tick" or "y-tick";
// every line is a polyline and every band a polygon inside a group whose
// data-series attribute holds the label.
std::string render_svg(const Chart& chart);

// Text with the five characters that XML reserves written as entities, and
// every byte that is not part of a character XML allows (control characters,
// bytes of no UTF-8 sequence) written as U+FFFD, so that any text of any file
// gives a well-formed document.
std::string escape_xml(const std::string& text);

}  // namespace ecflux::plot
