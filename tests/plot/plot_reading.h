#pragma once

// A plot's SVG read back for the tests: the document as pugixml gives it,
// with pixels turned back into values through the labelled ticks of each
// axis.

#include <pugixml.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace ecflux::testing {

struct PlotPoint {
  double x;
  double y;
};

class PlotReading {
 public:
  // Throws std::runtime_error when the text is not well-formed XML.
  explicit PlotReading(std::string_view svg);

  pugi::xml_node root() const { return document_.document_element(); }
  bool has_axes() const { return x_.size() >= 2 && y_.size() >= 2; }
  bool log_x() const { return log_x_; }
  // The series' points in drawing order: polyline vertices and markers that
  // are not among them (circles, and paths that begin at the point).
  std::vector<PlotPoint> series_points(const std::string& label) const;
  std::vector<std::string> series_labels() const;
  // The value a pixel distance of 0.01 stands for on each axis.
  double x_resolution() const;
  double y_resolution() const;
  // All text of the drawing, the pieces separated by blanks.
  std::string text() const;

 private:
  struct Tick {
    double pixel;
    double value;
  };
  double x_value(double pixel) const;
  double y_value(double pixel) const;
  // The elements of the document that carry `attribute`, in document order.
  std::vector<pugi::xml_node> elements_with(const char* attribute) const;

  pugi::xml_document document_;
  std::vector<Tick> x_;
  std::vector<Tick> y_;
  bool log_x_ = false;
};

}  // namespace ecflux::testing
